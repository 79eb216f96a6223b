// A private scratch folder for one test, removed with everything in it afterwards.
#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "platform/filetime.h"

namespace zelpack::testing {

class TempDir {
  public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    const std::filesystem::path& path() const { return path_; }
    // The folder as wide text, the form the core takes.
    std::u16string wide() const;
    std::filesystem::path operator/(std::string_view relative) const;

    // Writes `content` to `relative`, creating the folders on the way.
    std::filesystem::path Write(std::string_view relative, std::string_view content = {}) const;
    std::filesystem::path MakeFolder(std::string_view relative) const;

  private:
    std::filesystem::path path_;
};

// Wide text of a native path (for passing test paths to the core).
std::u16string Wide(const std::filesystem::path& path);

// A path from UTF-8 text (on Windows a plain string would be read in the ANSI code page).
std::filesystem::path Utf8Path(std::string_view text);

// The folder the platform's temporary files go to, for one scope: $TMPDIR on POSIX, %TMP% and
// %TEMP% on Windows. The previous values come back afterwards.
class ScopedTemporaryFolder {
  public:
    explicit ScopedTemporaryFolder(const std::filesystem::path& folder);
    ~ScopedTemporaryFolder();
    ScopedTemporaryFolder(const ScopedTemporaryFolder&) = delete;
    ScopedTemporaryFolder& operator=(const ScopedTemporaryFolder&) = delete;

  private:
    std::vector<std::pair<std::string, std::optional<std::string>>> saved_;
};

// Environment variable `name` as `value` (nothing: unset) for one scope.
class ScopedVariable {
  public:
    ScopedVariable(std::string name, const std::optional<std::string>& value);
    ~ScopedVariable();
    ScopedVariable(const ScopedVariable&) = delete;
    ScopedVariable& operator=(const ScopedVariable&) = delete;

  private:
    std::string name_;
    std::optional<std::string> saved_;
};

// Whether this build runs on Windows, for the few tests that only make sense on one platform.
#ifdef _WIN32
inline constexpr bool kWindows = true;
#else
inline constexpr bool kWindows = false;
#endif
// Whether tests can make symbolic links: Wine makes none (it reports success and leaves none),
// and Windows itself lets only privileged accounts.
inline constexpr bool kLinks = !kWindows;
// Whether names may be any bytes (POSIX) rather than UTF-16 text, and differ in letter case only.
inline constexpr bool kByteNames = !kWindows;

// "：" and the system's own words for why opening `path` (to read) or creating it fails, found out
// by trying: the texts differ between the platforms, and so do the reasons for one case (a missing
// file and a missing folder are one error on POSIX and two on Windows).
std::u16string ReasonForOpening(const std::filesystem::path& path);
std::u16string ReasonForCreating(const std::filesystem::path& path);
// "：" and the text of an error number, as the fault seam injects it.
std::u16string ReasonOf(int error);

// One entry of an archive's central directory, read by this helper alone (not the product's
// record code): the name's stored bytes, the general-purpose flags and the external attributes.
struct CentralEntry {
    std::string name;
    std::uint16_t flags = 0;
    std::uint32_t external_attributes = 0;
    bool operator==(const CentralEntry&) const = default;
};
// The entries of the archive in `path`, in directory order; nothing when it has no end record.
std::optional<std::vector<CentralEntry>> CentralDirectory(const std::filesystem::path& path);

// The file time of a UTC calendar moment (the conversion is checked).
platform::FileTime FileTimeOf(std::uint16_t year, std::uint16_t month, std::uint16_t day,
                              std::uint16_t hour, std::uint16_t minute, std::uint16_t second);

// Sets a file's last write time, in seconds since 1970-01-01 UTC.
void SetWriteTime(const std::filesystem::path& path, std::int64_t unix_seconds);

std::string ReadText(const std::filesystem::path& path);

// Makes a named pipe (std::filesystem has no call for one).
void MakeFifo(const std::filesystem::path& path);

// Runs a shell command; its output (standard error included), with "[exit N]" appended when it
// failed.
std::string RunShell(const std::string& command);

}  // namespace zelpack::testing

// Python's zipfile, unzip, 7-Zip and bsdtar are Linux programs, out of reach of a test that runs
// under Wine: there the test checks the bytes by itself, and the Windows build's archives meet
// those readers in tests/cli/windows_test.sh. Elsewhere this is EXPECT_EQ.
#define EXPECT_READ_BACK(reading, expected) \
    if (::zelpack::testing::kWindows) {     \
    } else                                  \
        EXPECT_EQ(reading, expected)
