// Every output inflates back to its input; state reuse, read chunking and sink failures.
#include <gtest/gtest.h>

#include <array>

#include "tests/deflate/deflate_test_util.h"
#include "tests/deflate/stream_decoder.h"

namespace zelpack::deflate {
namespace {

using testing::Bytes;
using testing::Compress;
using testing::DecodeDeflate;
using testing::Result;

void ExpectRoundTrip(const Bytes& input, const Result& r, const std::string& what) {
    EXPECT_EQ(r.error_text, nullptr) << what << ": " << r.error_text;
    EXPECT_EQ(r.size, r.bytes.size()) << what;
    bool ok = false;
    const Bytes back = testing::Inflate(r.bytes, &ok);
    EXPECT_TRUE(ok) << what << ": stream does not end where the output ends";
    EXPECT_TRUE(back == input) << what << ": inflated " << back.size() << " of " << input.size();
}

TEST(DeflateRoundTripTest, InputsOfEveryKind) {
    struct Case {
        std::string name;
        Bytes data;
    };
    std::vector<Case> cases = {
        {"empty", {}},
        {"two bytes", {7, 7}},
        {"three equal", {9, 9, 9}},
        {"run of 1 MB", Bytes(1 << 20, 'z')},
        {"run of 258+3", Bytes(261, 0)},
        {"text 300 KB", testing::Text(300000, 1)},
        {"mixture 500 KB", testing::Mixture(500000, 2)},
        {"two letters", testing::RandomBytes(100000, 3, 2, 'a')},
    };
    for (std::size_t n :
         {1,    2,     3,     4,     5,     17,    255,   256,   1000,   4095,  4096,
          4097, 32767, 32768, 65273, 65274, 65275, 65536, 65537, 131072, 200001}) {
        cases.push_back({"random " + std::to_string(n), testing::RandomBytes(n, n)});
    }
    auto state = NewDeflateState();
    for (const auto& c : cases) {
        for (int level : {1, 3, 4, 8}) {
            ExpectRoundTrip(c.data, Compress(*state, c.data, level),
                            c.name + " level " + std::to_string(level));
        }
    }
}

TEST(DeflateRoundTripTest, The32767thSymbolEndsABlock) {
    // All literals: blocks end after exactly 32,767 bytes. The first is stored; the second starts
    // at 32,767 and is still open when the window slides at 65,274, so its bytes are no longer
    // all in the window and it cannot be stored; the third is stored again.
    const Bytes input = testing::NoRepeats(70000, 12);
    const Result r = Compress(input);
    ExpectRoundTrip(input, r, "no repeats");
    const auto d = DecodeDeflate(r.bytes);
    ASSERT_TRUE(d.ok) << d.error;
    ASSERT_EQ(d.blocks.size(), 3u);
    EXPECT_EQ(d.blocks[0].type, 0);
    EXPECT_EQ(d.blocks[0].stored_len, 32767u);
    EXPECT_NE(d.blocks[1].type, 0);
    EXPECT_EQ(d.blocks[1].symbols.size(), 32767u);
    EXPECT_EQ(d.blocks[2].type, 0);
    EXPECT_EQ(d.blocks[2].stored_len, 70000u - 2 * 32767u);
}

TEST(DeflateRoundTripTest, IncompressibleDataIsStored) {
    for (std::size_t n : {1000, 40000}) {
        const Bytes input = testing::RandomBytes(n, 11);
        const Result r = Compress(input);
        ExpectRoundTrip(input, r, "random");
        const auto d = DecodeDeflate(r.bytes);
        ASSERT_TRUE(d.ok) << d.error;
        std::uint32_t stored = 0;
        for (const auto& block : d.blocks) {
            EXPECT_EQ(block.type, 0);
            stored += block.stored_len;
        }
        EXPECT_EQ(stored, n);
        EXPECT_EQ(r.size, n + 5 * d.blocks.size());  // 3 header bits, alignment, LEN, NLEN
    }
}

TEST(DeflateRoundTripTest, ReadChunkingDoesNotChangeOutputWithoutASlide) {
    // Below 65,274 bytes the window never slides, and lookahead of 262 covers every decision.
    for (const Bytes& input : {testing::Text(60000, 4), testing::Mixture(65000, 5)}) {
        const Result whole = Compress(input);
        for (std::uint32_t chunk : {1u, 2u, 3u, 7u, 261u, 262u, 4096u}) {
            const Result parts = Compress(input, 8, chunk);
            EXPECT_EQ(parts.bytes, whole.bytes) << "chunk " << chunk;
            EXPECT_EQ(parts.size, whole.size);
        }
    }
    // Longer inputs may slide at other points, but still round-trip.
    const Bytes long_input = testing::Mixture(300000, 6);
    for (std::uint32_t chunk : {1u, 5u, 1000u}) {
        for (int level : {2, 8}) {
            ExpectRoundTrip(long_input, Compress(long_input, level, chunk),
                            "chunk " + std::to_string(chunk));
        }
    }
}

TEST(DeflateRoundTripTest, ReusedStateGivesTheSameBytesAsAFreshOne) {
    // Earlier runs leave window, chain and stale bytes behind; later entries that share their
    // prefixes must not find (or be swayed by) any of it.
    std::vector<Bytes> inputs;
    const Bytes big = testing::Mixture(150000, 7);
    inputs.push_back(big);
    for (std::size_t n : {3, 4, 5, 8, 100, 262, 300, 5000, 70000}) {
        inputs.emplace_back(big.begin(), big.begin() + n);  // a prefix of what the window holds
    }
    inputs.push_back(testing::Text(90000, 8));
    inputs.push_back({});
    inputs.push_back(Bytes(10, 'q'));
    auto reused = NewDeflateState();
    for (int round = 0; round < 2; round++) {
        for (const Bytes& input : inputs) {
            for (int level : {1, 8}) {
                const Result a = Compress(*reused, input, level);
                const Result b = Compress(input, level);
                EXPECT_EQ(a.bytes, b.bytes) << "size " << input.size() << " level " << level;
                EXPECT_EQ(a.size, b.size);
                ExpectRoundTrip(input, a, "reused");
            }
        }
    }
}

TEST(DeflateRoundTripTest, SmallOutputBuffersGiveTheSameBytesAndStayInBounds) {
    const Bytes input = testing::Mixture(100000, 9);
    const Result reference = Compress(input);
    for (std::size_t capacity : {1, 2, 3, 7, 100}) {
        auto state = NewDeflateState();
        testing::Run run;
        run.input = input;
        std::vector<std::uint8_t> buffer(capacity + 64, 0xA5);
        std::uint16_t flags = 0;
        const DeflateResult d = Deflate(*state, 8, &run, testing::ReadFromRun, testing::FlushToRun,
                                        std::span(buffer.data(), capacity), flags);
        EXPECT_EQ(d.error_text, nullptr);
        EXPECT_EQ(d.compressed_size, reference.size);
        EXPECT_EQ(run.output, reference.bytes) << "capacity " << capacity;
        for (std::size_t i = capacity; i < buffer.size(); i++) {
            ASSERT_EQ(buffer[i], 0xA5) << "written past capacity " << capacity;
        }
    }
}

TEST(DeflateRoundTripTest, FailingSinkDropsTheRestButTheRunEndsNormally) {
    const Bytes input = testing::Mixture(200000, 10);  // fixed, dynamic and stored blocks
    const Result reference = Compress(input);
    for (std::size_t fail_after :
         {std::size_t{0}, std::size_t{1}, std::size_t{16384}, std::size_t{16385},
          reference.bytes.size() / 2, reference.bytes.size() - 1}) {
        auto state = NewDeflateState();
        testing::Run run;
        run.input = input;
        run.fail_after = fail_after;
        std::vector<std::uint8_t> buffer(16384 + 64, 0xA5);
        std::uint16_t flags = 0;
        const DeflateResult d = Deflate(*state, 8, &run, testing::ReadFromRun, testing::FlushToRun,
                                        std::span(buffer.data(), 16384), flags);
        EXPECT_TRUE(run.failed);
        EXPECT_EQ(run.calls_after_failure, 0u) << "the sink is not called again once it failed";
        EXPECT_EQ(d.compressed_size, reference.size) << "sizes keep counting";
        EXPECT_EQ(d.error_text, nullptr);
        EXPECT_EQ(run.read_at, input.size()) << "the whole input is consumed";
        ASSERT_LE(run.output.size(), reference.bytes.size());
        EXPECT_TRUE(std::equal(run.output.begin(), run.output.end(), reference.bytes.begin()));
        for (std::size_t i = 16384; i < buffer.size(); i++) {
            ASSERT_EQ(buffer[i], 0xA5);
        }
        // The same state then serves a healthy run.
        const Result after = Compress(*state, input);
        EXPECT_EQ(after.bytes, reference.bytes);
    }
}

TEST(DeflateRoundTripTest, PropertySizesMatchAndNothingIsRecorded) {
    auto state = NewDeflateState();
    std::mt19937 rng(2024);
    for (int i = 0; i < 120; i++) {
        const std::size_t size = rng() % 4 == 0 ? rng() % 300 : rng() % 150000;
        const Bytes input = testing::Mixture(size, rng());
        const int level = 1 + static_cast<int>(rng() % 8);
        const std::uint32_t chunk = rng() % 3 == 0 ? 1 + rng() % 700 : 0xFFFFFFFF;
        const Result r = Compress(*state, input, level, chunk);
        const std::string what = "case " + std::to_string(i) + " size " + std::to_string(size) +
                                 " level " + std::to_string(level);
        ExpectRoundTrip(input, r, what);
        const auto d = DecodeDeflate(r.bytes);
        ASSERT_TRUE(d.ok) << what << ": " << d.error;
        EXPECT_EQ(d.used_bytes, r.bytes.size()) << what;
        for (const auto& block : d.blocks) {
            EXPECT_LE(block.symbols.size(), 32767u) << what;
            for (const auto& s : block.symbols) {
                if (s.is_match) {
                    ASSERT_LE(s.distance, 32506u) << what;
                    ASSERT_LE(s.offset + s.length, input.size()) << what;
                    ASSERT_LE(s.offset + 3, input.size()) << what;
                    if (level >= 4 && s.length == 3) {
                        ASSERT_LE(s.distance, 4096u) << what;
                    }
                }
            }
        }
    }
}

}  // namespace
}  // namespace zelpack::deflate
