#include "tests/support/temp_dir.h"

#include <gtest/gtest.h>
#ifdef _WIN32
#include <windows.h>
#else
#include <sys/stat.h>
#endif

#include <array>
#include <chrono>
#include <cstdio>
#include <fstream>
#include <random>
#include <sstream>
#include <stdexcept>

#include "platform/file.h"
#include "platform/result.h"
#include "platform/text.h"

namespace zelpack::testing {

namespace fs = std::filesystem;

platform::FileTime FileTimeOf(std::uint16_t year, std::uint16_t month, std::uint16_t day,
                              std::uint16_t hour, std::uint16_t minute, std::uint16_t second) {
    platform::SystemTime fields;
    fields.wYear = year;
    fields.wMonth = month;
    fields.wDay = day;
    fields.wHour = hour;
    fields.wMinute = minute;
    fields.wSecond = second;
    platform::FileTime time = 0;
    EXPECT_TRUE(platform::SystemTimeToFileTime(fields, time));
    return time;
}

TempDir::TempDir() {
    std::random_device random;
    for (int attempt = 0; attempt < 100; ++attempt) {
        fs::path candidate =
            fs::temp_directory_path() / ("zelpack-test-" + std::to_string(random()));
        if (fs::create_directory(candidate)) {
            path_ = candidate;
            return;
        }
    }
    throw std::runtime_error("cannot create a scratch folder");
}

TempDir::~TempDir() {
    std::error_code ignored;
    // Tests may leave folders without write or search permission; give them back first.
    for (auto it = fs::recursive_directory_iterator(
             path_, fs::directory_options::skip_permission_denied, ignored);
         it != fs::recursive_directory_iterator(); it.increment(ignored)) {
        if (it->is_directory(ignored) && !it->is_symlink(ignored)) {
            fs::permissions(it->path(), fs::perms::owner_all, fs::perm_options::add, ignored);
        }
    }
    fs::permissions(path_, fs::perms::owner_all, fs::perm_options::add, ignored);
    fs::remove_all(path_, ignored);
}

fs::path TempDir::operator/(std::string_view relative) const {
    return path_ / Utf8Path(relative);
}

std::u16string TempDir::wide() const {
    return Wide(path_);
}

fs::path TempDir::Write(std::string_view relative, std::string_view content) const {
    fs::path target = path_ / Utf8Path(relative);
    fs::create_directories(target.parent_path());
    std::ofstream out(target, std::ios::binary | std::ios::trunc);
    out.write(content.data(), static_cast<std::streamsize>(content.size()));
    if (!out) {
        throw std::runtime_error("cannot write " + target.string());
    }
    return target;
}

fs::path TempDir::MakeFolder(std::string_view relative) const {
    fs::path target = path_ / Utf8Path(relative);
    fs::create_directories(target);
    return target;
}

std::u16string Wide(const fs::path& path) {
#ifdef _WIN32
    return path.u16string();
#else
    return platform::FromNative(path.native());
#endif
}

fs::path Utf8Path(std::string_view text) {
#ifdef _WIN32
    return fs::path(std::u8string(text.begin(), text.end()));
#else
    return fs::path(std::string(text));  // bytes, valid UTF-8 or not
#endif
}

namespace {

std::optional<std::string> GetVariable(const std::string& name) {
    const char* value = std::getenv(name.c_str());
    return value != nullptr ? std::optional<std::string>(value) : std::nullopt;
}

void SetVariable(const std::string& name, const std::optional<std::string>& value) {
#ifdef _WIN32
    // The C library's copy and the process's own, which the system calls read.
    _putenv_s(name.c_str(), value.value_or("").c_str());
    SetEnvironmentVariableA(name.c_str(), value ? value->c_str() : nullptr);
#else
    if (value) {
        setenv(name.c_str(), value->c_str(), 1);
    } else {
        unsetenv(name.c_str());
    }
#endif
}

}  // namespace

ScopedTemporaryFolder::ScopedTemporaryFolder(const fs::path& folder) {
    const std::vector<std::string> names =
        kWindows ? std::vector<std::string>{"TMP", "TEMP"} : std::vector<std::string>{"TMPDIR"};
    for (const std::string& name : names) {
        saved_.emplace_back(name, GetVariable(name));
        SetVariable(name, folder.string());
    }
}

ScopedTemporaryFolder::~ScopedTemporaryFolder() {
    for (const auto& [name, value] : saved_) {
        SetVariable(name, value);
    }
}

ScopedVariable::ScopedVariable(std::string name, const std::optional<std::string>& value)
    : name_(std::move(name)), saved_(GetVariable(name_)) {
    SetVariable(name_, value);
}

ScopedVariable::~ScopedVariable() {
    SetVariable(name_, saved_);
}

void SetWriteTime(const fs::path& path, std::int64_t unix_seconds) {
    auto system = std::chrono::sys_seconds{std::chrono::seconds{unix_seconds}};
    fs::last_write_time(path, std::chrono::file_clock::from_sys(system));
}

std::string ReadText(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

void MakeFifo(const fs::path& path) {
#ifdef _WIN32
    throw std::runtime_error("named pipes in folders are POSIX only: " + path.string());
#else
    if (mkfifo(path.c_str(), 0600) != 0) {
        throw std::runtime_error("cannot make a named pipe " + path.string());
    }
#endif
}

std::string RunShell(const std::string& command) {
    std::string output;
    FILE* pipe = popen((command + " 2>&1").c_str(), "r");
    if (pipe == nullptr) {
        return "[cannot run]";
    }
    std::array<char, 4096> chunk;
    while (std::size_t n = std::fread(chunk.data(), 1, chunk.size(), pipe)) {
        output.append(chunk.data(), n);
    }
    const int status = pclose(pipe);
    return status == 0 ? output : output + "[exit " + std::to_string(status) + "]";
}

std::u16string ReasonForOpening(const fs::path& path) {
    return u"：" + platform::ErrorText(platform::File::OpenForReading(Wide(path)).error());
}

std::u16string ReasonForCreating(const fs::path& path) {
    return u"：" + platform::ErrorText(platform::File::CreateAlways(Wide(path)).error());
}

std::u16string ReasonOf(int error) {
    return u"：" + platform::ErrorText(std::error_code(error, std::generic_category()));
}

std::optional<std::vector<CentralEntry>> CentralDirectory(const fs::path& path) {
    const std::string bytes = ReadText(path);
    auto u16 = [&](std::size_t at) {
        return static_cast<std::uint16_t>(static_cast<unsigned char>(bytes[at]) |
                                          static_cast<unsigned char>(bytes[at + 1]) << 8);
    };
    auto u32 = [&](std::size_t at) {
        return std::uint32_t{u16(at)} | std::uint32_t{u16(at + 2)} << 16;
    };
    // The end record (22 bytes, no comment here) holds the count and the directory's offset.
    if (bytes.size() < 22 || u32(bytes.size() - 22) != 0x06054b50) {
        return std::nullopt;
    }
    const std::size_t count = u16(bytes.size() - 12);
    std::size_t at = u32(bytes.size() - 6);
    std::vector<CentralEntry> entries;
    for (std::size_t i = 0; i < count; ++i) {
        if (at + 46 > bytes.size() || u32(at) != 0x02014b50) {
            return std::nullopt;
        }
        const std::size_t name_length = u16(at + 28);
        const std::size_t extra_length = u16(at + 30);
        const std::size_t comment_length = u16(at + 32);
        entries.push_back({bytes.substr(at + 46, name_length), u16(at + 8), u32(at + 38)});
        at += 46 + name_length + extra_length + comment_length;
    }
    return entries;
}

}  // namespace zelpack::testing
