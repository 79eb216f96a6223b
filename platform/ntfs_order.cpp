// Names in the order NTFS keeps them, on every platform and file system.
#include "platform/ntfs_order.h"

namespace zelpack::platform {

namespace {

// One unit of UpperCased.
char16_t UpperUnit(char16_t c) {
    const auto shifted = [c](int by) { return static_cast<char16_t>(c + by); };
    const bool odd = (c & 1) != 0;
    if (c < 0x80) {
        return c >= u'a' && c <= u'z' ? shifted(-0x20) : c;
    }
    if (c < 0x100) {
        if (c >= 0xE0 && c <= 0xFE && c != 0xF7) {
            return shifted(-0x20);
        }
        if (c == 0xB5) {
            return 0x039C;  // micro sign -> capital mu
        }
        return c == 0xFF ? char16_t{0x0178} : c;
    }
    if (c < 0x180) {
        if (c == 0x0131) {
            return u'I';  // dotless i
        }
        if (c == 0x017F) {
            return u'S';  // long s
        }
        // Each capital is followed by its small letter: on even units, except in two runs that
        // start on an odd one.
        if ((c >= 0x0139 && c <= 0x0148) || (c >= 0x0179 && c <= 0x017E)) {
            return odd ? c : shifted(-1);
        }
        if (c == 0x0138 || c == 0x0149 || c == 0x0130) {
            return c;
        }
        return odd ? shifted(-1) : c;
    }
    if (c >= 0x0370 && c < 0x0400) {
        if (c >= 0x03B1 && c <= 0x03CB && c != 0x03C2) {
            return shifted(-0x20);
        }
        switch (c) {
            case 0x03C2:
                return 0x03A3;  // final sigma
            case 0x03AC:
                return 0x0386;
            case 0x03AD:
            case 0x03AE:
            case 0x03AF:
                return shifted(-0x25);
            case 0x03CC:
                return 0x038C;
            case 0x03CD:
            case 0x03CE:
                return shifted(-0x3F);
            default:
                return c;
        }
    }
    if (c >= 0x0400 && c < 0x0530) {
        if (c >= 0x0430 && c <= 0x044F) {
            return shifted(-0x20);
        }
        if (c >= 0x0450 && c <= 0x045F) {
            return shifted(-0x50);
        }
        if ((c >= 0x0460 && c <= 0x0481) || (c >= 0x048A && c <= 0x04BF) || c >= 0x04D0) {
            return odd ? shifted(-1) : c;
        }
        if (c >= 0x04C1 && c <= 0x04CE) {
            return odd ? c : shifted(-1);
        }
        return c == 0x04CF ? char16_t{0x04C0} : c;
    }
    if (c >= 0xFF41 && c <= 0xFF5A) {
        return shifted(-0x20);
    }
    return c;
}

}  // namespace

std::u16string UpperCased(std::u16string_view text) {
    std::u16string upper(text);
    for (char16_t& unit : upper) {
        unit = UpperUnit(unit);
    }
    return upper;
}

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
