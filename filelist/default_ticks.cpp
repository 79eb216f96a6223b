#include "filelist/default_ticks.h"

namespace zelpack {

const std::array<std::u16string_view, 20>& BuildOutputMarks() {
    static constexpr std::array<std::u16string_view, 20> kMarks = {
        u"Debug", u"debug", u"Release", u"release", u".ncb", u".opt", u".plg",
        u".aps",  u".res",  u".map",    u".obj",    u".pch", u".idb", u".exp",
        u".ilk",  u".bsc",  u".sbr",    u".tlb",    u".dcu", u"lib",
    };
    return kMarks;
}

std::optional<std::u16string_view> BuildOutputMark(std::u16string_view relative_path) {
    for (std::u16string_view mark : BuildOutputMarks()) {
        if (relative_path.find(mark) != std::u16string_view::npos) {
            return mark;
        }
    }
    return std::nullopt;
}

bool IsCheckedByDefault(std::u16string_view relative_path) {
    return !BuildOutputMark(relative_path);
}

bool IsCheckedByDefault(const FileEntry& entry) {
    return !entry.outside_link && !entry.previous_archive && !entry.ignored &&
           IsCheckedByDefault(entry.cFileName);
}

}  // namespace zelpack
