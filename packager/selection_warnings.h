// What a user should hear about the files chosen for an archive before they are packed: never a
// reason to refuse them, unless the front end is asked to be strict.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace zelpack {

// Files over this size are named: a plug-in rarely needs one, and it slows every install.
inline constexpr std::uint64_t kLargeFileWarningSize = 50ull * 1024 * 1024;

// One "警告：" line per finding, in selection order, paths relative with '/': ticked files that
// look like keys or credentials, paths that differ only in letter case (one overwrites the other
// on Windows), names Windows cannot hold, and files over kLargeFileWarningSize. `selection` holds
// paths relative to `folder`, as PluginPackager::Pack takes them.
std::vector<std::u16string> SelectionWarnings(std::u16string_view folder,
                                              std::span<const std::u16string> selection);

}  // namespace zelpack
