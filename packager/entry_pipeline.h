// Entries prepared ahead of the archive on several threads: each entry's data depends on its own
// file alone, so threads compress entries at the same time while the archive takes them in
// order. Memory stays bounded: a file larger than kLargeEntry is left to the archive, which
// streams it, and the prepared data waiting for the archive stays under kBudget (the entry the
// archive waits for is always allowed).
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "zip/prepared_entry.h"

namespace zelpack {

// One file as a thread prepared it.
struct PreparedFile {
    // Not ready: left to the archive (a large file, one a thread did not reach, or one whose
    // reading failed, so that the archive meets the failure itself).
    zip::PreparedEntry entry;
    // The run's message when the file could not be opened or was not what the walk saw: the
    // archive fails the run with it.
    std::u16string failure;
};

class EntryPipeline {
  public:
    static constexpr std::uint64_t kLargeEntry = 8u << 20;
    static constexpr std::uint64_t kBudget = 48u << 20;

    // Prepares entry `index` (never a large one) into `file` with the thread's own `preparer`;
    // `observer` ends a read once the run stops. Called on the pipeline's threads.
    using Prepare = std::function<void(std::size_t index, zip::EntryPreparer& preparer,
                                       const zip::ReadObserver& observer, PreparedFile& file)>;

    // Starts `threads` threads on the entries, whose listed sizes are `sizes` (for the budget);
    // they stop early once `cancel` is set.
    EntryPipeline(std::vector<std::uint64_t> sizes, unsigned threads,
                  const std::atomic<bool>* cancel, Prepare prepare);
    // Stops the threads and waits for them.
    ~EntryPipeline();
    EntryPipeline(const EntryPipeline&) = delete;
    EntryPipeline& operator=(const EntryPipeline&) = delete;

    // Waits until entry `index` is prepared or left to the archive. Call in index order.
    const PreparedFile& Take(std::size_t index);
    // The archive is done with entry `index`: its memory goes back to the budget.
    void Release(std::size_t index);

  private:
    struct Slot {
        PreparedFile file;
        bool done = false;
        std::uint64_t charged = 0;  // bytes counted against the budget
    };

    void Work();
    bool Stopping() const;

    std::vector<std::uint64_t> sizes_;
    std::vector<std::unique_ptr<Slot>> slots_;
    const std::atomic<bool>* cancel_;
    Prepare prepare_;
    std::mutex mutex_;
    std::condition_variable changed_;
    std::size_t next_job_ = 0;     // the next one a thread takes
    std::size_t next_taken_ = 0;   // the one the archive waits for or works on
    std::uint64_t in_flight_ = 0;  // charged bytes of prepared entries not yet released
    std::atomic<bool> stop_{false};
    std::vector<std::thread> threads_;
};

}  // namespace zelpack
