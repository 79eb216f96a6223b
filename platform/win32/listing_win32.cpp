// Windows: folder listings in NTFS order on every file system, and the records of files.
#include <algorithm>
#include <unordered_map>
#include <vector>

#include "platform/listing.h"
#include "platform/listing_state.h"
#include "platform/ntfs_order.h"
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

// What a handle's information says about the file, under `name`.
FindData RecordOf(const BY_HANDLE_FILE_INFORMATION& info, std::u16string name) {
    FindData record;
    record.dwFileAttributes = info.dwFileAttributes & ~FILE_ATTRIBUTE_REPARSE_POINT;
    record.ftCreationTime = TimeOf(info.ftCreationTime);
    record.ftLastAccessTime = TimeOf(info.ftLastAccessTime);
    record.ftLastWriteTime = TimeOf(info.ftLastWriteTime);
    const bool folder = (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
    record.nFileSizeHigh = folder ? 0 : info.nFileSizeHigh;
    record.nFileSizeLow = folder ? 0 : info.nFileSizeLow;
    record.cFileName = std::move(name);
    record.id = IdOf(info);
    return record;
}

// The information of what `path` leads to, links followed; folders open too.
Result<BY_HANDLE_FILE_INFORMATION> Inspect(std::u16string_view path) {
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

bool IsGone(const std::error_code& error) {
    return error == std::errc::no_such_file_or_directory ||
           error == std::errc::too_many_symbolic_link_levels;
}

// Symbolic links and junctions, and any other reparse point: one that is no link (a cloud
// placeholder, say) leads to itself, so treating it as one costs a look and changes nothing.
// Wine marks a link to a folder so, without a tag.
bool IsLink(const WIN32_FIND_DATAW& data) {
    return (data.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0;
}

FindData RecordOf(const WIN32_FIND_DATAW& data) {
    FindData record;
    record.dwFileAttributes = data.dwFileAttributes;
    record.ftCreationTime = TimeOf(data.ftCreationTime);
    record.ftLastAccessTime = TimeOf(data.ftLastAccessTime);
    record.ftLastWriteTime = TimeOf(data.ftLastWriteTime);
    const bool folder = (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
    record.nFileSizeHigh = folder ? 0 : data.nFileSizeHigh;
    record.nFileSizeLow = folder ? 0 : data.nFileSizeLow;
    record.dwReserved0 = data.dwReserved0;
    record.dwReserved1 = data.dwReserved1;
    record.cFileName = FromWide(data.cFileName);
    std::copy_n(reinterpret_cast<const char16_t*>(data.cAlternateFileName),
                record.cAlternateFileName.size(), record.cAlternateFileName.begin());
    return record;
}

struct Name {
    WIN32_FIND_DATAW data;
    std::u16string wide;
    std::u16string key;         // upper-cased wide form
    std::uint64_t file_id = 0;  // 0: not known
};

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

// Closes a FindFirstFileW search however the reading ends.
struct Search {
    HANDLE handle = INVALID_HANDLE_VALUE;
    ~Search() {
        if (handle != INVALID_HANDLE_VALUE) {
            ::FindClose(handle);
        }
    }
};

}  // namespace

struct FindHandle::State : ListingState {
    std::u16string folder_path;  // with a trailing separator
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
    const std::size_t split = LastSeparator(search_path);
    const std::u16string_view pattern_text =
        split == std::u16string_view::npos ? search_path : search_path.substr(split + 1);
    std::u16string folder = split == std::u16string_view::npos
                                ? u".\\"
                                : std::u16string(search_path.substr(0, split + 1));
    if (folder.find(u'\0') != std::u16string::npos) {
        return make_error_code(Errc::NulInPath);
    }

    auto state = std::make_unique<FindHandle::State>();
    const Result<BY_HANDLE_FILE_INFORMATION> self = Inspect(folder);
    if (!self) {
        return self.error();
    }
    if ((self->dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0) {
        return ErrorOf(ERROR_DIRECTORY);
    }
    state->folder = IdOf(*self);
    state->folder_path = folder;
    state->enclosing.assign(enclosing.begin(), enclosing.end());

    const bool match_all = pattern_text == u"*" || pattern_text == u"*.*";
    const std::u16string pattern = UpperCased(pattern_text);
    const auto matches = [&](std::u16string_view key) {
        return match_all || MatchesPattern(key, pattern);
    };
    // "." and ".." lead, also on file systems that list neither (FAT roots, network shares).
    if (matches(u".")) {
        state->dot_records.push_back(RecordOf(*self, u"."));
    }
    if (matches(u"..")) {
        const Result<BY_HANDLE_FILE_INFORMATION> parent = Inspect(folder + u"..");
        state->dot_records.push_back(RecordOf(parent ? *parent : *self, u".."));
    }

    // The whole folder is read now, to be sorted: only NTFS itself lists in its own order. A read
    // that fails part of the way fails the listing, so that no name goes missing unseen.
    const std::u16string everything = LongPath(folder) + u"*";
    Search search;
    WIN32_FIND_DATAW data{};
    std::error_code error;
    const bool opened = Attempt(Operation::List, folder, error, [&](bool) {
        search.handle = FindFirstFileW(WideData(everything), &data);
        return search.handle != INVALID_HANDLE_VALUE;
    });
    if (!opened && error != std::error_code(ERROR_FILE_NOT_FOUND, Win32Category())) {
        return error;
    }
    for (bool more = opened; more;) {
        Name name{data, FromWide(data.cFileName), {}};
        if (name.wide != u"." && name.wide != u"..") {
            name.key = UpperCased(name.wide);
            if (matches(name.key)) {
                state->names.push_back(std::move(name));
            }
        }
        more = Attempt(Operation::List, folder, error,
                       [&](bool) { return FindNextFileW(search.handle, &data) != 0; });
        if (!more && error != std::error_code(ERROR_NO_MORE_FILES, Win32Category())) {
            return error;
        }
    }
    const std::unordered_map<std::u16string, std::uint64_t> ids = FileIdsIn(folder);
    for (Name& name : state->names) {
        if (const auto found = ids.find(name.wide); found != ids.end()) {
            name.file_id = found->second;
        }
    }
    std::sort(state->names.begin(), state->names.end(), [](const Name& a, const Name& b) {
        return NtfsOrderLess(a.key, a.wide, b.key, b.wide);
    });

    FindHandle handle;
    handle.state_ = std::move(state);
    if (!FindNextFile(handle, record)) {
        return ErrorOf(ERROR_FILE_NOT_FOUND);
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
        if (!IsLink(name.data)) {
            record = RecordOf(name.data);
            if (name.file_id != 0) {
                record.id = {state->folder.device, name.file_id};
            }
            return true;
        }
        // A link is described by what it leads to, as on POSIX, keeping its reparse mark.
        const Result<BY_HANDLE_FILE_INFORMATION> target = Inspect(state->folder_path + name.wide);
        if (!target) {
            if (IsGone(target.error())) {
                continue;  // a broken link
            }
            record = FindData{};
            record.cFileName = std::move(name.wide);
            state->record_error = target.error();
            return true;
        }
        if ((target->dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0 &&
            state->IsCycle(IdOf(*target))) {
            continue;
        }
        record = RecordOf(*target, std::move(name.wide));
        record.dwFileAttributes |= kAttributeReparsePoint;
        record.dwReserved0 =
            name.data.dwReserved0 != 0 ? name.data.dwReserved0 : kReparseTagSymlink;
        return true;
    }
    return false;
}

void FindClose(FindHandle& handle) {
    handle.state_.reset();
}

Result<FindData> QueryFile(std::u16string_view path) {
    if (path.empty()) {
        return ErrorOf(ERROR_PATH_NOT_FOUND);
    }
    const Result<BY_HANDLE_FILE_INFORMATION> info = Inspect(path);
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
