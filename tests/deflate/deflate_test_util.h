// Test support: running the compressor over memory, zlib's raw inflate as the independent
// check, and deterministic test data.
#pragma once

#include <zlib.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <random>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "deflate/deflate.h"
#include "deflate/deflate_state.h"

namespace zelpack::deflate::testing {

using Bytes = std::vector<std::uint8_t>;

struct Run {
    std::span<const std::uint8_t> input;
    std::size_t read_at = 0;
    std::uint32_t chunk = 0xFFFFFFFF;  // most bytes handed over per read
    Bytes output;
    std::size_t flush_calls = 0;
    std::size_t fail_after = SIZE_MAX;  // the sink refuses a chunk that would pass this total
    std::size_t calls_after_failure = 0;
    bool failed = false;
};

inline std::uint32_t ReadFromRun(DeflateState& state, std::uint8_t* dest, std::uint32_t max) {
    auto& run = *static_cast<Run*>(Context(state));
    const std::size_t n = std::min<std::size_t>({max, run.chunk, run.input.size() - run.read_at});
    if (n != 0) {
        std::memcpy(dest, run.input.data() + run.read_at, n);
    }
    run.read_at += n;
    return static_cast<std::uint32_t>(n);
}

inline int FlushToRun(void* context, const std::uint8_t* src, std::uint32_t* count) {
    auto& run = *static_cast<Run*>(context);
    run.flush_calls++;
    if (run.failed) {
        run.calls_after_failure++;
        return -1;
    }
    if (run.output.size() + *count > run.fail_after) {
        run.failed = true;
        return -1;  // leaves *count as it is
    }
    run.output.insert(run.output.end(), src, src + *count);
    *count = 0;
    return 0;
}

struct Result {
    Bytes bytes;
    std::uint32_t size = 0;
    const char* error_text = nullptr;
    std::uint16_t flags = 0;
};

inline Result Compress(DeflateState& state, std::span<const std::uint8_t> input, int level = 8,
                       std::uint32_t chunk = 0xFFFFFFFF) {
    Run run;
    run.input = input;
    run.chunk = chunk;
    std::vector<std::uint8_t> buffer(16384);
    Result r;
    const DeflateResult d = Deflate(state, level, &run, ReadFromRun, FlushToRun, buffer, r.flags);
    r.bytes = std::move(run.output);
    r.size = d.compressed_size;
    r.error_text = d.error_text;
    return r;
}

inline Result Compress(std::span<const std::uint8_t> input, int level = 8,
                       std::uint32_t chunk = 0xFFFFFFFF) {
    auto state = NewDeflateState();
    return Compress(*state, input, level, chunk);
}

// zlib's raw inflate; sets ok only when the stream ends exactly at the end of `in`.
inline Bytes Inflate(std::span<const std::uint8_t> in, bool* ok = nullptr) {
    z_stream z{};
    inflateInit2(&z, -15);
    Bytes out;
    std::vector<std::uint8_t> chunk(1 << 16);
    z.next_in = const_cast<Bytef*>(in.data());
    z.avail_in = static_cast<uInt>(in.size());
    int rc = Z_OK;
    while (rc == Z_OK) {
        z.next_out = chunk.data();
        z.avail_out = static_cast<uInt>(chunk.size());
        rc = inflate(&z, Z_NO_FLUSH);
        out.insert(out.end(), chunk.data(), z.next_out);
        if (rc == Z_BUF_ERROR && z.avail_in == 0) {
            break;
        }
    }
    if (ok != nullptr) {
        *ok = rc == Z_STREAM_END && z.avail_in == 0;
    }
    inflateEnd(&z);
    return out;
}

inline Bytes ToBytes(std::string_view s) {
    return Bytes(s.begin(), s.end());
}

inline Bytes RandomBytes(std::size_t n, std::uint32_t seed, int alphabet = 256, int first = 0) {
    std::mt19937 rng(seed);
    Bytes b(n);
    for (auto& c : b) {
        c = static_cast<std::uint8_t>(first + rng() % alphabet);
    }
    return b;
}

// Random bytes in which no 3-byte string occurs twice: every symbol is a literal.
inline Bytes NoRepeats(std::size_t n, std::uint32_t seed) {
    std::mt19937 rng(seed);
    std::vector<bool> seen(1 << 24);
    Bytes b;
    while (b.size() < n) {
        const auto c = static_cast<std::uint8_t>(rng());
        if (b.size() >= 2) {
            const std::uint32_t key = (b[b.size() - 2] << 16) | (b[b.size() - 1] << 8) | c;
            if (seen[key]) {
                continue;
            }
            seen[key] = true;
        }
        b.push_back(c);
    }
    return b;
}

// Word salad over a small vocabulary: compresses like prose or source text.
inline Bytes Text(std::size_t n, std::uint32_t seed) {
    static constexpr std::string_view words[] = {
        "the ",     "plug-in ", "folder ",   "archive ", "entry ", "of ",      "and ",
        "deflate ", "window ",  "match ",    "is ",      "a ",     "block ",   "tree ",
        "code\n",   "length ",  "distance ", "to ",      "with ",  "stored. ", "{ ",
        "} ",       "int ",     "return ",   "(x) ",     "; ",     "zelpack ", "\n"};
    std::mt19937 rng(seed);
    Bytes b;
    while (b.size() < n) {
        const auto w = words[rng() % std::size(words)];
        b.insert(b.end(), w.begin(), w.end());
    }
    b.resize(n);
    return b;
}

// Random mixture of literal noise, text, byte runs and copies of earlier stretches.
inline Bytes Mixture(std::size_t n, std::uint32_t seed) {
    std::mt19937 rng(seed);
    Bytes b;
    while (b.size() < n) {
        const std::size_t len = 1 + rng() % 2000;
        switch (rng() % 4) {
            case 0: {
                const Bytes r = RandomBytes(len, rng(), 1 + rng() % 256);
                b.insert(b.end(), r.begin(), r.end());
                break;
            }
            case 1: {
                const Bytes t = Text(len, rng());
                b.insert(b.end(), t.begin(), t.end());
                break;
            }
            case 2:
                b.insert(b.end(), len, static_cast<std::uint8_t>(rng()));
                break;
            default:
                if (!b.empty()) {
                    const std::size_t from = rng() % b.size();
                    for (std::size_t i = 0; i < len; i++) {
                        b.push_back(b[from + i]);
                    }
                }
        }
    }
    b.resize(n);
    return b;
}

}  // namespace zelpack::deflate::testing
