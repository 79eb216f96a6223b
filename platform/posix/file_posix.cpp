// POSIX: files, deletion, replacement and temporary files.
#include <errno.h>
#include <fcntl.h>
#include <linux/openat2.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

#include "platform/file.h"
#include "platform/posix/errors_posix.h"
#include "platform/posix/native_path.h"
#include "platform/posix/system_calls.h"
#include "platform/text.h"

namespace zelpack::platform {

namespace {

using faults::Operation;

// A file just opened with O_NONBLOCK (so that a named pipe could not make the open wait): refused
// unless it is a regular file, then made blocking again.
Status KeepRegularFile(int fd) {
    struct stat info {};
    if (fstat(fd, &info) != 0) {
        return LastError();
    }
    if (S_ISDIR(info.st_mode)) {
        return ErrorOf(EISDIR);
    }
    if (!S_ISREG(info.st_mode)) {
        return make_error_code(Errc::NotRegularFile);
    }
    const int flags = fcntl(fd, F_GETFL);
    if (flags < 0 || fcntl(fd, F_SETFL, flags & ~O_NONBLOCK) < 0) {
        return LastError();
    }
    return {};
}

constexpr int kReadFlags = O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK;

// `relative` below `folder` without passing through a link: openat2 confines the whole walk to
// the folder; where the kernel lacks it (before Linux 5.6, or a sandbox that filters it), one
// component at a time, each opened with O_NOFOLLOW. A link fails with ELOOP either way.
int OpenWithoutLinks(int folder, const std::string& relative) {
    open_how how{};
    how.flags = kReadFlags | O_NOFOLLOW;
    how.resolve = RESOLVE_BENEATH | RESOLVE_NO_SYMLINKS | RESOLVE_NO_MAGICLINKS;
    const int fd = sys::Retrying(
        Operation::Open,
        [&](bool) {
            return static_cast<int>(
                syscall(SYS_openat2, folder, relative.c_str(), &how, sizeof how));
        },
        relative.c_str());
    if (fd >= 0 || (errno != ENOSYS && errno != EPERM)) {
        // RESOLVE_BENEATH reports a component that escapes as EXDEV; to the caller it is a link.
        if (fd < 0 && errno == EXDEV) {
            errno = ELOOP;
        }
        return fd;
    }
    int current = folder;
    std::size_t start = 0;
    for (;;) {
        const std::size_t slash = relative.find('/', start);
        const std::string part = relative.substr(start, slash - start);
        if (part.empty() || part == "." || part == "..") {
            if (current != folder) {
                sys::Close(current);
            }
            errno = part.empty() ? ENOENT : ELOOP;
            return -1;
        }
        const bool last = slash == std::string::npos;
        const int next = sys::OpenAt(
            current, part.c_str(),
            last ? kReadFlags | O_NOFOLLOW : O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
        const int saved = errno;
        if (current != folder) {
            sys::Close(current);
        }
        errno = saved;
        // A component that is a link but must be a folder fails with ENOTDIR, not ELOOP.
        if (next < 0 && errno == ENOTDIR && !last) {
            struct stat own {};
            const std::string upto = relative.substr(0, slash);
            if (fstatat(folder, upto.c_str(), &own, AT_SYMLINK_NOFOLLOW) == 0 &&
                S_ISLNK(own.st_mode)) {
                errno = ELOOP;
            }
        }
        if (next < 0 || last) {
            return next;
        }
        current = next;
        start = slash + 1;
    }
}

}  // namespace

File::File(File&& other) noexcept : handle_(other.handle_) {
    other.handle_ = kNoHandle;
}

File& File::operator=(File&& other) noexcept {
    if (this != &other) {
        if (IsOpen()) {
            sys::Close(static_cast<int>(handle_));
        }
        handle_ = other.handle_;
        other.handle_ = kNoHandle;
    }
    return *this;
}

File::~File() {
    if (IsOpen()) {
        sys::Close(static_cast<int>(handle_));
    }
}

Result<File> File::StandardInput() {
    const int fd = fcntl(STDIN_FILENO, F_DUPFD_CLOEXEC, 0);
    return fd >= 0 ? Result<File>(File(fd)) : LastError();
}

Result<File> File::StandardOutput() {
    const int fd = fcntl(STDOUT_FILENO, F_DUPFD_CLOEXEC, 0);
    return fd >= 0 ? Result<File>(File(fd)) : LastError();
}

Result<File> File::StandardError() {
    const int fd = fcntl(STDERR_FILENO, F_DUPFD_CLOEXEC, 0);
    return fd >= 0 ? Result<File>(File(fd)) : LastError();
}

Result<File> File::OpenForReading(std::u16string_view path) {
    const Result<std::string> native = NativePath(path);
    if (!native) {
        return native.error();
    }
    // O_NONBLOCK keeps the open of a named pipe from waiting for a writer; it is refused below.
    File file(sys::Open(native->c_str(), kReadFlags, 0, Operation::Open));
    if (!file.IsOpen()) {
        return LastError();
    }
    if (const Status regular = KeepRegularFile(static_cast<int>(file.handle_)); !regular) {
        return regular.error();
    }
    return file;
}

Result<File> File::OpenStream(std::u16string_view path) {
    const Result<std::string> native = NativePath(path);
    if (!native) {
        return native.error();
    }
    File file(sys::Open(native->c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY, 0, Operation::Open));
    if (!file.IsOpen()) {
        return LastError();
    }
    struct stat info {};
    if (fstat(static_cast<int>(file.handle_), &info) != 0) {
        return LastError();
    }
    if (S_ISDIR(info.st_mode)) {
        return ErrorOf(EISDIR);
    }
    return file;
}

Result<File> File::CreateAlways(std::u16string_view path) {
    const Result<std::string> native = NativePath(path);
    if (!native) {
        return native.error();
    }
    File file(sys::Open(native->c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC | O_NOCTTY, 0666,
                        Operation::Create));
    if (!file.IsOpen()) {
        return LastError();
    }
    return file;
}

Result<File> File::CreateNew(std::u16string_view path, TemporaryAccess access) {
    const Result<std::string> native = NativePath(path);
    if (!native) {
        return native.error();
    }
    const mode_t mode = access == TemporaryAccess::OwnerOnly ? 0600 : 0666;
    File file(sys::Open(native->c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC | O_NOCTTY, mode,
                        Operation::Temporary));
    if (!file.IsOpen()) {
        return LastError();
    }
    return file;
}

Result<std::size_t> File::Read(std::span<std::uint8_t> buffer) {
    const ssize_t count = sys::Read(static_cast<int>(handle_), buffer.data(), buffer.size());
    if (count < 0) {
        return LastError();
    }
    return static_cast<std::size_t>(count);
}

Status File::WriteAll(std::span<const std::uint8_t> data) {
    while (!data.empty()) {
        const ssize_t count = sys::Write(static_cast<int>(handle_), data.data(), data.size());
        if (count < 0) {
            return LastError();
        }
        data = data.subspan(static_cast<std::size_t>(count));
    }
    return {};
}

Status File::WriteText(std::string_view text) {
    return WriteAll({reinterpret_cast<const std::uint8_t*>(text.data()), text.size()});
}

Result<std::uint64_t> File::Seek(std::int64_t offset, SeekOrigin origin) {
    int whence = SEEK_SET;
    if (origin == SeekOrigin::Current) {
        whence = SEEK_CUR;
    } else if (origin == SeekOrigin::End) {
        whence = SEEK_END;
    }
    const off_t position = sys::Seek(static_cast<int>(handle_), static_cast<off_t>(offset), whence);
    if (position < 0) {
        return LastError();
    }
    return static_cast<std::uint64_t>(position);
}

Result<std::uint64_t> File::Size() const {
    struct stat info {};
    if (fstat(static_cast<int>(handle_), &info) != 0) {
        return LastError();
    }
    return static_cast<std::uint64_t>(info.st_size);
}

Status File::Flush() {
    if (!IsOpen()) {
        return ErrorOf(EBADF);
    }
    return sys::Sync(static_cast<int>(handle_), true) == 0 ? Status() : LastError();
}

Status File::Close() {
    if (!IsOpen()) {
        return ErrorOf(EBADF);
    }
    const int result = sys::Close(static_cast<int>(handle_));
    handle_ = kNoHandle;
    // EINTR: the descriptor is gone and nothing was lost that a retry could save.
    if (result != 0 && errno != EINTR) {
        return LastError();
    }
    return {};
}

Status DeleteFile(std::u16string_view path) {
    const Result<std::string> native = NativePath(path);
    if (!native) {
        return native.error();
    }
    return sys::Unlink(native->c_str()) == 0 ? Status() : LastError();
}

Status ReplaceFile(std::u16string_view from, std::u16string_view to) {
    const Result<std::string> source = NativePath(from);
    const Result<std::string> target = NativePath(to);
    if (!source || !target) {
        return !source ? source.error() : target.error();
    }
    struct stat replaced {};
    if (stat(target->c_str(), &replaced) == 0 && S_ISREG(replaced.st_mode)) {
        // File systems without Unix modes refuse this; the file still replaces the old one.
        chmod(source->c_str(), replaced.st_mode & 07777);
    }
    return sys::Rename(source->c_str(), target->c_str()) == 0 ? Status() : LastError();
}

Status MoveNoReplace(std::u16string_view from, std::u16string_view to) {
    const Result<std::string> source = NativePath(from);
    const Result<std::string> target = NativePath(to);
    if (!source || !target) {
        return !source ? source.error() : target.error();
    }
    if (sys::RenameNoReplace(source->c_str(), target->c_str()) == 0) {
        return {};
    }
    // File systems without RENAME_NOREPLACE (some network and FUSE ones): link, which refuses a
    // taken name just as surely, then drop the old name.
    if (errno != EINVAL && errno != ENOSYS && errno != ENOTSUP) {
        return LastError();
    }
    if (sys::Link(source->c_str(), target->c_str()) != 0) {
        return LastError();
    }
    static_cast<void>(sys::Unlink(source->c_str()));
    return {};
}

Status FlushFolder(std::u16string_view folder) {
    const Result<std::string> native = NativePath(folder);
    if (!native) {
        return native.error();
    }
    const int fd =
        sys::Open(native->c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC, 0, Operation::Open);
    if (fd < 0) {
        return LastError();
    }
    // Some file systems cannot flush a folder at all; there is nothing more to be done then.
    const bool flushed = sys::Sync(fd, false) == 0 || errno == EINVAL;
    const std::error_code error = flushed ? std::error_code() : LastError();
    ::close(fd);
    return error;
}

Result<FileKind> QueryKind(std::u16string_view path) {
    const Result<std::string> native = NativePath(path);
    if (!native) {
        return native.error();
    }
    struct stat info {};
    const int result = sys::Retrying(
        Operation::Status, [&](bool) { return ::stat(native->c_str(), &info); }, native->c_str());
    if (result != 0) {
        if (errno == ENOENT) {
            return FileKind::Missing;
        }
        return LastError();
    }
    if (S_ISREG(info.st_mode)) {
        return FileKind::Regular;
    }
    if (S_ISDIR(info.st_mode)) {
        return FileKind::Folder;
    }
    if (S_ISFIFO(info.st_mode)) {
        return FileKind::Pipe;
    }
    if (S_ISSOCK(info.st_mode)) {
        return FileKind::Socket;
    }
    if (S_ISCHR(info.st_mode) || S_ISBLK(info.st_mode)) {
        return FileKind::Device;
    }
    return FileKind::Other;
}

Result<Subtree> Subtree::Open(std::u16string_view folder) {
    const Result<std::string> native = NativePath(folder);
    if (!native) {
        return native.error();
    }
    Subtree tree;
    tree.folder_ =
        File(sys::Open(native->c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC, 0, Operation::List));
    if (!tree.folder_.IsOpen()) {
        return LastError();
    }
    tree.path_ = folder;
    return tree;
}

Result<File> Subtree::OpenFile(std::u16string_view relative, LinkRule links) const {
    const Result<std::string> native = NativePath(relative);
    if (!native) {
        return native.error();
    }
    const int folder = static_cast<int>(folder_.handle_);
    File file(links == LinkRule::Refuse ? OpenWithoutLinks(folder, *native)
                                        : sys::OpenAt(folder, native->c_str(), kReadFlags));
    if (!file.IsOpen()) {
        return LastError();
    }
    if (const Status regular = KeepRegularFile(static_cast<int>(file.handle_)); !regular) {
        return regular.error();
    }
    return file;
}

}  // namespace zelpack::platform
