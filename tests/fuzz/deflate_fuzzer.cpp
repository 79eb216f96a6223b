// Fuzz target: the deflate compressor, checked by zlib's raw inflate.
//
// Input: byte 0 picks the level (1 to 8), bytes 1 and 2 the sizes of the reads in turn (short
// reads are legal), byte 3 the output buffer's size and how the end of input is signalled,
// byte 4 how many times the rest is repeated (so that a short input can still slide the window);
// the rest is the data.
// For every input:
//  - the stream inflates (raw, 32 KiB window) to exactly the data and ends exactly at its end;
//  - no consistency check fired (error_text null) and compressed_size is the bytes flushed;
//  - the flags gain 4 at levels 1 and 2, 2 at level 8, nothing otherwise;
//  - a second run on the same, reused state gives the same bytes (a run depends on nothing the
//    state held before).
#include <zlib.h>

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <span>
#include <vector>

#include "deflate/deflate.h"

namespace {

using zelpack::deflate::DeflateState;

constexpr std::array<std::uint32_t, 8> kReadSizes = {1, 2, 7, 258, 4095, 32768, 65536, 0xFFFFFFFF};
constexpr std::array<std::size_t, 8> kOutBufferSizes = {2, 3, 5, 64, 1000, 4096, 16384, 70000};
constexpr std::size_t kHeader = 5;
constexpr std::size_t kMaxData = 128 * 1024;

struct Run {
    std::span<const std::uint8_t> data;
    std::size_t read_at = 0;
    std::array<std::uint32_t, 4> read_sizes{};
    std::size_t reads = 0;
    std::uint32_t end_marker = 0;  // 0 or 0xFFFFFFFF: both mean end of input
    std::vector<std::uint8_t> out;
};

std::uint32_t ReadInput(DeflateState& state, std::uint8_t* dest, std::uint32_t max) {
    auto& run = *static_cast<Run*>(zelpack::deflate::Context(state));
    const std::size_t left = run.data.size() - run.read_at;
    if (left == 0) {
        return run.end_marker;
    }
    const std::uint32_t wanted = run.read_sizes[run.reads++ % run.read_sizes.size()];
    const auto n = static_cast<std::uint32_t>(std::min<std::size_t>({max, wanted, left}));
    std::memcpy(dest, run.data.data() + run.read_at, n);
    run.read_at += n;
    return n;
}

int FlushOutput(void* context, const std::uint8_t* src, std::uint32_t* count) {
    auto& run = *static_cast<Run*>(context);
    run.out.insert(run.out.end(), src, src + *count);
    *count = 0;
    return 0;
}

void Check(bool ok, const char* what) {
    if (!ok) {
        std::fprintf(stderr, "deflate_fuzzer: %s\n", what);
        std::abort();
    }
}

std::vector<std::uint8_t> Compress(DeflateState& state, int level, Run& run,
                                   std::size_t out_buffer_size) {
    run.read_at = 0;
    run.reads = 0;
    run.out.clear();
    // Exactly the size asked for, so that a write past it is caught.
    std::vector<std::uint8_t> out_buffer(out_buffer_size);
    std::uint16_t flags = 0;
    const auto result =
        zelpack::deflate::Deflate(state, level, &run, ReadInput, FlushOutput, out_buffer, flags);
    Check(result.error_text == nullptr, result.error_text ? result.error_text : "");
    Check(result.compressed_size == run.out.size(), "compressed_size is not the bytes flushed");
    const std::uint16_t expected_flags = level <= 2 ? 4 : level == 8 ? 2 : 0;
    Check(flags == expected_flags, "unexpected flags");
    Check(run.read_at == run.data.size(), "input not read to its end");
    return run.out;
}

void CheckInflatesTo(const std::vector<std::uint8_t>& stream, std::span<const std::uint8_t> data) {
    z_stream z{};
    Check(inflateInit2(&z, -15) == Z_OK, "inflateInit2");
    // One spare byte shows output beyond the data.
    std::vector<std::uint8_t> out(data.size() + 1);
    z.next_in = const_cast<Bytef*>(stream.data());
    z.avail_in = static_cast<uInt>(stream.size());
    z.next_out = out.data();
    z.avail_out = static_cast<uInt>(out.size());
    const int ret = inflate(&z, Z_FINISH);
    const bool ended = ret == Z_STREAM_END;
    const std::size_t produced = z.total_out;
    const std::size_t left_in = z.avail_in;
    inflateEnd(&z);
    Check(ended, "stream does not inflate to its end");
    Check(left_in == 0, "bytes after the end of the stream");
    Check(produced == data.size(), "inflated size differs");
    Check(data.empty() || std::memcmp(out.data(), data.data(), data.size()) == 0,
          "inflated bytes differ");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* bytes, std::size_t size) {
    if (size < kHeader) {
        return 0;
    }
    static const std::unique_ptr<DeflateState> state = zelpack::deflate::NewDeflateState();

    const int level = 1 + bytes[0] % 8;
    Run run;
    const unsigned read_pattern = bytes[1] | bytes[2] << 8;
    for (std::size_t i = 0; i < run.read_sizes.size(); ++i) {
        run.read_sizes[i] = kReadSizes[(read_pattern >> (3 * i)) & 7];
    }
    const std::size_t out_buffer_size = kOutBufferSizes[bytes[3] & 7];
    run.end_marker = bytes[3] & 0x80 ? 0xFFFFFFFF : 0;

    const std::span<const std::uint8_t> rest(bytes + kHeader, size - kHeader);
    const std::size_t copies =
        rest.empty() ? 1 : std::clamp<std::size_t>(kMaxData / rest.size(), 1, 1 + bytes[4]);
    std::vector<std::uint8_t> data;
    for (std::size_t i = 0; i < copies; ++i) {
        data.insert(data.end(), rest.begin(), rest.end());
    }
    run.data = data;

    const std::vector<std::uint8_t> first = Compress(*state, level, run, out_buffer_size);
    CheckInflatesTo(first, data);
    const std::vector<std::uint8_t> second = Compress(*state, level, run, out_buffer_size);
    Check(first == second, "a reused state gives other bytes");
    return 0;
}
