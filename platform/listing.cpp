// Folder listings in NTFS order, the same on every system: "." and ".." first, every name read
// and sorted, patterns, the cycle check and the link rule. What a name leads to comes from the
// system's enumerator (folder_enumerator.h).
#include "platform/listing.h"

#include <algorithm>
#include <vector>

#include "platform/folder_enumerator.h"
#include "platform/ntfs_order.h"
#include "platform/path.h"
#include "platform/text.h"

namespace zelpack::platform {

namespace {

struct Name {
    std::u16string wide;
    std::u16string key;     // upper-cased wide form
    std::size_t index = 0;  // in the order the system listed it
};

// Names that are gone by the time they are looked at, links that lead nowhere (or round in
// circles), and whatever is neither a file nor a folder, are not entries at all.
bool IsNoEntry(const std::error_code& error) {
    return error == std::errc::no_such_file_or_directory ||
           error == std::errc::too_many_symbolic_link_levels || error == Errc::NotRegularFile;
}

bool IsFolder(const FindData& record) {
    return (record.dwFileAttributes & kAttributeDirectory) != 0;
}

}  // namespace

struct FindHandle::State {
    std::unique_ptr<FolderEnumerator> names;
    FolderId folder;
    // The folders above it on the caller's walk: a folder entry leading to one is a cycle.
    std::vector<FolderId> enclosing;
    // "." and "..", looked at when the folder was opened, still to be handed out.
    std::vector<FindData> dot_records;
    std::size_t next_dot = 0;
    std::vector<Name> sorted;
    std::size_t next_name = 0;
    std::error_code record_error;

    bool IsCycle(const FolderId& id) const {
        return id == folder || std::find(enclosing.begin(), enclosing.end(), id) != enclosing.end();
    }

    // The next entry of the sorted names; false once all are out.
    bool NextEntry(FindData& record);
};

bool FindHandle::State::NextEntry(FindData& record) {
    while (next_name < sorted.size()) {
        Name& name = sorted[next_name++];
        Result<NameStatus> status = names->Inspect(name.index, name.wide);
        if (!status) {
            if (IsNoEntry(status.error())) {
                continue;
            }
            // The name is there but cannot be looked at (a folder that may be read but not
            // searched, for one): an entry all the same, with its name and the reason.
            record = FindData{};
            record.cFileName = std::move(name.wide);
            record_error = status.error();
            return true;
        }
        if (status->may_lead_elsewhere && IsFolder(status->record) && IsCycle(status->record.id)) {
            continue;
        }
        record = std::move(status->record);
        // A link is described by what it leads to, keeping its reparse mark.
        if (const std::uint32_t tag = names->LinkTag(name.index); tag != 0) {
            record.dwFileAttributes |= kAttributeReparsePoint;
            record.dwReserved0 = tag;
        }
        return true;
    }
    return false;
}

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
    const std::u16string_view folder = split == std::u16string_view::npos
                                           ? std::u16string_view()
                                           : search_path.substr(0, split + 1);

    auto state = std::make_unique<FindHandle::State>();
    state->names = NewFolderEnumerator();
    if (const Status opened = state->names->Open(folder); !opened) {
        return opened.error();
    }
    FolderEnumerator& names = *state->names;
    state->folder = names.Folder().id;
    state->enclosing.assign(enclosing.begin(), enclosing.end());

    const bool match_all = pattern_text == u"*" || pattern_text == u"*.*";
    const std::u16string pattern = UpperCased(pattern_text);
    const auto matches = [&](std::u16string_view key) {
        return match_all || MatchesPattern(key, pattern);
    };
    // "." and ".." lead, also on file systems that list neither (FAT roots, network shares).
    if (matches(u".")) {
        state->dot_records.push_back(names.Folder());
        state->dot_records.back().cFileName = u".";
    }
    if (matches(u"..")) {
        state->dot_records.push_back(names.Parent());
        state->dot_records.back().cFileName = u"..";
    }

    // The whole folder is read now, to be sorted: only NTFS itself lists in its own order. A read
    // that fails part of the way fails the listing: a folder shown with some of its names missing
    // would lose them without a word.
    for (std::size_t index = 0;; ++index) {
        Result<std::u16string> wide = names.Next();
        if (!wide) {
            return wide.error();
        }
        if (wide->empty()) {
            break;
        }
        Name name{std::move(*wide), {}, index};
        name.key = UpperCased(name.wide);
        if (matches(name.key)) {
            state->sorted.push_back(std::move(name));
        }
    }
    std::sort(state->sorted.begin(), state->sorted.end(), [](const Name& a, const Name& b) {
        return NtfsOrderLess(a.key, a.wide, b.key, b.wide);
    });

    FindHandle handle;
    handle.state_ = std::move(state);
    if (!FindNextFile(handle, record)) {
        return handle.state_->names->NothingMatches();
    }
    return handle;
}

bool FindNextFile(FindHandle& handle, FindData& record) {
    FindHandle::State* state = handle.state_.get();
    if (state == nullptr) {
        return false;
    }
    state->record_error.clear();
    if (state->next_dot < state->dot_records.size()) {
        record = state->dot_records[state->next_dot++];
        return true;
    }
    return state->NextEntry(record);
}

void FindClose(FindHandle& handle) {
    handle.state_.reset();
}

}  // namespace zelpack::platform
