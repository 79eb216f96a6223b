#include <dirent.h>
#include <errno.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <algorithm>
#include <optional>
#include <string>
#include <vector>

#include "platform/listing.h"
#include "platform/text.h"

namespace zelpack::platform {

namespace {

// Simple upper-casing of one UTF-16 unit for the scripts file names mostly use: ASCII, Latin-1,
// Latin Extended-A, Greek, Cyrillic and the full-width Latin letters. Other units stay as they are.
char16_t UpperUnit(char16_t c) {
    const auto shifted = [c](int by) { return static_cast<char16_t>(c + by); };
    const bool odd = (c & 1) != 0;
    if (c < 0x80) {
        return c >= u'a' && c <= u'z' ? shifted(-0x20) : c;
    }
    if (c < 0x100) {
        if (c >= 0xE0 && c <= 0xFE && c != 0xF7) {
            return shifted(-0x20);
        }
        if (c == 0xB5) {
            return 0x039C;  // micro sign -> capital mu
        }
        return c == 0xFF ? char16_t{0x0178} : c;
    }
    if (c < 0x180) {
        if (c == 0x0131) {
            return u'I';  // dotless i
        }
        if (c == 0x017F) {
            return u'S';  // long s
        }
        // Each capital is followed by its small letter: on even units, except in two runs that
        // start on an odd one.
        if ((c >= 0x0139 && c <= 0x0148) || (c >= 0x0179 && c <= 0x017E)) {
            return odd ? c : shifted(-1);
        }
        if (c == 0x0138 || c == 0x0149 || c == 0x0130) {
            return c;
        }
        return odd ? shifted(-1) : c;
    }
    if (c >= 0x0370 && c < 0x0400) {
        if (c >= 0x03B1 && c <= 0x03CB && c != 0x03C2) {
            return shifted(-0x20);
        }
        switch (c) {
            case 0x03C2:
                return 0x03A3;  // final sigma
            case 0x03AC:
                return 0x0386;
            case 0x03AD:
            case 0x03AE:
            case 0x03AF:
                return shifted(-0x25);
            case 0x03CC:
                return 0x038C;
            case 0x03CD:
            case 0x03CE:
                return shifted(-0x3F);
            default:
                return c;
        }
    }
    if (c >= 0x0400 && c < 0x0530) {
        if (c >= 0x0430 && c <= 0x044F) {
            return shifted(-0x20);
        }
        if (c >= 0x0450 && c <= 0x045F) {
            return shifted(-0x50);
        }
        if ((c >= 0x0460 && c <= 0x0481) || (c >= 0x048A && c <= 0x04BF) || c >= 0x04D0) {
            return odd ? shifted(-1) : c;
        }
        if (c >= 0x04C1 && c <= 0x04CE) {
            return odd ? c : shifted(-1);
        }
        return c == 0x04CF ? char16_t{0x04C0} : c;
    }
    if (c >= 0xFF41 && c <= 0xFF5A) {
        return shifted(-0x20);
    }
    return c;
}

std::u16string UpperCased(std::u16string_view text) {
    std::u16string upper(text);
    for (char16_t& unit : upper) {
        unit = UpperUnit(unit);
    }
    return upper;
}

// '*' matches any run of units, '?' exactly one; both sides are already upper-cased.
bool MatchesPattern(std::u16string_view name, std::u16string_view pattern) {
    std::size_t n = 0;
    std::size_t p = 0;
    std::size_t star = std::u16string_view::npos;
    std::size_t star_n = 0;
    while (n < name.size()) {
        if (p < pattern.size() && (pattern[p] == u'?' || pattern[p] == name[n])) {
            ++n;
            ++p;
        } else if (p < pattern.size() && pattern[p] == u'*') {
            star = p++;
            star_n = n;
        } else if (star != std::u16string_view::npos) {
            p = star + 1;
            n = ++star_n;
        } else {
            return false;
        }
    }
    while (p < pattern.size() && pattern[p] == u'*') {
        ++p;
    }
    return p == pattern.size();
}

struct Status {
    mode_t mode = 0;
    FolderId id;
    std::uint64_t size = 0;
    FileTime access = 0;
    FileTime write = 0;
    FileTime creation = 0;
};

// Status of `path` relative to `folder_fd`, links followed.
std::optional<Status> Inspect(int folder_fd, const char* path, int flags) {
    Status status;
    struct statx info {};
    const unsigned mask =
        STATX_TYPE | STATX_MODE | STATX_INO | STATX_SIZE | STATX_ATIME | STATX_MTIME | STATX_BTIME;
    if (statx(folder_fd, path, flags, mask, &info) == 0) {
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
        return std::nullopt;
    }
    struct stat plain {};
    if (fstatat(folder_fd, path, &plain, flags) != 0) {
        return std::nullopt;
    }
    status.mode = plain.st_mode;
    status.id = {plain.st_dev, plain.st_ino};
    status.size = static_cast<std::uint64_t>(plain.st_size);
    status.access = FileTimeFromUnix(plain.st_atim.tv_sec, plain.st_atim.tv_nsec);
    status.write = FileTimeFromUnix(plain.st_mtim.tv_sec, plain.st_mtim.tv_nsec);
    status.creation = status.write;
    return status;
}

bool IsListable(const Status& status) {
    return S_ISREG(status.mode) || S_ISDIR(status.mode);
}

FindData RecordOf(const Status& status, std::u16string name) {
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
    return record;
}

struct Name {
    std::string native;
    std::u16string wide;
    std::u16string key;  // upper-cased wide form
};

bool NtfsBefore(const Name& a, const Name& b) {
    if (a.key != b.key) {
        return a.key < b.key;
    }
    return a.wide < b.wide;
}

}  // namespace

struct FindHandle::State {
    State() = default;
    State(const State&) = delete;
    State& operator=(const State&) = delete;
    ~State() {
        if (folder_fd >= 0) {
            close(folder_fd);
        }
    }

    // Names are looked up relative to the open folder: an opened listing works however long the
    // path to it is (the platform limit then only stops opening a deeper level) and wherever the
    // folder is moved meanwhile. A walk holds one descriptor per level it is inside.
    int folder_fd = -1;
    FolderId folder;
    std::vector<FolderId> enclosing;
    // "." and "..", already inspected when the folder was opened, still to be handed out.
    std::vector<FindData> dot_records;
    std::size_t next_dot = 0;
    std::vector<Name> names;
    std::size_t next_name = 0;

    bool IsCycle(const FolderId& id) const {
        return id == folder || std::find(enclosing.begin(), enclosing.end(), id) != enclosing.end();
    }
};

FindHandle::FindHandle() = default;
FindHandle::FindHandle(FindHandle&&) noexcept = default;
FindHandle& FindHandle::operator=(FindHandle&&) noexcept = default;
FindHandle::~FindHandle() = default;

FolderId FindHandle::Folder() const {
    return state_ ? state_->folder : FolderId{};
}

FindHandle FindFirstFile(std::u16string_view search_path, FindData& record,
                         std::span<const FolderId> enclosing) {
    const std::size_t split = search_path.rfind(kPathSeparator);
    const std::u16string_view pattern_text =
        split == std::u16string_view::npos ? search_path : search_path.substr(split + 1);
    const std::string prefix = split == std::u16string_view::npos
                                   ? std::string()
                                   : ToNative(search_path.substr(0, split + 1));
    const std::string folder = prefix.empty() ? std::string(".") : prefix;
    if (folder.find('\0') != std::string::npos) {
        return {};
    }

    auto state = std::make_unique<FindHandle::State>();
    state->folder_fd = open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (state->folder_fd < 0) {
        return {};
    }
    const int read_fd = dup(state->folder_fd);
    DIR* dir = read_fd >= 0 ? fdopendir(read_fd) : nullptr;
    if (dir == nullptr) {
        if (read_fd >= 0) {
            close(read_fd);
        }
        return {};
    }
    state->enclosing.assign(enclosing.begin(), enclosing.end());

    const std::optional<Status> self = Inspect(dirfd(dir), "", AT_EMPTY_PATH);
    if (!self) {
        closedir(dir);
        return {};
    }
    state->folder = self->id;
    // ".." of the root is the root itself, which the kernel resolves on its own.
    const std::optional<Status> parent = Inspect(dirfd(dir), "..", 0);

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

    // A read error part of the way through ends the listing with what was read.
    while (const dirent* entry = readdir(dir)) {
        const std::string_view native = entry->d_name;
        if (native == "." || native == "..") {
            continue;
        }
        Name name{std::string(native), FromNative(native), {}};
        name.key = UpperCased(name.wide);
        if (matches(name.key)) {
            state->names.push_back(std::move(name));
        }
    }
    closedir(dir);
    std::sort(state->names.begin(), state->names.end(), NtfsBefore);

    FindHandle handle;
    handle.state_ = std::move(state);
    if (!FindNextFile(handle, record)) {
        return {};
    }
    return handle;
}

bool FindNextFile(FindHandle& handle, FindData& record) {
    FindHandle::State* state = handle.state_.get();
    if (state == nullptr) {
        return false;
    }
    if (state->next_dot < state->dot_records.size()) {
        record = state->dot_records[state->next_dot++];
        return true;
    }
    while (state->next_name < state->names.size()) {
        Name& name = state->names[state->next_name++];
        // Names that vanished since the folder was read and broken links fail here.
        const std::optional<Status> status = Inspect(state->folder_fd, name.native.c_str(), 0);
        if (!status || !IsListable(*status)) {
            continue;
        }
        if (S_ISDIR(status->mode) && state->IsCycle(status->id)) {
            continue;
        }
        record = RecordOf(*status, std::move(name.wide));
        return true;
    }
    return false;
}

void FindClose(FindHandle& handle) {
    handle.state_.reset();
}

std::optional<FindData> QueryFile(std::u16string_view path) {
    const std::string native = ToNative(path);
    if (native.empty() || native.find('\0') != std::string::npos) {
        return std::nullopt;
    }
    const std::optional<Status> status = Inspect(AT_FDCWD, native.c_str(), 0);
    if (!status || !IsListable(*status)) {
        return std::nullopt;
    }
    std::u16string_view name = path;
    while (name.size() > 1 && name.back() == kPathSeparator) {
        name.remove_suffix(1);
    }
    const std::size_t split = name.rfind(kPathSeparator);
    if (split != std::u16string_view::npos && name.size() > 1) {
        name.remove_prefix(split + 1);
    }
    return RecordOf(*status, std::u16string(name));
}

std::optional<FindData> QueryOpenFile(const File& file) {
    if (!file.IsOpen()) {
        return std::nullopt;
    }
    const std::optional<Status> status = Inspect(file.fd_, "", AT_EMPTY_PATH);
    if (!status || !IsListable(*status)) {
        return std::nullopt;
    }
    return RecordOf(*status, std::u16string());
}

}  // namespace zelpack::platform
