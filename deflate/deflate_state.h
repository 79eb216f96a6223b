// Everything a compression run needs, in fixed arrays, so that a run allocates nothing and one
// state serves every entry of an archive. Field names follow the operations that use them.
// Internal to deflate/ and its tests: callers see only deflate.h, where the state is opaque.
#pragma once

#include <array>
#include <cstdint>

#include "deflate/deflate.h"

namespace zelpack::deflate {

// Match finder constants.
inline constexpr std::uint32_t kWindowHalf = 32768;  // the amount the window slides by
inline constexpr std::uint32_t kWindowSize = 2 * kWindowHalf;
inline constexpr std::uint32_t kMinMatch = 3;
inline constexpr std::uint32_t kMaxMatch = 258;
inline constexpr std::uint32_t kMinLookahead = kMaxMatch + kMinMatch + 1;  // 262
inline constexpr std::uint32_t kMaxDist = kWindowHalf - kMinLookahead;     // 32,506
inline constexpr std::uint32_t kSlideAt = kWindowHalf + kMaxDist;          // 65,274
inline constexpr std::uint32_t kHashSize = 32768;
inline constexpr std::uint32_t kHashMask = kHashSize - 1;
inline constexpr std::uint32_t kHashShift = 5;
inline constexpr std::uint32_t kTooFar = 4096;  // lazy driver drops 3-byte matches beyond this

// Huffman coding constants.
inline constexpr int kLengthCodes = 29;
inline constexpr int kLiterals = 256;
inline constexpr int kLitCodes = kLiterals + 1 + kLengthCodes;  // 286
inline constexpr int kDistCodes = 30;
inline constexpr int kCodelenCodes = 19;
inline constexpr int kHeapSize = 2 * kLitCodes + 1;  // 573
inline constexpr int kMaxBits = 15;
inline constexpr int kMaxCodelenBits = 7;
inline constexpr int kEndBlock = 256;
inline constexpr std::uint32_t kLitBufSize = 32768;
inline constexpr std::uint32_t kDistBufSize = 32768;
inline constexpr std::uint32_t kFlagBufSize = kLitBufSize / 8;

// fc: frequency while counting and building, then the bit-reversed code.
// dl: parent node index while building, then the code length.
struct TreeNode {
    std::uint16_t fc;
    std::uint16_t dl;
};

struct TreeDesc {
    TreeNode* tree = nullptr;              // dynamic tree
    const TreeNode* fixed_tree = nullptr;  // fixed code table, or none
    const std::int32_t* extra_bits = nullptr;
    int extra_base = 0;  // first symbol with extra bits
    int elems = 0;
    int max_length = 0;
    int max_code = 0;  // largest symbol with non-zero frequency, set by make_tree
};

struct LevelRow {
    std::uint16_t good_len;
    std::uint16_t lazy_limit;
    std::uint16_t nice_len;
    std::uint16_t chain_limit;
};

inline constexpr std::array<LevelRow, 10> kLevelTable = {{
    {0, 0, 0, 0},
    {4, 4, 8, 4},
    {4, 5, 16, 8},
    {4, 6, 32, 32},
    {4, 4, 16, 16},
    {8, 16, 32, 32},
    {8, 16, 128, 128},
    {8, 32, 128, 256},
    {32, 128, 258, 1024},
    {32, 258, 258, 4096},
}};

inline constexpr std::array<std::int32_t, kLengthCodes> kExtraLengthBits = {
    0, 0, 0, 0, 0, 0, 0, 0, 1, 1, 1, 1, 2, 2, 2, 2, 3, 3, 3, 3, 4, 4, 4, 4, 5, 5, 5, 5, 0};
inline constexpr std::array<std::int32_t, kDistCodes> kExtraDistBits = {
    0, 0, 0, 0, 1, 1, 2, 2,  3,  3,  4,  4,  5,  5,  6,
    6, 7, 7, 8, 8, 9, 9, 10, 10, 11, 11, 12, 12, 13, 13};
inline constexpr std::array<std::int32_t, kCodelenCodes> kExtraCodelenBits = {
    0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 2, 3, 7};
// Order in which the code-length code lengths are sent.
inline constexpr std::array<std::uint8_t, kCodelenCodes> kCodelenOrder = {
    16, 17, 18, 0, 8, 7, 9, 6, 10, 5, 11, 4, 12, 3, 13, 2, 14, 1, 15};

struct DeflateState {
    DeflateState();
    // The descriptors point into the state itself.
    DeflateState(const DeflateState&) = delete;
    DeflateState& operator=(const DeflateState&) = delete;

    // Caller-set.
    void* context = nullptr;
    std::int32_t level = 0;
    ReadInput read_input = nullptr;
    FlushOutput flush_output = nullptr;

    // Blocks and trees.
    std::array<TreeNode, kHeapSize> lit_tree{};
    std::array<TreeNode, 2 * kDistCodes + 1> dist_tree{};
    std::array<TreeNode, kLitCodes + 2> fixed_lit_tree{};
    std::array<TreeNode, kDistCodes> fixed_dist_tree{};
    std::array<TreeNode, 2 * kCodelenCodes + 1> codelen_tree{};
    TreeDesc lit_desc;
    TreeDesc dist_desc;
    TreeDesc codelen_desc;
    std::array<std::uint16_t, kMaxBits + 1> len_count{};
    std::array<std::int32_t, kHeapSize> heap{};
    int heap_used = 0;
    int heap_top = 0;
    std::array<std::uint8_t, kHeapSize> node_depth{};
    std::array<std::uint8_t, 256> length_to_code{};
    std::array<std::uint8_t, 512> dist_to_code{};
    std::array<std::int32_t, kLengthCodes> length_base{};
    std::array<std::int32_t, kDistCodes> dist_base{};
    std::array<std::uint8_t, kLitBufSize> lit_buf{};
    std::array<std::uint16_t, kDistBufSize> dist_buf{};
    // Bit i is set when symbol i of the block is a match; cleared as far as used by each reset.
    std::array<std::uint8_t, kFlagBufSize> flag_bytes{};
    std::uint32_t last_lit = 0;
    std::uint32_t last_dist = 0;
    std::uint32_t dyn_bits = 0;  // modulo 2^32, may dip below zero inside make_tree
    std::uint32_t stat_bits = 0;
    std::uint32_t done_bytes = 0;
    std::uint32_t done_bits = 0;

    // Bit output.
    std::uint64_t bit_buf = 0;    // bits not yet in out_buffer, the oldest lowest
    std::uint32_t bit_count = 0;  // below 32 between calls
    std::uint8_t* out_buffer = nullptr;
    std::uint32_t out_count = 0;
    std::uint32_t out_capacity = 0;
    std::uint32_t bits_total = 0;
    bool output_dropped = false;  // the sink left bytes untaken; nothing more is handed to it

    // Match finder.
    std::array<std::uint8_t, kWindowSize> window{};
    // chain[p] holds the next four positions of p's hash chain, nearest first, 16 bits each
    // (window positions are below 65,536). With four at once, a walk waits for one dependent
    // load per four candidates instead of one per candidate, and the walk (the hot loop) is
    // bound by that wait. The k-th successor of p never changes once p is inserted, so the
    // entries stay exact. chain is indexed by the position itself rather than by position AND
    // 0x7FFF, which keeps the mask off the walk; only the entries of the last 32,768 positions
    // are live, and a slide moves them down.
    std::array<std::uint64_t, kWindowSize> chain{};
    std::array<std::uint16_t, kHashSize> hash_heads{};
    std::int32_t block_begin = 0;
    std::uint32_t hash = 0;
    std::uint32_t held_len = 0;
    std::uint32_t pos = 0;
    std::uint32_t match_pos = 0;
    bool input_done = false;
    std::uint32_t avail = 0;
    std::uint32_t chain_limit = 0;
    std::uint32_t lazy_limit = 0;
    std::uint32_t good_len = 0;
    std::uint32_t nice_len = 0;

    const char* error_text = nullptr;
};

// Stores text as the run's error when condition is false. Never stops the run.
inline void record_error(DeflateState& state, bool condition, const char* text) {
    if (!condition) [[unlikely]] {
        state.error_text = text;
    }
}

}  // namespace zelpack::deflate
