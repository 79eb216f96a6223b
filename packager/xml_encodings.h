// Code pages for the XML library, through the system's conversions: Windows's libxml2 is built
// without iconv, and POSIX takes the same path (over iconv) so that both builds decode the same
// bytes alike. Configurations declared in GBK, GB18030 and the like parse all the same.
#pragma once

#include <span>

namespace zelpack {

// Registers the handlers once.
void RegisterCodePageEncodings();

// The encoding names the handlers are registered under.
std::span<const char* const> CodePageEncodingNames();

}  // namespace zelpack
