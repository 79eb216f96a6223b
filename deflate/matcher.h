// Match finder and parsing drivers.
//
// Window invariants:
// - window[pos, pos + avail) is input not yet coded; everything before pos is history. Bytes at
//   or past pos + avail are never read where they could influence the output, so an entry's
//   compressed bytes depend on its own input alone, whatever the state compressed before.
// - Unless the input has ended, avail >= 262 (a longest match plus the next hash) before each
//   step; pos never exceeds 65,274 at a search, so a search never runs off the window.
// - hash_heads and chain hold window positions inserted in this run; 0 means empty, so window
//   position 0 is never a match source. The 16-bit lanes of chain[p] are the next four
//   positions of p's chain, each below the one before, so a walk only goes backwards, and it
//   stops once it is more than 32,506 bytes behind pos.
#pragma once

#include <cstdint>

#include "deflate/deflate_state.h"

namespace zelpack::deflate {

void match_init(DeflateState& s, int level, std::uint16_t& flags);
// Compresses the whole input; returns the run's compressed size.
std::uint32_t deflate_run(DeflateState& s);
std::uint32_t run_lazy(DeflateState& s);
std::uint32_t run_greedy(DeflateState& s);
// Longest match for the string at pos along the chain from candidate; at least held_len.
std::uint32_t find_match(DeflateState& s, std::uint32_t candidate);
void refill_window(DeflateState& s);
std::uint32_t hash_insert(DeflateState& s, std::uint32_t p);

}  // namespace zelpack::deflate
