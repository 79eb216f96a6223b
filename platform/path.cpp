#include "platform/path.h"

namespace zelpack::platform {

std::size_t LastSeparator(std::u16string_view path) {
    for (std::size_t i = path.size(); i-- > 0;) {
        if (IsPathSeparator(path[i])) {
            return i;
        }
    }
    return std::u16string_view::npos;
}

std::u16string PortablePath(std::u16string_view path) {
    std::u16string portable(path);
    for (char16_t& c : portable) {
        if (IsPathSeparator(c)) {
            c = u'/';
        }
    }
    return portable;
}

std::u16string_view WithoutTrailingSeparators(std::u16string_view path) {
    while (path.size() > 1 && IsPathSeparator(path.back())) {
        path.remove_suffix(1);
    }
    return path;
}

std::u16string_view LastComponent(std::u16string_view path) {
    const std::u16string_view trimmed = WithoutTrailingSeparators(path);
    if (trimmed.size() == 1 && IsPathSeparator(trimmed[0])) {
        return {};
    }
    const std::size_t last = LastSeparator(trimmed);
    const std::u16string_view name =
        last == std::u16string_view::npos ? trimmed : trimmed.substr(last + 1);
#ifdef _WIN32
    if (name.size() == 2 && name[1] == u':') {
        return {};  // a drive, which has no name of its own
    }
#endif
    return name;
}

std::u16string FolderOf(std::u16string_view path) {
    const std::size_t slash = LastSeparator(path);
    if (slash == std::u16string_view::npos) {
        return u".";
    }
    return slash == 0 ? std::u16string(1, kPathSeparator) : std::u16string(path.substr(0, slash));
}

std::u16string JoinPath(std::u16string_view folder, std::u16string_view name) {
    std::u16string path(WithoutTrailingSeparators(folder));
    if (path.empty() || !IsPathSeparator(path.back())) {
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
    return path.size() == folder.size() || IsPathSeparator(folder.back()) ||
           IsPathSeparator(path[folder.size()]);
}

}  // namespace zelpack::platform
