// POSIX: the narrow forms of text, where the native form is UTF-8 throughout.
#include <errno.h>
#include <sys/random.h>

#include <random>

#include "platform/posix/errors_posix.h"
#include "platform/random.h"
#include "platform/text.h"

namespace zelpack::platform {

std::string ToAnsiCodePage(std::u16string_view wide) {
    return ToNative(wide);
}

ArchiveName EncodeArchiveName(std::u16string_view name) {
    return {ToNative(name), true};
}

bool HasCodePageConversions() {
    return false;
}

Result<std::size_t> DecodeCodePage(std::uint32_t, std::string_view, std::u16string&) {
    return ErrorOf(ENOSYS);
}

void FillRandom(std::span<std::uint8_t> bytes) {
    while (!bytes.empty()) {
        const ssize_t got = getrandom(bytes.data(), bytes.size(), 0);
        if (got < 0) {
            if (errno == EINTR) {
                continue;
            }
            // A kernel without getrandom: the C++ library reads the system's device instead.
            std::random_device device;
            for (std::uint8_t& byte : bytes) {
                byte = static_cast<std::uint8_t>(device());
            }
            return;
        }
        bytes = bytes.subspan(static_cast<std::size_t>(got));
    }
}

}  // namespace zelpack::platform
