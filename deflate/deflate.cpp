#include "deflate/deflate.h"

#include <algorithm>
#include <limits>

#include "deflate/deflate_state.h"
#include "deflate/matcher.h"
#include "deflate/trees.h"

void std::default_delete<zelpack::deflate::DeflateState>::operator()(
    zelpack::deflate::DeflateState* state) const noexcept {
    delete state;
}

namespace zelpack::deflate {

std::unique_ptr<DeflateState> NewDeflateState() {
    return std::make_unique<DeflateState>();
}

void* Context(const DeflateState& state) {
    return state.context;
}

DeflateResult Deflate(DeflateState& state, int level, void* context, ReadInput read_input,
                      FlushOutput flush_output, std::span<std::uint8_t> out_buffer,
                      std::uint16_t& flags) {
    state.error_text = nullptr;
    state.read_input = read_input;
    state.flush_output = flush_output;
    state.context = context;
    state.level = level;
    const auto capacity = static_cast<std::uint32_t>(
        std::min<std::size_t>(out_buffer.size(), std::numeric_limits<std::uint32_t>::max()));
    out_init(state, out_buffer.data(), capacity);
    ct_init(state);
    match_init(state, level, flags);
    const std::uint32_t size = deflate_run(state);
    return {size, state.error_text};
}

}  // namespace zelpack::deflate
