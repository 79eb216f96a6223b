// A test-only seam: makes a chosen file operation fail, or do only part of its work, so that
// tests can reach every failure path, also when they run as root. Product code never arms it;
// unarmed, each operation pays one relaxed atomic load.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

namespace zelpack::platform::faults {

// The operations the seam counts, each a single call to the system.
enum class Operation {
    Create,     // opening a file for writing (created or truncated)
    Open,       // opening a file for reading
    Temporary,  // creating a temporary file under a fresh name
    Read,
    Write,
    Seek,
    Close,
    Rename,  // moving a finished file into place
    Remove,
    List,    // opening or reading a folder's listing
    Status,  // reading the status of a listed name
    Flush,   // making a written file, or a folder's entries, reach the disk
    Random,  // drawing bytes from the system's generator
    kCount
};

struct Fault {
    Operation operation = Operation::Read;
    // Which one fails, counted from the moment of injection: 1 is the next one.
    std::uint64_t nth = 1;
    // When set, only operations on a path holding this text count (opening, listing, status,
    // renaming and removing name a path; reads, writes, seeks and closes do not).
    std::string path{};
    // The error number the operation fails with (ENOSPC, EACCES, EIO, EINTR...). 0: it does not
    // fail.
    int error = 0;
    // Reads and writes only: move fewer bytes than asked (at least one), without an error.
    bool partial = false;
    // Runs on the calling thread once the operation is over (for instance to raise a signal).
    std::function<void()> after{};
    // Strikes the nth and every later matching operation, not the nth alone: with an `after`
    // that sleeps, a source as slow as a test needs.
    bool repeat = false;
};

// Arms one fault and starts counting every operation afresh; replaces an earlier fault.
void Inject(Fault fault);
// Starts counting without a fault, so that a test can learn how many operations a run makes.
void Count();
// Disarms the seam.
void Clear();
// Operations of that kind since the last Inject or Count.
std::uint64_t Performed(Operation operation);
// Whether the armed fault has struck.
bool Struck();

}  // namespace zelpack::platform::faults
