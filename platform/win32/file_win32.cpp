// Windows: files, deletion, replacement and temporary files.
#include <algorithm>
#include <limits>
#include <vector>

#include "platform/file.h"
#include "platform/listing.h"
#include "platform/path.h"
#include "platform/text.h"
#include "platform/win32/win32.h"

namespace zelpack::platform {

namespace {

using win32::Attempt;
using win32::Operation;

HANDLE AsHandle(std::intptr_t handle) {
    return reinterpret_cast<HANDLE>(handle);
}

std::intptr_t AsInteger(HANDLE handle) {
    return reinterpret_cast<std::intptr_t>(handle);
}

// Opens `path` with CreateFileW inside the fault point of `kind`.
Result<std::intptr_t> OpenHandle(Operation kind, std::u16string_view path, DWORD access,
                                 DWORD sharing, DWORD creation,
                                 DWORD flags = FILE_ATTRIBUTE_NORMAL) {
    if (path.empty()) {
        return ErrorOf(ERROR_PATH_NOT_FOUND);
    }
    if (path.find(u'\0') != std::u16string_view::npos) {
        return make_error_code(Errc::NulInPath);
    }
    const std::u16string name(path);
    const std::u16string long_name = LongPath(name);
    HANDLE handle = INVALID_HANDLE_VALUE;
    std::error_code error;
    const bool opened = Attempt(kind, name, error, [&](bool) {
        handle =
            CreateFileW(WideData(long_name), access, sharing, nullptr, creation, flags, nullptr);
        return handle != INVALID_HANDLE_VALUE;
    });
    if (!opened) {
        return error;
    }
    return AsInteger(handle);
}

// A copy of a standard handle that the File may close.
Result<std::intptr_t> Duplicate(DWORD which) {
    HANDLE standard = GetStdHandle(which);
    if (standard == nullptr || standard == INVALID_HANDLE_VALUE) {
        return ErrorOf(ERROR_INVALID_HANDLE);
    }
    HANDLE copy = nullptr;
    if (!DuplicateHandle(GetCurrentProcess(), standard, GetCurrentProcess(), &copy, 0, FALSE,
                         DUPLICATE_SAME_ACCESS)) {
        return LastError();
    }
    return AsInteger(copy);
}

// Reads and writes go in pieces a DWORD can count.
constexpr std::size_t kMaxTransfer = 1u << 30;

}  // namespace

File::File(File&& other) noexcept : handle_(other.handle_) {
    other.handle_ = kNoHandle;
}

File& File::operator=(File&& other) noexcept {
    if (this != &other) {
        if (IsOpen()) {
            CloseHandle(AsHandle(handle_));
        }
        handle_ = other.handle_;
        other.handle_ = kNoHandle;
    }
    return *this;
}

File::~File() {
    if (IsOpen()) {
        CloseHandle(AsHandle(handle_));
    }
}

Result<File> File::StandardInput() {
    const Result<std::intptr_t> handle = Duplicate(STD_INPUT_HANDLE);
    return handle ? Result<File>(File(*handle)) : handle.error();
}

Result<File> File::StandardOutput() {
    const Result<std::intptr_t> handle = Duplicate(STD_OUTPUT_HANDLE);
    return handle ? Result<File>(File(*handle)) : handle.error();
}

Result<File> File::StandardError() {
    const Result<std::intptr_t> handle = Duplicate(STD_ERROR_HANDLE);
    return handle ? Result<File>(File(*handle)) : handle.error();
}

Result<File> File::OpenForReading(std::u16string_view path) {
    // Others may read the file meanwhile, not change it.
    const Result<std::intptr_t> handle =
        OpenHandle(Operation::Open, path, GENERIC_READ, FILE_SHARE_READ, OPEN_EXISTING);
    if (!handle) {
        return handle.error();
    }
    File file(*handle);
    if (GetFileType(AsHandle(*handle)) != FILE_TYPE_DISK) {
        return make_error_code(Errc::NotRegularFile);
    }
    return file;
}

Result<File> File::OpenStream(std::u16string_view path) {
    const Result<std::intptr_t> handle = OpenHandle(
        Operation::Open, path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, OPEN_EXISTING);
    return handle ? Result<File>(File(*handle)) : handle.error();
}

Result<File> File::CreateAlways(std::u16string_view path) {
    const Result<std::intptr_t> handle =
        OpenHandle(Operation::Create, path, GENERIC_WRITE, 0, CREATE_ALWAYS);
    return handle ? Result<File>(File(*handle)) : handle.error();
}

Result<File> File::CreateNew(std::u16string_view path, TemporaryAccess) {
    // Who may read it follows the folder's permissions, which the new file inherits on Windows.
    const Result<std::intptr_t> handle =
        OpenHandle(Operation::Temporary, path, GENERIC_READ | GENERIC_WRITE, 0, CREATE_NEW);
    return handle ? Result<File>(File(*handle)) : handle.error();
}

Result<std::size_t> File::Read(std::span<std::uint8_t> buffer) {
    DWORD got = 0;
    std::error_code error;
    const bool read = Attempt(Operation::Read, error, [&](bool partial) {
        std::size_t size = std::min(buffer.size(), kMaxTransfer);
        if (partial && size > 1) {
            size /= 2;
        }
        return ReadFile(AsHandle(handle_), buffer.data(), static_cast<DWORD>(size), &got,
                        nullptr) != 0;
    });
    if (!read) {
        // A pipe whose writer is gone has simply ended.
        if (error == std::error_code(ERROR_BROKEN_PIPE, Win32Category())) {
            return std::size_t{0};
        }
        return error;
    }
    return static_cast<std::size_t>(got);
}

Status File::WriteAll(std::span<const std::uint8_t> data) {
    while (!data.empty()) {
        DWORD wrote = 0;
        std::error_code error;
        const bool written = Attempt(Operation::Write, error, [&](bool partial) {
            std::size_t size = std::min(data.size(), kMaxTransfer);
            if (partial && size > 1) {
                size /= 2;
            }
            return WriteFile(AsHandle(handle_), data.data(), static_cast<DWORD>(size), &wrote,
                             nullptr) != 0;
        });
        if (!written) {
            return error;
        }
        data = data.subspan(wrote);
    }
    return {};
}

Status File::WriteText(std::string_view text) {
    DWORD mode = 0;
    if (!GetConsoleMode(AsHandle(handle_), &mode)) {
        return WriteAll({reinterpret_cast<const std::uint8_t*>(text.data()), text.size()});
    }
    const std::u16string wide = FromNative(text);
    std::size_t done = 0;
    while (done < wide.size()) {
        DWORD wrote = 0;
        std::error_code error;
        const bool written = Attempt(Operation::Write, error, [&](bool) {
            const auto size = static_cast<DWORD>(std::min<std::size_t>(wide.size() - done, 8192));
            return WriteConsoleW(AsHandle(handle_), wide.data() + done, size, &wrote, nullptr) != 0;
        });
        if (!written) {
            return error;
        }
        done += wrote;
    }
    return {};
}

Result<std::uint64_t> File::Seek(std::int64_t offset, SeekOrigin origin) {
    // Pipes and consoles have no position; SetFilePointer is undefined on them.
    if (GetFileType(AsHandle(handle_)) != FILE_TYPE_DISK) {
        return std::make_error_code(std::errc::invalid_seek);
    }
    const DWORD method = origin == SeekOrigin::Begin     ? FILE_BEGIN
                         : origin == SeekOrigin::Current ? FILE_CURRENT
                                                         : FILE_END;
    LONG high = static_cast<LONG>(offset >> 32);
    DWORD low = 0;
    std::error_code error;
    const bool moved = Attempt(Operation::Seek, error, [&](bool) {
        high = static_cast<LONG>(offset >> 32);
        SetLastError(NO_ERROR);
        low = SetFilePointer(AsHandle(handle_), static_cast<LONG>(offset & 0xFFFFFFFF), &high,
                             method);
        return low != INVALID_SET_FILE_POINTER || GetLastError() == NO_ERROR;
    });
    if (!moved) {
        return error;
    }
    return (std::uint64_t{static_cast<DWORD>(high)} << 32) | low;
}

Result<std::uint64_t> File::Size() const {
    DWORD high = 0;
    SetLastError(NO_ERROR);
    const DWORD low = GetFileSize(AsHandle(handle_), &high);
    if (low == INVALID_FILE_SIZE && GetLastError() != NO_ERROR) {
        return LastError();
    }
    return (std::uint64_t{high} << 32) | low;
}

Status File::Flush() {
    if (!IsOpen()) {
        return ErrorOf(ERROR_INVALID_HANDLE);
    }
    std::error_code error;
    const bool flushed = Attempt(Operation::Flush, error,
                                 [&](bool) { return FlushFileBuffers(AsHandle(handle_)) != 0; });
    return flushed ? Status() : Status(error);
}

Status File::Close() {
    if (!IsOpen()) {
        return ErrorOf(ERROR_INVALID_HANDLE);
    }
    const HANDLE handle = AsHandle(handle_);
    handle_ = kNoHandle;
    std::error_code error;
    bool closed = false;
    {
        // An injected failure still closes: only the report changes.
        win32::FaultPoint point(Operation::Close);
        closed = CloseHandle(handle) != 0;
        if (!closed) {
            error = LastError();
        } else if (point.error() != 0 && point.error() != EINTR) {
            closed = false;
            error = std::error_code(point.error(), std::generic_category());
        }
    }
    return closed ? Status() : Status(error);
}

Status DeleteFile(std::u16string_view path) {
    const std::u16string name(path);
    const std::u16string long_name = LongPath(name);
    std::error_code error;
    const bool deleted = Attempt(Operation::Remove, name, error,
                                 [&](bool) { return DeleteFileW(WideData(long_name)) != 0; });
    return deleted ? Status() : Status(error);
}

Status ReplaceFile(std::u16string_view from, std::u16string_view to) {
    const std::u16string source = LongPath(from);
    const std::u16string target(to);
    const std::u16string long_target = LongPath(to);
    std::error_code error;
    const bool moved = Attempt(Operation::Rename, target, error, [&](bool) {
        return MoveFileExW(WideData(source), WideData(long_target),
                           MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) != 0;
    });
    return moved ? Status() : Status(error);
}

Status MoveNoReplace(std::u16string_view from, std::u16string_view to) {
    const std::u16string source = LongPath(from);
    const std::u16string target(to);
    const std::u16string long_target = LongPath(to);
    std::error_code error;
    // Without MOVEFILE_REPLACE_EXISTING the move fails whenever the name is taken.
    const bool moved = Attempt(Operation::Rename, target, error, [&](bool) {
        return MoveFileExW(WideData(source), WideData(long_target), MOVEFILE_WRITE_THROUGH) != 0;
    });
    return moved ? Status() : Status(error);
}

Status FlushFolder(std::u16string_view) {
    // The moves are made with MOVEFILE_WRITE_THROUGH, and a folder cannot be flushed on its own.
    return {};
}

Result<FileKind> QueryKind(std::u16string_view path) {
    const Result<std::u16string> full = AbsolutePath(path);
    if (!full) {
        return full.error();
    }
    // Device names (NUL, COM1, CON, in any folder) and pipes come back in the device namespace;
    // they are never opened here, which could take a pipe's connection.
    if (full->starts_with(u"\\\\.\\")) {
        std::u16string upper = UpperCased(*full);
        return upper.starts_with(u"\\\\.\\PIPE\\") ? FileKind::Pipe : FileKind::Device;
    }
    WIN32_FILE_ATTRIBUTE_DATA data{};
    const std::u16string long_name = LongPath(*full);
    std::error_code error;
    const bool found = Attempt(Operation::Status, *full, error, [&](bool) {
        return GetFileAttributesExW(WideData(long_name), GetFileExInfoStandard, &data) != 0;
    });
    if (!found) {
        if (error == std::errc::no_such_file_or_directory) {
            return FileKind::Missing;
        }
        return error;
    }
    if ((data.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0) {
        // A link: what it leads to.
        const Result<FindData> target = QueryFile(*full);
        if (!target) {
            return target.error() == std::errc::no_such_file_or_directory
                       ? Result<FileKind>(FileKind::Missing)
                       : Result<FileKind>(target.error());
        }
        return (target->dwFileAttributes & kAttributeDirectory) != 0 ? FileKind::Folder
                                                                     : FileKind::Regular;
    }
    return (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0 ? FileKind::Folder
                                                                   : FileKind::Regular;
}

Result<Subtree> Subtree::Open(std::u16string_view folder) {
    Result<std::u16string> real = RealPath(folder);
    if (!real) {
        return real.error();
    }
    Subtree tree;
    tree.path_ = folder;
    tree.real_path_ = std::move(*real);
    return tree;
}

Result<File> Subtree::OpenFile(std::u16string_view relative, LinkRule links) const {
    const std::u16string path = JoinPath(path_, relative);
    // A reparse point is opened as itself rather than followed, so that it can be refused.
    const Result<std::intptr_t> handle = OpenHandle(
        Operation::Open, path, GENERIC_READ, FILE_SHARE_READ, OPEN_EXISTING,
        links == LinkRule::Refuse ? FILE_FLAG_OPEN_REPARSE_POINT : FILE_ATTRIBUTE_NORMAL);
    if (!handle) {
        return handle.error();
    }
    File file(*handle);
    if (GetFileType(AsHandle(*handle)) != FILE_TYPE_DISK) {
        return make_error_code(Errc::NotRegularFile);
    }
    if (links == LinkRule::Follow) {
        return file;
    }
    BY_HANDLE_FILE_INFORMATION info{};
    if (!GetFileInformationByHandle(AsHandle(*handle), &info)) {
        return LastError();
    }
    const std::error_code link = std::make_error_code(std::errc::too_many_symbolic_link_levels);
    if ((info.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0) {
        return link;
    }
    // A folder on the way that became a link or junction leads elsewhere: the file must be where
    // its path says, below the folder's own resolved path.
    const Result<std::u16string> final_path = FinalPathOf(AsHandle(*handle), path);
    if (!final_path) {
        return final_path.error();
    }
    if (UpperCased(*final_path) != UpperCased(JoinPath(real_path_, relative))) {
        return link;
    }
    return file;
}

}  // namespace zelpack::platform
