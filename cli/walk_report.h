// What the command line tells about a walk besides its rows: entries it could not read and
// links it did not follow, on standard error.
#pragma once

#include <iosfwd>
#include <string>

#include "filelist/file_entry.h"
#include "filelist/folder_walker.h"

namespace zelpack {

// Why a walked file starts unticked: "编译输出标记：lib" (the build-output mark its path holds) or
// "指向插件文件夹以外的链接"; empty when it starts ticked.
std::u16string DefaultUntickReason(const FileEntry& entry);

// "无法列出文件夹 sub：Permission denied" and the like, for an entry whose error is set; the
// second writes it as a line.
std::u16string UnreadableText(const FileEntry& entry);
void ReportUnreadable(const FileEntry& entry, std::ostream& err);

// The warning about a link to a folder outside the plug-in folder, which the walk did not follow.
std::u16string UnfollowedLinkWarning(std::u16string_view link);

// Names the links to folders outside the plug-in folder that the walk met since the last call.
class UnfollowedLinkReport {
  public:
    void Update(const FolderWalker& walker, std::ostream& err);

  private:
    std::size_t reported_ = 0;
};

}  // namespace zelpack
