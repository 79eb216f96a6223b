// The platform side of the fault seam (platform/fault_injection.h): each system call that the
// seam covers is made inside one FaultPoint. Internal to platform/.
#pragma once

#include <functional>
#include <string_view>

#include "platform/fault_injection.h"

namespace zelpack::platform::faults {

class FaultPoint {
  public:
    // `path`: the native path the operation names, if any.
    explicit FaultPoint(Operation operation, const char* path = nullptr);
    // A wide path, as Windows names files.
    FaultPoint(Operation operation, std::u16string_view path);
    // Runs the fault's `after` action when this was the operation it struck.
    ~FaultPoint();
    FaultPoint(const FaultPoint&) = delete;
    FaultPoint& operator=(const FaultPoint&) = delete;

    // The error number to fail with instead of making the call; 0 to make it.
    int error() const { return error_; }
    // Whether a read or write should move only part of the bytes.
    bool partial() const { return partial_; }

  private:
    void Arm(Operation operation, const char* path);

    int error_ = 0;
    bool partial_ = false;
    std::function<void()> after_;
};

}  // namespace zelpack::platform::faults
