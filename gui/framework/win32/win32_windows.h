// The Win32 headers of the GUI back end, in the order they need, with the wide (W) names.
#pragma once

#ifndef NOMINMAX
#define NOMINMAX
#endif
#ifndef UNICODE
#define UNICODE
#endif
// clang-format off
#include <windows.h>
#include <commctrl.h>
#include <commdlg.h>
#include <shlobj.h>
// clang-format on
// The framework's own operations share these names of the system's A/W macros.
#undef GetSaveFileName

#include <string>
#include <string_view>

namespace zelpack::framework::win32 {

// wchar_t is UTF-16 on Windows: the core's wide text passes unit for unit.
inline const wchar_t* Wide(const std::u16string& text) {
    return reinterpret_cast<const wchar_t*>(text.c_str());
}
inline std::u16string FromWide(std::wstring_view text) {
    return {reinterpret_cast<const char16_t*>(text.data()), text.size()};
}

}  // namespace zelpack::framework::win32
