// The exact output over inputs that cross many window slides, pinned by size and CRC-32 at every
// level, so that a change to what the parse picks fails here even where the output still
// inflates. The values were taken from the compressor before its match finder and bit output
// were reworked for speed, which was to leave every output byte as it was.
#include <gtest/gtest.h>
#include <zlib.h>

#include <map>
#include <string>

#include "tests/deflate/deflate_test_util.h"

namespace zelpack::deflate {
namespace {

using testing::Bytes;
using testing::Result;

struct Golden {
    const char* input;
    int level;
    std::uint32_t size;
    std::uint32_t crc;
};

constexpr Golden kGolden[] = {
    {"text", 1, 79571, 0x966ACDEC},        {"text", 2, 77034, 0x3B288547},
    {"text", 3, 69808, 0x3BD75EEE},        {"text", 4, 70348, 0xE51D3E50},
    {"text", 5, 65271, 0xEEA27AB6},        {"text", 6, 59794, 0xE437A3EE},
    {"text", 7, 58828, 0x243C9607},        {"text", 8, 58753, 0x04C98B88},
    {"mixture", 1, 120289, 0x64F98E77},    {"mixture", 2, 119051, 0x61D87101},
    {"mixture", 3, 115812, 0x270B5A5C},    {"mixture", 4, 114905, 0x993243F8},
    {"mixture", 5, 112854, 0x1243C6EC},    {"mixture", 6, 111086, 0x441DC462},
    {"mixture", 7, 111034, 0x5380117C},    {"mixture", 8, 110987, 0xF96921F8},
    {"two letters", 1, 44642, 0x3942E025}, {"two letters", 2, 41491, 0xFA11412B},
    {"two letters", 3, 40305, 0xCF3C5B75}, {"two letters", 4, 34250, 0xC29A7113},
    {"two letters", 5, 33399, 0xA20CAA55}, {"two letters", 6, 31837, 0x28E16CFB},
    {"two letters", 7, 31407, 0x0D462CE8}, {"two letters", 8, 30806, 0x10580708},
    {"zeros", 1, 672, 0xBD701C17},         {"zeros", 2, 672, 0xBD701C17},
    {"zeros", 3, 672, 0xBD701C17},         {"zeros", 4, 162, 0x056C6B5F},
    {"zeros", 5, 162, 0x056C6B5F},         {"zeros", 6, 162, 0x056C6B5F},
    {"zeros", 7, 162, 0x056C6B5F},         {"zeros", 8, 162, 0x056C6B5F},
};

TEST(DeflateGoldenTest, OutputsAcrossManySlidesAreExactlyTheRecordedOnes) {
    // Long chains (text), long matches and stored stretches (mixture), chains that the chain
    // limit cuts (two letters), and matches of 258 with the hash restarting after them (zeros).
    const std::map<std::string, Bytes> inputs = {
        {"text", testing::Text(300000, 11)},
        {"mixture", testing::Mixture(300000, 12)},
        {"two letters", testing::RandomBytes(200000, 13, 2, 'a')},
        {"zeros", Bytes(150000, 0)},
    };
    auto state = NewDeflateState();
    for (const Golden& g : kGolden) {
        const Bytes& input = inputs.at(g.input);
        // Small reads refill the window in many steps; the output must not depend on them.
        for (const std::uint32_t chunk : {0xFFFFFFFFu, 1000u}) {
            const Result r = testing::Compress(*state, input, g.level, chunk);
            const std::string what = std::string(g.input) + " level " + std::to_string(g.level) +
                                     " chunk " + std::to_string(chunk);
            EXPECT_EQ(r.error_text, nullptr) << what;
            EXPECT_EQ(r.size, r.bytes.size()) << what;
            EXPECT_EQ(r.size, g.size) << what;
            EXPECT_EQ(crc32(0, r.bytes.data(), static_cast<uInt>(r.bytes.size())), g.crc) << what;
        }
    }
}

}  // namespace
}  // namespace zelpack::deflate
