// Test support: a small, independent inflater that also records the block structure (block
// types, literals and matches, the code-length symbols of dynamic headers), so tests can check
// how the compressor parsed its input, not only that the output round-trips.
#pragma once

#include <array>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

namespace zelpack::deflate::testing {

struct Symbol {
    bool is_match = false;
    std::uint8_t literal = 0;
    std::uint32_t length = 0;
    std::uint32_t distance = 0;
    std::uint32_t offset = 0;  // where in the decoded bytes the symbol starts
};

struct CodelenSymbol {
    int code = 0;
    int extra = 0;  // repeat count field for 16, 17, 18
};

struct Block {
    int type = 0;  // 0 stored, 1 fixed, 2 dynamic
    bool final = false;
    std::uint32_t stored_len = 0;
    int hlit = 0, hdist = 0, hclen = 0;
    std::vector<CodelenSymbol> codelen_symbols;
    std::vector<Symbol> symbols;
};

struct Decoded {
    bool ok = false;
    std::string error;
    std::vector<std::uint8_t> bytes;
    std::vector<Block> blocks;
    std::size_t used_bytes = 0;  // input bytes consumed, final partial byte included
};

namespace detail {

class BitReader {
  public:
    explicit BitReader(std::span<const std::uint8_t> in) : in_(in) {}
    bool bit(int& out) {
        if (byte_ >= in_.size()) {
            return false;
        }
        out = (in_[byte_] >> bit_) & 1;
        if (++bit_ == 8) {
            bit_ = 0;
            byte_++;
        }
        return true;
    }
    bool bits(int n, int& out) {
        out = 0;
        for (int i = 0; i < n; i++) {
            int b;
            if (!bit(b)) {
                return false;
            }
            out |= b << i;
        }
        return true;
    }
    void align() {
        if (bit_ != 0) {
            bit_ = 0;
            byte_++;
        }
    }
    std::size_t used() const { return byte_ + (bit_ != 0 ? 1 : 0); }

  private:
    std::span<const std::uint8_t> in_;
    std::size_t byte_ = 0;
    int bit_ = 0;
};

// Canonical Huffman decoding table built from code lengths.
struct Huffman {
    std::array<int, 16> count{};
    std::vector<int> symbol;
    bool build(const int* lengths, int n) {
        count.fill(0);
        for (int i = 0; i < n; i++) {
            count[lengths[i]]++;
        }
        // offs[len]: index of the first symbol of length len among the coded symbols
        std::array<int, 16> offs{};
        for (int len = 1; len < 15; len++) {
            offs[len + 1] = offs[len] + count[len];
        }
        symbol.assign(n, 0);
        for (int i = 0; i < n; i++) {
            if (lengths[i] != 0) {
                symbol[offs[lengths[i]]++] = i;
            }
        }
        int left = 1;
        for (int len = 1; len < 16; len++) {
            left <<= 1;
            left -= count[len];
            if (left < 0) {
                return false;  // over-subscribed
            }
        }
        return true;
    }
    bool decode(BitReader& br, int& out) const {
        int code = 0, first = 0, index = 0;
        for (int len = 1; len < 16; len++) {
            int b;
            if (!br.bit(b)) {
                return false;
            }
            code |= b;
            const int c = count[len];
            if (code - c < first) {
                out = symbol[index + (code - first)];
                return true;
            }
            index += c;
            first += c;
            first <<= 1;
            code <<= 1;
        }
        return false;
    }
};

inline constexpr int kLengthBase[29] = {3,  4,  5,  6,   7,   8,   9,   10,  11, 13,
                                        15, 17, 19, 23,  27,  31,  35,  43,  51, 59,
                                        67, 83, 99, 115, 131, 163, 195, 227, 258};
inline constexpr int kLengthExtra[29] = {0, 0, 0, 0, 0, 0, 0, 0, 1, 1, 1, 1, 2, 2, 2,
                                         2, 3, 3, 3, 3, 4, 4, 4, 4, 5, 5, 5, 5, 0};
inline constexpr int kDistBase[30] = {
    1,   2,   3,   4,   5,   7,    9,    13,   17,   25,   33,   49,   65,    97,    129,
    193, 257, 385, 513, 769, 1025, 1537, 2049, 3073, 4097, 6145, 8193, 12289, 16385, 24577};
inline constexpr int kDistExtra[30] = {0, 0, 0, 0, 1, 1, 2, 2,  3,  3,  4,  4,  5,  5,  6,
                                       6, 7, 7, 8, 8, 9, 9, 10, 10, 11, 11, 12, 12, 13, 13};

}  // namespace detail

inline Decoded DecodeDeflate(std::span<const std::uint8_t> in) {
    using namespace detail;
    Decoded d;
    BitReader br(in);
    auto fail = [&](const char* why) {
        d.error = why;
        d.used_bytes = br.used();
        return d;
    };
    for (;;) {
        Block block;
        int final_bit, type;
        if (!br.bit(final_bit) || !br.bits(2, type)) {
            return fail("truncated block header");
        }
        block.final = final_bit != 0;
        block.type = type;
        if (type == 3) {
            return fail("block type 3");
        }
        if (type == 0) {
            br.align();
            int len, nlen;
            if (!br.bits(16, len) || !br.bits(16, nlen)) {
                return fail("truncated stored header");
            }
            if ((len ^ 0xFFFF) != nlen) {
                return fail("LEN/NLEN mismatch");
            }
            block.stored_len = static_cast<std::uint32_t>(len);
            for (int i = 0; i < len; i++) {
                int b;
                if (!br.bits(8, b)) {
                    return fail("truncated stored data");
                }
                d.bytes.push_back(static_cast<std::uint8_t>(b));
            }
        } else {
            Huffman lit, dist;
            std::array<int, 320> lengths{};
            if (type == 1) {
                for (int i = 0; i < 288; i++) {
                    lengths[i] = i < 144 ? 8 : i < 256 ? 9 : i < 280 ? 7 : 8;
                }
                lit.build(lengths.data(), 288);
                for (int i = 0; i < 30; i++) {
                    lengths[i] = 5;
                }
                dist.build(lengths.data(), 30);
            } else {
                int hlit, hdist, hclen;
                if (!br.bits(5, hlit) || !br.bits(5, hdist) || !br.bits(4, hclen)) {
                    return fail("truncated dynamic header");
                }
                block.hlit = hlit + 257;
                block.hdist = hdist + 1;
                block.hclen = hclen + 4;
                static constexpr int order[19] = {16, 17, 18, 0, 8,  7, 9,  6, 10, 5,
                                                  11, 4,  12, 3, 13, 2, 14, 1, 15};
                std::array<int, 19> cl{};
                for (int i = 0; i < block.hclen; i++) {
                    if (!br.bits(3, cl[order[i]])) {
                        return fail("truncated code-length lengths");
                    }
                }
                Huffman clh;
                if (!clh.build(cl.data(), 19)) {
                    return fail("bad code-length code");
                }
                const int total = block.hlit + block.hdist;
                int n = 0;
                while (n < total) {
                    int sym;
                    if (!clh.decode(br, sym)) {
                        return fail("bad code-length symbol");
                    }
                    CodelenSymbol cs{sym, 0};
                    if (sym < 16) {
                        lengths[n++] = sym;
                    } else {
                        int rep, val = 0;
                        if (sym == 16) {
                            if (n == 0) {
                                return fail("repeat with no previous length");
                            }
                            val = lengths[n - 1];
                            if (!br.bits(2, cs.extra)) {
                                return fail("truncated");
                            }
                            rep = 3 + cs.extra;
                        } else if (sym == 17) {
                            if (!br.bits(3, cs.extra)) {
                                return fail("truncated");
                            }
                            rep = 3 + cs.extra;
                        } else {
                            if (!br.bits(7, cs.extra)) {
                                return fail("truncated");
                            }
                            rep = 11 + cs.extra;
                        }
                        if (n + rep > total) {
                            return fail("lengths overflow");
                        }
                        while (rep-- > 0) {
                            lengths[n++] = val;
                        }
                    }
                    block.codelen_symbols.push_back(cs);
                }
                if (lengths[256] == 0) {
                    return fail("no end-of-block code");
                }
                if (!lit.build(lengths.data(), block.hlit) ||
                    !dist.build(lengths.data() + block.hlit, block.hdist)) {
                    return fail("over-subscribed code");
                }
            }
            for (;;) {
                int sym;
                if (!lit.decode(br, sym)) {
                    return fail("bad literal/length code");
                }
                if (sym == 256) {
                    break;
                }
                Symbol s;
                s.offset = static_cast<std::uint32_t>(d.bytes.size());
                if (sym < 256) {
                    s.literal = static_cast<std::uint8_t>(sym);
                    d.bytes.push_back(s.literal);
                } else {
                    sym -= 257;
                    if (sym >= 29) {
                        return fail("bad length code");
                    }
                    int extra, dsym, dextra;
                    if (!br.bits(kLengthExtra[sym], extra)) {
                        return fail("truncated");
                    }
                    if (!dist.decode(br, dsym) || dsym >= 30) {
                        return fail("bad distance code");
                    }
                    if (!br.bits(kDistExtra[dsym], dextra)) {
                        return fail("truncated");
                    }
                    s.is_match = true;
                    s.length = static_cast<std::uint32_t>(kLengthBase[sym] + extra);
                    s.distance = static_cast<std::uint32_t>(kDistBase[dsym] + dextra);
                    if (s.distance > d.bytes.size()) {
                        return fail("distance too far back");
                    }
                    for (std::uint32_t i = 0; i < s.length; i++) {
                        d.bytes.push_back(d.bytes[d.bytes.size() - s.distance]);
                    }
                }
                block.symbols.push_back(s);
            }
        }
        d.blocks.push_back(std::move(block));
        if (final_bit) {
            break;
        }
    }
    d.ok = true;
    d.used_bytes = br.used();
    return d;
}

}  // namespace zelpack::deflate::testing
