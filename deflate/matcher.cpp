#include "deflate/matcher.h"

#include <algorithm>
#include <bit>
#include <cstring>

#include "deflate/trees.h"

namespace zelpack::deflate {

namespace {

// Depends on the last three bytes fed in only.
inline std::uint32_t update_hash(std::uint32_t h, std::uint8_t c) {
    return ((h << kHashShift) ^ c) & kHashMask;
}

inline std::uint64_t load64(const std::uint8_t* p) {
    std::uint64_t v;
    std::memcpy(&v, p, sizeof v);
    return v;
}

inline std::uint16_t load16(const std::uint8_t* p) {
    std::uint16_t v;
    std::memcpy(&v, p, sizeof v);
    return v;
}

// Number of equal leading bytes of a and b, from offset `from` up to `limit`.
inline std::uint32_t match_length(const std::uint8_t* a, const std::uint8_t* b, std::uint32_t from,
                                  std::uint32_t limit) {
    std::uint32_t len = from;
    while (len + 8 <= limit) {
        const std::uint64_t diff = load64(a + len) ^ load64(b + len);
        if (diff != 0) {
            if constexpr (std::endian::native == std::endian::little) {
                return len + (static_cast<std::uint32_t>(std::countr_zero(diff)) >> 3);
            } else {
                return len + (static_cast<std::uint32_t>(std::countl_zero(diff)) >> 3);
            }
        }
        len += 8;
    }
    while (len < limit && a[len] == b[len]) {
        len++;
    }
    return len;
}

// Ends the current block at pos; its bytes are offered for a stored block only while all of
// them are still in the window.
inline std::uint32_t end_block(DeflateState& s, bool last) {
    const std::uint8_t* block = s.block_begin >= 0 ? s.window.data() + s.block_begin : nullptr;
    const std::uint32_t size =
        emit_block(s, block, s.pos - static_cast<std::uint32_t>(s.block_begin), last);
    s.block_begin = static_cast<std::int32_t>(s.pos);
    return size;
}

}  // namespace

std::uint32_t hash_insert(DeflateState& s, std::uint32_t p) {
    s.hash = update_hash(s.hash, s.window[p + 2]);
    const std::uint32_t candidate = s.hash_heads[s.hash];
    s.chain[p] = static_cast<std::uint16_t>(candidate);
    s.hash_heads[s.hash] = static_cast<std::uint16_t>(p);
    return candidate;
}

void match_init(DeflateState& s, int level, std::uint16_t& flags) {
    record_error(s, level >= 1 && level <= 8, "bad pack level");
    // chain is left as it is: it is entered only through a head, and every position reachable
    // from a head was inserted in this run.
    s.hash_heads.fill(0);
    // Levels without a row of their own use the nearest one.
    const LevelRow& row = kLevelTable[std::clamp(level, 0, 9)];
    s.good_len = row.good_len;
    s.lazy_limit = row.lazy_limit;
    s.nice_len = row.nice_len;
    s.chain_limit = row.chain_limit;
    if (level <= 2) {
        flags |= 4;
    } else if (level >= 8) {
        flags |= 2;
    }
    s.pos = 0;
    s.block_begin = 0;
    s.match_pos = 0;
    s.avail = s.read_input(s, s.window.data(), kWindowSize);
    if (s.avail == 0 || s.avail == 0xFFFFFFFF) {
        s.input_done = true;
        s.avail = 0;
        return;
    }
    s.avail = std::min(s.avail, kWindowSize);
    s.input_done = false;
    if (s.avail < kMinLookahead) {
        refill_window(s);
    }
    s.hash = 0;
    s.hash = update_hash(s.hash, s.window[0]);
    s.hash = update_hash(s.hash, s.window[1]);
}

// Bytes at or past pos + avail are left over from earlier input and never take part: the
// comparison stops at max_len = min(258, avail), and the end-byte pre-checks look at offsets
// below max_len only. A candidate must be strictly longer than best, so once best reaches
// max_len nothing can win and the search returns. An entry's output thus depends on its own
// input alone, whatever the state compressed before.
std::uint32_t find_match(DeflateState& s, std::uint32_t candidate) {
    const std::uint32_t pos = s.pos;
    std::uint32_t chain_left = s.chain_limit;
    if (s.held_len >= s.good_len) {
        chain_left >>= 2;
    }
    std::uint32_t best = s.held_len;
    const std::uint32_t limit = pos > kMaxDist ? pos - kMaxDist : 0;
    record_error(s, pos <= kWindowSize - kMinLookahead, "insufficient lookahead");
    const std::uint32_t max_len = std::min(kMaxMatch, s.avail);
    if (best >= max_len) {
        return best;
    }
    const std::uint32_t nice = std::min(s.nice_len, max_len);
    const std::uint8_t* window = s.window.data();
    const std::uint16_t* chain = s.chain.data();
    const std::uint8_t* scan = window + pos;
    const std::uint16_t scan_start = load16(scan);
    std::uint16_t scan_end = load16(scan + best - 1);
    std::uint32_t match_pos = s.match_pos;
    std::uint32_t c = candidate;
    bool no_future = false;
    for (;;) {
        no_future |= c >= pos;
        const std::uint8_t* match = window + c;
        // Offset 2 needs no test: equal hashes and equal first two bytes imply it.
        if (load16(match + best - 1) == scan_end && load16(match) == scan_start) {
            const std::uint32_t len = match_length(scan, match, 3, max_len);
            record_error(s, pos + len <= kWindowSize, "wild scan");
            if (len > best) {
                match_pos = c;
                best = len;
                if (best >= nice) {
                    break;
                }
                scan_end = load16(scan + best - 1);
            }
        }
        c = chain[c];
        if (c <= limit || --chain_left == 0) {
            break;
        }
    }
    record_error(s, !no_future, "no future");
    s.match_pos = match_pos;
    return best;
}

void refill_window(DeflateState& s) {
    do {
        std::uint32_t free = kWindowSize - s.avail - s.pos;
        // The slide also runs after the end of input, so that pos stays in range for searches.
        if (s.pos >= kSlideAt) {
            std::memcpy(s.window.data(), s.window.data() + kWindowHalf, kWindowHalf);
            s.match_pos -= kWindowHalf;
            s.pos -= kWindowHalf;
            s.block_begin -= static_cast<std::int32_t>(kWindowHalf);
            for (std::uint16_t& v : s.hash_heads) {
                v = static_cast<std::uint16_t>(v >= kWindowHalf ? v - kWindowHalf : 0);
            }
            for (std::uint32_t i = 0; i < kWindowHalf; i++) {
                const std::uint16_t v = s.chain[i + kWindowHalf];
                s.chain[i] = static_cast<std::uint16_t>(v >= kWindowHalf ? v - kWindowHalf : 0);
            }
            free += kWindowHalf;
        }
        if (s.input_done) {
            return;
        }
        record_error(s, free >= 2, "more < 2");
        const std::uint32_t n = s.read_input(s, s.window.data() + s.pos + s.avail, free);
        if (n == 0 || n == 0xFFFFFFFF) {
            s.input_done = true;
        } else {
            s.avail += std::min(n, free);  // a callback cannot claim more than it was offered
        }
    } while (s.avail < kMinLookahead && !s.input_done);
}

std::uint32_t deflate_run(DeflateState& s) {
    return s.level <= 3 ? run_greedy(s) : run_lazy(s);
}

// Lazy evaluation: a match found at pos is held back one step, and a longer match at pos + 1
// replaces it, the byte at pos then going out as a literal.
std::uint32_t run_lazy(DeflateState& s) {
    std::uint32_t head = 0;
    std::uint32_t held_pos = 0;
    std::uint32_t match_len = kMinMatch - 1;
    bool pending = false;  // a literal at pos - 1 is waiting

    while (s.avail != 0) {
        // With fewer than 3 bytes left there is no search: a match would be cut below 3, and a
        // head kept from before a slide could point at pos itself.
        const bool searchable = s.avail >= kMinMatch;
        if (searchable) {
            head = hash_insert(s, s.pos);
        }
        s.held_len = match_len;
        held_pos = s.match_pos;
        match_len = kMinMatch - 1;

        if (searchable && head != 0 && s.held_len < s.lazy_limit && s.pos - head <= kMaxDist) {
            s.nice_len = std::min(s.nice_len, s.avail);  // stays lowered for the rest of the run
            match_len = std::min(find_match(s, head), s.avail);
            if (match_len == kMinMatch && s.pos - s.match_pos > kTooFar) {
                match_len = kMinMatch - 1;  // a far 3-byte match costs more than its literals
            }
        }

        if (s.held_len >= kMinMatch && match_len <= s.held_len) {
            const std::uint32_t last_insert = s.pos + s.avail - kMinMatch;
            const bool block_full = ct_tally(s, s.pos - 1 - held_pos, s.held_len - kMinMatch);
            s.avail -= s.held_len - 1;
            for (std::uint32_t n = s.held_len - 2; n != 0; n--) {
                s.pos++;
                if (s.pos <= last_insert) {
                    hash_insert(s, s.pos);
                }
            }
            s.pos++;
            pending = false;
            match_len = kMinMatch - 1;
            if (block_full) {
                end_block(s, false);
            }
        } else if (pending) {
            if (ct_tally(s, 0, s.window[s.pos - 1])) {
                end_block(s, false);
            }
            s.pos++;
            s.avail--;
        } else {
            pending = true;
            s.pos++;
            s.avail--;
        }

        if (s.avail < kMinLookahead) {
            refill_window(s);
        }
    }
    if (pending) {
        ct_tally(s, 0, s.window[s.pos - 1]);
    }
    return end_block(s, true);
}

// Greedy parsing: every match found is taken at once.
std::uint32_t run_greedy(DeflateState& s) {
    std::uint32_t head = 0;
    std::uint32_t match_len = 0;
    s.held_len = kMinMatch - 1;

    while (s.avail != 0) {
        const bool searchable = s.avail >= kMinMatch;  // see run_lazy
        if (searchable) {
            head = hash_insert(s, s.pos);
        }
        if (searchable && head != 0 && s.pos - head <= kMaxDist) {
            s.nice_len = std::min(s.nice_len, s.avail);
            match_len = std::min(find_match(s, head), s.avail);
        }

        bool block_full;
        if (match_len >= kMinMatch) {
            block_full = ct_tally(s, s.pos - s.match_pos, match_len - kMinMatch);
            s.avail -= match_len;
            if (match_len <= s.lazy_limit && s.avail >= kMinMatch) {
                for (std::uint32_t n = match_len - 1; n != 0; n--) {
                    s.pos++;
                    hash_insert(s, s.pos);
                }
                s.pos++;
            } else {
                // Long matches are not inserted; the hash restarts after them. Without 3 bytes
                // left the hash is never used again, so it is not computed from stale bytes.
                s.pos += match_len;
                if (s.avail >= kMinMatch) {
                    s.hash = s.window[s.pos];
                    s.hash = update_hash(s.hash, s.window[s.pos + 1]);
                }
            }
            match_len = 0;
        } else {
            block_full = ct_tally(s, 0, s.window[s.pos]);
            s.avail--;
            s.pos++;
        }
        if (block_full) {
            end_block(s, false);
        }
        if (s.avail < kMinLookahead) {
            refill_window(s);
        }
    }
    return end_block(s, true);
}

}  // namespace zelpack::deflate
