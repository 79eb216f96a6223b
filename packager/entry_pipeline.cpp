#include "packager/entry_pipeline.h"

#include <algorithm>

namespace zelpack {

EntryPipeline::EntryPipeline(std::vector<Job> jobs, unsigned threads,
                             const std::atomic<bool>* cancel)
    : jobs_(std::move(jobs)), cancel_(cancel) {
    slots_.reserve(jobs_.size());
    for (std::size_t i = 0; i < jobs_.size(); ++i) {
        slots_.push_back(std::make_unique<Slot>());
    }
    const unsigned count = std::max(1u, std::min<unsigned>(threads, jobs_.size()));
    for (unsigned i = 0; i < count; ++i) {
        try {
            threads_.emplace_back([this] { Work(); });
        } catch (const std::system_error&) {
            break;  // fewer threads; with none, Take prepares nothing and the archive reads all
        }
    }
}

EntryPipeline::~EntryPipeline() {
    {
        const std::lock_guard lock(mutex_);
        stop_ = true;
    }
    changed_.notify_all();
    for (std::thread& thread : threads_) {
        thread.join();
    }
}

bool EntryPipeline::Stopping() const {
    return stop_ || (cancel_ != nullptr && cancel_->load());
}

void EntryPipeline::Work() {
    zip::EntryPreparer preparer;
    // A file being read stops as soon as the run is over.
    const zip::ZipWriter::ReadObserver observer = [this](std::uint64_t) { return !Stopping(); };
    std::unique_lock lock(mutex_);
    while (!Stopping() && next_job_ < jobs_.size()) {
        const std::size_t index = next_job_++;
        const Job& job = jobs_[index];
        Slot& slot = *slots_[index];
        const bool large = job.size > kLargeEntry;
        if (!large) {
            // Ahead of the archive only within the budget; the entry it waits for always goes.
            changed_.wait(lock, [&] {
                return Stopping() || index == next_taken_ || in_flight_ + job.size <= kBudget;
            });
            if (Stopping()) {
                break;
            }
            slot.charged = job.size;
            in_flight_ += slot.charged;
            lock.unlock();
            preparer.Prepare(job.entry_name, job.source_path, kLargeEntry, observer, slot.entry);
            lock.lock();
        } else {
            slot.entry.sourcePath = job.source_path;  // left to the archive, which streams it
        }
        slot.done = true;
        changed_.notify_all();
    }
    changed_.notify_all();
}

const zip::PreparedEntry& EntryPipeline::Take(std::size_t index) {
    std::unique_lock lock(mutex_);
    next_taken_ = index;
    changed_.notify_all();
    Slot& slot = *slots_[index];
    // A slot no thread has taken yet, once they have all stopped, is the archive's to read.
    changed_.wait(lock, [&] {
        return slot.done || (index >= next_job_ && (Stopping() || threads_.empty()));
    });
    if (!slot.done) {
        slot.entry.sourcePath = jobs_[index].source_path;
        slot.entry.ready = false;
    }
    return slot.entry;
}

void EntryPipeline::Release(std::size_t index) {
    {
        const std::lock_guard lock(mutex_);
        Slot& slot = *slots_[index];
        in_flight_ -= slot.charged;
        slot.charged = 0;
        slot.entry.data = std::vector<std::uint8_t>();  // its memory too, not just its bytes
    }
    changed_.notify_all();
}

}  // namespace zelpack
