// CRC-32 of ISO-HDLC / IEEE 802.3 (reflected polynomial 0xEDB88320), as ZIP records it.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>

namespace zelpack::zip {

// The standard 256-entry table; traditional encryption steps its keys with it.
const std::array<std::uint32_t, 256>& Crc32Table();

// One byte of the raw register update, without the complements of Crc32Update.
inline std::uint32_t Crc32Step(std::uint32_t crc, std::uint8_t byte) {
    return (crc >> 8) ^ Crc32Table()[(crc ^ byte) & 0xFF];
}

// Continues `crc` (0 to start) over `data`; results chain: Update(Update(0, a), b) = CRC(a b).
// An empty span leaves `crc` as it is.
std::uint32_t Crc32Update(std::uint32_t crc, std::span<const std::uint8_t> data);

// Pointer form: a null `data` returns 0.
std::uint32_t Crc32Update(std::uint32_t crc, const void* data, std::size_t length);

}  // namespace zelpack::zip
