// Arms the platform's fault seam for one scope, so that a failed assertion cannot leave it armed.
#pragma once

#include "platform/fault_injection.h"

namespace zelpack::testing {

class ScopedFault {
  public:
    explicit ScopedFault(platform::faults::Fault fault) {
        platform::faults::Inject(std::move(fault));
    }
    ~ScopedFault() { platform::faults::Clear(); }
    ScopedFault(const ScopedFault&) = delete;
    ScopedFault& operator=(const ScopedFault&) = delete;
};

}  // namespace zelpack::testing
