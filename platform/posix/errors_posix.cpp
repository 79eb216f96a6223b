// POSIX: the system's errors are errno's.
#include <errno.h>

#include "platform/result.h"

namespace zelpack::platform {

std::string SystemErrorName(const std::error_code& error) {
    if (error.category() != std::system_category()) {
        return std::string(error.category().name()) + ' ' + std::to_string(error.value());
    }
    // Two that only POSIX file systems give.
    switch (error.value()) {
        case EDQUOT:
            return "EDQUOT";
        case ESTALE:
            return "ESTALE";
    }
    return ErrnoName(error.value());
}

}  // namespace zelpack::platform
