// What an archive without ZIP64 can hold, in one place: entry counts and name lengths in 16-bit
// fields, sizes and offsets in 32-bit ones. A field of all ones tells readers to look for a ZIP64
// record, so no size or offset takes that value. The writer asks here before and after each
// entry, and the packager before a run, so that both refuse the same files for the same reason.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

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

// Whether `entryName` can be stored unchanged: not empty, no NUL, short enough for the field.
bool AcceptsName(std::u16string_view entryName, bool folder = false);

// How an entry's data may fit, judged before any of it is written: `stored` bytes stored (the
// encryption header included), at most `worst` as it is to be made (`exact`: exactly that).
struct EntryBounds {
    std::uint64_t headers = 0;  // EntryOverhead of its name
    std::uint64_t stored = 0;
    std::uint64_t worst = 0;
    bool exact = false;
};
struct EntryFit {
    // The limit the entry passes; Limit::None when it fits as it is to be made.
    Limit passed = Limit::None;
    // Whether it fits stored though it may not deflated: it can then be deflated only as long as
    // that stays below its stored size, and stored otherwise.
    bool onlyStored = false;
};
// For an archive at `position` (its base offset included) whose central directory so far takes
// `directorySize` bytes.
EntryFit FitEntry(const FormatLimits& limits, std::uint64_t position, std::uint64_t directorySize,
                  const EntryBounds& entry);

// The limit an entry passed once its `dataSize` bytes of data are out, with the archive at
// `position` and `trailer` more bytes (data descriptor, central header) still to come for it.
Limit PassedAfterData(const FormatLimits& limits, std::uint64_t dataSize, std::uint64_t position,
                      std::uint64_t trailer, std::uint64_t directorySize);

// Tells ahead which limit an archive's files would pass, from their names and sizes alone,
// taking each file stored, as one that would not fit deflated is.
class LimitForecast {
  public:
    // The archive starts with the entry `firstName`, of no data.
    explicit LimitForecast(std::u16string_view firstName, const FormatLimits& limits = {});
    // The limit the next file passes; Limit::None when it fits, and is then counted in.
    Limit Add(std::u16string_view entryName, std::uint64_t size);
    const FormatLimits& limits() const { return limits_; }

  private:
    FormatLimits limits_;
    // The least the archive holds before the next file: the headers of the entries before it,
    // as if they took no data at all.
    std::uint64_t least_;
    std::size_t entries_ = 1;
};

// What a run shows when `limit` was reached, with its bound, for example
// "超过 ZIP 格式的单个文件上限 4294967294 字节（不使用 ZIP64）".
std::u16string DescribeLimit(const FormatLimits& limits, Limit limit);

}  // namespace zelpack::zip
