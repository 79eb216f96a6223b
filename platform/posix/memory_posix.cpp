#include <sys/mman.h>

#include "platform/memory.h"

namespace zelpack::platform {

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
