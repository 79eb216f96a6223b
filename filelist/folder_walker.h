// Depth-first walk of a plug-in folder, one file per call.
#pragma once

#include <deque>
#include <optional>
#include <string>
#include <string_view>
#include <system_error>
#include <vector>

#include "filelist/file_entry.h"
#include "filelist/ignore_rules.h"
#include "platform/listing.h"
#include "platform/result.h"

namespace zelpack {

// Walks a folder and its sub-folders depth first, pre-order, in listing order, and yields every
// file with its relative path. Names that begin with a dot are skipped together with everything
// below them. Folders are never yielded, except one that cannot be listed: it is reported like a
// file, with its folder attribute and the reason. Nothing is collected in memory beyond the open
// listings.
//
// Symbolic links that lead inside the plug-in folder are followed. One that leads to a file
// outside it is yielded, marked; one that leads to a folder outside it is not walked (the walk
// would take in the machine) and is only named in UnfollowedLinks().
//
// The folder's ignore file, read at the start, marks each entry it leaves out (FileEntry::ignored):
// a file below a folder it leaves out is marked with that folder's rule.
class FolderWalker {
  public:
    FolderWalker() = default;
    ~FolderWalker() { Close(); }
    FolderWalker(const FolderWalker&) = delete;
    FolderWalker& operator=(const FolderWalker&) = delete;

    // Begins a walk of `folder` with `pattern` (callers pass "*.*"), with the folder's ignore file
    // unless `ignore_file` is false. False when the folder itself cannot be listed, or its ignore
    // file cannot be read (Error() says why, IgnoreFileFailed() which); the walk then yields
    // nothing.
    bool Start(std::u16string_view folder, std::u16string_view pattern, bool ignore_file = true);
    // Fills `entry` with the next file; false once the walk is over, until the next Start.
    bool Next(FileEntry& entry);
    // Closes every open listing, innermost first.
    void Close();

    // Why the folder itself could not be listed; empty when it could.
    const std::error_code& Error() const { return error_; }
    // Whether Start failed on the ignore file, at IgnoreFilePath(), rather than on the folder.
    bool IgnoreFileFailed() const { return ignore_file_failed_; }
    std::u16string IgnoreFilePath() const { return root_ + std::u16string(kIgnoreFileName); }
    // The ignore file's lines that were left out, one "警告：" line each.
    const std::vector<IgnoreWarning>& IgnoreWarnings() const { return ignore_warnings_; }
    // Relative paths of the links to folders outside the plug-in folder met so far.
    const std::vector<std::u16string>& UnfollowedLinks() const { return unfollowed_links_; }

  private:
    // `linked`: the folder is reached through a link.
    // `ignored`: the rule that leaves the folder out, if any.
    platform::Status OpenListing(const std::u16string& prefix, bool linked,
                                 std::optional<IgnoreMatch> ignored);
    bool ReadIgnoreFile();
    // The rule that leaves out `relative`, in the innermost open folder: that folder's own, or
    // the last rule that matches the path.
    std::optional<IgnoreMatch> IgnoredAs(const std::u16string& relative, bool folder) const;
    void Advance();
    // Whether the link at `relative` leads into the plug-in folder.
    platform::Result<bool> LeadsInside(const std::u16string& relative) const;

    platform::FindHandle* current_ = nullptr;  // top of handles_, or none
    platform::FindData record_;
    // One open listing per folder level and the relative prefix of each, innermost at the back.
    // A deque keeps current_ valid while levels are pushed and popped.
    std::deque<platform::FindHandle> handles_;
    std::deque<std::u16string> prefixes_;
    std::deque<bool> linked_;  // whether each level is reached through a link
    std::deque<std::optional<IgnoreMatch>> ignored_;  // the rule leaving each level out, if any
    IgnoreRules rules_;
    std::vector<IgnoreWarning> ignore_warnings_;
    bool ignore_file_failed_ = false;
    std::u16string root_;
    std::u16string pattern_;
    std::u16string archive_name_;  // the folder's proposed archive, NAME.zip; empty for a root
    // The plug-in folder with every link resolved, which links are judged against.
    platform::Result<std::u16string> real_root_ = std::u16string();
    std::error_code error_;
    std::vector<std::u16string> unfollowed_links_;
};

}  // namespace zelpack
