// POSIX: random bytes from the kernel.
#include <errno.h>
#include <fcntl.h>
#include <sys/random.h>
#include <unistd.h>

#include "platform/fault_point.h"
#include "platform/posix/errors_posix.h"
#include "platform/random.h"

namespace zelpack::platform {

namespace {

// Kernels before getrandom (or a sandbox that filters it) still have the device.
Status ReadDevice(std::span<std::uint8_t> bytes) {
    const int fd = open("/dev/urandom", O_RDONLY | O_CLOEXEC | O_NOCTTY);
    if (fd < 0) {
        return LastError();
    }
    Status status;
    while (!bytes.empty()) {
        const ssize_t got = read(fd, bytes.data(), bytes.size());
        if (got < 0 && errno == EINTR) {
            continue;
        }
        if (got <= 0) {
            status = got < 0 ? LastError() : ErrorOf(EIO);
            break;
        }
        bytes = bytes.subspan(static_cast<std::size_t>(got));
    }
    close(fd);
    return status;
}

}  // namespace

Status FillRandom(std::span<std::uint8_t> bytes) {
    while (!bytes.empty()) {
        ssize_t got;
        int error;
        {
            faults::FaultPoint point(faults::Operation::Random);
            got = point.error() != 0 ? (errno = point.error(), -1)
                                     : getrandom(bytes.data(), bytes.size(), 0);
            error = errno;
        }
        if (got < 0) {
            if (error == EINTR) {
                continue;
            }
            if (error == ENOSYS) {
                return ReadDevice(bytes);
            }
            return ErrorOf(error);
        }
        bytes = bytes.subspan(static_cast<std::size_t>(got));
    }
    return {};
}

}  // namespace zelpack::platform
