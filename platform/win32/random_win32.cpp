// Windows: random bytes from the system's preferred generator.
#include <algorithm>

#include "platform/random.h"
#include "platform/win32/win32.h"
// After windows.h: RtlNtStatusToDosError.
#include <winternl.h>

namespace zelpack::platform {

Status FillRandom(std::span<std::uint8_t> bytes) {
    while (!bytes.empty()) {
        const ULONG part = static_cast<ULONG>(std::min<std::size_t>(bytes.size(), 1u << 20));
        std::error_code error;
        const bool filled = win32::Attempt(win32::Operation::Random, error, [&](bool) {
            const NTSTATUS status =
                BCryptGenRandom(nullptr, bytes.data(), part, BCRYPT_USE_SYSTEM_PREFERRED_RNG);
            if (!BCRYPT_SUCCESS(status)) {
                // The NTSTATUS as the Win32 error that the system's messages describe.
                SetLastError(RtlNtStatusToDosError(status));
                return false;
            }
            return true;
        });
        if (!filled) {
            return error;
        }
        bytes = bytes.subspan(part);
    }
    return {};
}

}  // namespace zelpack::platform
