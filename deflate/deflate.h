// The deflate compressor as its callers see it: one call compresses one entry into a raw
// deflate stream (RFC 1951, no zlib or gzip framing), pulling input and pushing output through
// callbacks. One DeflateState is reused for many entries; a run allocates nothing.
#pragma once

#include <cstdint>
#include <memory>
#include <span>
#include <type_traits>

namespace zelpack::deflate {

// The compressor's working memory. Its layout is internal to deflate/; callers hold it only
// through the unique_ptr that NewDeflateState returns, and reach the run's context by Context.
struct DeflateState;

// Returns bytes placed at dest (at most max); 0 or 0xFFFFFFFF means end of input.
using ReadInput = std::uint32_t (*)(DeflateState& state, std::uint8_t* dest, std::uint32_t max);
// Hands *count bytes at src to the sink; sets *count to 0 when it took them. A sink that leaves
// *count non-zero has failed: the compressor then drops all further output but finishes the run
// (sizes stay exact), and the caller reports its own failure.
using FlushOutput = int (*)(void* context, const std::uint8_t* src, std::uint32_t* count);

// The one allocation; sets up the tree descriptors.
std::unique_ptr<DeflateState> NewDeflateState();
// The caller's pointer of the current run, for read callbacks.
void* Context(const DeflateState& state);

struct DeflateResult {
    std::uint32_t compressed_size;
    const char* error_text;  // nullptr when no consistency check failed
};

// One whole run: error_text cleared, callbacks, context and level set, then out_init, ct_init,
// match_init and deflate_run. `flags` is the entry's general-purpose flag word; level 1 or 2 ORs
// in 4, level 8 ORs in 2. Levels 1 to 8 are valid; others record "bad pack level" and still
// produce a valid stream. out_buffer should hold at least 2 bytes (the archive writer uses
// 16,384); the compressor never writes outside it.
DeflateResult Deflate(DeflateState& state, int level, void* context, ReadInput read_input,
                      FlushOutput flush_output, std::span<std::uint8_t> out_buffer,
                      std::uint16_t& flags);

}  // namespace zelpack::deflate

// unique_ptr's deleter for the incomplete state, defined where the state is complete, so that
// callers can own a state without its layout.
template <>
struct std::default_delete<zelpack::deflate::DeflateState> {
    constexpr default_delete() noexcept = default;
    template <typename U,
              std::enable_if_t<std::is_convertible_v<U*, zelpack::deflate::DeflateState*>, int> = 0>
    default_delete(const default_delete<U>&) noexcept {}
    void operator()(zelpack::deflate::DeflateState* state) const noexcept;
};
