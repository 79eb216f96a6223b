// Exact outputs for small inputs, and the block-type choice.
#include <gtest/gtest.h>

#include "deflate/deflate_state.h"
#include "deflate/trees.h"
#include "tests/deflate/deflate_test_util.h"
#include "tests/deflate/stream_decoder.h"

namespace zelpack::deflate {
namespace {

using testing::Bytes;
using testing::Compress;
using testing::DecodeDeflate;
using testing::Result;
using testing::ToBytes;

TEST(DeflateExamplesTest, ExactBytesOfSmallInputs) {
    const Result empty = Compress({});
    EXPECT_EQ(empty.bytes, (Bytes{0x03, 0x00}));
    EXPECT_EQ(empty.size, 2u);
    EXPECT_EQ(empty.error_text, nullptr);

    const Result one = Compress(ToBytes("a"));
    EXPECT_EQ(one.bytes, (Bytes{0x4B, 0x04, 0x00}));
    EXPECT_EQ(one.size, 3u);

    // Window position 0 is the empty mark, so the repeat of the first three bytes is not found.
    const Result abcabc = Compress(ToBytes("abcabc"));
    EXPECT_EQ(abcabc.bytes, (Bytes{0x4B, 0x4C, 0x4A, 0x4E, 0x4C, 0x4A, 0x06, 0x00}));
    EXPECT_EQ(abcabc.size, 8u);
    EXPECT_EQ(abcabc.error_text, nullptr);
}

TEST(DeflateExamplesTest, SixEqualBytesAreTwoLiteralsAndAMatchFromPositionOne) {
    for (int level = 1; level <= 8; level++) {
        const Result r = Compress(ToBytes("aaaaaa"), level);
        const auto d = DecodeDeflate(r.bytes);
        ASSERT_TRUE(d.ok) << d.error;
        ASSERT_EQ(d.blocks.size(), 1u);
        EXPECT_EQ(d.blocks[0].type, 1);
        EXPECT_TRUE(d.blocks[0].final);
        const auto& sy = d.blocks[0].symbols;
        ASSERT_EQ(sy.size(), 3u) << "level " << level;
        EXPECT_FALSE(sy[0].is_match);
        EXPECT_FALSE(sy[1].is_match);
        EXPECT_EQ(sy[1].literal, 'a');
        EXPECT_TRUE(sy[2].is_match);
        EXPECT_EQ(sy[2].length, 4u);
        EXPECT_EQ(sy[2].distance, 1u);
        EXPECT_EQ(r.size, r.bytes.size());
    }
}

TEST(DeflateExamplesTest, FlagWordGetsTheLevelBits) {
    const std::uint16_t expected[9] = {0, 4, 4, 0, 0, 0, 0, 0, 2};
    for (int level = 1; level <= 8; level++) {
        EXPECT_EQ(Compress(ToBytes("x"), level).flags, expected[level]) << "level " << level;
    }
}

TEST(DeflateExamplesTest, LevelsWithoutARowRecordButStillInflate) {
    const Bytes text = testing::Text(5000, 3);
    for (int level : {-3, 0, 9, 12}) {
        const Result r = Compress(text, level);
        EXPECT_STREQ(r.error_text, "bad pack level") << "level " << level;
        bool ok = false;
        EXPECT_EQ(testing::Inflate(r.bytes, &ok), text);
        EXPECT_TRUE(ok);
    }
}

// Tallies the literals of `text` into a fresh block and reports the two estimates that
// emit_block compares, in whole bytes with the 3-bit header.
struct Estimate {
    std::uint32_t fixed_bytes, dynamic_bytes;
};

Estimate EstimateLiterals(const Bytes& text) {
    auto s = NewDeflateState();
    ct_init(*s);
    for (std::uint8_t c : text) {
        ct_tally(*s, 0, c);
    }
    make_tree(*s, s->lit_desc);
    make_tree(*s, s->dist_desc);
    build_codelen_tree(*s);
    return {(s->stat_bits + 10) >> 3, (s->dyn_bits + 10) >> 3};
}

TEST(DeflateExamplesTest, FixedCodesWinATieWithDynamicTrees) {
    // Literal-only blocks, tallied directly; search deterministic ones for both outcomes.
    bool tie_seen = false, dynamic_seen = false;
    for (std::uint32_t seed = 1; seed < 4000 && !(tie_seen && dynamic_seen); seed++) {
        // Half the bytes from 4 values, half from up to 40 others: a skew that dynamic codes
        // sometimes just match.
        std::mt19937 rng(seed);
        const std::size_t n = 40 + rng() % 200;
        Bytes text;
        while (text.size() < n) {
            text.push_back(static_cast<std::uint8_t>('a' + rng() % 4));
            text.push_back(static_cast<std::uint8_t>('e' + rng() % (1 + seed % 40)));
        }
        const Estimate e = EstimateLiterals(text);
        const bool tie = e.fixed_bytes == e.dynamic_bytes;
        const bool dynamic = e.dynamic_bytes < e.fixed_bytes;
        if (!(tie && !tie_seen) && !(dynamic && !dynamic_seen)) {
            continue;
        }
        auto s = NewDeflateState();
        ct_init(*s);
        std::array<std::uint8_t, 4096> out{};
        out_init(*s, out.data(), out.size());
        for (std::uint8_t c : text) {
            ct_tally(*s, 0, c);
        }
        const std::uint32_t size =
            emit_block(*s, nullptr, static_cast<std::uint32_t>(text.size()), true);
        const auto d = DecodeDeflate(std::span(out.data(), size));
        ASSERT_TRUE(d.ok) << d.error;
        ASSERT_EQ(d.bytes, text);
        if (tie) {
            EXPECT_EQ(d.blocks[0].type, 1) << "seed " << seed;
            EXPECT_EQ(size, e.fixed_bytes);
            tie_seen = true;
        } else {
            EXPECT_EQ(d.blocks[0].type, 2) << "seed " << seed;
            EXPECT_EQ(d.blocks[0].hdist, 2) << "no matches: stand-in distance codes 0 and 1";
            EXPECT_EQ(size, e.dynamic_bytes);
            dynamic_seen = true;
        }
    }
    EXPECT_TRUE(tie_seen);
    EXPECT_TRUE(dynamic_seen);
}

}  // namespace
}  // namespace zelpack::deflate
