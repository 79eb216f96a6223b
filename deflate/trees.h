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
// dist 0: literal byte lc; else a match of dist (1 to 32,506) and length lc + 3.
// Returns true when the block should end.
bool ct_tally(DeflateState& s, std::uint32_t dist, std::uint32_t lc);
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

[[gnu::always_inline]] inline void put_word(DeflateState& s, std::uint32_t word) {
    if (s.out_count + 1 >= s.out_capacity) [[unlikely]] {
        flush_buffer(s);
        if (s.out_capacity < 2) {
            put_byte(s, word & 0xFF);
            put_byte(s, (word >> 8) & 0xFF);
            return;
        }
    }
    s.out_buffer[s.out_count] = static_cast<std::uint8_t>(word);
    s.out_buffer[s.out_count + 1] = static_cast<std::uint8_t>(word >> 8);
    s.out_count += 2;
}

// Least significant bit first; the accumulator keeps up to 16 bits between calls.
[[gnu::always_inline]] inline void put_bits(DeflateState& s, std::uint32_t value, int length) {
    record_error(s, length >= 1 && length <= kMaxBits, "invalid length");
    s.bits_total += static_cast<std::uint32_t>(length);
    s.bit_buf |= value << (s.bit_count & 31);
    s.bit_count += length;
    if (s.bit_count > 16) {
        put_word(s, s.bit_buf & 0xFFFF);
        s.bit_count -= 16;
        s.bit_buf = value >> ((length - s.bit_count) & 31);
    }
}

}  // namespace zelpack::deflate
