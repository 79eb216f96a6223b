#include <signal.h>
#include <unistd.h>

#include "platform/process.h"

namespace zelpack::platform {

namespace {

std::atomic<std::atomic<bool>*> interrupt_flag{nullptr};

static_assert(std::atomic<bool>::is_always_lock_free, "set from a signal handler");
static_assert(std::atomic<std::atomic<bool>*>::is_always_lock_free, "read in a signal handler");

extern "C" void OnInterrupt(int) {
    if (std::atomic<bool>* flag = interrupt_flag.load()) {
        flag->store(true);
    }
}

void SetHandler(void (*handler)(int)) {
    struct sigaction action {};
    action.sa_handler = handler;
    sigemptyset(&action.sa_mask);
    action.sa_flags = 0;
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);
}

}  // namespace

bool IsTerminal(StandardStream stream) {
    const int fd = stream == StandardStream::Input    ? STDIN_FILENO
                   : stream == StandardStream::Output ? STDOUT_FILENO
                                                      : STDERR_FILENO;
    return isatty(fd) == 1;
}

void CancelOnInterrupt(std::atomic<bool>& flag) {
    interrupt_flag.store(&flag);
    SetHandler(OnInterrupt);
}

void RestoreInterruptHandling() {
    SetHandler(SIG_DFL);
    interrupt_flag.store(nullptr);
}

}  // namespace zelpack::platform
