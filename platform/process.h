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

// What asked the process to stop.
enum class Interruption {
    None,
    Interrupt,  // Ctrl+C (SIGINT)
    Terminate,  // a termination request (SIGTERM)
};

// From now on an interrupt or termination request sets `flag` instead of ending the process;
// long work checks it and stops cleanly. `flag` must outlive the process's use of it; a second
// call replaces the first flag. Fails when the handlers cannot be installed.
Status CancelOnInterrupt(std::atomic<bool>& flag);

// The first request that arrived since CancelOnInterrupt.
Interruption ReceivedInterruption();

// Asks this process to stop as the user or the system would (Ctrl+C, a termination request), for
// instance from a test. While CancelOnInterrupt holds, that only sets the flag.
void RaiseInterruption(Interruption kind);

// Restores the default handling of both signals.
void RestoreInterruptHandling();

}  // namespace zelpack::platform
