// POSIX: the calendar form of file times, and the local wall clock.
#include <time.h>

#include "platform/filetime.h"

namespace zelpack::platform {

namespace {

constexpr std::uint64_t kTicksPerMillisecond = 10'000;
constexpr std::uint64_t kMillisecondsPerDay = 86'400'000;

// Days from 1601-01-01 to the given date, proleptic Gregorian.
std::int64_t DaysFrom1601(std::int64_t year, unsigned month, unsigned day) {
    // Years counted from March 1600 put each leap day at the end of its year and start a
    // 400-year cycle, so the leap-day count needs no correction.
    const std::int64_t y = year - 1600 - (month <= 2 ? 1 : 0);
    const unsigned m = month > 2 ? month - 3 : month + 9;
    const std::int64_t day_of_year = (153 * m + 2) / 5 + day - 1;
    constexpr std::int64_t kMarch1600To1601 = 306;
    return y * 365 + y / 4 - y / 100 + y / 400 + day_of_year - kMarch1600To1601;
}

bool IsLeapYear(unsigned year) {
    return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
}

unsigned DaysInMonth(unsigned year, unsigned month) {
    static constexpr unsigned kDays[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    return month == 2 && IsLeapYear(year) ? 29 : kDays[month - 1];
}

constexpr unsigned kLastYear = 30827;

}  // namespace

bool FileTimeToSystemTime(FileTime time, SystemTime& fields) {
    std::uint64_t days = time / kTicksPerMillisecond / kMillisecondsPerDay;
    std::uint64_t milliseconds = time / kTicksPerMillisecond % kMillisecondsPerDay;
    if (days >= static_cast<std::uint64_t>(DaysFrom1601(kLastYear + 1, 1, 1))) {
        return false;
    }
    // 1601-01-01 was a Monday.
    const auto day_of_week = static_cast<std::uint16_t>((days + 1) % 7);

    // Whole 400-year cycles (146097 days), then centuries, 4-year spans and years within them.
    unsigned year = 1601 + 400 * static_cast<unsigned>(days / 146'097);
    days %= 146'097;
    unsigned centuries = static_cast<unsigned>(days / 36'524);
    if (centuries == 4) {  // the last day of a cycle belongs to its fourth century
        centuries = 3;
    }
    days -= centuries * 36'524ULL;
    year += 100 * centuries;
    year += 4 * static_cast<unsigned>(days / 1461);
    days %= 1461;
    unsigned years = static_cast<unsigned>(days / 365);
    if (years == 4) {  // the leap day at the end of a 4-year span
        years = 3;
    }
    days -= years * 365ULL;
    year += years;

    unsigned month = 1;
    while (days >= DaysInMonth(year, month)) {
        days -= DaysInMonth(year, month);
        ++month;
    }

    fields.wYear = static_cast<std::uint16_t>(year);
    fields.wMonth = static_cast<std::uint16_t>(month);
    fields.wDayOfWeek = day_of_week;
    fields.wDay = static_cast<std::uint16_t>(days + 1);
    fields.wHour = static_cast<std::uint16_t>(milliseconds / 3'600'000);
    fields.wMinute = static_cast<std::uint16_t>(milliseconds / 60'000 % 60);
    fields.wSecond = static_cast<std::uint16_t>(milliseconds / 1000 % 60);
    fields.wMilliseconds = static_cast<std::uint16_t>(milliseconds % 1000);
    return true;
}

bool SystemTimeToFileTime(const SystemTime& fields, FileTime& time) {
    // The day of the week is not checked, as on Windows.
    if (fields.wYear < 1601 || fields.wYear > kLastYear || fields.wMonth < 1 ||
        fields.wMonth > 12 || fields.wDay < 1 ||
        fields.wDay > DaysInMonth(fields.wYear, fields.wMonth) || fields.wHour > 23 ||
        fields.wMinute > 59 || fields.wSecond > 59 || fields.wMilliseconds > 999) {
        return false;
    }
    const auto days =
        static_cast<std::uint64_t>(DaysFrom1601(fields.wYear, fields.wMonth, fields.wDay));
    const std::uint64_t milliseconds = days * kMillisecondsPerDay + fields.wHour * 3'600'000ULL +
                                       fields.wMinute * 60'000ULL + fields.wSecond * 1000ULL +
                                       fields.wMilliseconds;
    time = milliseconds * kTicksPerMillisecond;
    return true;
}

SystemTime GetLocalTime() {
    timespec now{};
    if (clock_gettime(CLOCK_REALTIME, &now) != 0) {
        now.tv_sec = time(nullptr);
        now.tv_nsec = 0;
    }
    const time_t seconds = now.tv_sec;
    tm local{};
    // Should the zone's conversion fail, UTC serves; should that fail too, the earliest time.
    if (localtime_r(&seconds, &local) == nullptr && gmtime_r(&seconds, &local) == nullptr) {
        return SystemTime{};
    }
    SystemTime fields;
    fields.wYear = static_cast<std::uint16_t>(local.tm_year + 1900);
    fields.wMonth = static_cast<std::uint16_t>(local.tm_mon + 1);
    fields.wDayOfWeek = static_cast<std::uint16_t>(local.tm_wday);
    fields.wDay = static_cast<std::uint16_t>(local.tm_mday);
    fields.wHour = static_cast<std::uint16_t>(local.tm_hour);
    fields.wMinute = static_cast<std::uint16_t>(local.tm_min);
    // A leap second shows as :59, as the calendar fields have no room for :60.
    fields.wSecond = static_cast<std::uint16_t>(local.tm_sec > 59 ? 59 : local.tm_sec);
    fields.wMilliseconds = static_cast<std::uint16_t>(now.tv_nsec / 1'000'000);
    return fields;
}

}  // namespace zelpack::platform
