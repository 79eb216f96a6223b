// Windows: the ANSI code page and code-page conversions.

#include <algorithm>
#include <optional>
#include <vector>

#include "platform/text.h"
#include "platform/win32/win32.h"

namespace zelpack::platform {

namespace {

// `wide` in `code_page`; `exact` tells whether every character was there (no best-fit or default
// character stood in for one). Nothing for text the conversion refuses.
std::optional<std::string> Narrow(UINT code_page, std::u16string_view wide, DWORD flags,
                                  bool* exact) {
    if (wide.empty()) {
        if (exact != nullptr) {
            *exact = true;
        }
        return std::string();
    }
    const auto* source = reinterpret_cast<const wchar_t*>(wide.data());
    const int source_length = static_cast<int>(wide.size());
    BOOL used_default = FALSE;
    BOOL* report = exact != nullptr ? &used_default : nullptr;
    const int length =
        WideCharToMultiByte(code_page, flags, source, source_length, nullptr, 0, nullptr, report);
    if (length <= 0) {
        return std::nullopt;
    }
    std::string narrow(static_cast<std::size_t>(length), '\0');
    WideCharToMultiByte(code_page, flags, source, source_length, narrow.data(), length, nullptr,
                        report);
    if (exact != nullptr) {
        *exact = used_default == FALSE;
    }
    return narrow;
}

}  // namespace

std::string ToAnsiCodePage(std::u16string_view wide) {
    // As the XML library's paths are made: no flags, whatever stands in for a missing character.
    return Narrow(CP_ACP, wide, 0, nullptr).value_or(std::string());
}

ArchiveName EncodeArchiveName(std::u16string_view name) {
    // The ANSI code page, so that Windows readers show the name, but only where it holds the name
    // exactly: a character it lacks would be stored as "?" or a look-alike, another file's name.
    // A byte 0x5C inside a character (code page 936 has such) would be taken for a separator.
    // Those names are stored in UTF-8 and flagged as such.
    if (GetACP() != CP_UTF8) {
        bool exact = false;
        std::optional<std::string> ansi = Narrow(CP_ACP, name, WC_NO_BEST_FIT_CHARS, &exact);
        if (ansi && exact && ansi->find('\\') == std::string::npos) {
            return {std::move(*ansi), false};
        }
    }
    return {ToNative(name), true};
}

namespace {

// Whether `rest` (1 to 3 bytes) can start a character of `code_page` that later bytes complete.
bool CouldContinue(std::uint32_t code_page, std::string_view rest) {
    const auto byte = [&](std::size_t i) { return static_cast<unsigned char>(rest[i]); };
    if (code_page == 54936) {
        // Two bytes, lead 0x81-0xFE; or four: lead, 0x30-0x39, 0x81-0xFE, 0x30-0x39.
        return byte(0) >= 0x81 && byte(0) <= 0xFE &&
               (rest.size() < 2 || (byte(1) >= 0x30 && byte(1) <= 0x39)) &&
               (rest.size() < 3 || (byte(2) >= 0x81 && byte(2) <= 0xFE));
    }
    return rest.size() == 1 && IsDBCSLeadByteEx(code_page, byte(0));
}

std::optional<int> Widen(std::uint32_t code_page, std::string_view bytes, wchar_t* out,
                         int capacity) {
    const int length = MultiByteToWideChar(code_page, MB_ERR_INVALID_CHARS, bytes.data(),
                                           static_cast<int>(bytes.size()), out, capacity);
    return length > 0 ? std::optional(length) : std::nullopt;
}

}  // namespace

Result<std::size_t> DecodeCodePage(std::uint32_t code_page, std::string_view bytes,
                                   std::u16string& out) {
    // A system without GB18030's tables (Wine has none) reads it as GBK, its one- and two-byte
    // part, which holds every character of the GBK range.
    constexpr std::uint32_t kGb18030 = 54936;
    constexpr std::uint32_t kGbk = 936;
    static const bool has_gb18030 = IsValidCodePage(kGb18030);
    if (code_page == kGb18030 && !has_gb18030) {
        code_page = kGbk;
    }
    if (bytes.empty()) {
        return std::size_t{0};
    }
    // The conversion tells no position, only whether all of it is text: when it is not, the end
    // may be a character cut short (up to 3 bytes of GB18030's 4), which is left for later.
    for (std::size_t cut = 0; cut < 4 && cut <= bytes.size(); ++cut) {
        const std::string_view part = bytes.substr(0, bytes.size() - cut);
        if (cut > 0 && !CouldContinue(code_page, bytes.substr(part.size()))) {
            continue;
        }
        if (part.empty()) {
            return std::size_t{0};
        }
        const std::optional<int> length = Widen(code_page, part, nullptr, 0);
        if (!length) {
            continue;
        }
        const std::size_t start = out.size();
        out.resize(start + static_cast<std::size_t>(*length));
        Widen(code_page, part, reinterpret_cast<wchar_t*>(&out[start]), *length);
        return part.size();
    }
    return ErrorOf(ERROR_NO_UNICODE_TRANSLATION);
}

}  // namespace zelpack::platform
