// The system's half of a listing: a folder opened to read its names, and what each name leads
// to. listing.cpp builds the listing (dot names, order, patterns, cycles, the link rule) over it;
// each system has its own in posix/listing_posix.cpp and win32/listing_win32.cpp, which hold only
// system calls. Internal to platform/.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <system_error>

#include "platform/listing.h"
#include "platform/result.h"

namespace zelpack::platform {

// What one listed name leads to.
struct NameStatus {
    FindData record;  // of what it leads to (a link: its target, not yet marked as a link)
    // Whether the entry may lead outside the folder's own subtree: a link, or on POSIX any folder
    // (a bind mount). Only such a folder can close a cycle.
    bool may_lead_elsewhere = false;
};

class FolderEnumerator {
  public:
    FolderEnumerator() = default;
    FolderEnumerator(const FolderEnumerator&) = delete;  // owns the system's handles
    FolderEnumerator& operator=(const FolderEnumerator&) = delete;
    virtual ~FolderEnumerator() = default;

    // Opens `folder` for listing: its path up to and including its last separator, or empty for
    // the current folder.
    virtual Status Open(std::u16string_view folder) = 0;

    // The record of the listed folder, unnamed.
    virtual const FindData& Folder() const = 0;
    // The record of its parent, unnamed; the folder's own where the parent cannot be looked at.
    virtual FindData Parent() = 0;
    // The system's reason for a listing that matches nothing.
    virtual std::error_code NothingMatches() const = 0;
    // The next name the system lists, "." and ".." left out; empty once all are read, which ends
    // the reading. Fails when reading fails part of the way.
    virtual Result<std::u16string> Next() = 0;
    // What name `index` (counted in the order Next gave the names) leads to, links followed, as a
    // record under `name`. Fails with no_such_file_or_directory or too_many_symbolic_link_levels
    // when it is gone or a broken link, with Errc::NotRegularFile when it leads to neither a file
    // nor a folder, and with the system's reason when it cannot be looked at.
    virtual Result<NameStatus> Inspect(std::size_t index, std::u16string name) = 0;
    // The reparse tag of name `index` when it is a symbolic link (or another reparse point), else
    // 0.
    virtual std::uint32_t LinkTag(std::size_t index) = 0;
};

// The system's enumerator, not yet open.
std::unique_ptr<FolderEnumerator> NewFolderEnumerator();

}  // namespace zelpack::platform
