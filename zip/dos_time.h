// Conversions from platform file times to the DOS date/time and Unix times the records carry.
#pragma once

#include <cstdint>

#include "platform/filetime.h"

namespace zelpack::zip {

struct DosDateTime {
    std::uint16_t date = 0;  // (year - 1980) << 9 | month << 5 | day
    std::uint16_t time = 0;  // hour << 11 | minute << 5 | second / 2
};

// The earliest and latest moments a DOS date can hold.
inline constexpr DosDateTime kDosDateTimeMin{0x0021, 0x0000};  // 1980-01-01 00:00:00
inline constexpr DosDateTime kDosDateTimeMax{0xFF9F, 0xBF7D};  // 2107-12-31 23:59:58

// The UTC calendar fields of `fileTime`; a time before 1980 or after 2107 is clamped to the
// nearest representable one, as the 7-bit year would otherwise wrap into garbage.
DosDateTime FileTimeToDosDateTime(platform::FileTime fileTime);

// Date in the upper, time in the lower 16 bits: little-endian output gives time, then date.
inline std::uint32_t PackDosDateTime(DosDateTime value) {
    return std::uint32_t{value.date} << 16 | value.time;
}

// Seconds since 1970-01-01, truncated toward zero.
std::int64_t FileTimeToUnixTime(platform::FileTime fileTime);

}  // namespace zelpack::zip
