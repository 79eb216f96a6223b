#include "platform/filetime.h"

#include <limits>

namespace zelpack::platform {

namespace {

constexpr std::int64_t kUnixEpochSecondsAfter1601 = 11'644'473'600;

}  // namespace

FileTime FileTimeFromUnix(std::int64_t seconds, std::uint32_t nanoseconds) {
    if (seconds < -kUnixEpochSecondsAfter1601) {
        return 0;
    }
    constexpr std::uint64_t kMaxSeconds =
        std::numeric_limits<FileTime>::max() / kFileTimeTicksPerSecond - 1;
    const auto since_1601 = static_cast<std::uint64_t>(seconds) +
                            static_cast<std::uint64_t>(kUnixEpochSecondsAfter1601);
    if (seconds > 0 && since_1601 > kMaxSeconds) {
        return std::numeric_limits<FileTime>::max();
    }
    const std::uint64_t sub_second = nanoseconds < 1'000'000'000 ? nanoseconds / 100 : 9'999'999;
    return since_1601 * kFileTimeTicksPerSecond + sub_second;
}

std::int64_t UnixSecondsFromFileTime(FileTime time) {
    if (time >= kUnixEpochAsFileTime) {
        return static_cast<std::int64_t>((time - kUnixEpochAsFileTime) / kFileTimeTicksPerSecond);
    }
    const FileTime before = kUnixEpochAsFileTime - time;
    return -static_cast<std::int64_t>((before + kFileTimeTicksPerSecond - 1) /
                                      kFileTimeTicksPerSecond);
}

}  // namespace zelpack::platform
