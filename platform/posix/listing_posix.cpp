// POSIX: folder listings in NTFS order, and the records of files and folders.
#include <dirent.h>
#include <errno.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <algorithm>
#include <string>
#include <vector>

#include "platform/listing.h"
#include "platform/listing_state.h"
#include "platform/ntfs_order.h"
#include "platform/path.h"
#include "platform/posix/errors_posix.h"
#include "platform/posix/native_path.h"
#include "platform/posix/system_calls.h"
#include "platform/text.h"

namespace zelpack::platform {

namespace {

struct FileStatus {
    mode_t mode = 0;
    FolderId id;
    std::uint64_t size = 0;
    FileTime access = 0;
    FileTime write = 0;
    FileTime creation = 0;
};

// Status of `path` relative to `folder_fd`, links followed unless `flags` says otherwise.
Result<FileStatus> Inspect(int folder_fd, const char* path, int flags) {
    FileStatus status;
    struct statx info {};
    const unsigned mask =
        STATX_TYPE | STATX_MODE | STATX_INO | STATX_SIZE | STATX_ATIME | STATX_MTIME | STATX_BTIME;
    if (sys::Statx(folder_fd, path, flags, mask, &info) == 0) {
        status.mode = info.stx_mode;
        status.id = {makedev(info.stx_dev_major, info.stx_dev_minor), info.stx_ino};
        status.size = info.stx_size;
        status.access = FileTimeFromUnix(info.stx_atime.tv_sec, info.stx_atime.tv_nsec);
        status.write = FileTimeFromUnix(info.stx_mtime.tv_sec, info.stx_mtime.tv_nsec);
        status.creation = (info.stx_mask & STATX_BTIME) != 0
                              ? FileTimeFromUnix(info.stx_btime.tv_sec, info.stx_btime.tv_nsec)
                              : status.write;
        return status;
    }
    // Some sandboxes refuse statx itself; the plain call gives all but the birth time.
    if (errno != ENOSYS && errno != EPERM) {
        return LastError();
    }
    struct stat plain {};
    if (fstatat(folder_fd, path, &plain, flags) != 0) {
        return LastError();
    }
    status.mode = plain.st_mode;
    status.id = {plain.st_dev, plain.st_ino};
    status.size = static_cast<std::uint64_t>(plain.st_size);
    status.access = FileTimeFromUnix(plain.st_atim.tv_sec, plain.st_atim.tv_nsec);
    status.write = FileTimeFromUnix(plain.st_mtim.tv_sec, plain.st_mtim.tv_nsec);
    status.creation = status.write;
    return status;
}

bool IsListable(const FileStatus& status) {
    return S_ISREG(status.mode) || S_ISDIR(status.mode);
}

// Names that are gone by the time they are looked at, and links that lead nowhere (or round in
// circles), are not entries at all.
bool IsGone(const std::error_code& error) {
    return error == std::errc::no_such_file_or_directory ||
           error == std::errc::too_many_symbolic_link_levels;
}

FindData RecordOf(const FileStatus& status, std::u16string name, bool link = false) {
    FindData record;
    const bool folder = S_ISDIR(status.mode);
    record.dwFileAttributes = folder ? kAttributeDirectory : kAttributeArchive;
    if ((status.mode & S_IWUSR) == 0) {
        record.dwFileAttributes |= kAttributeReadOnly;
    }
    if (link) {
        record.dwFileAttributes |= kAttributeReparsePoint;
        record.dwReserved0 = kReparseTagSymlink;
    }
    record.ftCreationTime = status.creation;
    record.ftLastAccessTime = status.access;
    record.ftLastWriteTime = status.write;
    const std::uint64_t size = folder ? 0 : status.size;
    record.nFileSizeHigh = static_cast<std::uint32_t>(size >> 32);
    record.nFileSizeLow = static_cast<std::uint32_t>(size);
    record.cFileName = std::move(name);
    record.id = status.id;
    return record;
}

struct Name {
    std::string native;
    std::u16string wide;
    std::u16string key;               // upper-cased wide form
    unsigned char type = DT_UNKNOWN;  // as the listing gave it
};

bool NtfsBefore(const Name& a, const Name& b) {
    return NtfsOrderLess(a.key, a.wide, b.key, b.wide);
}

// Closes a listing stream however its reading ends.
struct FolderStream {
    DIR* dir = nullptr;
    ~FolderStream() {
        if (dir != nullptr) {
            closedir(dir);
        }
    }
};

}  // namespace

struct FindHandle::State : ListingState {
    State() = default;
    State(const State&) = delete;
    State& operator=(const State&) = delete;
    ~State() {
        if (folder_fd >= 0) {
            sys::Close(folder_fd);
        }
    }

    // Names are looked up relative to the open folder: an opened listing works however long the
    // path to it is (the platform limit then only stops opening a deeper level) and wherever the
    // folder is moved meanwhile. A walk holds one descriptor per level it is inside.
    int folder_fd = -1;
    std::vector<Name> names;
    std::size_t next_name = 0;
};

FindHandle::FindHandle() = default;
FindHandle::FindHandle(FindHandle&&) noexcept = default;
FindHandle& FindHandle::operator=(FindHandle&&) noexcept = default;
FindHandle::~FindHandle() = default;

FolderId FindHandle::Folder() const {
    return state_ ? state_->folder : FolderId{};
}

std::error_code FindHandle::RecordError() const {
    return state_ ? state_->record_error : std::error_code();
}

Result<FindHandle> FindFirstFile(std::u16string_view search_path, FindData& record,
                                 std::span<const FolderId> enclosing) {
    const std::size_t split = search_path.rfind(kPathSeparator);
    const std::u16string_view pattern_text =
        split == std::u16string_view::npos ? search_path : search_path.substr(split + 1);
    const Result<std::string> folder = split == std::u16string_view::npos
                                           ? Result<std::string>(std::string("."))
                                           : NativePath(search_path.substr(0, split + 1));
    if (!folder) {
        return folder.error();
    }

    auto state = std::make_unique<FindHandle::State>();
    state->folder_fd =
        sys::Open(folder->c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC, 0, faults::Operation::List);
    if (state->folder_fd < 0) {
        return LastError();
    }
    FolderStream stream;
    const int read_fd = fcntl(state->folder_fd, F_DUPFD_CLOEXEC, 0);
    stream.dir = read_fd >= 0 ? fdopendir(read_fd) : nullptr;
    if (stream.dir == nullptr) {
        const std::error_code error = LastError();
        if (read_fd >= 0) {
            close(read_fd);
        }
        return error;
    }
    state->enclosing.assign(enclosing.begin(), enclosing.end());

    const Result<FileStatus> self = Inspect(dirfd(stream.dir), "", AT_EMPTY_PATH);
    if (!self) {
        return self.error();
    }
    state->folder = self->id;
    // ".." of the root is the root itself, which the kernel resolves on its own.
    const Result<FileStatus> parent = Inspect(dirfd(stream.dir), "..", 0);

    const bool match_all = pattern_text == u"*" || pattern_text == u"*.*";
    const std::u16string pattern = UpperCased(pattern_text);
    const auto matches = [&](std::u16string_view key) {
        return match_all || MatchesPattern(key, pattern);
    };
    if (matches(u".")) {
        state->dot_records.push_back(RecordOf(*self, u"."));
    }
    if (matches(u"..")) {
        state->dot_records.push_back(RecordOf(parent ? *parent : *self, u".."));
    }

    // The whole folder is read now, to be sorted. A read that fails part of the way fails the
    // listing: a folder shown with some of its names missing would lose them without a word.
    while (const dirent* entry = sys::ReadFolder(stream.dir, folder->c_str())) {
        const std::string_view native = entry->d_name;
        if (native == "." || native == "..") {
            continue;
        }
        Name name{std::string(native), FromNative(native), {}, entry->d_type};
        name.key = UpperCased(name.wide);
        if (matches(name.key)) {
            state->names.push_back(std::move(name));
        }
    }
    if (errno != 0) {
        return LastError();
    }
    std::sort(state->names.begin(), state->names.end(), NtfsBefore);

    FindHandle handle;
    handle.state_ = std::move(state);
    if (!FindNextFile(handle, record)) {
        return ErrorOf(ENOENT);
    }
    return handle;
}

bool FindNextFile(FindHandle& handle, FindData& record) {
    FindHandle::State* state = handle.state_.get();
    if (state == nullptr) {
        return false;
    }
    state->record_error.clear();
    if (state->NextDotRecord(record)) {
        return true;
    }
    while (state->next_name < state->names.size()) {
        Name& name = state->names[state->next_name++];
        const Result<FileStatus> status = Inspect(state->folder_fd, name.native.c_str(), 0);
        if (!status) {
            if (IsGone(status.error())) {
                continue;
            }
            // The name is there but cannot be looked at (a folder that may be read but not
            // searched, for one): an entry all the same, with its name and the reason.
            record = FindData{};
            record.cFileName = std::move(name.wide);
            state->record_error = status.error();
            return true;
        }
        if (!IsListable(*status)) {
            continue;
        }
        if (S_ISDIR(status->mode) && state->IsCycle(status->id)) {
            continue;
        }
        bool link = name.type == DT_LNK;
        if (name.type == DT_UNKNOWN) {
            const Result<FileStatus> own =
                Inspect(state->folder_fd, name.native.c_str(), AT_SYMLINK_NOFOLLOW);
            link = own && S_ISLNK(own->mode);
        }
        record = RecordOf(*status, std::move(name.wide), link);
        return true;
    }
    return false;
}

void FindClose(FindHandle& handle) {
    handle.state_.reset();
}

Result<FindData> QueryFile(std::u16string_view path) {
    const Result<std::string> native = NativePath(path);
    if (!native) {
        return native.error();
    }
    const Result<FileStatus> status = Inspect(AT_FDCWD, native->c_str(), 0);
    if (!status) {
        return status.error();
    }
    if (!IsListable(*status)) {
        return make_error_code(Errc::NotRegularFile);
    }
    return RecordOf(*status, std::u16string(LastComponent(path)));
}

Result<FindData> QueryOpenFile(const File& file) {
    if (!file.IsOpen()) {
        return ErrorOf(EBADF);
    }
    const Result<FileStatus> status = Inspect(static_cast<int>(file.handle_), "", AT_EMPTY_PATH);
    if (!status) {
        return status.error();
    }
    if (!IsListable(*status)) {
        return make_error_code(Errc::NotRegularFile);
    }
    return RecordOf(*status, std::u16string());
}

}  // namespace zelpack::platform
