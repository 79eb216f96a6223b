#include "zip/dos_time.h"

#include <limits>

namespace zelpack::zip {

DosDateTime FileTimeToDosDateTime(platform::FileTime fileTime) {
    platform::SystemTime fields;
    if (!platform::FileTimeToSystemTime(fileTime, fields) || fields.wYear > 2107) {
        return kDosDateTimeMax;
    }
    if (fields.wYear < 1980) {
        return kDosDateTimeMin;
    }
    DosDateTime result;
    result.date = static_cast<std::uint16_t>(((fields.wYear - 1980) & 0x7F) << 9 |
                                             (fields.wMonth & 0x0F) << 5 | (fields.wDay & 0x1F));
    result.time = static_cast<std::uint16_t>(
        (fields.wHour & 0x1F) << 11 | (fields.wMinute & 0x3F) << 5 | ((fields.wSecond / 2) & 0x1F));
    return result;
}

std::int64_t FileTimeToUnixTime(platform::FileTime fileTime) {
    // Times past the signed range (year 30828 on) saturate rather than wrap negative.
    constexpr auto kMax = static_cast<platform::FileTime>(std::numeric_limits<std::int64_t>::max());
    const auto ticks = static_cast<std::int64_t>(fileTime > kMax ? kMax : fileTime);
    return (ticks - static_cast<std::int64_t>(platform::kUnixEpochAsFileTime)) /
           static_cast<std::int64_t>(platform::kFileTimeTicksPerSecond);
}

}  // namespace zelpack::zip
