// POSIX: terminals and the signals that interrupt a run.
#include <signal.h>
#include <unistd.h>

#include <cstdlib>

#include "platform/posix/errors_posix.h"
#include "platform/process.h"
#include "platform/text.h"

namespace zelpack::platform {

namespace {

std::atomic<std::atomic<bool>*> interrupt_flag{nullptr};
std::atomic<int> interrupt_signal{0};

static_assert(std::atomic<bool>::is_always_lock_free, "set from a signal handler");
static_assert(std::atomic<int>::is_always_lock_free, "set from a signal handler");
static_assert(std::atomic<std::atomic<bool>*>::is_always_lock_free, "read in a signal handler");

extern "C" void OnInterrupt(int signal_number) {
    int none = 0;
    interrupt_signal.compare_exchange_strong(none, signal_number);
    if (std::atomic<bool>* flag = interrupt_flag.load()) {
        flag->store(true);
    }
}

Status SetHandler(void (*handler)(int)) {
    struct sigaction action {};
    action.sa_handler = handler;
    sigemptyset(&action.sa_mask);
    action.sa_flags = 0;
    if (sigaction(SIGINT, &action, nullptr) != 0 || sigaction(SIGTERM, &action, nullptr) != 0) {
        return LastError();
    }
    return {};
}

}  // namespace

std::optional<std::u16string> EnvironmentVariable(std::u16string_view name) {
    const char* value = std::getenv(ToNative(name).c_str());
    if (value == nullptr) {
        return std::nullopt;
    }
    return FromNative(value);
}

Arguments::Arguments(int argc, char** argv) : strings_(argv, argv + argc) {
    Point();
}

bool IsTerminal(StandardStream stream) {
    const int fd = stream == StandardStream::Input    ? STDIN_FILENO
                   : stream == StandardStream::Output ? STDOUT_FILENO
                                                      : STDERR_FILENO;
    return isatty(fd) == 1;
}

Status CancelOnInterrupt(std::atomic<bool>& flag) {
    interrupt_signal.store(0);
    interrupt_flag.store(&flag);
    return SetHandler(OnInterrupt);
}

Interruption ReceivedInterruption() {
    switch (interrupt_signal.load()) {
        case SIGINT:
            return Interruption::Interrupt;
        case SIGTERM:
            return Interruption::Terminate;
        default:
            return Interruption::None;
    }
}

void RaiseInterruption(Interruption kind) {
    if (kind != Interruption::None) {
        raise(kind == Interruption::Interrupt ? SIGINT : SIGTERM);
    }
}

void RestoreInterruptHandling() {
    // Nothing useful remains to be done should this fail: the handlers stay and only set a flag.
    static_cast<void>(SetHandler(SIG_DFL));
    interrupt_flag.store(nullptr);
}

}  // namespace zelpack::platform
