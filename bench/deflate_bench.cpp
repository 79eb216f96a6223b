// Compares zelpack's compressor with zlib and libdeflate at level 8 on a set of files.
// Every output is checked by inflating it with zlib before any figure is printed.
#include <libdeflate.h>
#include <zlib.h>

#include <algorithm>
#include <array>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "deflate/deflate.h"
#include "platform/file.h"
#include "platform/text.h"

namespace {

using Bytes = std::vector<std::uint8_t>;

constexpr int kLevel = 8;
constexpr int kRuns = 5;

// zelpack: one reused state, the archive writer's 16 KiB output buffer, full reads.
class ZelpackCompressor {
  public:
    Bytes Compress(const Bytes& input) {
        Job job{input, 0, {}};
        std::uint16_t flags = 0;
        const auto result =
            zelpack::deflate::Deflate(*state_, kLevel, &job, Read, Flush, buffer_, flags);
        if (result.error_text != nullptr || result.compressed_size != job.output.size()) {
            std::fprintf(stderr, "zelpack: internal error %s\n",
                         result.error_text ? result.error_text : "(size mismatch)");
            job.output.clear();
        }
        return job.output;
    }

  private:
    struct Job {
        const Bytes& input;
        std::size_t offset;
        Bytes output;
    };
    static std::uint32_t Read(zelpack::deflate::DeflateState& state, std::uint8_t* dest,
                              std::uint32_t max) {
        auto& job = *static_cast<Job*>(zelpack::deflate::Context(state));
        const std::size_t n = std::min<std::size_t>(max, job.input.size() - job.offset);
        std::copy_n(job.input.data() + job.offset, n, dest);
        job.offset += n;
        return static_cast<std::uint32_t>(n);
    }
    static int Flush(void* context, const std::uint8_t* src, std::uint32_t* count) {
        auto& job = *static_cast<Job*>(context);
        job.output.insert(job.output.end(), src, src + *count);
        *count = 0;
        return 0;
    }

    std::unique_ptr<zelpack::deflate::DeflateState> state_ = zelpack::deflate::NewDeflateState();
    std::array<std::uint8_t, 16384> buffer_{};
};

// zlib: raw deflate, window bits -15, memLevel 8.
Bytes ZlibCompress(const Bytes& input) {
    z_stream stream{};
    deflateInit2(&stream, kLevel, Z_DEFLATED, -15, 8, Z_DEFAULT_STRATEGY);
    Bytes output(deflateBound(&stream, input.size()));
    stream.next_in = const_cast<Bytef*>(input.data());
    stream.avail_in = static_cast<uInt>(input.size());
    stream.next_out = output.data();
    stream.avail_out = static_cast<uInt>(output.size());
    deflate(&stream, Z_FINISH);
    output.resize(stream.total_out);
    deflateEnd(&stream);
    return output;
}

Bytes LibdeflateCompress(libdeflate_compressor* compressor, const Bytes& input) {
    Bytes output(libdeflate_deflate_compress_bound(compressor, input.size()));
    output.resize(libdeflate_deflate_compress(compressor, input.data(), input.size(), output.data(),
                                              output.size()));
    return output;
}

bool InflatesTo(const Bytes& compressed, const Bytes& expected) {
    z_stream stream{};
    inflateInit2(&stream, -15);
    Bytes output(expected.size() + 1);
    stream.next_in = const_cast<Bytef*>(compressed.data());
    stream.avail_in = static_cast<uInt>(compressed.size());
    stream.next_out = output.data();
    stream.avail_out = static_cast<uInt>(output.size());
    const int status = inflate(&stream, Z_FINISH);
    const bool ok = status == Z_STREAM_END && stream.total_out == expected.size() &&
                    std::equal(expected.begin(), expected.end(), output.begin());
    inflateEnd(&stream);
    return ok;
}

struct Measure {
    Bytes output;
    double seconds;  // median of kRuns
};

Measure Time(const std::function<Bytes()>& compress) {
    std::vector<double> seconds;
    Bytes output;
    for (int run = 0; run < kRuns; ++run) {
        const auto start = std::chrono::steady_clock::now();
        output = compress();
        seconds.push_back(
            std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
    }
    std::sort(seconds.begin(), seconds.end());
    return {std::move(output), seconds[kRuns / 2]};
}

double MegabytesPerSecond(std::size_t bytes, double seconds) {
    return seconds > 0 ? bytes / 1e6 / seconds : 0;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: zelpack-deflate-bench FILE...\n");
        return 2;
    }
    ZelpackCompressor zelpack;
    libdeflate_compressor* libdeflate = libdeflate_alloc_compressor(kLevel);
    std::printf("%-22s %11s | %11s %6s %7s | %11s %6s %7s | %11s %6s %7s | %6s %6s\n", "file", "in",
                "zelpack", "ratio", "MB/s", "zlib-8", "ratio", "MB/s", "libdefl-8", "ratio", "MB/s",
                "/zlib", "/libd");
    std::size_t total_in = 0;
    double total_seconds[3] = {};
    std::size_t total_out[3] = {};
    bool all_ok = true;
    for (int i = 1; i < argc; ++i) {
        const std::u16string path = zelpack::platform::FromNative(argv[i]);
        auto content = zelpack::platform::ReadWholeFile(path);
        if (!content) {
            std::fprintf(stderr, "cannot read %s\n", argv[i]);
            return 1;
        }
        const Bytes& input = *content;
        const Measure measures[3] = {
            Time([&] { return zelpack.Compress(input); }),
            Time([&] { return ZlibCompress(input); }),
            Time([&] { return LibdeflateCompress(libdeflate, input); }),
        };
        const char* names[3] = {"zelpack", "zlib", "libdeflate"};
        for (int c = 0; c < 3; ++c) {
            if (!InflatesTo(measures[c].output, input)) {
                std::fprintf(stderr, "%s: %s output does not inflate to its input\n", argv[i],
                             names[c]);
                all_ok = false;
            }
            total_seconds[c] += measures[c].seconds;
            total_out[c] += measures[c].output.size();
        }
        total_in += input.size();
        std::string name = argv[i];
        name = name.substr(name.find_last_of('/') + 1);
        std::printf("%-22s %11zu", name.c_str(), input.size());
        for (const auto& m : measures) {
            std::printf(" | %11zu %6.3f %7.1f", m.output.size(),
                        input.empty() ? 0.0 : double(m.output.size()) / input.size(),
                        MegabytesPerSecond(input.size(), m.seconds));
        }
        std::printf(" | %6.2f %6.2f\n", measures[1].seconds / measures[0].seconds,
                    measures[2].seconds / measures[0].seconds);
    }
    std::printf("%-22s %11zu", "total", total_in);
    for (int c = 0; c < 3; ++c) {
        std::printf(" | %11zu %6.3f %7.1f", total_out[c],
                    total_in ? double(total_out[c]) / total_in : 0.0,
                    MegabytesPerSecond(total_in, total_seconds[c]));
    }
    std::printf(" | %6.2f %6.2f\n", total_seconds[1] / total_seconds[0],
                total_seconds[2] / total_seconds[0]);
    std::printf(
        "speed ratio = peer time / zelpack time (above 1: zelpack is faster); "
        "median of %d runs\n",
        kRuns);
    libdeflate_free_compressor(libdeflate);
    return all_ok ? 0 : 1;
}
