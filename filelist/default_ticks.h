// The default tick of a file in the list.
#pragma once

#include <array>
#include <optional>
#include <string_view>

#include "filelist/file_entry.h"

namespace zelpack {

// Marks of build output, searched for in table order.
const std::array<std::u16string_view, 20>& BuildOutputMarks();

// The first mark, in table order, that occurs in the path as IsCheckedByDefault looks for it.
std::optional<std::u16string_view> BuildOutputMark(std::u16string_view relative_path);

// False when any mark occurs anywhere in the path (folder names included) as an exact,
// case-sensitive run of UTF-16 units: "lib" catches library.js, calibrate.xml and x.lib alike.
bool IsCheckedByDefault(std::u16string_view relative_path);

// The rule for a walked entry: its path's marks, and a link leading outside the plug-in folder,
// the folder's earlier archive or an entry its ignore file leaves out starts unticked whatever its
// name.
bool IsCheckedByDefault(const FileEntry& entry);

}  // namespace zelpack
