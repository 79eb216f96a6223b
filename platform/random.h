// Random bytes from the operating system's generator.
#pragma once

#include <cstdint>
#include <span>

namespace zelpack::platform {

// Fills `bytes` from the system's cryptographic generator (getrandom, BCryptGenRandom).
void FillRandom(std::span<std::uint8_t> bytes);

}  // namespace zelpack::platform
