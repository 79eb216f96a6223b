// Windows: memory from an anonymous mapping backed by the page file.
#include "platform/memory.h"
#include "platform/win32/win32.h"

namespace zelpack::platform {

std::optional<AnonymousMapping> AnonymousMapping::Reserve(std::size_t size) {
    if (size == 0) {
        return std::nullopt;
    }
    const std::uint64_t wide_size = size;
    HANDLE mapping = CreateFileMappingW(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE,
                                        static_cast<DWORD>(wide_size >> 32),
                                        static_cast<DWORD>(wide_size), nullptr);
    if (mapping == nullptr) {
        return std::nullopt;
    }
    void* data = MapViewOfFile(mapping, FILE_MAP_ALL_ACCESS, 0, 0, size);
    if (data == nullptr) {
        CloseHandle(mapping);
        return std::nullopt;
    }
    return AnonymousMapping(static_cast<std::uint8_t*>(data), size,
                            reinterpret_cast<std::intptr_t>(mapping));
}

void AnonymousMapping::Release() {
    if (data_ != nullptr) {
        UnmapViewOfFile(data_);
        CloseHandle(reinterpret_cast<HANDLE>(mapping_));
        data_ = nullptr;
        size_ = 0;
        mapping_ = 0;
    }
}

}  // namespace zelpack::platform
