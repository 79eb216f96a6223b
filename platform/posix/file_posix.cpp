#include <errno.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <random>

#include "platform/file.h"
#include "platform/text.h"

namespace zelpack::platform {

namespace {

// Native form of a path for the system calls; nothing when it holds a NUL, which the kernel would
// take as its end.
std::optional<std::string> NativePath(std::u16string_view path) {
    std::string native = ToNative(path);
    if (native.empty() || native.find('\0') != std::string::npos) {
        return std::nullopt;
    }
    return native;
}

int OpenRetrying(const char* path, int flags, mode_t mode) {
    int fd;
    do {
        fd = open(path, flags, mode);
    } while (fd < 0 && errno == EINTR);
    return fd;
}

std::string RandomPart() {
    static constexpr char kAlphabet[] = "abcdefghijklmnopqrstuvwxyz0123456789";
    constexpr std::size_t kLength = 16;  // about 82 bits
    std::random_device source;
    std::uniform_int_distribution<std::size_t> pick(0, sizeof(kAlphabet) - 2);
    std::string part(kLength, 'x');
    for (char& c : part) {
        c = kAlphabet[pick(source)];
    }
    return part;
}

}  // namespace

File::File(File&& other) noexcept : fd_(other.fd_) {
    other.fd_ = -1;
}

File& File::operator=(File&& other) noexcept {
    if (this != &other) {
        if (fd_ >= 0) {
            close(fd_);
        }
        fd_ = other.fd_;
        other.fd_ = -1;
    }
    return *this;
}

File::~File() {
    if (fd_ >= 0) {
        close(fd_);
    }
}

std::optional<File> File::StandardInput() {
    const int fd = fcntl(STDIN_FILENO, F_DUPFD_CLOEXEC, 0);
    return fd >= 0 ? std::optional<File>(File(fd)) : std::nullopt;
}

std::optional<File> File::StandardOutput() {
    const int fd = fcntl(STDOUT_FILENO, F_DUPFD_CLOEXEC, 0);
    return fd >= 0 ? std::optional<File>(File(fd)) : std::nullopt;
}

std::optional<File> File::OpenForReading(std::u16string_view path) {
    const std::optional<std::string> native = NativePath(path);
    if (!native) {
        return std::nullopt;
    }
    // O_NONBLOCK keeps the open of a named pipe from waiting for a writer; it is refused below.
    File file(OpenRetrying(native->c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK, 0));
    if (!file.IsOpen()) {
        return std::nullopt;
    }
    struct stat info {};
    if (fstat(file.fd_, &info) != 0 || !S_ISREG(info.st_mode)) {
        return std::nullopt;
    }
    const int flags = fcntl(file.fd_, F_GETFL);
    if (flags < 0 || fcntl(file.fd_, F_SETFL, flags & ~O_NONBLOCK) < 0) {
        return std::nullopt;
    }
    return file;
}

std::optional<File> File::OpenStream(std::u16string_view path) {
    const std::optional<std::string> native = NativePath(path);
    if (!native) {
        return std::nullopt;
    }
    File file(OpenRetrying(native->c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY, 0));
    struct stat info {};
    if (!file.IsOpen() || fstat(file.fd_, &info) != 0 || S_ISDIR(info.st_mode)) {
        return std::nullopt;
    }
    return file;
}

std::optional<File> File::CreateAlways(std::u16string_view path) {
    const std::optional<std::string> native = NativePath(path);
    if (!native) {
        return std::nullopt;
    }
    File file(
        OpenRetrying(native->c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC | O_NOCTTY, 0666));
    if (!file.IsOpen()) {
        return std::nullopt;
    }
    return file;
}

std::optional<File> File::CreateTemporary(std::u16string_view folder, std::u16string_view prefix,
                                          std::u16string_view suffix, std::u16string& path,
                                          TemporaryAccess access) {
    const mode_t mode = access == TemporaryAccess::OwnerOnly ? 0600 : 0666;
    std::string base = ToNative(folder);
    if (!base.empty() && base.back() != '/') {
        base.push_back('/');
    }
    base += ToNative(prefix);
    const std::string tail = ToNative(suffix);
    if (base.find('\0') != std::string::npos || tail.find('\0') != std::string::npos) {
        return std::nullopt;
    }
    constexpr int kAttempts = 100;
    for (int attempt = 0; attempt < kAttempts; ++attempt) {
        const std::string candidate = base + RandomPart() + tail;
        const int fd =
            OpenRetrying(candidate.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC | O_NOCTTY, mode);
        if (fd >= 0) {
            path = FromNative(candidate);
            return File(fd);
        }
        if (errno != EEXIST) {
            return std::nullopt;
        }
    }
    return std::nullopt;
}

std::optional<std::size_t> File::Read(std::span<std::uint8_t> buffer) {
    ssize_t count;
    do {
        count = read(fd_, buffer.data(), buffer.size());
    } while (count < 0 && errno == EINTR);
    if (count < 0) {
        return std::nullopt;
    }
    return static_cast<std::size_t>(count);
}

std::optional<std::size_t> File::ReadFull(std::span<std::uint8_t> buffer) {
    std::size_t total = 0;
    while (total < buffer.size()) {
        const std::optional<std::size_t> count = Read(buffer.subspan(total));
        if (!count) {
            return std::nullopt;
        }
        if (*count == 0) {
            break;
        }
        total += *count;
    }
    return total;
}

bool File::WriteAll(std::span<const std::uint8_t> data) {
    while (!data.empty()) {
        const ssize_t count = write(fd_, data.data(), data.size());
        if (count < 0) {
            if (errno == EINTR) {
                continue;
            }
            return false;
        }
        data = data.subspan(static_cast<std::size_t>(count));
    }
    return true;
}

std::optional<std::uint64_t> File::Seek(std::int64_t offset, SeekOrigin origin) {
    int whence = SEEK_SET;
    if (origin == SeekOrigin::Current) {
        whence = SEEK_CUR;
    } else if (origin == SeekOrigin::End) {
        whence = SEEK_END;
    }
    const off_t position = lseek(fd_, static_cast<off_t>(offset), whence);
    if (position < 0) {
        return std::nullopt;
    }
    return static_cast<std::uint64_t>(position);
}

std::optional<std::uint64_t> File::Size() const {
    struct stat info {};
    if (fstat(fd_, &info) != 0) {
        return std::nullopt;
    }
    return static_cast<std::uint64_t>(info.st_size);
}

bool File::Close() {
    if (fd_ < 0) {
        return false;
    }
    const int result = close(fd_);
    fd_ = -1;
    // On Linux the descriptor is gone even when close() was interrupted; retrying could close
    // another thread's file.
    return result == 0 || errno == EINTR;
}

std::optional<std::vector<std::uint8_t>> ReadWholeFile(std::u16string_view path) {
    std::optional<File> file = File::OpenForReading(path);
    if (!file) {
        return std::nullopt;
    }
    std::vector<std::uint8_t> content;
    if (const std::optional<std::uint64_t> size = file->Size()) {
        content.reserve(static_cast<std::size_t>(*size));
    }
    // The size is a hint only: the file may grow or shrink while it is read.
    std::uint8_t chunk[64 * 1024];
    for (;;) {
        const std::optional<std::size_t> count = file->Read(chunk);
        if (!count) {
            return std::nullopt;
        }
        if (*count == 0) {
            break;
        }
        content.insert(content.end(), chunk, chunk + *count);
    }
    return content;
}

bool DeleteFile(std::u16string_view path) {
    const std::optional<std::string> native = NativePath(path);
    return native && unlink(native->c_str()) == 0;
}

bool ReplaceFile(std::u16string_view from, std::u16string_view to) {
    const std::optional<std::string> source = NativePath(from);
    const std::optional<std::string> target = NativePath(to);
    return source && target && rename(source->c_str(), target->c_str()) == 0;
}

std::optional<std::u16string> AbsolutePath(std::u16string_view path) {
    std::string native = ToNative(path);
    if (native.empty() || native.find('\0') != std::string::npos) {
        return std::nullopt;
    }
    if (native[0] != '/') {
        std::string current(4096, '\0');
        while (getcwd(current.data(), current.size()) == nullptr) {
            if (errno != ERANGE) {
                return std::nullopt;
            }
            current.resize(current.size() * 2);
        }
        current.resize(std::char_traits<char>::length(current.c_str()));
        native = current + "/" + native;
    }
    // Resolve segment by segment; ".." at the root stays at the root.
    std::vector<std::string_view> segments;
    std::string_view rest = native;
    while (!rest.empty()) {
        const std::size_t slash = rest.find('/');
        const std::string_view segment = rest.substr(0, slash);
        rest = slash == std::string_view::npos ? std::string_view{} : rest.substr(slash + 1);
        if (segment.empty() || segment == ".") {
            continue;
        }
        if (segment == "..") {
            if (!segments.empty()) {
                segments.pop_back();
            }
            continue;
        }
        segments.push_back(segment);
    }
    std::string result;
    for (std::string_view segment : segments) {
        result += '/';
        result += segment;
    }
    return FromNative(result.empty() ? "/" : result);
}

std::u16string TemporaryFolder() {
    const char* variable = std::getenv("TMPDIR");
    std::string folder = variable != nullptr && *variable != '\0' ? variable : "/tmp";
    while (folder.size() > 1 && folder.back() == '/') {
        folder.pop_back();
    }
    return FromNative(folder);
}

}  // namespace zelpack::platform
