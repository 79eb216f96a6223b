// File times: 64-bit counts of 100 ns since 1601-01-01 UTC, and their calendar form.
#pragma once

#include <cstdint>

namespace zelpack::platform {

using FileTime = std::uint64_t;

// Calendar fields; wDayOfWeek counts from Sunday = 0.
struct SystemTime {
    std::uint16_t wYear = 1601;
    std::uint16_t wMonth = 1;
    std::uint16_t wDayOfWeek = 1;
    std::uint16_t wDay = 1;
    std::uint16_t wHour = 0;
    std::uint16_t wMinute = 0;
    std::uint16_t wSecond = 0;
    std::uint16_t wMilliseconds = 0;
};

inline constexpr FileTime kFileTimeTicksPerSecond = 10'000'000;
// 1970-01-01 minus 1601-01-01, in ticks.
inline constexpr FileTime kUnixEpochAsFileTime = 116'444'736'000'000'000ULL;

// UTC calendar fields of `time`, no zone conversion. False for times past year 30827.
bool FileTimeToSystemTime(FileTime time, SystemTime& fields);
// Joins calendar fields as they stand (no zone conversion); false for out-of-range fields.
bool SystemTimeToFileTime(const SystemTime& fields, FileTime& time);
// The local wall clock.
SystemTime GetLocalTime();

// Times before 1601 clamp to 0.
FileTime FileTimeFromUnix(std::int64_t seconds, std::uint32_t nanoseconds = 0);
// Whole seconds since 1970-01-01 UTC, rounded down.
std::int64_t UnixSecondsFromFileTime(FileTime time);

}  // namespace zelpack::platform
