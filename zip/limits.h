// What an archive without ZIP64 can hold, in one place: entry counts and name lengths in 16-bit
// fields, sizes and offsets in 32-bit ones. A field of all ones tells readers to look for a ZIP64
// record, so no size or offset takes that value.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "zip/record_format.h"

namespace zelpack::zip {

// Largest size of an entry's data, before and after compression (the encryption header
// included).
inline constexpr std::uint64_t kMaxEntrySize = 0xFFFFFFFEull;
// Largest archive, its base offset included: every offset in it, the central directory's too,
// stays below 0xFFFFFFFF.
inline constexpr std::uint64_t kMaxArchiveSize = 0xFFFFFFFFull;
inline constexpr std::size_t kMaxEntries = 0xFFFF;
// Bytes of a stored name, a folder's slash included. The writer keeps each name in a fixed field,
// shorter than the format's 16-bit length would allow.
inline constexpr std::size_t kMaxNameLength = record::kMaxNameLength;

// The bound an entry or the archive ran into.
enum class Limit { None, Entries, NameLength, EntrySize, ArchiveSize };

// The bounds one writer keeps to: those above, lower ones only in tests, which cannot afford a
// real archive of 4 GiB or 65,535 entries.
struct FormatLimits {
    std::size_t entries = kMaxEntries;
    std::uint64_t entrySize = kMaxEntrySize;
    std::uint64_t archiveSize = kMaxArchiveSize;

    std::uint64_t Bound(Limit limit) const;
};

// What each entry adds to the archive beyond its data, for a stored name of `nameLength` bytes:
// local header, data descriptor (the most it may need) and central header.
std::uint64_t EntryOverhead(std::size_t nameLength);

// Whether an archive that has `position` bytes (its base offset included) takes `pending` more,
// then a central directory of `directorySize` bytes and the end record.
bool ArchiveHasRoom(const FormatLimits& limits, std::uint64_t position, std::uint64_t pending,
                    std::uint64_t directorySize);

// What a run shows when `limit` was reached, with its bound, for example
// "超过 ZIP 格式的单个文件上限 4294967294 字节（不使用 ZIP64）".
std::u16string DescribeLimit(const FormatLimits& limits, Limit limit);

}  // namespace zelpack::zip
