#include "packager/entry_pipeline.h"

#include <algorithm>

namespace zelpack {

EntryPipeline::EntryPipeline(std::vector<std::uint64_t> sizes, unsigned threads,
                             const std::atomic<bool>* cancel, Prepare prepare)
    : sizes_(std::move(sizes)), cancel_(cancel), prepare_(std::move(prepare)) {
    slots_.reserve(sizes_.size());
    for (std::size_t i = 0; i < sizes_.size(); ++i) {
        slots_.push_back(std::make_unique<Slot>());
    }
    const unsigned count = std::max(1u, std::min<unsigned>(threads, sizes_.size()));
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
    const zip::ReadObserver observer = [this](std::uint64_t) { return !Stopping(); };
    std::unique_lock lock(mutex_);
    while (!Stopping() && next_job_ < sizes_.size()) {
        const std::size_t index = next_job_++;
        const std::uint64_t size = sizes_[index];
        Slot& slot = *slots_[index];
        // A large file is left to the archive, which streams it.
        if (size <= kLargeEntry) {
            // Ahead of the archive only within the budget; the entry it waits for always goes.
            changed_.wait(lock, [&] {
                return Stopping() || index == next_taken_ || in_flight_ + size <= kBudget;
            });
            if (Stopping()) {
                break;
            }
            slot.charged = size;
            in_flight_ += slot.charged;
            lock.unlock();
            prepare_(index, preparer, observer, slot.file);
            lock.lock();
        }
        slot.done = true;
        changed_.notify_all();
    }
    changed_.notify_all();
}

const PreparedFile& EntryPipeline::Take(std::size_t index) {
    std::unique_lock lock(mutex_);
    next_taken_ = index;
    changed_.notify_all();
    Slot& slot = *slots_[index];
    // A slot no thread has taken yet, once they have all stopped, is the archive's to read.
    changed_.wait(lock, [&] {
        return slot.done || (index >= next_job_ && (Stopping() || threads_.empty()));
    });
    if (!slot.done) {
        slot.file.entry.ready = false;
    }
    return slot.file;
}

void EntryPipeline::Release(std::size_t index) {
    {
        const std::lock_guard lock(mutex_);
        Slot& slot = *slots_[index];
        in_flight_ -= slot.charged;
        slot.charged = 0;
        slot.file.entry.data = std::vector<std::uint8_t>();  // its memory too, not just its bytes
    }
    changed_.notify_all();
}

}  // namespace zelpack
