#include "deflate/trees.h"

#include <algorithm>
#include <bit>
#include <cstring>

namespace zelpack::deflate {

namespace {

// Hands count bytes at src to the sink, or drops them once the sink has failed.
void hand_over(DeflateState& s, const std::uint8_t* src, std::uint32_t& count) {
    if (!s.output_dropped) {
        if (s.flush_output != nullptr) {
            s.flush_output(s.context, src, &count);
        }
        if (s.flush_output == nullptr || count != 0) {
            s.output_dropped = true;
        }
    }
    count = 0;
}

// Calls fn(cur, count, prev, min_count) for each run of equal code lengths in tree[0..max_code]
// (with the end guard at max_code + 1 already set); count_lengths and put_lengths share it so
// that the counted and the sent runs cannot differ.
template <typename Fn>
void walk_runs(TreeNode* tree, int max_code, Fn&& fn) {
    int prev = -1;
    int next = tree[0].dl;
    int count = 0;
    int max_count = 7;
    int min_count = 4;
    if (next == 0) {
        max_count = 138;
        min_count = 3;
    }
    for (int n = 0; n <= max_code; n++) {
        const int cur = next;
        next = tree[n + 1].dl;
        if (++count < max_count && cur == next) {
            continue;
        }
        fn(cur, count, prev, min_count);
        count = 0;
        prev = cur;
        if (next == 0) {
            max_count = 138;
            min_count = 3;
        } else if (cur == next) {
            max_count = 6;
            min_count = 3;
        } else {
            max_count = 7;
            min_count = 4;
        }
    }
}

inline void put_code(DeflateState& s, const TreeNode* tree, std::uint32_t symbol) {
    put_bits(s, tree[symbol].fc, tree[symbol].dl);
}

inline void store32_le(std::uint8_t* dest, std::uint32_t v) {
    if constexpr (std::endian::native == std::endian::big) {
        v = __builtin_bswap32(v);
    }
    std::memcpy(dest, &v, sizeof v);
}

// Least significant first, through put_byte, which flushes a full buffer exactly where a byte
// no longer fits.
void put_bytes(DeflateState& s, std::uint64_t v, int count) {
    for (int i = 0; i < count; i++) {
        put_byte(s, static_cast<std::uint32_t>(v >> (8 * i)) & 0xFF);
    }
}

}  // namespace

DeflateState::DeflateState() {
    lit_desc = {lit_tree.data(),
                fixed_lit_tree.data(),
                kExtraLengthBits.data(),
                kLiterals + 1,
                kLitCodes,
                kMaxBits,
                0};
    dist_desc = {dist_tree.data(),
                 fixed_dist_tree.data(),
                 kExtraDistBits.data(),
                 0,
                 kDistCodes,
                 kMaxBits,
                 0};
    codelen_desc = {codelen_tree.data(), nullptr, kExtraCodelenBits.data(), 0, kCodelenCodes,
                    kMaxCodelenBits,     0};
}

void flush_buffer(DeflateState& s) {
    hand_over(s, s.out_buffer, s.out_count);
}

void put_byte(DeflateState& s, std::uint32_t byte) {
    if (s.out_count >= s.out_capacity) {
        flush_buffer(s);
    }
    if (s.out_count < s.out_capacity) {
        s.out_buffer[s.out_count++] = static_cast<std::uint8_t>(byte);
    } else {
        s.output_dropped = true;  // no room at all: a zero-sized buffer
    }
}

void spill_bits(DeflateState& s) {
    const auto word = static_cast<std::uint32_t>(s.bit_buf);
    if (s.out_capacity - s.out_count >= 4) [[likely]] {
        store32_le(s.out_buffer + s.out_count, word);
        s.out_count += 4;
    } else {
        put_bytes(s, word, 4);
    }
    s.bit_buf >>= 32;
    s.bit_count -= 32;
}

void out_init(DeflateState& s, std::uint8_t* buffer, std::uint32_t capacity) {
    s.out_buffer = buffer;
    s.out_capacity = capacity;
    s.out_count = 0;
    s.bit_buf = 0;
    s.bit_count = 0;
    s.bits_total = 0;
    s.output_dropped = false;
}

void ct_init(DeflateState& s) {
    s.done_bytes = 0;
    s.done_bits = 0;

    int length = 0;
    for (int code = 0; code < kLengthCodes - 1; code++) {
        s.length_base[code] = length;
        for (int n = 0; n < (1 << kExtraLengthBits[code]); n++) {
            s.length_to_code[length++] = static_cast<std::uint8_t>(code);
        }
    }
    record_error(s, length == 256, "ct_init: length != 256");
    // Length 258 has its own code (285) rather than code 284 with all extra bits set.
    s.length_to_code[255] = kLengthCodes - 1;

    int dist = 0;
    for (int code = 0; code < 16; code++) {
        s.dist_base[code] = dist;
        for (int n = 0; n < (1 << kExtraDistBits[code]); n++) {
            s.dist_to_code[dist++] = static_cast<std::uint8_t>(code);
        }
    }
    record_error(s, dist == 256, "ct_init: dist != 256");
    // Beyond 256, distances are mapped in units of 128.
    int unit = 256 >> 7;
    for (int code = 16; code < kDistCodes; code++) {
        s.dist_base[code] = unit << 7;
        for (int n = 0; n < (1 << (kExtraDistBits[code] - 7)); n++) {
            s.dist_to_code[256 + unit++] = static_cast<std::uint8_t>(code);
        }
    }
    record_error(s, unit == 256, "ct_init: 256+dist != 512");

    s.flag_bytes.fill(0);
    s.len_count.fill(0);
    for (int n = 0; n < kLitCodes + 2; n++) {
        const int bits = n <= 143 ? 8 : n <= 255 ? 9 : n <= 279 ? 7 : 8;
        s.fixed_lit_tree[n].dl = static_cast<std::uint16_t>(bits);
        s.len_count[bits]++;
    }
    gen_codes(s, s.fixed_lit_tree.data(), kLitCodes + 1);

    for (int n = 0; n < kDistCodes; n++) {
        s.fixed_dist_tree[n].dl = 5;
        s.fixed_dist_tree[n].fc = static_cast<std::uint16_t>(reverse_bits(n, 5));
    }
    reset_block(s);
}

void reset_block(DeflateState& s) {
    for (int n = 0; n < kLitCodes; n++) {
        s.lit_tree[n].fc = 0;
    }
    for (int n = 0; n < kDistCodes; n++) {
        s.dist_tree[n].fc = 0;
    }
    for (int n = 0; n < kCodelenCodes; n++) {
        s.codelen_tree[n].fc = 0;
    }
    s.lit_tree[kEndBlock].fc = 1;
    s.dyn_bits = 0;
    s.stat_bits = 0;
    std::memset(s.flag_bytes.data(), 0,
                std::min<std::uint32_t>((s.last_lit + 7) / 8, kFlagBufSize));
    s.last_lit = 0;
    s.last_dist = 0;
}

bool tally_checkpoint(DeflateState& s) {
    // Every 4,096 symbols, end a block early when it already compresses well and matches are
    // rare, so that the next stretch of input gets trees of its own.
    if (s.level > 2) {
        std::uint32_t out = s.last_lit * 8;
        for (int d = 0; d < kDistCodes; d++) {
            out += s.dist_tree[d].fc * static_cast<std::uint32_t>(5 + kExtraDistBits[d]);
        }
        out >>= 3;
        const std::uint32_t in = s.pos - static_cast<std::uint32_t>(s.block_begin);
        if (s.last_dist < s.last_lit / 2 && out < in / 2) {
            return true;
        }
    }
    return s.last_lit == kLitBufSize - 1;
}

std::uint32_t emit_block(DeflateState& s, const std::uint8_t* block, std::uint32_t stored_len,
                         bool last) {
    make_tree(s, s.lit_desc);
    make_tree(s, s.dist_desc);
    const int max_index = build_codelen_tree(s);

    std::uint32_t opt = (s.dyn_bits + 3 + 7) >> 3;
    const std::uint32_t stat = (s.stat_bits + 3 + 7) >> 3;
    if (stat <= opt) {
        opt = stat;
    }
    const std::uint32_t last_bit = last ? 1 : 0;
    if (stored_len + 4 <= opt && block != nullptr) {
        put_bits(s, last_bit, 3);
        s.done_bytes += ((s.done_bits + 3 + 7) >> 3) + stored_len + 4;
        s.done_bits = 0;
        put_stored(s, block, stored_len);
    } else {
        if (stat == opt) {
            put_bits(s, 2 + last_bit, 3);
            put_symbols(s, s.fixed_lit_tree.data(), s.fixed_dist_tree.data());
            s.done_bits += 3 + s.stat_bits;
        } else {
            put_bits(s, 4 + last_bit, 3);
            put_tree_header(s, s.lit_desc.max_code + 1, s.dist_desc.max_code + 1, max_index + 1);
            put_symbols(s, s.lit_tree.data(), s.dist_tree.data());
            s.done_bits += 3 + s.dyn_bits;
        }
        s.done_bytes += s.done_bits >> 3;
        s.done_bits &= 7;
    }
    record_error(s, s.done_bytes * 8 + s.done_bits == s.bits_total, "bad compressed size");
    reset_block(s);
    if (last) {
        align_output(s);
        s.done_bits += 7;  // the final partial byte counts as a whole one
    }
    return s.done_bytes + (s.done_bits >> 3);
}

void make_tree(DeflateState& s, TreeDesc& desc) {
    TreeNode* tree = desc.tree;
    const TreeNode* stree = desc.fixed_tree;
    const int elems = desc.elems;
    int max_code = -1;

    s.heap_used = 0;
    s.heap_top = kHeapSize;
    for (int n = 0; n < elems; n++) {
        if (tree[n].fc != 0) {
            s.heap[++s.heap_used] = max_code = n;
            s.node_depth[n] = 0;
        } else {
            tree[n].dl = 0;
        }
    }
    // A code needs two symbols; stand-ins are not in the block, so their cost is taken back
    // here and added again once they have lengths.
    while (s.heap_used < 2) {
        const int node = s.heap[++s.heap_used] = max_code < 2 ? ++max_code : 0;
        tree[node].fc = 1;
        s.node_depth[node] = 0;
        s.dyn_bits--;
        if (stree != nullptr) {
            s.stat_bits -= stree[node].dl;
        }
    }
    desc.max_code = max_code;

    for (int n = s.heap_used / 2; n >= 1; n--) {
        sift_down(s, tree, n);
    }

    int node = elems;
    do {
        const int n = s.heap[1];
        s.heap[1] = s.heap[s.heap_used--];
        sift_down(s, tree, 1);
        const int m = s.heap[1];
        s.heap[--s.heap_top] = n;
        s.heap[--s.heap_top] = m;
        tree[node].fc = static_cast<std::uint16_t>(tree[n].fc + tree[m].fc);
        s.node_depth[node] =
            static_cast<std::uint8_t>(std::max(s.node_depth[n], s.node_depth[m]) + 1);
        tree[n].dl = tree[m].dl = static_cast<std::uint16_t>(node);
        s.heap[1] = node++;
        sift_down(s, tree, 1);
    } while (s.heap_used >= 2);
    s.heap[--s.heap_top] = s.heap[1];

    limit_lengths(s, desc);
    gen_codes(s, tree, max_code);
}

void sift_down(DeflateState& s, const TreeNode* tree, int k) {
    // Equal frequencies: the shallower subtree first, which keeps codes short.
    auto smaller = [&](int a, int b) {
        return tree[a].fc < tree[b].fc ||
               (tree[a].fc == tree[b].fc && s.node_depth[a] <= s.node_depth[b]);
    };
    const int v = s.heap[k];
    int j = k << 1;
    while (j <= s.heap_used) {
        if (j < s.heap_used && smaller(s.heap[j + 1], s.heap[j])) {
            j++;
        }
        if (smaller(v, s.heap[j])) {
            break;
        }
        s.heap[k] = s.heap[j];
        k = j;
        j <<= 1;
    }
    s.heap[k] = v;
}

void limit_lengths(DeflateState& s, TreeDesc& desc) {
    TreeNode* tree = desc.tree;
    const int max_code = desc.max_code;
    const TreeNode* stree = desc.fixed_tree;
    const int base = desc.extra_base;
    const int max_length = desc.max_length;
    int overflow = 0;

    s.len_count.fill(0);
    // Parents leave the heap after their children, so walking from the root toward the leaves
    // always finds the parent's length already set.
    tree[s.heap[s.heap_top]].dl = 0;
    for (int h = s.heap_top + 1; h < kHeapSize; h++) {
        const int n = s.heap[h];
        int bits = tree[tree[n].dl].dl + 1;
        if (bits > max_length) {
            bits = max_length;
            overflow++;
        }
        tree[n].dl = static_cast<std::uint16_t>(bits);
        if (n > max_code) {
            continue;  // internal node
        }
        s.len_count[bits]++;
        const std::uint32_t x =
            n >= base ? static_cast<std::uint32_t>(desc.extra_bits[n - base]) : 0;
        const std::uint32_t f = tree[n].fc;
        s.dyn_bits += f * (static_cast<std::uint32_t>(bits) + x);
        if (stree != nullptr) {
            s.stat_bits += f * (stree[n].dl + x);
        }
    }
    if (overflow == 0) {
        return;
    }

    // Move overlong leaves up: each step turns one leaf at `bits` into an internal node with two
    // leaves one level deeper, making room for one leaf taken from max_length.
    do {
        int bits = max_length - 1;
        while (s.len_count[bits] == 0) {
            bits--;
        }
        s.len_count[bits]--;
        s.len_count[bits + 1] += 2;
        s.len_count[max_length]--;
        overflow -= 2;
    } while (overflow > 0);

    // Hand the lengths out again, longest first to the rarest symbols.
    int h = kHeapSize;
    for (int bits = max_length; bits != 0; bits--) {
        int n = s.len_count[bits];
        while (n != 0) {
            const int m = s.heap[--h];
            if (m > max_code) {
                continue;
            }
            if (tree[m].dl != bits) {
                s.dyn_bits += static_cast<std::uint32_t>((bits - tree[m].dl) * tree[m].fc);
                tree[m].dl = static_cast<std::uint16_t>(bits);
            }
            n--;
        }
    }
}

void gen_codes(DeflateState& s, TreeNode* tree, int max_code) {
    std::array<std::uint16_t, kMaxBits + 1> next_code{};
    std::uint16_t code = 0;
    for (int bits = 1; bits <= kMaxBits; bits++) {
        code = static_cast<std::uint16_t>((code + s.len_count[bits - 1]) << 1);
        next_code[bits] = code;
    }
    record_error(s, code + s.len_count[kMaxBits] - 1 == (1 << kMaxBits) - 1,
                 "inconsistent bit counts");
    for (int n = 0; n <= max_code; n++) {
        const int len = tree[n].dl;
        if (len == 0) {
            continue;
        }
        tree[n].fc = static_cast<std::uint16_t>(reverse_bits(next_code[len]++, len));
    }
}

std::uint32_t reverse_bits(std::uint32_t code, int len) {
    std::uint32_t res = 0;
    do {
        res |= code & 1;
        code >>= 1;
        res <<= 1;
    } while (--len > 0);
    return res >> 1;
}

int build_codelen_tree(DeflateState& s) {
    count_lengths(s, s.lit_tree.data(), s.lit_desc.max_code);
    count_lengths(s, s.dist_tree.data(), s.dist_desc.max_code);
    make_tree(s, s.codelen_desc);
    // Trailing zero lengths in transmission order are not sent; at least four are.
    int max_index = kCodelenCodes - 1;
    while (max_index >= 3 && s.codelen_tree[kCodelenOrder[max_index]].dl == 0) {
        max_index--;
    }
    s.dyn_bits += 3 * (max_index + 1) + 5 + 5 + 4;
    return max_index;
}

void count_lengths(DeflateState& s, TreeNode* tree, int max_code) {
    tree[max_code + 1].dl = 0xFFFF;  // end guard, past the block's last symbol
    walk_runs(tree, max_code, [&](int cur, int count, int prev, int min_count) {
        if (count < min_count) {
            s.codelen_tree[cur].fc = static_cast<std::uint16_t>(s.codelen_tree[cur].fc + count);
        } else if (cur != 0) {
            if (cur != prev) {
                s.codelen_tree[cur].fc++;
            }
            s.codelen_tree[16].fc++;
        } else if (count <= 10) {
            s.codelen_tree[17].fc++;
        } else {
            s.codelen_tree[18].fc++;
        }
    });
}

void put_lengths(DeflateState& s, TreeNode* tree, int max_code) {
    const TreeNode* bl = s.codelen_tree.data();
    walk_runs(tree, max_code, [&](int cur, int count, int prev, int min_count) {
        if (count < min_count) {
            do {
                put_code(s, bl, cur);
            } while (--count != 0);
        } else if (cur != 0) {
            if (cur != prev) {
                put_code(s, bl, cur);
                count--;
            }
            record_error(s, count >= 3 && count <= 6, " 3_6?");
            put_code(s, bl, 16);
            put_bits(s, count - 3, 2);
        } else if (count <= 10) {
            put_code(s, bl, 17);
            put_bits(s, count - 3, 3);
        } else {
            put_code(s, bl, 18);
            put_bits(s, count - 11, 7);
        }
    });
}

void put_tree_header(DeflateState& s, int lcodes, int dcodes, int blcodes) {
    record_error(s, lcodes >= 257 && dcodes >= 1 && blcodes >= 4, "not enough codes");
    record_error(s, lcodes <= kLitCodes && dcodes <= kDistCodes && blcodes <= kCodelenCodes,
                 "too many codes");
    put_bits(s, lcodes - 257, 5);
    put_bits(s, dcodes - 1, 5);
    put_bits(s, blcodes - 4, 4);
    for (int rank = 0; rank < blcodes; rank++) {
        put_bits(s, s.codelen_tree[kCodelenOrder[rank]].dl, 3);
    }
    put_lengths(s, s.lit_tree.data(), lcodes - 1);
    put_lengths(s, s.dist_tree.data(), dcodes - 1);
}

void put_symbols(DeflateState& s, const TreeNode* ltree, const TreeNode* dtree) {
    // The bit accumulator and the buffer position live in locals here: every byte stored
    // through out_buffer could alias the state, which would make each put reload them.
    std::uint64_t buf = s.bit_buf;
    std::uint32_t count = s.bit_count;
    std::uint8_t* const out = s.out_buffer;
    std::uint32_t out_count = s.out_count;
    std::uint32_t total = 0;
    std::uint32_t bad_length = 0;  // a code length outside 1 to 15 was sent
    std::uint32_t bad_dcode = 0;
    // Up to 28 bits at once (a 15-bit code and 13 extra bits): count stays below 64.
    const auto put = [&](std::uint32_t value, std::uint32_t length) {
        buf |= std::uint64_t{value} << count;
        count += length;
        total += length;
        if (count >= 32) {
            if (s.out_capacity - out_count >= 4) [[likely]] {
                store32_le(out + out_count, static_cast<std::uint32_t>(buf));
                out_count += 4;
                buf >>= 32;
                count -= 32;
            } else {
                s.bit_buf = buf;
                s.bit_count = count;
                s.out_count = out_count;
                spill_bits(s);
                buf = s.bit_buf;
                count = s.bit_count;
                out_count = s.out_count;
            }
        }
    };
    const auto put_code_of = [&](const TreeNode& node, std::uint32_t extra_value, int extra) {
        bad_length |= static_cast<std::uint32_t>(node.dl - 1) >= std::uint32_t{kMaxBits};
        const std::uint32_t mask = (1u << extra) - 1;
        put(node.fc | ((extra_value & mask) << node.dl),
            node.dl + static_cast<std::uint32_t>(extra));
    };

    const std::uint8_t* flags = s.flag_bytes.data();
    std::uint32_t dx = 0;
    for (std::uint32_t lx = 0; lx < s.last_lit; lx++) {
        const std::uint32_t lc = s.lit_buf[lx];
        if (((flags[lx >> 3] >> (lx & 7)) & 1) == 0) {
            put_code_of(ltree[lc], 0, 0);
        } else {
            const std::uint32_t code = s.length_to_code[lc];
            put_code_of(ltree[code + kLiterals + 1],
                        lc - static_cast<std::uint32_t>(s.length_base[code]),
                        kExtraLengthBits[code]);
            const std::uint32_t dist = s.dist_buf[dx++];
            const std::uint32_t dcode = d_code(s, dist);
            bad_dcode |= dcode >= kDistCodes;
            put_code_of(dtree[dcode], dist - static_cast<std::uint32_t>(s.dist_base[dcode]),
                        kExtraDistBits[dcode]);
        }
    }
    put_code_of(ltree[kEndBlock], 0, 0);

    s.bit_buf = buf;
    s.bit_count = count;
    s.out_count = out_count;
    s.bits_total += total;
    record_error(s, bad_dcode == 0, "bad d_code");
    record_error(s, bad_length == 0, "invalid length");
}

void align_output(DeflateState& s) {
    put_bytes(s, s.bit_buf, static_cast<int>((s.bit_count + 7) / 8));
    flush_buffer(s);
    s.bit_buf = 0;
    s.bit_count = 0;
    s.bits_total = (s.bits_total + 7) & ~7u;
}

void put_stored(DeflateState& s, const std::uint8_t* block, std::uint32_t len) {
    align_output(s);
    put_bytes(s, (len & 0xFFFF) | ((~len & 0xFFFF) << 16), 4);
    s.bits_total += 32;
    flush_buffer(s);
    // Stored bytes go from the window straight to the sink.
    s.out_count = len;
    hand_over(s, block, s.out_count);
    s.bits_total += 8 * len;
}

}  // namespace zelpack::deflate
