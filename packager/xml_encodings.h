// Code pages for the XML library where it has no converters of its own (Windows, whose libxml2
// is built without iconv): configurations declared in GBK, GB18030 and the like parse all the
// same, through the system's code-page conversions.
#pragma once

namespace zelpack {

// Registers the handlers once; does nothing where the library's own converters serve.
void RegisterCodePageEncodings();

}  // namespace zelpack
