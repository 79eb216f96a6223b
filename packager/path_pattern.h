// Shell-style patterns over relative paths, with which a packing request ticks and unticks files.
#pragma once

#include <string_view>

namespace zelpack {

// Matches `path` (relative, '/'-separated) against `pattern`. A pattern without '/' matches the
// file name in any folder; one with '/' matches the whole path (a leading '/' only anchors it).
// '*' matches any run and '?' any one character, neither crossing '/'; '**' crosses it, and
// "**/" also matches no folder at all. No other character is special.
bool MatchesPathPattern(std::u16string_view pattern, std::u16string_view path);

}  // namespace zelpack
