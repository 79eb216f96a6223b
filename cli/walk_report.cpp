#include "cli/walk_report.h"

#include <ostream>

#include "filelist/default_ticks.h"
#include "platform/path.h"
#include "platform/result.h"
#include "platform/text.h"

namespace zelpack {

using platform::ToNative;

std::u16string DefaultUntickReason(const FileEntry& entry) {
    if (entry.outside_link) {
        return u"指向插件文件夹以外的链接";
    }
    if (const auto mark = BuildOutputMark(entry.cFileName)) {
        return u"编译输出标记：" + std::u16string(*mark);
    }
    return {};
}

std::u16string UnreadableText(const FileEntry& entry) {
    const bool folder = (entry.dwFileAttributes & platform::kAttributeDirectory) != 0;
    return (folder ? u"无法列出文件夹 " : u"无法读取文件信息 ") +
           platform::PortablePath(entry.cFileName) + u"：" + platform::ErrorText(entry.error);
}

void ReportUnreadable(const FileEntry& entry, std::ostream& err) {
    err << ToNative(UnreadableText(entry)) << '\n';
}

std::u16string UnfollowedLinkWarning(std::u16string_view link) {
    return u"警告：" + platform::PortablePath(link) +
           u" 是指向插件文件夹以外的文件夹的链接，未跟随";
}

void UnfollowedLinkReport::Update(const FolderWalker& walker, std::ostream& err) {
    const auto& links = walker.UnfollowedLinks();
    for (; reported_ < links.size(); ++reported_) {
        err << ToNative(UnfollowedLinkWarning(links[reported_])) << '\n';
    }
}

}  // namespace zelpack
