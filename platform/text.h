// Wide (UTF-16) text and the native byte form of file names and console text.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "platform/result.h"

namespace zelpack::platform {

// Names as Windows compares them: simple upper-casing, unit by unit, for the scripts file names
// mostly use (ASCII, Latin-1, Latin Extended-A, Greek, Cyrillic and the full-width Latin
// letters). Other units stay as they are.
std::u16string UpperCased(std::u16string_view text);

// `value` in decimal digits, as messages show counts and sizes.
std::u16string DecimalText(std::uint64_t value);

// The native form is UTF-8 on POSIX, whatever the locale says. Names on disk need not be valid
// UTF-8, so decoding keeps them reversible: every byte that is not part of a valid UTF-8 sequence
// becomes the lone surrogate U+DC80 + (byte - 0x80), and encoding turns such a surrogate back into
// that byte. ToNative(FromNative(b)) == b for every byte string b.
std::u16string FromNative(std::string_view bytes);

// Other lone surrogates (which no decoded name holds) become U+FFFD.
std::string ToNative(std::u16string_view wide);

// Appends code point `cp` (at most U+10FFFF) to `out` as UTF-8.
void AppendUtf8(std::string& out, char32_t cp);

// The system's ANSI code page form of `wide`, as the XML library takes paths: UTF-8 on POSIX; on
// Windows a character the code page lacks is replaced as the system replaces it.
std::string ToAnsiCodePage(std::u16string_view wide);

// An archive entry's name as it is stored, and whether those bytes are UTF-8 (so that the entry
// says so when they are not plain ASCII) rather than the system's ANSI code page.
struct ArchiveName {
    std::string bytes;
    bool utf8 = true;
};
// POSIX: the native form, UTF-8. Windows: the ANSI code page when it represents the name exactly
// (no best-fit or default characters) and keeps every byte distinct from a separator, UTF-8
// otherwise.
ArchiveName EncodeArchiveName(std::u16string_view name);

// Appends the longest prefix of `bytes` that is whole characters in code page `code_page` (936
// for GBK, 54936 for GB18030, 932, 949, 950, 1252) to `out` as UTF-16 and returns how many bytes
// it took. What is left is only ever the start of a character that the end of `bytes` cut short
// (at most 3 bytes), so the next bytes may complete it. Fails, appending nothing, for bytes that
// are no text in that code page. Windows converts with its own tables, POSIX with iconv's
// (CP936, GB18030, CP932, CP949, CP950, CP1252).
Result<std::size_t> DecodeCodePage(std::uint32_t code_page, std::string_view bytes,
                                   std::u16string& out);

}  // namespace zelpack::platform
