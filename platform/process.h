// The running process: its standard streams and its interruption by signals.
#pragma once

#include <atomic>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/result.h"

namespace zelpack::platform {

enum class StandardStream { Input, Output, Error };

// The program's arguments in the portable narrow form (UTF-8). On Windows they are taken from the
// wide command line, so that names outside the ANSI code page arrive whole.
class Arguments {
  public:
    Arguments(int argc, char** argv);
    Arguments(const Arguments&) = delete;
    Arguments& operator=(const Arguments&) = delete;

    int argc() const { return static_cast<int>(strings_.size()); }
    // NUL-terminated, with a null pointer after the last, as main receives them.
    char** argv() { return pointers_.data(); }

  private:
    // Points argv() at the strings.
    void Point();

    std::vector<std::string> strings_;
    std::vector<char*> pointers_;
};

// The process's environment variable `name`, as text; nothing when it is not set.
std::optional<std::u16string> EnvironmentVariable(std::u16string_view name);

// True when the stream is a terminal (progress is drawn only there).
bool IsTerminal(StandardStream stream);

// What asked the process to stop: every request whose default would end the process at once.
// Windows knows the first two only (Ctrl+C; Ctrl+Break, closing the console, logging off).
enum class Interruption {
    None,
    Interrupt,  // Ctrl+C (SIGINT)
    Terminate,  // a termination request (SIGTERM)
    Hangup,     // the terminal went away (SIGHUP)
    Quit,       // Ctrl+\ (SIGQUIT)
    Alarm,      // a timer ran out (SIGALRM)
    User1,      // SIGUSR1
    User2,      // SIGUSR2
};

// From now on every such request sets `flag` instead of ending the process; long work checks it
// and stops cleanly, removing what it made. `flag` must outlive the process's use of it; a second
// call replaces the first flag. Fails when the handlers cannot be installed.
Status CancelOnInterrupt(std::atomic<bool>& flag);

// The first request that arrived since CancelOnInterrupt.
Interruption ReceivedInterruption();

// The exit status of a process that stopped for `kind`: 128 plus the signal's number, as a shell
// reports a process the signal ended (130 for Ctrl+C, 143 for a termination request).
int ExitStatusOf(Interruption kind);

// Asks this process to stop as the user or the system would, for instance from a test. While
// CancelOnInterrupt holds, that only sets the flag.
void RaiseInterruption(Interruption kind);

// Restores the default handling of every request CancelOnInterrupt took over. On Windows a
// console that is being closed waits for this (a few seconds at most) before it ends the process,
// so that the run can remove its temporary files first.
void RestoreInterruptHandling();

// Writing to a pipe whose reader has gone fails with broken_pipe instead of ending the process
// (SIGPIPE), so that a closed standard output is reported like any write failure. Nothing to do
// on Windows.
void IgnoreBrokenPipes();

// A window program started from a console has no standard output of its own on Windows: this
// gives it the console's, when it has none, so that what it prints is seen. Nothing to do
// elsewhere.
void UseParentConsole();

}  // namespace zelpack::platform
