// Compares zelpack's compressor with zlib and libdeflate at level 8 on a set of files.
// Every output is checked by inflating it with zlib before any figure is printed.
//
// `zelpack-deflate-bench --fixed [FILE]` instead compresses one fixed input once (4 MB of
// generated text, or the first 4 MB of FILE) with zelpack alone and times nothing, so that
// `valgrind --tool=callgrind` on it gives an instruction count that is the same every run.
#include <libdeflate.h>
#include <zlib.h>

#include <algorithm>
#include <array>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "deflate/deflate.h"
#include "platform/file.h"
#include "platform/text.h"

namespace {

using Bytes = std::vector<std::uint8_t>;

constexpr int kLevel = 8;
constexpr int kRuns = 5;
constexpr std::size_t kFixedBytes = 4'000'000;

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

constexpr int kCompressors = 3;
constexpr std::array<const char*, kCompressors> kNames = {"zelpack", "zlib", "libdeflate"};

struct Tally {
    std::size_t in = 0;
    std::array<std::size_t, kCompressors> out{};
    std::array<double, kCompressors> seconds{};

    void Add(const Tally& other) {
        in += other.in;
        for (int c = 0; c < kCompressors; ++c) {
            out[c] += other.out[c];
            seconds[c] += other.seconds[c];
        }
    }
};

double MegabytesPerSecond(std::size_t bytes, double seconds) {
    return seconds > 0 ? bytes / 1e6 / seconds : 0;
}

void PrintRow(const std::string& name, const Tally& t) {
    std::printf("%-22s %11zu", name.c_str(), t.in);
    for (int c = 0; c < kCompressors; ++c) {
        std::printf(" | %11zu %6.3f %7.1f", t.out[c], t.in ? double(t.out[c]) / t.in : 0.0,
                    MegabytesPerSecond(t.in, t.seconds[c]));
    }
    const auto ratio = [&](int c) { return t.seconds[0] > 0 ? t.seconds[c] / t.seconds[0] : 0.0; };
    std::printf(" | %6.2f %6.2f\n", ratio(1), ratio(2));
}

// A file counts as binary when it holds a zero byte, which text files do not.
bool IsText(const Bytes& content) {
    return std::find(content.begin(), content.end(), std::uint8_t{0}) == content.end();
}

std::string MachineLine() {
    std::string model = "unknown processor";
    std::ifstream cpuinfo("/proc/cpuinfo");
    for (std::string line; std::getline(cpuinfo, line);) {
        if (line.rfind("model name", 0) == 0 && line.find(':') != std::string::npos) {
            model = line.substr(line.find(':') + 1);
            model.erase(0, model.find_first_not_of(' '));
            break;
        }
    }
    return "machine: " + std::to_string(std::thread::hardware_concurrency()) + " cores, " + model;
}

// Source-like text from a fixed generator: indented lines of words drawn with a skewed
// distribution, so that matches are as frequent and as long as in real text.
Bytes GeneratedText(std::size_t size) {
    static constexpr std::array<std::string_view, 48> kWords = {
        "the",      "const",  "return",      "std::size_t", "if",       "else",     "for",
        "while",    "int",    "value",       "count",       "template", "typename", "struct",
        "class",    "public", "private",     "namespace",   "include",  "buffer",   "state",
        "window",   "match",  "length",      "distance",    "and",      "of",       "to",
        "a",        "is",     "that",        "when",        "block",    "tree",     "code",
        "symbol",   "bits",   "std::vector", "static_cast", "noexcept", "auto",     "void",
        "operator", "begin",  "end",         "size",        "data",     "input"};
    static constexpr std::string_view kPunct = " ,;().{}=<>+-*&:";
    std::uint64_t x = 0x9E3779B97F4A7C15u;
    const auto next = [&x] {  // xorshift64*: the same sequence on every platform
        x ^= x >> 12;
        x ^= x << 25;
        x ^= x >> 27;
        return (x * 0x2545F4914F6CDD1Du) >> 32;
    };
    Bytes text;
    text.reserve(size + 512);
    std::vector<std::size_t> line_starts;
    while (text.size() < size) {
        line_starts.push_back(text.size());
        // Real text repeats whole lines of its recent past, sometimes with a new ending.
        if (line_starts.size() > 64 && next() % 3 != 0) {
            const std::size_t back = 1 + next() % 64;
            const std::size_t from = line_starts[line_starts.size() - 1 - back];
            const std::size_t to = line_starts[line_starts.size() - back];
            const std::size_t keep = next() % 2 == 0 ? to - from : (to - from) / 2;
            for (std::size_t k = 0; k < keep; ++k) {
                text.push_back(text[from + k]);
            }
            if (keep == to - from) {
                continue;
            }
        } else {
            text.insert(text.end(), 4 * (next() % 4), ' ');
        }
        const std::uint64_t words = 2 + next() % 10;
        for (std::uint64_t w = 0; w < words; ++w) {
            const std::uint64_t a = next() % kWords.size();
            const std::uint64_t b = next() % kWords.size();
            const std::string_view word = kWords[a * b / kWords.size()];
            text.insert(text.end(), word.begin(), word.end());
            const std::uint64_t r = next();
            if (r % 7 == 0) {
                const std::string number = std::to_string(r % 4096);
                text.insert(text.end(), number.begin(), number.end());
            }
            text.push_back(
                static_cast<std::uint8_t>(r % 3 == 0 ? kPunct[r / 3 % kPunct.size()] : ' '));
        }
        text.push_back('\n');
    }
    text.resize(size);
    return text;
}

int RunFixed(const char* path) {
    Bytes input;
    if (path != nullptr) {
        auto content = zelpack::platform::ReadWholeFile(zelpack::platform::FromNative(path));
        if (!content) {
            std::fprintf(stderr, "cannot read %s\n", path);
            return 1;
        }
        input = std::move(*content);
        input.resize(std::min(input.size(), kFixedBytes));
    } else {
        input = GeneratedText(kFixedBytes);
    }
    ZelpackCompressor zelpack;
    const Bytes output = zelpack.Compress(input);
    const bool ok = InflatesTo(output, input);
    std::printf("fixed input: %zu bytes (%s), level %d: %zu bytes, crc32 %08lx, %s\n", input.size(),
                path != nullptr ? path : "generated text", kLevel, output.size(),
                crc32(0, output.data(), static_cast<uInt>(output.size())),
                ok ? "inflates back" : "DOES NOT INFLATE BACK");
    return ok ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc >= 2 && std::strcmp(argv[1], "--fixed") == 0) {
        return RunFixed(argc >= 3 ? argv[2] : nullptr);
    }
    if (argc < 2) {
        std::fprintf(stderr,
                     "usage: zelpack-deflate-bench FILE...\n"
                     "       zelpack-deflate-bench --fixed [FILE]\n");
        return 2;
    }
    ZelpackCompressor zelpack;
    libdeflate_compressor* libdeflate = libdeflate_alloc_compressor(kLevel);
    const std::array<std::function<Bytes(const Bytes&)>, kCompressors> compress = {
        [&](const Bytes& in) { return zelpack.Compress(in); },
        [](const Bytes& in) { return ZlibCompress(in); },
        [&](const Bytes& in) { return LibdeflateCompress(libdeflate, in); },
    };
    std::printf("%s\n", MachineLine().c_str());
    std::printf("%-22s %11s | %11s %6s %7s | %11s %6s %7s | %11s %6s %7s | %6s %6s\n", "file", "in",
                "zelpack", "ratio", "MB/s", "zlib-8", "ratio", "MB/s", "libdefl-8", "ratio", "MB/s",
                "/zlib", "/libd");
    Tally kinds[2];  // text, binary
    bool all_ok = true;
    for (int i = 1; i < argc; ++i) {
        const std::u16string path = zelpack::platform::FromNative(argv[i]);
        auto content = zelpack::platform::ReadWholeFile(path);
        if (!content) {
            std::fprintf(stderr, "cannot read %s\n", argv[i]);
            return 1;
        }
        const Bytes& input = *content;
        // The compressors take turns within each round, so that a slow spell of the machine
        // falls on all of them alike.
        std::array<std::vector<double>, kCompressors> seconds;
        std::array<Bytes, kCompressors> outputs;
        for (int run = 0; run < kRuns; ++run) {
            for (int c = 0; c < kCompressors; ++c) {
                const auto start = std::chrono::steady_clock::now();
                outputs[c] = compress[c](input);
                seconds[c].push_back(
                    std::chrono::duration<double>(std::chrono::steady_clock::now() - start)
                        .count());
            }
        }
        Tally file;
        file.in = input.size();
        for (int c = 0; c < kCompressors; ++c) {
            if (!InflatesTo(outputs[c], input)) {
                std::fprintf(stderr, "%s: %s output does not inflate to its input\n", argv[i],
                             kNames[c]);
                all_ok = false;
            }
            std::sort(seconds[c].begin(), seconds[c].end());
            file.seconds[c] = seconds[c][kRuns / 2];
            file.out[c] = outputs[c].size();
        }
        kinds[IsText(input) ? 0 : 1].Add(file);
        std::string name = argv[i];
        name = name.substr(name.find_last_of('/') + 1);
        PrintRow(name, file);
    }
    Tally total;
    total.Add(kinds[0]);
    total.Add(kinds[1]);
    PrintRow("all text", kinds[0]);
    PrintRow("all binary", kinds[1]);
    PrintRow("total", total);
    std::printf(
        "ratio = compressed / input; /zlib, /libd = peer time / zelpack time, zelpack's speed as "
        "a multiple of the peer's (above 1: zelpack is faster); each time the median of %d runs; "
        "the time of a row of several files is the sum of theirs; text = files without a zero "
        "byte\n",
        kRuns);
    libdeflate_free_compressor(libdeflate);
    return all_ok ? 0 : 1;
}
