// Random bytes from the operating system's generator.
#pragma once

#include <cstdint>
#include <span>

#include "platform/result.h"

namespace zelpack::platform {

// Fills `bytes` from the system's cryptographic generator (getrandom, BCryptGenRandom). On a
// failure the bytes are no secret and must not be used.
[[nodiscard]] Status FillRandom(std::span<std::uint8_t> bytes);

}  // namespace zelpack::platform
