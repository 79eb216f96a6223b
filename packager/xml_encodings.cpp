#include "packager/xml_encodings.h"

#include <libxml/encoding.h>

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstring>
#include <mutex>
#include <string>
#include <string_view>

#include "platform/text.h"

namespace zelpack {

namespace {

// No character of these code pages is longer than 4 bytes (GB18030's longest), and none turns
// into more than 3 bytes of UTF-8 per byte it takes (one byte may become "€", U+20AC).
constexpr std::size_t kLongestCharacter = 4;
constexpr std::size_t kUtf8PerByte = 3;

struct Decoded {
    std::size_t taken = 0;
    std::size_t written = 0;
    bool ok = true;
};

// Decodes whole characters of `in` into `out` for as long as the next one fits.
Decoded Decode(std::uint32_t code_page, std::string_view in, std::span<unsigned char> out) {
    Decoded done;
    const auto put = [&](const std::u16string& wide) {
        const std::string utf8 = platform::ToNative(wide);
        if (utf8.size() > out.size() - done.written) {
            return false;
        }
        std::memcpy(out.data() + done.written, utf8.data(), utf8.size());
        done.written += utf8.size();
        return true;
    };
    std::u16string wide;
    while (done.taken < in.size() && done.written < out.size()) {
        const std::string_view rest = in.substr(done.taken);
        // As many bytes as surely fit, converted at once.
        const std::size_t bulk = std::min(rest.size(), (out.size() - done.written) / kUtf8PerByte);
        if (bulk > 0) {
            wide.clear();
            const platform::Result<std::size_t> got =
                platform::DecodeCodePage(code_page, rest.substr(0, bulk), wide);
            if (!got) {
                done.ok = false;
                return done;
            }
            // It fits by the bound above; were it ever not to, one character at a time below.
            if (*got > 0 && put(wide)) {
                done.taken += *got;
                continue;
            }
        }
        // Too little room for that: the next character alone, if it is whole and fits. The
        // shortest prefix that converts is that character.
        std::size_t length = 0;
        for (std::size_t k = 1; k <= std::min(rest.size(), kLongestCharacter); ++k) {
            wide.clear();
            const platform::Result<std::size_t> got =
                platform::DecodeCodePage(code_page, rest.substr(0, k), wide);
            if (!got) {
                done.ok = false;
                return done;
            }
            if (*got > 0) {
                length = *got;
                break;
            }
        }
        if (length == 0) {
            // The start of a character: the rest of it comes with the next bytes. No
            // character is longer, so more bytes than that would have been refused.
            done.ok = rest.size() < kLongestCharacter;
            return done;
        }
        if (!put(wide)) {
            return done;
        }
        done.taken += length;
    }
    return done;
}

// The library's input converter, from code page `kCodePage` to UTF-8. It has no context
// argument, hence one function per code page. Returns the UTF-8 bytes written (as many as
// `out_length` allows, which becomes that count), or -2 for bytes that are no text in the code
// page; `in_length` becomes the bytes taken, also before such bytes.
template <std::uint32_t kCodePage>
int DecodeToUtf8(unsigned char* out, int* out_length, const unsigned char* in, int* in_length) {
    if (out == nullptr || out_length == nullptr || in_length == nullptr) {
        return -1;
    }
    if (in == nullptr || *in_length <= 0 || *out_length <= 0) {
        *out_length = 0;
        *in_length = 0;
        return 0;
    }
    const Decoded decoded =
        Decode(kCodePage, {reinterpret_cast<const char*>(in), static_cast<std::size_t>(*in_length)},
               {out, static_cast<std::size_t>(*out_length)});
    *out_length = static_cast<int>(decoded.written);
    *in_length = static_cast<int>(decoded.taken);
    return decoded.ok ? *out_length : -2;
}

struct Encoding {
    const char* name;
    xmlCharEncodingInputFunc decode;
};

// The names configurations declare, with their Windows code pages. GB2312, SHIFT_JIS and EUC-KR
// are read as the Windows supersets that editors on Windows write under those names.
constexpr Encoding kEncodings[] = {
    {"GBK", DecodeToUtf8<936>},           {"GB2312", DecodeToUtf8<936>},
    {"CP936", DecodeToUtf8<936>},         {"GB18030", DecodeToUtf8<54936>},
    {"BIG5", DecodeToUtf8<950>},          {"SHIFT_JIS", DecodeToUtf8<932>},
    {"CP932", DecodeToUtf8<932>},         {"EUC-KR", DecodeToUtf8<949>},
    {"WINDOWS-1252", DecodeToUtf8<1252>},
};

constexpr auto kNames = [] {
    std::array<const char*, std::size(kEncodings)> names{};
    for (std::size_t i = 0; i < names.size(); ++i) {
        names[i] = kEncodings[i].name;
    }
    return names;
}();

}  // namespace

void RegisterCodePageEncodings() {
    static std::once_flag once;
    std::call_once(once, [] {
        for (const Encoding& encoding : kEncodings) {
            // The library keeps the handler (it registers it as it makes it) for the process's
            // life, and looks registered handlers up before its own converters; it needs no
            // output side, as descriptors are written in UTF-8.
            xmlNewCharEncodingHandler(encoding.name, encoding.decode, nullptr);
        }
    });
}

std::span<const char* const> CodePageEncodingNames() {
    return kNames;
}

}  // namespace zelpack
