// Byte layout of the four ZIP records this writer emits. All multi-byte fields are little-endian
// and records follow each other directly; no ZIP64, no comments, no multi-disk.
#pragma once

#include <cstddef>
#include <cstdint>

namespace zelpack::zip::record {

// Signatures as 32-bit values; little-endian output gives "PK" followed by the two tag bytes.
inline constexpr std::uint32_t kLocalHeaderSignature = 0x04034B50;     // PK 03 04
inline constexpr std::uint32_t kDataDescriptorSignature = 0x08074B50;  // PK 07 08
inline constexpr std::uint32_t kCentralHeaderSignature = 0x02014B50;   // PK 01 02
inline constexpr std::uint32_t kEndRecordSignature = 0x06054B50;       // PK 05 06

// Local file header, followed by the name and the local extra block:
//   signature (4), version needed (2), flags (2), method (2), DOS time (2), DOS date (2),
//   CRC-32 (4), compressed size (4), uncompressed size (4), name length (2), extra length (2).
inline constexpr std::size_t kLocalHeaderFixedSize = 4 + 2 + 2 + 2 + 2 + 2 + 4 + 4 + 4 + 2 + 2;
static_assert(kLocalHeaderFixedSize == 30);

// Data descriptor: signature (4), CRC-32 (4), compressed size (4), uncompressed size (4).
inline constexpr std::size_t kDataDescriptorSize = 4 + 4 + 4 + 4;
static_assert(kDataDescriptorSize == 16);

// Central directory header, followed by the name and the central extra block:
//   signature (4), version made by (2), version needed (2), flags (2), method (2),
//   DOS time (2), DOS date (2), CRC-32 (4), compressed size (4), uncompressed size (4),
//   name length (2), extra length (2), comment length (2), disk number start (2),
//   internal attributes (2), external attributes (4), local header offset (4).
inline constexpr std::size_t kCentralHeaderFixedSize =
    4 + 2 + 2 + 2 + 2 + 2 + 2 + 4 + 4 + 4 + 2 + 2 + 2 + 2 + 2 + 4 + 4;
static_assert(kCentralHeaderFixedSize == 46);

// End of central directory record: signature (4), this disk (2), directory's disk (2),
//   entries on this disk (2), entries in total (2), directory size (4), directory offset (4),
//   comment length (2).
inline constexpr std::size_t kEndRecordSize = 4 + 2 + 2 + 2 + 2 + 4 + 4 + 2;
static_assert(kEndRecordSize == 22);

// Extended-timestamp extra block ("UT"): ID (2), data size (2), flags byte (1), then times as
// signed 32-bit seconds since 1970. The local block carries modification, access and creation
// times; the central one only the modification time, yet keeps the flags byte 7.
inline constexpr std::uint16_t kExtendedTimestampId = 0x5455;
inline constexpr std::uint8_t kExtendedTimestampFlags = 7;
inline constexpr std::size_t kLocalExtraSize = 2 + 2 + 1 + 4 + 4 + 4;
inline constexpr std::size_t kCentralExtraSize = 2 + 2 + 1 + 4;
static_assert(kLocalExtraSize == 17);
static_assert(kCentralExtraSize == 9);

// The name field holds the stored name plus a terminator; longer names are refused.
inline constexpr std::size_t kNameFieldSize = 260;
inline constexpr std::size_t kMaxNameLength = kNameFieldSize - 1;

// Largest records a caller must be able to hold.
inline constexpr std::size_t kMaxLocalHeaderSize =
    kLocalHeaderFixedSize + kMaxNameLength + kLocalExtraSize;
inline constexpr std::size_t kMaxCentralHeaderSize =
    kCentralHeaderFixedSize + kMaxNameLength + kCentralExtraSize;

// Values every entry carries.
inline constexpr std::uint16_t kVersionMadeBy = 0xB17;  // upper byte 11, lower byte 23
inline constexpr std::uint16_t kVersionNeeded = 20;

// General-purpose flag bits.
inline constexpr std::uint16_t kFlagEncrypted = 0x0001;
inline constexpr std::uint16_t kFlagMaxCompression = 0x0002;  // set by the compressor at level 8
inline constexpr std::uint16_t kFlagDataDescriptor = 0x0008;
inline constexpr std::uint16_t kFlagUtf8Name = 0x0800;

// Compression methods.
inline constexpr std::uint16_t kMethodStored = 0;
inline constexpr std::uint16_t kMethodDeflated = 8;

}  // namespace zelpack::zip::record
