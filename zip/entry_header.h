// The per-entry record from which an entry's local and central headers are written. The writer
// fills one while an entry is added and keeps a copy until the central directory is written.
#pragma once

#include <array>
#include <cstdint>

#include "zip/record_format.h"

namespace zelpack::zip {

struct EntryHeader {
    std::uint16_t versionMadeBy = record::kVersionMadeBy;
    std::uint16_t versionNeeded = record::kVersionNeeded;
    std::uint16_t flags = 0;   // as the central directory shows them
    std::uint16_t method = 0;  // record::kMethodStored or record::kMethodDeflated
    // DOS date in the upper 16 bits, time in the lower, so little-endian output gives time first.
    std::uint32_t dosDateTime = 0;
    std::uint32_t crc = 0;
    std::uint32_t compressedSize = 0;  // includes the 12-byte encryption header when there is one
    // 0xFFFFFFFF while an entry whose size was not given in advance is in progress.
    std::uint32_t uncompressedSize = 0;
    std::uint32_t nameLength = 0;  // the four lengths are written as 16 bits
    std::uint32_t localExtraLength = record::kLocalExtraSize;
    std::uint32_t centralExtraLength = record::kCentralExtraSize;
    std::uint32_t commentLength = 0;  // comments are never written
    std::uint16_t diskStart = 0;
    std::uint16_t internalAttributes = 0;
    std::uint16_t localFlags = 0;  // as the local header shows them
    std::uint32_t externalAttributes = 0;
    // Position of the local header in the target: the writer's base offset plus the position
    // relative to the archive's start.
    std::uint32_t localHeaderOffset = 0;
    std::array<std::uint8_t, record::kLocalExtraSize> localExtra{};
    std::array<std::uint8_t, record::kCentralExtraSize> centralExtra{};
    // The stored name, NUL-terminated; nameLength bytes are written. Held by value, so copies
    // of the record own everything; the writer keeps completed records in its own container
    // rather than chaining them.
    std::array<char, record::kNameFieldSize> name{};
};

}  // namespace zelpack::zip
