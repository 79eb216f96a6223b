// POSIX: terminals and the signals that interrupt a run.
#include <signal.h>
#include <unistd.h>

#include <cstdlib>
#include <iterator>

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

// The signals whose default would end the process at once, in the order of Interruption.
constexpr int kSignals[] = {SIGINT, SIGTERM, SIGHUP, SIGQUIT, SIGALRM, SIGUSR1, SIGUSR2};

extern "C" void OnInterrupt(int signal_number) {
    int none = 0;
    interrupt_signal.compare_exchange_strong(none, signal_number);
    if (std::atomic<bool>* flag = interrupt_flag.load()) {
        flag->store(true);
    }
}

// What each signal did before CancelOnInterrupt, so that it can be put back.
struct sigaction saved_actions[std::size(kSignals)];
bool saved = false;

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
    struct sigaction action {};
    action.sa_handler = OnInterrupt;
    sigemptyset(&action.sa_mask);
    // Interrupted system calls are restarted: the flag is what stops the work.
    action.sa_flags = SA_RESTART;
    for (std::size_t index = 0; index < std::size(kSignals); ++index) {
        struct sigaction before {};
        if (sigaction(kSignals[index], nullptr, &before) != 0) {
            return LastError();
        }
        if (!saved) {
            saved_actions[index] = before;
        }
        // A signal ignored from the start (nohup) stays ignored.
        if (before.sa_handler == SIG_IGN) {
            continue;
        }
        if (sigaction(kSignals[index], &action, nullptr) != 0) {
            return LastError();
        }
    }
    saved = true;
    return {};
}

Interruption ReceivedInterruption() {
    const int received = interrupt_signal.load();
    for (std::size_t index = 0; index < std::size(kSignals); ++index) {
        if (kSignals[index] == received) {
            return static_cast<Interruption>(index + 1);
        }
    }
    return Interruption::None;
}

int ExitStatusOf(Interruption kind) {
    return kind == Interruption::None ? 0 : 128 + kSignals[static_cast<std::size_t>(kind) - 1];
}

void RaiseInterruption(Interruption kind) {
    if (kind != Interruption::None) {
        raise(kSignals[static_cast<std::size_t>(kind) - 1]);
    }
}

void IgnoreBrokenPipes() {
    signal(SIGPIPE, SIG_IGN);
}

void UseParentConsole() {}

void RestoreInterruptHandling() {
    if (saved) {
        for (std::size_t index = 0; index < std::size(kSignals); ++index) {
            sigaction(kSignals[index], &saved_actions[index], nullptr);
        }
        saved = false;
    }
    interrupt_flag.store(nullptr);
}

}  // namespace zelpack::platform
