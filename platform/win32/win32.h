// Windows: the system headers, the one place where Win32 errors become std::error_code, and
// the calls made inside the fault seam. Internal to platform/win32/.
#pragma once

#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#ifndef NOMINMAX
#define NOMINMAX
#endif
// The other system headers need windows.h before them.
// clang-format off
#include <windows.h>
#include <bcrypt.h>
#include <shellapi.h>
// clang-format on
// The platform's own operations share these names of the system's A/W macros.
#undef DeleteFile
#undef FindFirstFile
#undef FindNextFile
#undef ReplaceFile

#include <cerrno>
#include <string>
#include <string_view>
#include <system_error>

#include "platform/fault_point.h"
#include "platform/result.h"

namespace zelpack::platform {

// Win32 error codes, with the system's own messages (FormatMessageW) and their POSIX
// equivalents, so that portable code can compare them with std::errc.
const std::error_category& Win32Category();

inline std::error_code ErrorOf(DWORD code) {
    return {static_cast<int>(code), Win32Category()};
}

// The reason the latest failed call left in GetLastError.
inline std::error_code LastError() {
    return ErrorOf(GetLastError());
}

// `text` as a NUL-terminated wide string for the W calls (wchar_t is UTF-16 on Windows).
inline std::wstring Wide(std::u16string_view text) {
    return std::wstring(text.begin(), text.end());
}

inline const wchar_t* WideData(const std::u16string& text) {
    return reinterpret_cast<const wchar_t*>(text.c_str());
}

inline std::u16string FromWide(const wchar_t* text, std::size_t length) {
    return std::u16string(reinterpret_cast<const char16_t*>(text), length);
}

inline std::u16string FromWide(const wchar_t* text) {
    return FromWide(text, std::char_traits<wchar_t>::length(text));
}

// `path` in the form that the W calls take past MAX_PATH: made absolute and normalised (the
// system takes a \\?\ path literally: '/', "." and ".." would be names), then \\?\C:\... or
// \\?\UNC\server\share\.... A path already in that form, or a device's (\\.\), stays as it is;
// so does one the system cannot make absolute, whose call then fails with the reason.
std::u16string LongPath(std::u16string_view path);

// The resolved path of the file `handle` holds, opened as `opened`, links and junctions followed:
// C:\x or \\server\share\x.
Result<std::u16string> FinalPathOf(HANDLE handle, std::u16string_view opened);

namespace win32 {

using faults::FaultPoint;
using faults::Operation;

// Makes `call` (true on success) inside a fault point; on failure `error` says why. An injected
// fault fails with its POSIX error number, as on POSIX, and an injected EINTR is simply made again
// (nothing was done), as POSIX calls are. `partial` tells a read or write to move fewer bytes.
template <typename Call>
bool Attempt(Operation operation, std::u16string_view path, std::error_code& error, Call call) {
    for (;;) {
        FaultPoint point(operation, path);
        if (point.error() == EINTR) {
            continue;
        }
        if (point.error() != 0) {
            error = std::error_code(point.error(), std::generic_category());
            return false;
        }
        if (call(point.partial())) {
            error.clear();
            return true;
        }
        error = LastError();
        return false;
    }
}

template <typename Call>
bool Attempt(Operation operation, std::error_code& error, Call call) {
    return Attempt(operation, std::u16string_view(), error, call);
}

}  // namespace win32
}  // namespace zelpack::platform
