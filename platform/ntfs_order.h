// How NTFS orders and matches names, so that every platform lists a folder the same way.
// Internal to platform/.
#pragma once

#include <string>
#include <string_view>

#include "platform/text.h"  // UpperCased, which makes the keys

namespace zelpack::platform {

// `name` against a listing pattern, both already upper-cased: '*' matches any run of units, '?'
// exactly one.
bool MatchesPattern(std::u16string_view name, std::u16string_view pattern);

// NTFS order: the upper-cased keys first, ties broken by the exact units.
bool NtfsOrderLess(std::u16string_view a_key, std::u16string_view a, std::u16string_view b_key,
                   std::u16string_view b);

}  // namespace zelpack::platform
