// Windows: reading a folder's names and what each leads to, and the records of files.
#include <algorithm>
#include <unordered_map>
#include <vector>

#include "platform/folder_enumerator.h"
#include "platform/path.h"
#include "platform/win32/win32.h"

namespace zelpack::platform {

namespace {

using win32::Attempt;
using win32::Operation;

FileTime TimeOf(const FILETIME& time) {
    return (std::uint64_t{time.dwHighDateTime} << 32) | time.dwLowDateTime;
}

FolderId IdOf(const BY_HANDLE_FILE_INFORMATION& info) {
    return {info.dwVolumeSerialNumber,
            (std::uint64_t{info.nFileIndexHigh} << 32) | info.nFileIndexLow};
}

// What a handle's information and a listing's record both say: attributes, times and the size
// (0 for a folder).
template <typename Info>
FindData SharedFields(const Info& info) {
    FindData record;
    record.dwFileAttributes = info.dwFileAttributes;
    record.ftCreationTime = TimeOf(info.ftCreationTime);
    record.ftLastAccessTime = TimeOf(info.ftLastAccessTime);
    record.ftLastWriteTime = TimeOf(info.ftLastWriteTime);
    const bool folder = (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
    record.nFileSizeHigh = folder ? 0 : info.nFileSizeHigh;
    record.nFileSizeLow = folder ? 0 : info.nFileSizeLow;
    return record;
}

// What a handle's information says about the file, under `name`.
FindData RecordOf(const BY_HANDLE_FILE_INFORMATION& info, std::u16string name) {
    FindData record = SharedFields(info);
    record.dwFileAttributes &= ~FILE_ATTRIBUTE_REPARSE_POINT;
    record.cFileName = std::move(name);
    record.id = IdOf(info);
    return record;
}

// The information of what `path` leads to, links followed; folders open too.
Result<BY_HANDLE_FILE_INFORMATION> InformationOf(std::u16string_view path) {
    const std::u16string name(path);
    const std::u16string long_name = LongPath(name);
    BY_HANDLE_FILE_INFORMATION info{};
    std::error_code error;
    const bool inspected = Attempt(Operation::Status, name, error, [&](bool) {
        const HANDLE handle =
            CreateFileW(WideData(long_name), FILE_READ_ATTRIBUTES,
                        FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                        OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
        if (handle == INVALID_HANDLE_VALUE) {
            return false;
        }
        const bool got = GetFileInformationByHandle(handle, &info) != 0;
        const DWORD reason = GetLastError();
        CloseHandle(handle);
        SetLastError(reason);
        return got;
    });
    if (!inspected) {
        return error;
    }
    return info;
}

// Symbolic links and junctions, and any other reparse point: one that is no link (a cloud
// placeholder, say) leads to itself, so treating it as one costs a look and changes nothing.
// Wine marks a link to a folder so, without a tag.
bool IsLink(const WIN32_FIND_DATAW& data) {
    return (data.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0;
}

FindData RecordOf(const WIN32_FIND_DATAW& data) {
    FindData record = SharedFields(data);
    record.dwReserved0 = data.dwReserved0;
    record.dwReserved1 = data.dwReserved1;
    record.cFileName = FromWide(data.cFileName);
    std::copy_n(reinterpret_cast<const char16_t*>(data.cAlternateFileName),
                record.cAlternateFileName.size(), record.cAlternateFileName.begin());
    return record;
}

// The file identities of the names in `folder`, which a FindFirstFileW listing lacks: one more
// pass over the folder through its handle rather than an open per file. Empty where the file
// system cannot say (the records then carry no identity).
std::unordered_map<std::u16string, std::uint64_t> FileIdsIn(const std::u16string& folder) {
    std::unordered_map<std::u16string, std::uint64_t> ids;
    const HANDLE handle = CreateFileW(WideData(LongPath(folder)), FILE_LIST_DIRECTORY,
                                      FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                      nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (handle == INVALID_HANDLE_VALUE) {
        return ids;
    }
    // 64 KiB at a time, aligned as the records need (8 bytes).
    std::vector<std::uint64_t> buffer(8192);
    for (bool first = true;; first = false) {
        if (!GetFileInformationByHandleEx(
                handle, first ? FileIdBothDirectoryRestartInfo : FileIdBothDirectoryInfo,
                buffer.data(), static_cast<DWORD>(buffer.size() * sizeof(buffer[0])))) {
            break;
        }
        const auto* bytes = reinterpret_cast<const std::uint8_t*>(buffer.data());
        for (std::size_t offset = 0;;) {
            const auto* info = reinterpret_cast<const FILE_ID_BOTH_DIR_INFO*>(bytes + offset);
            ids.emplace(FromWide(info->FileName, info->FileNameLength / sizeof(wchar_t)),
                        static_cast<std::uint64_t>(info->FileId.QuadPart));
            if (info->NextEntryOffset == 0) {
                break;
            }
            offset += info->NextEntryOffset;
        }
    }
    CloseHandle(handle);
    return ids;
}

// The Windows side of a listing: FindFirstFileW's records, and what each link leads to.
class Win32Enumerator final : public FolderEnumerator {
  public:
    ~Win32Enumerator() override { EndReading(); }

    Status Open(std::u16string_view folder) override {
        folder_ = folder.empty() ? u".\\" : std::u16string(folder);
        if (folder_.find(u'\0') != std::u16string::npos) {
            return make_error_code(Errc::NulInPath);
        }
        const Result<BY_HANDLE_FILE_INFORMATION> self = InformationOf(folder_);
        if (!self) {
            return self.error();
        }
        if ((self->dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0) {
            return ErrorOf(ERROR_DIRECTORY);
        }
        self_ = RecordOf(*self, {});
        return {};
    }

    const FindData& Folder() const override { return self_; }
    std::error_code NothingMatches() const override { return ErrorOf(ERROR_FILE_NOT_FOUND); }

    FindData Parent() override {
        const Result<BY_HANDLE_FILE_INFORMATION> parent = InformationOf(folder_ + u"..");
        return parent ? RecordOf(*parent, {}) : self_;
    }

    Result<std::u16string> Next() override {
        WIN32_FIND_DATAW data{};
        for (;;) {
            std::error_code error;
            const bool started = search_ != INVALID_HANDLE_VALUE;
            const bool more = Attempt(Operation::List, folder_, error, [&](bool) {
                if (started) {
                    return FindNextFileW(search_, &data) != 0;
                }
                search_ = FindFirstFileW(WideData(LongPath(folder_) + u"*"), &data);
                return search_ != INVALID_HANDLE_VALUE;
            });
            if (!more) {
                // The end of the names, or a folder without any (not even "." and "..").
                const DWORD end = started ? ERROR_NO_MORE_FILES : ERROR_FILE_NOT_FOUND;
                if (error != std::error_code(end, Win32Category())) {
                    return error;
                }
                EndReading();
                ids_ = FileIdsIn(folder_);
                return std::u16string();
            }
            std::u16string name = FromWide(data.cFileName);
            if (name != u"." && name != u"..") {
                names_.push_back(data);
                return name;
            }
        }
    }

    Result<NameStatus> Inspect(std::size_t index, std::u16string name) override {
        const WIN32_FIND_DATAW& data = names_[index];
        if (!IsLink(data)) {
            NameStatus status{RecordOf(data), false};
            if (const auto found = ids_.find(name); found != ids_.end() && found->second != 0) {
                status.record.id = {self_.id.device, found->second};
            }
            return status;
        }
        const Result<BY_HANDLE_FILE_INFORMATION> target = InformationOf(folder_ + name);
        if (!target) {
            return target.error();
        }
        return NameStatus{RecordOf(*target, std::move(name)), true};
    }

    std::uint32_t LinkTag(std::size_t index) override {
        const WIN32_FIND_DATAW& data = names_[index];
        if (!IsLink(data)) {
            return 0;
        }
        return data.dwReserved0 != 0 ? data.dwReserved0 : kReparseTagSymlink;
    }

  private:
    void EndReading() {
        if (search_ != INVALID_HANDLE_VALUE) {
            ::FindClose(search_);
            search_ = INVALID_HANDLE_VALUE;
        }
    }

    std::u16string folder_;  // with a trailing separator
    FindData self_;
    HANDLE search_ = INVALID_HANDLE_VALUE;
    std::vector<WIN32_FIND_DATAW> names_;
    std::unordered_map<std::u16string, std::uint64_t> ids_;  // 0: not known
};

}  // namespace

std::unique_ptr<FolderEnumerator> NewFolderEnumerator() {
    return std::make_unique<Win32Enumerator>();
}

Result<FindData> QueryFile(std::u16string_view path) {
    if (path.empty()) {
        return ErrorOf(ERROR_PATH_NOT_FOUND);
    }
    const Result<BY_HANDLE_FILE_INFORMATION> info = InformationOf(path);
    if (!info) {
        return info.error();
    }
    return RecordOf(*info, std::u16string(LastComponent(path)));
}

Result<FindData> QueryOpenFile(const File& file) {
    if (!file.IsOpen()) {
        return ErrorOf(ERROR_INVALID_HANDLE);
    }
    const HANDLE handle = reinterpret_cast<HANDLE>(file.handle_);
    BY_HANDLE_FILE_INFORMATION info{};
    if (!GetFileInformationByHandle(handle, &info)) {
        // Some handles answer only the older calls (Wine's standard input from a file does).
        const std::error_code reason = LastError();
        if (GetFileType(handle) != FILE_TYPE_DISK ||
            !GetFileTime(handle, &info.ftCreationTime, &info.ftLastAccessTime,
                         &info.ftLastWriteTime)) {
            return reason;
        }
        SetLastError(NO_ERROR);
        info.nFileSizeLow = GetFileSize(handle, &info.nFileSizeHigh);
        if (info.nFileSizeLow == INVALID_FILE_SIZE && GetLastError() != NO_ERROR) {
            return reason;
        }
        info.dwFileAttributes = FILE_ATTRIBUTE_ARCHIVE;
    }
    return RecordOf(info, std::u16string());
}

}  // namespace zelpack::platform
