// A private scratch folder for one test, removed with everything in it afterwards.
#pragma once

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

// Whether this build runs on Windows, for the few tests that only make sense on one platform.
#ifdef _WIN32
inline constexpr bool kWindows = true;
#else
inline constexpr bool kWindows = false;
#endif

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
