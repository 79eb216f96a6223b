// Huffman back end: block buffers, tree building, block type choice and bit output.
//
// Contracts:
// - Bit output never writes outside out_buffer[0, out_capacity). Bytes leave only through
//   flush_output: when the buffer is full, at every alignment, and around stored data. Once the
//   sink leaves bytes untaken, output is dropped from then on while every size counter keeps
//   counting, so the run's compressed size stays what a healthy sink would have received.
// - make_tree builds a Huffman code with at most desc.max_length bits per code and at least two
//   codes, and keeps dyn_bits/stat_bits as the block's cost with dynamic/fixed codes.
#pragma once

#include <cstdint>

#include "deflate/deflate_state.h"

namespace zelpack::deflate {

void out_init(DeflateState& s, std::uint8_t* buffer, std::uint32_t capacity);
void ct_init(DeflateState& s);
void reset_block(DeflateState& s);
// The check that tallying makes every 4,096 symbols; true when the block should end.
bool tally_checkpoint(DeflateState& s);
// block: the block's input bytes when still in the window, or nullptr (no stored block).
// Returns the run's compressed size so far in bytes.
std::uint32_t emit_block(DeflateState& s, const std::uint8_t* block, std::uint32_t stored_len,
                         bool last);

void make_tree(DeflateState& s, TreeDesc& desc);
void sift_down(DeflateState& s, const TreeNode* tree, int k);
void limit_lengths(DeflateState& s, TreeDesc& desc);
void gen_codes(DeflateState& s, TreeNode* tree, int max_code);
std::uint32_t reverse_bits(std::uint32_t code, int len);
int build_codelen_tree(DeflateState& s);
void count_lengths(DeflateState& s, TreeNode* tree, int max_code);
void put_lengths(DeflateState& s, TreeNode* tree, int max_code);
void put_tree_header(DeflateState& s, int lcodes, int dcodes, int blcodes);
void put_symbols(DeflateState& s, const TreeNode* ltree, const TreeNode* dtree);
void align_output(DeflateState& s);
void put_stored(DeflateState& s, const std::uint8_t* block, std::uint32_t len);

// Hands out_buffer to the sink (also when empty).
void flush_buffer(DeflateState& s);
void put_byte(DeflateState& s, std::uint32_t byte);
// Moves the 4 oldest bytes of bit_buf into out_buffer.
void spill_bits(DeflateState& s);

// Distance code of d = distance - 1. The mask keeps a corrupt d inside the table.
[[gnu::always_inline]] inline std::uint32_t d_code(const DeflateState& s, std::uint32_t d) {
    return d < 256 ? s.dist_to_code[d] : s.dist_to_code[256 + ((d >> 7) & 255)];
}

// lit_buf keeps one entry spare, and dist_buf cannot fill first.
[[gnu::always_inline]] inline bool tally_done(DeflateState& s) {
    if ((s.last_lit & 0xFFF) == 0) [[unlikely]] {
        return tally_checkpoint(s);
    }
    return s.last_lit == kLitBufSize - 1;
}

// A literal byte. Returns true when the block should end.
[[gnu::always_inline]] inline bool tally_literal(DeflateState& s, std::uint32_t c) {
    s.lit_buf[s.last_lit++] = static_cast<std::uint8_t>(c);
    s.lit_tree[c & 0xFF].fc++;
    return tally_done(s);
}

// A match of dist (1 to 32,506) and length lc + 3. Returns true when the block should end.
[[gnu::always_inline]] inline bool tally_match(DeflateState& s, std::uint32_t dist,
                                               std::uint32_t lc) {
    const std::uint32_t d16 = (dist - 1) & 0xFFFF;
    const std::uint32_t code = d_code(s, d16);
    record_error(s, d16 < kMaxDist && (lc & 0xFFFF) <= 255 && code < kDistCodes,
                 "ct_tally: bad match");
    s.flag_bytes[s.last_lit >> 3] |= static_cast<std::uint8_t>(1u << (s.last_lit & 7));
    s.lit_buf[s.last_lit++] = static_cast<std::uint8_t>(lc);
    s.lit_tree[s.length_to_code[lc & 0xFF] + kLiterals + 1].fc++;
    s.dist_tree[code].fc++;
    s.dist_buf[s.last_dist++] = static_cast<std::uint16_t>(d16);
    return tally_done(s);
}

// dist 0: literal byte lc; else a match of dist (1 to 32,506) and length lc + 3.
// Returns true when the block should end.
inline bool ct_tally(DeflateState& s, std::uint32_t dist, std::uint32_t lc) {
    return dist == 0 ? tally_literal(s, lc) : tally_match(s, dist, lc);
}

// Least significant bit first. value must fit in length bits.
[[gnu::always_inline]] inline void put_bits(DeflateState& s, std::uint32_t value, int length) {
    record_error(s, length >= 1 && length <= kMaxBits, "invalid length");
    s.bits_total += static_cast<std::uint32_t>(length);
    s.bit_buf |= std::uint64_t{value} << s.bit_count;
    s.bit_count += static_cast<std::uint32_t>(length);
    if (s.bit_count >= 32) {
        spill_bits(s);
    }
}

}  // namespace zelpack::deflate
