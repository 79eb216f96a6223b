// The running process: its standard streams and its interruption by signals.
#pragma once

#include <atomic>

namespace zelpack::platform {

enum class StandardStream { Input, Output, Error };

// True when the stream is a terminal (progress is drawn only there).
bool IsTerminal(StandardStream stream);

// From now on an interrupt or termination request (SIGINT, SIGTERM) sets `flag` instead of
// ending the process; long work checks it and stops cleanly. `flag` must outlive the process's
// use of it; a second call replaces the first flag.
void CancelOnInterrupt(std::atomic<bool>& flag);

// Restores the default handling of both signals.
void RestoreInterruptHandling();

}  // namespace zelpack::platform
