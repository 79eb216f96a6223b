// Wide (UTF-16) text and the native byte form of file names and console text.
#pragma once

#include <string>
#include <string_view>

namespace zelpack::platform {

// The native form is UTF-8 on POSIX, whatever the locale says. Names on disk need not be valid
// UTF-8, so decoding keeps them reversible: every byte that is not part of a valid UTF-8 sequence
// becomes the lone surrogate U+DC80 + (byte - 0x80), and encoding turns such a surrogate back into
// that byte. ToNative(FromNative(b)) == b for every byte string b.
std::u16string FromNative(std::string_view bytes);

// Other lone surrogates (which no decoded name holds) become U+FFFD.
std::string ToNative(std::u16string_view wide);

}  // namespace zelpack::platform
