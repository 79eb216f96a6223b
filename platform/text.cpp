// Wide text on every system: upper-casing as Windows compares names, UTF-8 encoding, and the
// native UTF-8 form of names with its reversible escapes.
#include "platform/text.h"

#include <cstdint>

namespace zelpack::platform {

namespace {

constexpr char16_t kEscapeBase = 0xDC00;  // an escaped byte b becomes kEscapeBase + b (b >= 0x80)
constexpr char16_t kReplacement = 0xFFFD;

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

bool IsContinuation(unsigned char byte) {
    return (byte & 0xC0) == 0x80;
}

// Length of the valid UTF-8 sequence at the start of `rest`, or 0 when it is not one. The ranges
// of the second byte rule out overlong forms, surrogates and code points past U+10FFFF.
std::size_t ValidSequenceLength(std::string_view rest, char32_t& code_point) {
    auto byte = [&](std::size_t i) { return static_cast<unsigned char>(rest[i]); };
    const unsigned char lead = byte(0);
    if (lead < 0x80) {
        code_point = lead;
        return 1;
    }
    std::size_t length = 0;
    unsigned char low = 0x80;
    unsigned char high = 0xBF;
    if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3;
        if (lead == 0xE0) {
            low = 0xA0;
        } else if (lead == 0xED) {
            high = 0x9F;
        }
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4;
        if (lead == 0xF0) {
            low = 0x90;
        } else if (lead == 0xF4) {
            high = 0x8F;
        }
    } else {
        return 0;
    }
    if (rest.size() < length || byte(1) < low || byte(1) > high) {
        return 0;
    }
    char32_t value = lead & (0xFF >> (length + 1));
    for (std::size_t i = 1; i < length; ++i) {
        if (!IsContinuation(byte(i))) {
            return 0;
        }
        value = (value << 6) | (byte(i) & 0x3F);
    }
    code_point = value;
    return length;
}

}  // namespace

std::u16string DecimalText(std::uint64_t value) {
    const std::string digits = std::to_string(value);
    return std::u16string(digits.begin(), digits.end());
}

std::u16string UpperCased(std::u16string_view text) {
    std::u16string upper(text);
    for (char16_t& unit : upper) {
        unit = UpperUnit(unit);
    }
    return upper;
}

void AppendUtf8(std::string& out, char32_t cp) {
    if (cp < 0x80) {
        out.push_back(static_cast<char>(cp));
    } else if (cp < 0x800) {
        out.push_back(static_cast<char>(0xC0 | (cp >> 6)));
        out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    } else if (cp < 0x10000) {
        out.push_back(static_cast<char>(0xE0 | (cp >> 12)));
        out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    } else {
        out.push_back(static_cast<char>(0xF0 | (cp >> 18)));
        out.push_back(static_cast<char>(0x80 | ((cp >> 12) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    }
}

std::u16string FromNative(std::string_view bytes) {
    std::u16string wide;
    wide.reserve(bytes.size());
    std::size_t i = 0;
    while (i < bytes.size()) {
        char32_t cp = 0;
        const std::size_t length = ValidSequenceLength(bytes.substr(i), cp);
        if (length == 0) {
            // Only the lead byte is escaped; decoding resumes at the next byte so that a valid
            // sequence right after a stray byte is still read as text.
            wide.push_back(
                static_cast<char16_t>(kEscapeBase + static_cast<unsigned char>(bytes[i])));
            ++i;
            continue;
        }
        if (cp < 0x10000) {
            wide.push_back(static_cast<char16_t>(cp));
        } else {
            cp -= 0x10000;
            wide.push_back(static_cast<char16_t>(0xD800 + (cp >> 10)));
            wide.push_back(static_cast<char16_t>(0xDC00 + (cp & 0x3FF)));
        }
        i += length;
    }
    return wide;
}

std::string ToNative(std::u16string_view wide) {
    std::string bytes;
    bytes.reserve(wide.size());
    for (std::size_t i = 0; i < wide.size(); ++i) {
        const char16_t unit = wide[i];
        if (unit >= 0xD800 && unit <= 0xDBFF && i + 1 < wide.size() && wide[i + 1] >= 0xDC00 &&
            wide[i + 1] <= 0xDFFF) {
            const char32_t cp =
                0x10000 + ((char32_t{unit} - 0xD800) << 10) + (wide[i + 1] - 0xDC00);
            AppendUtf8(bytes, cp);
            ++i;
        } else if (unit >= 0xDC80 && unit <= 0xDCFF) {
            bytes.push_back(static_cast<char>(unit - kEscapeBase));
        } else if (unit >= 0xD800 && unit <= 0xDFFF) {
            AppendUtf8(bytes, kReplacement);
        } else {
            AppendUtf8(bytes, unit);
        }
    }
    return bytes;
}

}  // namespace zelpack::platform
