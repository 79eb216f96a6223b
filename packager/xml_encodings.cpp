#include "packager/xml_encodings.h"

#include <libxml/encoding.h>

#include <cstdint>
#include <cstring>
#include <mutex>
#include <string>

#include "platform/text.h"

namespace zelpack {

namespace {

// The library's input converter, from code page `kCodePage` to UTF-8. It has no context
// argument, hence one function per code page. Returns the UTF-8 bytes written, -2 for bytes that
// are no text in the code page; `in_length` becomes the bytes taken.
template <std::uint32_t kCodePage>
int DecodeToUtf8(unsigned char* out, int* out_length, const unsigned char* in, int* in_length) {
    if (out == nullptr || out_length == nullptr || in_length == nullptr) {
        return -1;
    }
    if (in == nullptr) {
        *out_length = 0;
        *in_length = 0;
        return 0;
    }
    // No character grows by more than half in UTF-8 (two bytes become at most three), so this
    // much input always fits.
    const std::size_t take = std::min<std::size_t>(static_cast<std::size_t>(*in_length),
                                                   static_cast<std::size_t>(*out_length) * 2 / 3);
    std::u16string wide;
    const platform::Result<std::size_t> taken =
        platform::DecodeCodePage(kCodePage, {reinterpret_cast<const char*>(in), take}, wide);
    if (!taken) {
        *out_length = 0;
        *in_length = 0;
        return -2;
    }
    const std::string utf8 = platform::ToNative(wide);
    std::memcpy(out, utf8.data(), utf8.size());
    *out_length = static_cast<int>(utf8.size());
    *in_length = static_cast<int>(*taken);
    return *out_length;
}

struct Encoding {
    const char* name;
    xmlCharEncodingInputFunc decode;
};

// The names configurations declare, with their Windows code pages.
constexpr Encoding kEncodings[] = {
    {"GBK", DecodeToUtf8<936>},           {"GB2312", DecodeToUtf8<936>},
    {"CP936", DecodeToUtf8<936>},         {"GB18030", DecodeToUtf8<54936>},
    {"BIG5", DecodeToUtf8<950>},          {"SHIFT_JIS", DecodeToUtf8<932>},
    {"CP932", DecodeToUtf8<932>},         {"EUC-KR", DecodeToUtf8<949>},
    {"WINDOWS-1252", DecodeToUtf8<1252>},
};

}  // namespace

void RegisterCodePageEncodings() {
    static std::once_flag once;
    std::call_once(once, [] {
        if (!platform::HasCodePageConversions()) {
            return;
        }
        for (const Encoding& encoding : kEncodings) {
            // The library keeps the handler (it registers it as it makes it) for the process's
            // life; it needs no output side, as descriptors are written in UTF-8.
            xmlNewCharEncodingHandler(encoding.name, encoding.decode, nullptr);
        }
    });
}

}  // namespace zelpack
