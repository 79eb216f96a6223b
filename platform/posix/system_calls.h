// POSIX: the system calls behind files and listings, each retried on EINTR (all but close, see
// there) and each a point of the fault seam. Internal to platform/posix/.
#pragma once

#include <dirent.h>
#include <errno.h>
#include <fcntl.h>
#include <stdio.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstddef>

#include "platform/fault_point.h"

namespace zelpack::platform::sys {

using faults::FaultPoint;
using faults::Operation;

// One call inside a fault point: the injected error instead of the call, and errno kept
// across the point's `after` action.
template <typename Call>
auto Checked(Operation operation, Call call, const char* path = nullptr) {
    decltype(call(false)) result;
    int saved;
    {
        FaultPoint point(operation, path);
        if (point.error() != 0) {
            errno = point.error();
            result = -1;
        } else {
            result = call(point.partial());
        }
        saved = errno;
    }
    errno = saved;
    return result;
}

template <typename Call>
auto Retrying(Operation operation, Call call, const char* path = nullptr) {
    for (;;) {
        const auto result = Checked(operation, call, path);
        if (result >= 0 || errno != EINTR) {
            return result;
        }
    }
}

// `kind` says which operation this open is: Create, Open, Temporary or List.
inline int Open(const char* path, int flags, mode_t mode, Operation kind) {
    return Retrying(
        kind, [&](bool) { return ::open(path, flags, mode); }, path);
}

inline ssize_t Read(int fd, void* buffer, std::size_t size) {
    return Retrying(Operation::Read, [&](bool partial) {
        return ::read(fd, buffer, partial && size > 1 ? size / 2 : size);
    });
}

inline ssize_t Write(int fd, const void* data, std::size_t size) {
    return Retrying(Operation::Write, [&](bool partial) {
        return ::write(fd, data, partial && size > 1 ? size / 2 : size);
    });
}

// An interrupted call did nothing, so every one but close is simply made again.
inline off_t Seek(int fd, off_t offset, int whence) {
    return Retrying(Operation::Seek, [&](bool) { return ::lseek(fd, offset, whence); });
}

// Never retried: on Linux the descriptor is gone even when close() was interrupted, and a retry
// could close another thread's file.
inline int Close(int fd) {
    int result;
    int saved;
    {
        // An injected failure still closes: only the report changes.
        FaultPoint point(Operation::Close);
        result = ::close(fd);
        if (point.error() != 0) {
            errno = point.error();
            result = -1;
        }
        saved = errno;
    }
    errno = saved;
    return result;
}

inline int Rename(const char* from, const char* to) {
    return Retrying(
        Operation::Rename, [&](bool) { return ::rename(from, to); }, to);
}

// Renames without replacing: RENAME_NOREPLACE, which some file systems lack (EINVAL).
inline int RenameNoReplace(const char* from, const char* to) {
    return Retrying(
        Operation::Rename,
        [&](bool) { return ::renameat2(AT_FDCWD, from, AT_FDCWD, to, RENAME_NOREPLACE); }, to);
}

// A second name for a file, refused when the name is taken: the fallback for RenameNoReplace.
inline int Link(const char* from, const char* to) {
    return Retrying(
        Operation::Rename, [&](bool) { return ::link(from, to); }, to);
}

// `data_only`: fdatasync, enough for a file whose size is all its metadata that matters.
inline int Sync(int fd, bool data_only) {
    return Retrying(Operation::Flush,
                    [&](bool) { return data_only ? ::fdatasync(fd) : ::fsync(fd); });
}

inline int Unlink(const char* path) {
    return Retrying(
        Operation::Remove, [&](bool) { return ::unlink(path); }, path);
}

inline int OpenAt(int folder, const char* path, int flags, mode_t mode = 0) {
    return Retrying(
        Operation::Open, [&](bool) { return ::openat(folder, path, flags, mode); }, path);
}

inline int Statx(int folder, const char* path, int flags, unsigned mask, struct statx* info) {
    return Retrying(
        Operation::Status, [&](bool) { return ::statx(folder, path, flags, mask, info); }, path);
}

// The next entry of the listing of `path`; null at its end (errno 0) or on failure (errno says
// why).
inline dirent* ReadFolder(DIR* folder, const char* path) {
    dirent* entry = nullptr;
    Checked(
        Operation::List,
        [&](bool) {
            errno = 0;
            entry = ::readdir(folder);
            return 0;
        },
        path);
    return entry;
}

}  // namespace zelpack::platform::sys
