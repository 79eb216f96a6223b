#include "cli/walk_report.h"

#include <ostream>

#include "platform/path.h"
#include "platform/result.h"
#include "platform/text.h"

namespace zelpack {

using platform::ToNative;

void ReportUnreadable(const FileEntry& entry, std::ostream& err) {
    const bool folder = (entry.dwFileAttributes & platform::kAttributeDirectory) != 0;
    err << (folder ? "无法列出文件夹 " : "无法读取文件信息 ")
        << ToNative(platform::PortablePath(entry.cFileName)) << "："
        << ToNative(platform::ErrorText(entry.error)) << '\n';
}

void UnfollowedLinkReport::Update(const FolderWalker& walker, std::ostream& err) {
    const auto& links = walker.UnfollowedLinks();
    for (; reported_ < links.size(); ++reported_) {
        err << "警告：" << ToNative(platform::PortablePath(links[reported_]))
            << " 是指向插件文件夹以外的文件夹的链接，未跟随\n";
    }
}

}  // namespace zelpack
