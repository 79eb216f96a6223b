// The Huffman back end driven through the state: length limiting and the run-length coding of
// code lengths.
#include "deflate/trees.h"

#include <gtest/gtest.h>

#include <array>

#include "deflate/deflate_state.h"
#include "tests/deflate/deflate_test_util.h"

namespace zelpack::deflate {
namespace {

std::unique_ptr<DeflateState> Initialized() {
    auto s = NewDeflateState();
    ct_init(*s);
    return s;
}

TEST(TreesTest, LengthsAreLimitedAndTheCodeStaysComplete) {
    // Fibonacci frequencies make the natural tree 21 levels deep.
    auto s = Initialized();
    std::uint32_t a = 1, b = 1;
    for (int n = 0; n < 22; n++) {
        s->lit_tree[n].fc = static_cast<std::uint16_t>(a);
        const std::uint32_t c = a + b;
        a = b;
        b = c;
    }
    s->lit_tree[kEndBlock].fc = 0;
    make_tree(*s, s->lit_desc);
    EXPECT_EQ(s->error_text, nullptr);
    double kraft = 0;
    int longest = 0;
    for (int n = 0; n <= s->lit_desc.max_code; n++) {
        const int len = s->lit_tree[n].dl;
        if (len != 0) {
            kraft += 1.0 / (1 << len);
            longest = std::max(longest, len);
        }
    }
    EXPECT_EQ(longest, 15);
    EXPECT_DOUBLE_EQ(kraft, 1.0);
    // The rarest symbols got the longest codes.
    EXPECT_EQ(s->lit_tree[0].dl, 15);
    EXPECT_LE(s->lit_tree[21].dl, s->lit_tree[10].dl);

    // The code-length tree is limited to 7 bits.
    auto t = Initialized();
    a = 1;
    b = 1;
    for (int n = 0; n < kCodelenCodes; n++) {
        t->codelen_tree[n].fc = static_cast<std::uint16_t>(a);
        const std::uint32_t c = a + b;
        a = b;
        b = c;
    }
    make_tree(*t, t->codelen_desc);
    EXPECT_EQ(t->error_text, nullptr);
    for (int n = 0; n < kCodelenCodes; n++) {
        EXPECT_LE(t->codelen_tree[n].dl, 7);
        EXPECT_GE(t->codelen_tree[n].dl, 1);
    }
}

struct SentLength {
    int code;
    int extra;
};

// Sets the code lengths of lit_tree, runs count_lengths, builds the code-length code, writes
// the lengths with put_lengths and reads them back with that code.
std::vector<SentLength> SendLengths(const std::vector<int>& lengths,
                                    std::array<std::uint16_t, kCodelenCodes>* freqs) {
    auto s = Initialized();
    std::array<std::uint8_t, 4096> out{};
    out_init(*s, out.data(), out.size());
    for (std::size_t n = 0; n < lengths.size(); n++) {
        s->lit_tree[n].dl = static_cast<std::uint16_t>(lengths[n]);
    }
    const int max_code = static_cast<int>(lengths.size()) - 1;
    count_lengths(*s, s->lit_tree.data(), max_code);
    for (int n = 0; n < kCodelenCodes; n++) {
        (*freqs)[n] = s->codelen_tree[n].fc;
    }
    make_tree(*s, s->codelen_desc);
    put_lengths(*s, s->lit_tree.data(), max_code);
    const std::uint32_t total_bits = s->bits_total;
    put_bits(*s, 0, 15);  // push the last bits out
    align_output(*s);
    EXPECT_EQ(s->error_text, nullptr);

    std::vector<SentLength> sent;
    std::uint32_t bit = 0;
    auto read = [&](int n) {
        int v = 0;
        for (int i = 0; i < n; i++, bit++) {
            v |= ((out[bit >> 3] >> (bit & 7)) & 1) << i;
        }
        return v;
    };
    while (bit < total_bits) {
        std::uint32_t code = 0;
        int symbol = -1;
        for (int len = 1; len <= 7 && symbol < 0; len++) {
            code |= static_cast<std::uint32_t>(read(1)) << (len - 1);
            for (int n = 0; n < kCodelenCodes; n++) {
                if (s->codelen_tree[n].dl == len && s->codelen_tree[n].fc == code) {
                    symbol = n;
                }
            }
        }
        if (symbol < 0) {
            ADD_FAILURE() << "undecodable code-length symbol";
            break;
        }
        const int extra = symbol == 16   ? read(2)
                          : symbol == 17 ? read(3)
                          : symbol == 18 ? read(7)
                                         : 0;
        sent.push_back({symbol, extra});
    }
    return sent;
}

std::vector<int> Lengths(std::initializer_list<std::pair<int, int>> runs) {
    std::vector<int> v;
    for (auto [len, count] : runs) {
        v.insert(v.end(), count, len);
    }
    return v;
}

bool operator==(const SentLength& a, const SentLength& b) {
    return a.code == b.code && a.extra == b.extra;
}

void PrintTo(const SentLength& s, std::ostream* os) {
    *os << s.code << "/" << s.extra;
}

TEST(TreesTest, CodeLengthRunsAreSentAsRepeats) {
    std::array<std::uint16_t, kCodelenCodes> f{};

    // 138 zeros: one code 18 with 127.
    auto sent = SendLengths(Lengths({{8, 1}, {0, 138}, {8, 1}}), &f);
    EXPECT_EQ(sent, (std::vector<SentLength>{{8, 0}, {18, 127}, {8, 0}}));
    EXPECT_EQ(f[18], 1);
    EXPECT_EQ(f[8], 2);

    // A 139th zero then goes out as a plain 0.
    sent = SendLengths(Lengths({{8, 1}, {0, 139}, {8, 1}}), &f);
    EXPECT_EQ(sent, (std::vector<SentLength>{{8, 0}, {18, 127}, {0, 0}, {8, 0}}));
    EXPECT_EQ(f[0], 1);

    // Five equal non-zero lengths between others: the length, then 16 repeating it 4 times.
    sent = SendLengths(Lengths({{7, 1}, {5, 5}, {6, 1}}), &f);
    EXPECT_EQ(sent, (std::vector<SentLength>{{7, 0}, {5, 0}, {16, 1}, {6, 0}}));
    EXPECT_EQ(f[16], 1);

    // Zero runs: under 3 plain, 3 to 10 as 17, 11 up as 18; leading zeros count as a zero run.
    sent = SendLengths(Lengths({{0, 2}, {4, 1}, {0, 3}, {4, 1}, {0, 10}, {4, 1}, {0, 11}, {4, 1}}),
                       &f);
    EXPECT_EQ(sent,
              (std::vector<SentLength>{
                  {0, 0}, {0, 0}, {4, 0}, {17, 0}, {4, 0}, {17, 7}, {4, 0}, {18, 0}, {4, 0}}));

    // Long non-zero runs: the first repeat covers 6, later ones up to 6 as well; three equal
    // lengths are sent plainly because a first run needs four to use 16.
    sent = SendLengths(Lengths({{3, 14}, {9, 1}, {2, 3}, {9, 1}}), &f);
    EXPECT_EQ(sent, (std::vector<SentLength>{
                        {3, 0}, {16, 3}, {16, 3}, {3, 0}, {9, 0}, {2, 0}, {2, 0}, {2, 0}, {9, 0}}));
}

}  // namespace
}  // namespace zelpack::deflate
