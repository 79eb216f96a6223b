// What the command line tells about a walk besides its rows: entries it could not read and
// links it did not follow, on standard error (the texts are the packager's, which a run shows too).
#pragma once

#include <iosfwd>
#include <string>

#include "filelist/file_entry.h"
#include "filelist/folder_walker.h"
#include "packager/selection_warnings.h"

namespace zelpack {

// UnreadableText(entry) as a line, for an entry whose error is set.
void ReportUnreadable(const FileEntry& entry, std::ostream& err);

// Names the links to folders outside the plug-in folder that the walk met since the last call.
class UnfollowedLinkReport {
  public:
    void Update(const FolderWalker& walker, std::ostream& err);

  private:
    std::size_t reported_ = 0;
};

}  // namespace zelpack
