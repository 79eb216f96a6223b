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

bool FileTimeToSystemTime(FileTime time, SystemTime& fields) {
    // The system refuses times with the top bit set, as the portable form does past 30827.
    const FILETIME file{static_cast<DWORD>(time), static_cast<DWORD>(time >> 32)};
    SYSTEMTIME system{};
    if (!::FileTimeToSystemTime(&file, &system)) {
        return false;
    }
    fields = FromSystem(system);
    return true;
}

bool SystemTimeToFileTime(const SystemTime& fields, FileTime& time) {
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
