// The running process: its standard streams and its interruption by signals.
#pragma once

#include <atomic>

#include "platform/result.h"

namespace zelpack::platform {

enum class StandardStream { Input, Output, Error };

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

// Restores the default handling of both signals.
void RestoreInterruptHandling();

}  // namespace zelpack::platform
