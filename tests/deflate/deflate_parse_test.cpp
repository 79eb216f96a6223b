// How the match finder parses: distance limits, the far-match rule, early block ends, the end
// of input and the slide.
#include <gtest/gtest.h>

#include "tests/deflate/deflate_test_util.h"
#include "tests/deflate/stream_decoder.h"

namespace zelpack::deflate {
namespace {

using testing::Bytes;
using testing::Compress;
using testing::DecodeDeflate;
using testing::Result;

// Filler whose bytes never occur in the planted strings, and with no 3-byte repeats.
Bytes Filler(std::size_t n, std::uint32_t seed) {
    Bytes b = testing::NoRepeats(n, seed);
    for (auto& c : b) {
        c |= 0x80;
    }
    return b;
}

const testing::Symbol* SymbolAt(const testing::Decoded& d, std::uint32_t offset) {
    for (const auto& block : d.blocks) {
        for (const auto& s : block.symbols) {
            if (s.offset == offset) {
                return &s;
            }
        }
    }
    return nullptr;
}

// "Q" + planted + filler + planted + filler, the second copy `distance` bytes after the first
// (position 0 is never a match source, so the first copy starts at 1).
struct Planted {
    Bytes data;
    std::uint32_t second = 0;
};

Planted Plant(std::string_view planted, std::uint32_t distance, std::uint32_t seed) {
    Planted p;
    p.data.push_back('Q');
    p.data.insert(p.data.end(), planted.begin(), planted.end());
    const Bytes gap = Filler(distance - planted.size(), seed);
    p.data.insert(p.data.end(), gap.begin(), gap.end());
    p.second = static_cast<std::uint32_t>(p.data.size());
    p.data.insert(p.data.end(), planted.begin(), planted.end());
    const Bytes tail = Filler(300, seed + 1);
    p.data.insert(p.data.end(), tail.begin(), tail.end());
    return p;
}

TEST(DeflateParseTest, FarThreeByteMatchesAreLiteralsInTheLazyDriverOnly) {
    struct Case {
        std::string_view planted;
        std::uint32_t distance;
        int level;
        std::uint32_t expected_length;  // 0: coded as literals
    };
    const Case cases[] = {
        {"XYZ", 4096, 8, 3}, {"XYZ", 4097, 8, 0}, {"XYZ", 20000, 8, 0}, {"XYZW", 20000, 8, 4},
        {"XYZ", 4097, 4, 0}, {"XYZ", 4097, 3, 3}, {"XYZ", 20000, 1, 3},
    };
    for (const Case& c : cases) {
        const Planted p = Plant(c.planted, c.distance, c.distance);
        const Result r = Compress(p.data, c.level);
        const auto d = DecodeDeflate(r.bytes);
        ASSERT_TRUE(d.ok) << d.error;
        ASSERT_EQ(d.bytes, p.data);
        const auto* s = SymbolAt(d, p.second);
        ASSERT_NE(s, nullptr);
        const std::string what = std::string(c.planted) + " at " + std::to_string(c.distance) +
                                 " level " + std::to_string(c.level);
        if (c.expected_length == 0) {
            EXPECT_FALSE(s->is_match) << what;
        } else {
            ASSERT_TRUE(s->is_match) << what;
            EXPECT_EQ(s->length, c.expected_length) << what;
            EXPECT_EQ(s->distance, c.distance) << what;
        }
    }
}

TEST(DeflateParseTest, NoMatchReachesBackMoreThan32506Bytes) {
    for (int level : {1, 8}) {
        for (std::uint32_t distance : {32506u, 32507u, 32768u}) {
            const Planted p = Plant("ABCDEFGHIJKLMNOP", distance, distance);
            const Result r = Compress(p.data, level);
            const auto d = DecodeDeflate(r.bytes);
            ASSERT_TRUE(d.ok) << d.error;
            ASSERT_EQ(d.bytes, p.data);
            const auto* s = SymbolAt(d, p.second);
            ASSERT_NE(s, nullptr);
            if (distance <= 32506) {
                ASSERT_TRUE(s->is_match) << distance;
                EXPECT_EQ(s->distance, distance);
                EXPECT_EQ(s->length, 16u);
            } else {
                EXPECT_FALSE(s->is_match) << distance;
            }
        }
    }
    // After slides the window holds 32,768 bytes of history, still not reached.
    const Bytes periodic = [] {
        const Bytes period = testing::NoRepeats(32600, 77);
        Bytes b;
        for (int i = 0; i < 5; i++) {
            b.insert(b.end(), period.begin(), period.end());
        }
        return b;
    }();
    const auto d = DecodeDeflate(Compress(periodic).bytes);
    ASSERT_TRUE(d.ok);
    for (const auto& block : d.blocks) {
        for (const auto& s : block.symbols) {
            EXPECT_FALSE(s.is_match) << "at " << s.offset << " distance " << s.distance;
        }
    }
}

TEST(DeflateParseTest, TheLastTwoBytesNeverStartAMatch) {
    // A state that saw "abcabcabc..." keeps those bytes past the end of a shorter entry.
    auto state = NewDeflateState();
    const Bytes long_one = testing::ToBytes(std::string(3000, 'a') + "bcabcabcabcabcabcabc");
    for (std::string_view tail : {"xabcabcab", "xaaaaaaa", "xyzxyzxy", "xyzxyzx"}) {
        Compress(*state, long_one);
        const Bytes input = testing::ToBytes(tail);
        const Result r = Compress(*state, input);
        EXPECT_EQ(r.bytes, Compress(input).bytes) << tail;
        const auto d = DecodeDeflate(r.bytes);
        ASSERT_TRUE(d.ok);
        ASSERT_EQ(d.bytes, input);
        for (const auto& s : d.blocks.back().symbols) {
            if (s.is_match) {
                EXPECT_LE(s.offset + 3, input.size()) << tail;
            }
        }
    }
}

TEST(DeflateParseTest, StaleHeadAfterTheLastSlideRecordsNothing) {
    // 65,276 bytes: the string at 65,273 was last seen at 32,506. Once pos reaches 65,274 the
    // window slides, pos becomes 32,506, and the head kept from the step before equals pos;
    // searching from it there would record "no future". Zero bytes never hash like the filler.
    Bytes input = testing::RandomBytes(65276, 5, 16, 'a');
    for (std::uint32_t at : {32506u, 65273u}) {
        input[at] = input[at + 1] = input[at + 2] = 0;
    }
    for (int level = 1; level <= 8; level++) {
        for (std::uint32_t chunk : {0xFFFFFFFFu, 1000u}) {
            const Result r = Compress(input, level, chunk);
            EXPECT_EQ(r.error_text, nullptr) << "level " << level << ": " << r.error_text;
            bool ok = false;
            EXPECT_EQ(testing::Inflate(r.bytes, &ok), input);
            EXPECT_TRUE(ok);
        }
    }
}

TEST(DeflateParseTest, BlocksEndEarlyEvery4096SymbolsFromLevel3) {
    // One long copy after every two literals: few matches, and far fewer bytes out than in.
    const Bytes base = testing::NoRepeats(2000, 31);
    Bytes input = base;
    std::mt19937 rng(32);
    while (input.size() < 400000) {
        input.push_back(static_cast<std::uint8_t>(0x80 | rng()));
        input.push_back(static_cast<std::uint8_t>(rng() & 0x7F));
        const std::size_t from = rng() % 1900;
        input.insert(input.end(), base.begin() + from, base.begin() + from + 40 + rng() % 60);
    }
    for (int level : {2, 3, 8}) {
        const Result r = Compress(input, level);
        const auto d = DecodeDeflate(r.bytes);
        ASSERT_TRUE(d.ok) << d.error;
        ASSERT_EQ(d.bytes, input);
        ASSERT_GE(d.blocks.size(), 2u);
        if (level >= 3) {
            EXPECT_EQ(d.blocks[1].symbols.size() % 4096, 0u) << "level " << level;
            EXPECT_LT(d.blocks[1].symbols.size(), 32767u) << "level " << level;
        } else {
            EXPECT_EQ(d.blocks[0].symbols.size(), 32767u) << "level " << level;
        }
    }
}

}  // namespace
}  // namespace zelpack::deflate
