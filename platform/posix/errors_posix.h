// POSIX: the one place where the system's error numbers become std::error_code.
#pragma once

#include <errno.h>

#include <system_error>

namespace zelpack::platform {

// The reason the latest failed call left in errno.
inline std::error_code LastError() {
    return {errno, std::generic_category()};
}

inline std::error_code ErrorOf(int number) {
    return {number, std::generic_category()};
}

}  // namespace zelpack::platform
