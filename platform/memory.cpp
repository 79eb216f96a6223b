// The parts of memory mappings that need no system call of their own.
#include "platform/memory.h"

#include <utility>

namespace zelpack::platform {

AnonymousMapping::AnonymousMapping(AnonymousMapping&& other) noexcept
    : data_(std::exchange(other.data_, nullptr)),
      size_(std::exchange(other.size_, 0)),
      mapping_(std::exchange(other.mapping_, 0)) {}

AnonymousMapping& AnonymousMapping::operator=(AnonymousMapping&& other) noexcept {
    if (this != &other) {
        Release();
        data_ = std::exchange(other.data_, nullptr);
        size_ = std::exchange(other.size_, 0);
        mapping_ = std::exchange(other.mapping_, 0);
    }
    return *this;
}

AnonymousMapping::~AnonymousMapping() {
    Release();
}

}  // namespace zelpack::platform
