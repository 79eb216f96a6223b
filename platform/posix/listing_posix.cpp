// POSIX: reading a folder's names and what each leads to, and the records of files and folders.
#include <dirent.h>
#include <errno.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "platform/folder_enumerator.h"
#include "platform/listing.h"
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
Result<FileStatus> StatusOf(int folder_fd, const char* path, int flags) {
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

FindData RecordOf(const FileStatus& status, std::u16string name) {
    FindData record;
    const bool folder = S_ISDIR(status.mode);
    record.dwFileAttributes = folder ? kAttributeDirectory : kAttributeArchive;
    if ((status.mode & S_IWUSR) == 0) {
        record.dwFileAttributes |= kAttributeReadOnly;
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

// The POSIX side of a listing. Names are looked up relative to the open folder: an opened
// listing works however long the path to it is (the platform limit then only stops opening a
// deeper level) and wherever the folder is moved meanwhile. A walk holds one descriptor per level
// it is inside.
class PosixEnumerator final : public FolderEnumerator {
  public:
    ~PosixEnumerator() override {
        EndReading();
        if (folder_fd_ >= 0) {
            sys::Close(folder_fd_);
        }
    }

    Status Open(std::u16string_view folder) override {
        const Result<std::string> native =
            folder.empty() ? Result<std::string>(std::string(".")) : NativePath(folder);
        if (!native) {
            return native.error();
        }
        path_ = *native;
        folder_fd_ = sys::Open(path_.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC, 0,
                               faults::Operation::List);
        if (folder_fd_ < 0) {
            return LastError();
        }
        const int read_fd = fcntl(folder_fd_, F_DUPFD_CLOEXEC, 0);
        dir_ = read_fd >= 0 ? fdopendir(read_fd) : nullptr;
        if (dir_ == nullptr) {
            const std::error_code error = LastError();
            if (read_fd >= 0) {
                close(read_fd);
            }
            return error;
        }
        const Result<FileStatus> self = StatusOf(dirfd(dir_), "", AT_EMPTY_PATH);
        if (!self) {
            return self.error();
        }
        self_ = RecordOf(*self, {});
        // ".." of the root is the root itself, which the kernel resolves on its own.
        const Result<FileStatus> parent = StatusOf(dirfd(dir_), "..", 0);
        parent_ = parent ? RecordOf(*parent, {}) : self_;
        return {};
    }

    const FindData& Folder() const override { return self_; }
    FindData Parent() override { return parent_; }
    std::error_code NothingMatches() const override { return ErrorOf(ENOENT); }

    Result<std::u16string> Next() override {
        while (const dirent* entry = sys::ReadFolder(dir_, path_.c_str())) {
            const std::string_view native = entry->d_name;
            if (native != "." && native != "..") {
                names_.push_back({std::string(native), entry->d_type});
                return FromNative(native);
            }
        }
        if (errno != 0) {
            return LastError();
        }
        EndReading();
        return std::u16string();
    }

    Result<NameStatus> Inspect(std::size_t index, std::u16string name) override {
        const Result<FileStatus> status = StatusOf(folder_fd_, names_[index].native.c_str(), 0);
        if (!status) {
            return status.error();
        }
        if (!IsListable(*status)) {
            return make_error_code(Errc::NotRegularFile);
        }
        return NameStatus{RecordOf(*status, std::move(name)), true};
    }

    std::uint32_t LinkTag(std::size_t index) override {
        const Listed& name = names_[index];
        bool link = name.type == DT_LNK;
        if (name.type == DT_UNKNOWN) {
            const Result<FileStatus> own =
                StatusOf(folder_fd_, name.native.c_str(), AT_SYMLINK_NOFOLLOW);
            link = own && S_ISLNK(own->mode);
        }
        return link ? kReparseTagSymlink : 0;
    }

  private:
    struct Listed {
        std::string native;
        unsigned char type = DT_UNKNOWN;  // as the listing gave it
    };

    void EndReading() {
        if (dir_ != nullptr) {
            closedir(dir_);
            dir_ = nullptr;
        }
    }

    std::string path_;
    int folder_fd_ = -1;
    DIR* dir_ = nullptr;  // the reading, on a descriptor of its own
    FindData self_;
    FindData parent_;
    std::vector<Listed> names_;
};

}  // namespace

std::unique_ptr<FolderEnumerator> NewFolderEnumerator() {
    return std::make_unique<PosixEnumerator>();
}

Result<FindData> QueryFile(std::u16string_view path) {
    const Result<std::string> native = NativePath(path);
    if (!native) {
        return native.error();
    }
    const Result<FileStatus> status = StatusOf(AT_FDCWD, native->c_str(), 0);
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
    const Result<FileStatus> status = StatusOf(static_cast<int>(file.handle_), "", AT_EMPTY_PATH);
    if (!status) {
        return status.error();
    }
    if (!IsListable(*status)) {
        return make_error_code(Errc::NotRegularFile);
    }
    return RecordOf(*status, std::u16string());
}

}  // namespace zelpack::platform
