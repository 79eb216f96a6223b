// POSIX: the byte form of a path for the system calls. Internal to platform/posix/.
#pragma once

#include <string>
#include <string_view>

#include "platform/result.h"
#include "platform/text.h"

namespace zelpack::platform {

// Fails for an empty path and for one holding a NUL, which the kernel would take as its end.
inline Result<std::string> NativePath(std::u16string_view path) {
    std::string native = ToNative(path);
    if (native.empty()) {
        return std::make_error_code(std::errc::no_such_file_or_directory);
    }
    if (native.find('\0') != std::string::npos) {
        return make_error_code(Errc::NulInPath);
    }
    return native;
}

}  // namespace zelpack::platform
