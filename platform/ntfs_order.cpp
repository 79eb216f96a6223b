// Names in the order NTFS keeps them and listing patterns, on every platform and file system.
#include "platform/ntfs_order.h"

namespace zelpack::platform {

bool MatchesPattern(std::u16string_view name, std::u16string_view pattern) {
    std::size_t n = 0;
    std::size_t p = 0;
    std::size_t star = std::u16string_view::npos;
    std::size_t star_n = 0;
    while (n < name.size()) {
        if (p < pattern.size() && (pattern[p] == u'?' || pattern[p] == name[n])) {
            ++n;
            ++p;
        } else if (p < pattern.size() && pattern[p] == u'*') {
            star = p++;
            star_n = n;
        } else if (star != std::u16string_view::npos) {
            p = star + 1;
            n = ++star_n;
        } else {
            return false;
        }
    }
    while (p < pattern.size() && pattern[p] == u'*') {
        ++p;
    }
    return p == pattern.size();
}

bool NtfsOrderLess(std::u16string_view a_key, std::u16string_view a, std::u16string_view b_key,
                   std::u16string_view b) {
    if (a_key != b_key) {
        return a_key < b_key;
    }
    return a < b;
}

}  // namespace zelpack::platform
