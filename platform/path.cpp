#include "platform/path.h"

namespace zelpack::platform {

std::u16string_view WithoutTrailingSeparators(std::u16string_view path) {
    while (path.size() > 1 && path.back() == kPathSeparator) {
        path.remove_suffix(1);
    }
    return path;
}

std::u16string_view LastComponent(std::u16string_view path) {
    const std::u16string_view trimmed = WithoutTrailingSeparators(path);
    if (trimmed.size() == 1 && trimmed[0] == kPathSeparator) {
        return {};
    }
    const std::size_t last = trimmed.rfind(kPathSeparator);
    return last == std::u16string_view::npos ? trimmed : trimmed.substr(last + 1);
}

std::u16string JoinPath(std::u16string_view folder, std::u16string_view name) {
    std::u16string path(WithoutTrailingSeparators(folder));
    if (path.empty() || path.back() != kPathSeparator) {
        path.push_back(kPathSeparator);
    }
    path += name;
    return path;
}

bool IsWithin(std::u16string_view path, std::u16string_view folder) {
    path = WithoutTrailingSeparators(path);
    folder = WithoutTrailingSeparators(folder);
    if (!path.starts_with(folder)) {
        return false;
    }
    return path.size() == folder.size() || folder.back() == kPathSeparator ||
           path[folder.size()] == kPathSeparator;
}

}  // namespace zelpack::platform
