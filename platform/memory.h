// Memory reserved straight from the operating system, for buffers too large to want the heap.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>

namespace zelpack::platform {

// An anonymous, private, read-write mapping, zero-filled; unmapped on destruction.
class AnonymousMapping {
  public:
    AnonymousMapping(AnonymousMapping&& other) noexcept;
    AnonymousMapping& operator=(AnonymousMapping&& other) noexcept;
    AnonymousMapping(const AnonymousMapping&) = delete;
    AnonymousMapping& operator=(const AnonymousMapping&) = delete;
    ~AnonymousMapping();

    // Nothing when size is 0 or the system refuses.
    static std::optional<AnonymousMapping> Reserve(std::size_t size);

    std::span<std::uint8_t> bytes() const { return {data_, size_}; }

  private:
    AnonymousMapping(std::uint8_t* data, std::size_t size, std::intptr_t mapping = 0)
        : data_(data), size_(size), mapping_(mapping) {}
    void Release();

    std::uint8_t* data_ = nullptr;
    std::size_t size_ = 0;
    std::intptr_t mapping_ = 0;  // the mapping object's handle on Windows
};

}  // namespace zelpack::platform
