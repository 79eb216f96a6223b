#include "cli/walk_report.h"

#include <ostream>

#include "platform/text.h"

namespace zelpack {

using platform::ToNative;

void ReportUnreadable(const FileEntry& entry, std::ostream& err) {
    err << ToNative(UnreadableText(entry)) << '\n';
}

void UnfollowedLinkReport::Update(const FolderWalker& walker, std::ostream& err) {
    const auto& links = walker.UnfollowedLinks();
    for (; reported_ < links.size(); ++reported_) {
        err << ToNative(UnfollowedLinkWarning(links[reported_]).text) << '\n';
    }
}

}  // namespace zelpack
