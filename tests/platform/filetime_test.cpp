#include "platform/filetime.h"

#include <gtest/gtest.h>

#include <chrono>

namespace zelpack::platform {
namespace {

constexpr FileTime kTicksPerDay = 864'000'000'000ULL;

SystemTime Fields(int year, int month, int day, int hour = 0, int minute = 0, int second = 0,
                  int milliseconds = 0) {
    SystemTime fields;
    fields.wYear = static_cast<std::uint16_t>(year);
    fields.wMonth = static_cast<std::uint16_t>(month);
    fields.wDay = static_cast<std::uint16_t>(day);
    fields.wHour = static_cast<std::uint16_t>(hour);
    fields.wMinute = static_cast<std::uint16_t>(minute);
    fields.wSecond = static_cast<std::uint16_t>(second);
    fields.wMilliseconds = static_cast<std::uint16_t>(milliseconds);
    return fields;
}

TEST(FileTimeTest, UnixConversions) {
    EXPECT_EQ(FileTimeFromUnix(0), 116'444'736'000'000'000ULL);
    EXPECT_EQ(FileTimeFromUnix(1, 999'999'999), kUnixEpochAsFileTime + 19'999'999);
    EXPECT_EQ(FileTimeFromUnix(-11'644'473'601, 999'999'999), 0u);
    EXPECT_EQ(FileTimeFromUnix(INT64_MIN), 0u);
    EXPECT_EQ(FileTimeFromUnix(INT64_MAX), UINT64_MAX);

    EXPECT_EQ(UnixSecondsFromFileTime(kUnixEpochAsFileTime + 9'999'999), 0);
    EXPECT_EQ(UnixSecondsFromFileTime(kUnixEpochAsFileTime - 1), -1);  // rounds down
    EXPECT_EQ(UnixSecondsFromFileTime(kUnixEpochAsFileTime - 10'000'000), -1);
    EXPECT_EQ(UnixSecondsFromFileTime(0), -11'644'473'600);
}

TEST(FileTimeTest, KnownCalendarAnswer) {
    SystemTime fields;
    ASSERT_TRUE(FileTimeToSystemTime(FileTimeFromUnix(1'236'236'640, 123'456'789), fields));
    EXPECT_EQ(fields.wYear, 2009);
    EXPECT_EQ(fields.wMonth, 3);
    EXPECT_EQ(fields.wDay, 5);
    EXPECT_EQ(fields.wDayOfWeek, 4);  // Thursday
    EXPECT_EQ(fields.wHour, 7);
    EXPECT_EQ(fields.wMinute, 4);
    EXPECT_EQ(fields.wSecond, 0);
    EXPECT_EQ(fields.wMilliseconds, 123);

    FileTime time = 0;
    ASSERT_TRUE(SystemTimeToFileTime(Fields(2009, 3, 5, 7, 4, 0, 123), time));
    EXPECT_EQ(time, FileTimeFromUnix(1'236'236'640) + 1'230'000);
}

// Every 13th day from 1601 to the last supported year, against the standard calendar.
TEST(FileTimeTest, MatchesTheStandardCalendarAcrossTheWholeRange) {
    using namespace std::chrono;
    const sys_days first = sys_days{year{1601} / January / 1};
    const sys_days last = sys_days{year{30827} / December / 31};
    for (sys_days day = first; day <= last; day += days{13}) {
        const auto count = static_cast<FileTime>((day - first).count());
        // A different time of day on each day, so the clock fields are exercised too.
        const FileTime time = count * kTicksPerDay + count * 7'919'000'000ULL % kTicksPerDay;
        SystemTime fields;
        ASSERT_TRUE(FileTimeToSystemTime(time, fields));
        const year_month_day expected{day};
        ASSERT_EQ(fields.wYear, static_cast<int>(expected.year()));
        ASSERT_EQ(fields.wMonth, static_cast<unsigned>(expected.month()));
        ASSERT_EQ(fields.wDay, static_cast<unsigned>(expected.day()));
        ASSERT_EQ(fields.wDayOfWeek, weekday{day}.c_encoding());
        FileTime back = 0;
        ASSERT_TRUE(SystemTimeToFileTime(fields, back));
        ASSERT_EQ(back, time);
    }
    SystemTime fields;
    FileTime end = 0;
    ASSERT_TRUE(SystemTimeToFileTime(Fields(30827, 12, 31, 23, 59, 59, 999), end));
    EXPECT_TRUE(FileTimeToSystemTime(end, fields));
    EXPECT_FALSE(FileTimeToSystemTime(end + 10'000, fields));
}

TEST(FileTimeTest, RejectsOutOfRangeFields) {
    const SystemTime invalid[] = {
        Fields(1600, 12, 31),
        Fields(30828, 1, 1),
        Fields(2020, 0, 1),
        Fields(2020, 13, 1),
        Fields(2020, 2, 30),
        Fields(1900, 2, 29),
        Fields(2023, 2, 29),
        Fields(2020, 4, 31),
        Fields(2020, 1, 0),
        Fields(2020, 1, 1, 24),
        Fields(2020, 1, 1, 0, 60),
        Fields(2020, 1, 1, 0, 0, 60),
        Fields(2020, 1, 1, 0, 0, 0, 1000),
    };
    for (const SystemTime& fields : invalid) {
        FileTime time = 0;
        EXPECT_FALSE(SystemTimeToFileTime(fields, time))
            << fields.wYear << '-' << fields.wMonth << '-' << fields.wDay << ' ' << fields.wHour
            << ':' << fields.wMinute << ':' << fields.wSecond << '.' << fields.wMilliseconds;
    }
    FileTime time = 0;
    EXPECT_TRUE(SystemTimeToFileTime(Fields(2000, 2, 29), time));
}

TEST(FileTimeTest, LocalTimeIsAValidCalendarDate) {
    const SystemTime now = GetLocalTime();
    FileTime time = 0;
    EXPECT_TRUE(SystemTimeToFileTime(now, time));
    EXPECT_GE(now.wYear, 2024);
    EXPECT_LE(now.wDayOfWeek, 6);
}

}  // namespace
}  // namespace zelpack::platform
