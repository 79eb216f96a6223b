// The default tick of a file in the list, decided from its relative path alone.
#pragma once

#include <array>
#include <string_view>

namespace zelpack {

// Marks of build output, searched for in table order.
const std::array<std::u16string_view, 20>& BuildOutputMarks();

// False when any mark occurs anywhere in the path (folder names included) as an exact,
// case-sensitive run of UTF-16 units: "lib" catches library.js, calibrate.xml and x.lib alike.
bool IsCheckedByDefault(std::u16string_view relative_path);

}  // namespace zelpack
