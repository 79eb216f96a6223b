// Windows: the calendar form of file times, and the local wall clock.
#include "platform/filetime.h"
#include "platform/win32/win32.h"

namespace zelpack::platform {

namespace {

SYSTEMTIME ToSystem(const SystemTime& fields) {
    SYSTEMTIME system{};
    system.wYear = fields.wYear;
    system.wMonth = fields.wMonth;
    system.wDayOfWeek = fields.wDayOfWeek;
    system.wDay = fields.wDay;
    system.wHour = fields.wHour;
    system.wMinute = fields.wMinute;
    system.wSecond = fields.wSecond;
    system.wMilliseconds = fields.wMilliseconds;
    return system;
}

SystemTime FromSystem(const SYSTEMTIME& system) {
    SystemTime fields;
    fields.wYear = system.wYear;
    fields.wMonth = system.wMonth;
    fields.wDayOfWeek = system.wDayOfWeek;
    fields.wDay = system.wDay;
    fields.wHour = system.wHour;
    fields.wMinute = system.wMinute;
    fields.wSecond = system.wSecond;
    fields.wMilliseconds = system.wMilliseconds;
    return fields;
}

}  // namespace

// The range both platforms share: the calendar fields run from 1601 to 30827. Wine, unlike
// Windows, takes later years and some fields out of range; so the rules are checked here too.
constexpr unsigned kLastYear = 30827;

bool IsLeapYear(unsigned year) {
    return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
}

bool AreValid(const SystemTime& fields) {
    static constexpr unsigned kDays[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    if (fields.wYear < 1601 || fields.wYear > kLastYear || fields.wMonth < 1 ||
        fields.wMonth > 12 || fields.wDay < 1 || fields.wHour > 23 || fields.wMinute > 59 ||
        fields.wSecond > 59 || fields.wMilliseconds > 999) {
        return false;
    }
    const unsigned days =
        fields.wMonth == 2 && IsLeapYear(fields.wYear) ? 29 : kDays[fields.wMonth - 1];
    return fields.wDay <= days;
}

bool FileTimeToSystemTime(FileTime time, SystemTime& fields) {
    const FILETIME file{static_cast<DWORD>(time), static_cast<DWORD>(time >> 32)};
    SYSTEMTIME system{};
    if (!::FileTimeToSystemTime(&file, &system) || system.wYear > kLastYear) {
        return false;
    }
    fields = FromSystem(system);
    return true;
}

bool SystemTimeToFileTime(const SystemTime& fields, FileTime& time) {
    if (!AreValid(fields)) {
        return false;
    }
    const SYSTEMTIME system = ToSystem(fields);
    FILETIME file{};
    if (!::SystemTimeToFileTime(&system, &file)) {
        return false;
    }
    time = (std::uint64_t{file.dwHighDateTime} << 32) | file.dwLowDateTime;
    return true;
}

SystemTime GetLocalTime() {
    SYSTEMTIME system{};
    ::GetLocalTime(&system);
    return FromSystem(system);
}

}  // namespace zelpack::platform
