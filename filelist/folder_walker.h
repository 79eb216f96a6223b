// Depth-first walk of a plug-in folder, one file per call.
#pragma once

#include <deque>
#include <string>
#include <string_view>

#include "filelist/file_entry.h"
#include "platform/listing.h"

namespace zelpack {

// Walks a folder and its sub-folders depth first, pre-order, in listing order, and yields every
// file with its relative path. Names that begin with a dot are skipped together with everything
// below them. Folders are never yielded, except one that cannot be listed: it is reported like a
// file, with its folder attribute. Nothing is collected in memory beyond the open listings.
class FolderWalker {
  public:
    FolderWalker() = default;
    ~FolderWalker() { Close(); }
    FolderWalker(const FolderWalker&) = delete;
    FolderWalker& operator=(const FolderWalker&) = delete;

    // Begins a walk of `folder` with `pattern` (callers pass "*.*"). False when the folder itself
    // cannot be listed; the walk then yields nothing.
    bool Start(std::u16string_view folder, std::u16string_view pattern);
    // Fills `entry` with the next file; false once the walk is over, until the next Start.
    bool Next(FileEntry& entry);
    // Closes every open listing, innermost first.
    void Close();

  private:
    bool OpenListing(const std::u16string& prefix);
    void Advance();

    platform::FindHandle* current_ = nullptr;  // top of handles_, or none
    platform::FindData record_;
    // One open listing per folder level and the relative prefix of each, innermost at the back.
    // A deque keeps current_ valid while levels are pushed and popped.
    std::deque<platform::FindHandle> handles_;
    std::deque<std::u16string> prefixes_;
    std::u16string root_;
    std::u16string pattern_;
};

}  // namespace zelpack
