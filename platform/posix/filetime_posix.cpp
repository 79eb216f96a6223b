// POSIX: the local wall clock.
#include <time.h>

#include "platform/filetime.h"

namespace zelpack::platform {

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
