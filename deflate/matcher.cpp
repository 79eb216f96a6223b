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

// The match search's state apart from the chain walk itself.
struct Search {
    const std::uint8_t* scan;
    std::uint32_t best;
    std::uint32_t max_len;
    std::uint32_t nice;
    std::uint32_t match_pos;
};

// A candidate that agrees on its first two bytes and on the two that would make it longer than
// best. Kept out of the walk so that the walk's values stay in registers. True once the match
// is long enough to stop.
[[gnu::noinline]] bool try_candidate(Search& search, const std::uint8_t* match, std::uint32_t c) {
    const std::uint32_t len = match_length(search.scan, match, 3, search.max_len);
    if (len <= search.best) {
        return false;
    }
    search.best = len;
    search.match_pos = c;
    return len >= search.nice;
}

// Puts p, whose hash is h, at the front of its chain; returns the previous front.
[[gnu::always_inline]] inline std::uint32_t insert(std::uint16_t* heads, std::uint64_t* chain,
                                                   std::uint32_t h, std::uint32_t p) {
    const std::uint32_t candidate = heads[h];
    // p's successors are the candidate and the candidate's first three.
    chain[p] = (chain[candidate] << 16) | candidate;
    heads[h] = static_cast<std::uint16_t>(p);
    return candidate;
}

// Starts the load of the chain entry that inserting pos + 1 reads, hash being pos's hash. With
// few matches that load is the longest wait of a step, and a step's work hides it. A byte past
// the input, or a head that inserting pos + 1's predecessors changes, only makes it a miss.
[[gnu::always_inline]] inline void prefetch_next_insert(const std::uint8_t* window,
                                                        const std::uint16_t* heads,
                                                        const std::uint64_t* chain,
                                                        std::uint32_t hash, std::uint32_t pos) {
    const std::uint32_t next_hash = update_hash(hash, window[(pos + 3) & (kWindowSize - 1)]);
    __builtin_prefetch(&chain[heads[next_hash]]);
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
    return insert(s.hash_heads.data(), s.chain.data(), s.hash, p);
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
    const std::uint32_t limit = pos > kMaxDist ? pos - kMaxDist : 0;
    record_error(s, pos <= kWindowSize - kMinLookahead, "insufficient lookahead");
    const std::uint32_t max_len = std::min(kMaxMatch, s.avail);
    if (s.held_len >= max_len) {
        return s.held_len;
    }
    // Chain entries lie below their own position, so only the head can be at or past pos.
    record_error(s, candidate < pos, "no future");
    const std::uint8_t* window = s.window.data();
    Search search{window + pos, s.held_len, max_len, std::min(s.nice_len, max_len), s.match_pos};
    // The walk keeps only what each step needs in registers; the rest lives in `search`.
    const std::uint64_t* chain = s.chain.data();
    const std::uint16_t scan_start = load16(search.scan);
    const std::uint8_t* end = window + search.best - 1;  // end + c: where a longer match ends
    std::uint16_t scan_end = load16(search.scan + search.best - 1);
    // Offset 2 needs no test: equal hashes and equal first two bytes imply it.
    const auto longer = [&](std::uint32_t c) {
        if (load16(end + c) == scan_end && load16(window + c) == scan_start) [[unlikely]] {
            if (try_candidate(search, window + c, c)) {
                return true;
            }
            end = window + search.best - 1;
            scan_end = load16(search.scan + search.best - 1);
        }
        return false;
    };
    std::uint32_t c = candidate;
    std::uint64_t next = chain[c];
    if (!longer(c)) {
        for (;;) {
            // Successors only decrease, so the first one at or below limit ends the walk.
            c = static_cast<std::uint16_t>(next);
            if (c <= limit || --chain_left == 0 || longer(c)) {
                break;
            }
            c = static_cast<std::uint16_t>(next >> 16);
            if (c <= limit || --chain_left == 0 || longer(c)) {
                break;
            }
            c = static_cast<std::uint16_t>(next >> 32);
            if (c <= limit || --chain_left == 0 || longer(c)) {
                break;
            }
            c = static_cast<std::uint16_t>(next >> 48);
            if (c <= limit || --chain_left == 0) {
                break;
            }
            next = chain[c];
            if (longer(c)) {
                break;
            }
        }
    }
    record_error(s, pos + search.best <= kWindowSize, "wild scan");
    s.match_pos = search.match_pos;
    return search.best;
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
            // Per 16-bit lane: v - 32768, or 0 for a position that falls out of the window.
            for (std::uint32_t i = 0; i < kWindowHalf; i++) {
                const std::uint64_t v = s.chain[i + kWindowHalf];
                const std::uint64_t high = v & 0x8000800080008000u;
                s.chain[i] = v & (high - (high >> 15));
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
//
// The drivers keep pos, avail and the hash in locals and store them into the state only where a
// callee reads them: the tallies' byte stores could alias the state, so the compiler would
// otherwise reload every field after each of them.
std::uint32_t run_lazy(DeflateState& s) {
    const std::uint8_t* const window = s.window.data();
    std::uint16_t* const heads = s.hash_heads.data();
    std::uint64_t* const chain = s.chain.data();
    const std::uint32_t lazy_limit = s.lazy_limit;
    std::uint32_t hash = s.hash;
    std::uint32_t pos = s.pos;
    std::uint32_t avail = s.avail;
    std::uint32_t head = 0;
    std::uint32_t match_len = kMinMatch - 1;
    bool pending = false;  // a literal at pos - 1 is waiting

    while (avail != 0) {
        // With fewer than 3 bytes left there is no search: a match would be cut below 3, and a
        // head kept from before a slide could point at pos itself.
        const bool searchable = avail >= kMinMatch;
        if (searchable) {
            hash = update_hash(hash, window[pos + 2]);
            head = insert(heads, chain, hash, pos);
            prefetch_next_insert(window, heads, chain, hash, pos);
        }
        const std::uint32_t held_len = match_len;
        const std::uint32_t held_pos = s.match_pos;
        match_len = kMinMatch - 1;

        if (searchable && head != 0 && held_len < lazy_limit && pos - head <= kMaxDist) {
            s.nice_len = std::min(s.nice_len, avail);  // stays lowered for the rest of the run
            s.pos = pos;
            s.avail = avail;
            s.held_len = held_len;
            match_len = std::min(find_match(s, head), avail);
            if (match_len == kMinMatch && pos - s.match_pos > kTooFar) {
                match_len = kMinMatch - 1;  // a far 3-byte match costs more than its literals
            }
        }

        if (held_len >= kMinMatch && match_len <= held_len) {
            // The held match starts at pos - 1; its other positions go into the chains where
            // 3 bytes of input are left at them.
            const std::uint32_t next = pos + held_len - 1;
            const std::uint32_t last_insert = std::min(next - 1, pos + avail - kMinMatch);
            s.pos = pos;
            const bool block_full = tally_match(s, pos - 1 - held_pos, held_len - kMinMatch);
            for (std::uint32_t p = pos + 1; p <= last_insert; p++) {
                hash = update_hash(hash, window[p + 2]);
                insert(heads, chain, hash, p);
            }
            avail -= held_len - 1;
            pos = next;
            pending = false;
            match_len = kMinMatch - 1;
            if (block_full) {
                s.pos = pos;
                end_block(s, false);
            }
        } else if (pending) {
            s.pos = pos;
            if (tally_literal(s, window[pos - 1])) {
                end_block(s, false);
            }
            pos++;
            avail--;
        } else {
            pending = true;
            pos++;
            avail--;
        }

        if (avail < kMinLookahead) {
            s.pos = pos;
            s.avail = avail;
            refill_window(s);
            pos = s.pos;
            avail = s.avail;
        }
    }
    s.pos = pos;
    s.avail = avail;
    s.hash = hash;
    if (pending) {
        tally_literal(s, window[pos - 1]);
    }
    return end_block(s, true);
}

// Greedy parsing: every match found is taken at once.
std::uint32_t run_greedy(DeflateState& s) {
    const std::uint8_t* const window = s.window.data();
    std::uint16_t* const heads = s.hash_heads.data();
    std::uint64_t* const chain = s.chain.data();
    const std::uint32_t lazy_limit = s.lazy_limit;
    std::uint32_t hash = s.hash;
    std::uint32_t pos = s.pos;
    std::uint32_t avail = s.avail;
    std::uint32_t head = 0;
    std::uint32_t match_len = 0;
    s.held_len = kMinMatch - 1;

    while (avail != 0) {
        const bool searchable = avail >= kMinMatch;  // see run_lazy
        if (searchable) {
            hash = update_hash(hash, window[pos + 2]);
            head = insert(heads, chain, hash, pos);
            prefetch_next_insert(window, heads, chain, hash, pos);
        }
        if (searchable && head != 0 && pos - head <= kMaxDist) {
            s.nice_len = std::min(s.nice_len, avail);
            s.pos = pos;
            s.avail = avail;
            match_len = std::min(find_match(s, head), avail);
        }

        s.pos = pos;
        bool block_full;
        if (match_len >= kMinMatch) {
            block_full = tally_match(s, pos - s.match_pos, match_len - kMinMatch);
            avail -= match_len;
            if (match_len <= lazy_limit && avail >= kMinMatch) {
                for (std::uint32_t p = pos + 1; p < pos + match_len; p++) {
                    hash = update_hash(hash, window[p + 2]);
                    insert(heads, chain, hash, p);
                }
            } else if (avail >= kMinMatch) {
                // Long matches are not inserted; the hash restarts after them. Without 3 bytes
                // left the hash is never used again, so it is not computed from stale bytes.
                hash = update_hash(window[pos + match_len], window[pos + match_len + 1]);
            }
            pos += match_len;
            match_len = 0;
        } else {
            block_full = tally_literal(s, window[pos]);
            avail--;
            pos++;
        }
        if (block_full) {
            s.pos = pos;
            end_block(s, false);
        }
        if (avail < kMinLookahead) {
            s.pos = pos;
            s.avail = avail;
            refill_window(s);
            pos = s.pos;
            avail = s.avail;
        }
    }
    s.pos = pos;
    s.avail = avail;
    s.hash = hash;
    return end_block(s, true);
}

}  // namespace zelpack::deflate
