#include <sys/mman.h>

#include <utility>

#include "platform/memory.h"

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

std::optional<AnonymousMapping> AnonymousMapping::Reserve(std::size_t size) {
    if (size == 0) {
        return std::nullopt;
    }
    void* data = mmap(nullptr, size, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (data == MAP_FAILED) {
        return std::nullopt;
    }
    return AnonymousMapping(static_cast<std::uint8_t*>(data), size);
}

void AnonymousMapping::Release() {
    if (data_ != nullptr) {
        munmap(data_, size_);
        data_ = nullptr;
        size_ = 0;
    }
}

}  // namespace zelpack::platform
