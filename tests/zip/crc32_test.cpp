#include "zip/crc32.h"

#include <gtest/gtest.h>
#include <zlib.h>

#include <cstring>
#include <random>
#include <vector>

namespace zelpack::zip {
namespace {

std::span<const std::uint8_t> Bytes(const char* text) {
    return {reinterpret_cast<const std::uint8_t*>(text), std::strlen(text)};
}

std::uint32_t ZlibCrc(std::span<const std::uint8_t> data) {
    return static_cast<std::uint32_t>(crc32(0, data.data(), static_cast<uInt>(data.size())));
}

TEST(Crc32Test, KnownAnswers) {
    EXPECT_EQ(Crc32Update(0, Bytes("123456789")), 0xCBF43926u);
    EXPECT_EQ(Crc32Update(0, Bytes("")), 0u);
    EXPECT_EQ(Crc32Update(0, Bytes("a")), 0xE8B7BE43u);
    EXPECT_EQ(Crc32Table()[1], 0x77073096u);
    EXPECT_EQ(Crc32Table()[255], 0x2D02EF8Du);
}

TEST(Crc32Test, MatchesZlibAtEveryLengthAndAlignment) {
    std::mt19937 random(7);
    std::vector<std::uint8_t> data(4096 + 16);
    for (auto& byte : data) {
        byte = static_cast<std::uint8_t>(random());
    }
    const std::span<const std::uint8_t> all(data);
    for (std::size_t offset = 0; offset < 9; ++offset) {
        for (std::size_t length : {0u, 1u, 7u, 8u, 9u, 15u, 16u, 17u, 63u, 1000u, 4096u}) {
            const auto part = all.subspan(offset, length);
            EXPECT_EQ(Crc32Update(0, part), ZlibCrc(part)) << offset << " " << length;
        }
    }
}

TEST(Crc32Test, CallsChainAtAnySplit) {
    std::vector<std::uint8_t> data(300);
    for (std::size_t i = 0; i < data.size(); ++i) {
        data[i] = static_cast<std::uint8_t>(i * 31 + 5);
    }
    const std::span<const std::uint8_t> all(data);
    const std::uint32_t whole = Crc32Update(0, all);
    for (std::size_t split = 0; split <= data.size(); split += 13) {
        const std::uint32_t first = Crc32Update(0, all.first(split));
        EXPECT_EQ(Crc32Update(first, all.subspan(split)), whole) << split;
    }
}

TEST(Crc32Test, PointerFormAndRawStep) {
    EXPECT_EQ(Crc32Update(0x12345678, nullptr, 5), 0u);
    EXPECT_EQ(Crc32Update(0x12345678, std::span<const std::uint8_t>{}), 0x12345678u);
    EXPECT_EQ(Crc32Update(0, "123456789", 9), 0xCBF43926u);
    // The raw step with the complements applied by hand gives the chained CRC.
    std::uint32_t c = ~0u;
    for (std::uint8_t byte : Bytes("123456789")) {
        c = Crc32Step(c, byte);
    }
    EXPECT_EQ(~c, 0xCBF43926u);
}

}  // namespace
}  // namespace zelpack::zip
