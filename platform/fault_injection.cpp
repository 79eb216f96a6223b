#include "platform/fault_injection.h"

#include <array>
#include <atomic>
#include <mutex>
#include <optional>
#include <string_view>

#include "platform/fault_point.h"
#include "platform/text.h"

namespace zelpack::platform::faults {

namespace {

struct Seam {
    std::mutex mutex;
    std::array<std::uint64_t, static_cast<std::size_t>(Operation::kCount)> performed{};
    std::optional<Fault> fault;
    std::uint64_t matched = 0;  // operations the fault applies to, so far
    bool struck = false;
};

// Armed only by tests: every operation checks this first.
std::atomic<bool> active{false};

Seam& TheSeam() {
    static Seam seam;
    return seam;
}

void Arm(std::optional<Fault> fault) {
    Seam& seam = TheSeam();
    const std::lock_guard lock(seam.mutex);
    seam.performed.fill(0);
    seam.fault = std::move(fault);
    seam.matched = 0;
    seam.struck = false;
    active.store(true, std::memory_order_relaxed);
}

}  // namespace

void Inject(Fault fault) {
    Arm(std::move(fault));
}

void Count() {
    Arm(std::nullopt);
}

void Clear() {
    Seam& seam = TheSeam();
    const std::lock_guard lock(seam.mutex);
    active.store(false, std::memory_order_relaxed);
    seam.fault.reset();
    seam.struck = false;
}

std::uint64_t Performed(Operation operation) {
    Seam& seam = TheSeam();
    const std::lock_guard lock(seam.mutex);
    return seam.performed[static_cast<std::size_t>(operation)];
}

bool Struck() {
    Seam& seam = TheSeam();
    const std::lock_guard lock(seam.mutex);
    return seam.struck;
}

FaultPoint::FaultPoint(Operation operation, const char* path) {
    if (active.load(std::memory_order_relaxed)) {
        Arm(operation, path);
    }
}

FaultPoint::FaultPoint(Operation operation, std::u16string_view path) {
    if (active.load(std::memory_order_relaxed)) {
        Arm(operation, ToNative(path).c_str());
    }
}

void FaultPoint::Arm(Operation operation, const char* path) {
    Seam& seam = TheSeam();
    const std::lock_guard lock(seam.mutex);
    ++seam.performed[static_cast<std::size_t>(operation)];
    if (!seam.fault || (seam.struck && !seam.fault->repeat) || seam.fault->operation != operation) {
        return;
    }
    if (!seam.fault->path.empty() &&
        (path == nullptr || std::string_view(path).find(seam.fault->path) == std::string::npos)) {
        return;
    }
    if (++seam.matched == seam.fault->nth || (seam.struck && seam.fault->repeat)) {
        seam.struck = true;
        error_ = seam.fault->error;
        partial_ = seam.fault->partial;
        after_ = seam.fault->after;
    }
}

FaultPoint::~FaultPoint() {
    if (after_) {
        after_();
    }
}

}  // namespace zelpack::platform::faults
