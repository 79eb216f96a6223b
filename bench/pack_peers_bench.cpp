// zelpack-pack-peers-bench FILE...: the library peers on a packing corpus, one core, in-process:
// each file compressed whole at level 8 by libdeflate and by zlib (raw deflate, as in an archive),
// the files read beforehand so that only compression is timed. Prints one line per peer:
// "NAME SECONDS INPUT_BYTES OUTPUT_BYTES".
#include <libdeflate.h>
#include <zlib.h>

#include <chrono>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

std::vector<std::string> ReadAll(int count, char** paths) {
    std::vector<std::string> files;
    for (int i = 0; i < count; ++i) {
        std::ifstream in(paths[i], std::ios::binary);
        files.emplace_back(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    }
    return files;
}

void Report(const char* name, Clock::duration elapsed, std::size_t in, std::size_t out) {
    std::printf("%s %.3f %zu %zu\n", name, std::chrono::duration<double>(elapsed).count(), in, out);
}

}  // namespace

int main(int argc, char** argv) {
    const std::vector<std::string> files = ReadAll(argc - 1, argv + 1);
    std::size_t input = 0;
    for (const std::string& file : files) {
        input += file.size();
    }
    std::vector<unsigned char> out;

    libdeflate_compressor* compressor = libdeflate_alloc_compressor(8);
    std::size_t libdeflate_out = 0;
    auto start = Clock::now();
    for (const std::string& file : files) {
        out.resize(libdeflate_deflate_compress_bound(compressor, file.size()));
        libdeflate_out += libdeflate_deflate_compress(compressor, file.data(), file.size(),
                                                      out.data(), out.size());
    }
    Report("libdeflate-8", Clock::now() - start, input, libdeflate_out);
    libdeflate_free_compressor(compressor);

    std::size_t zlib_out = 0;
    start = Clock::now();
    for (const std::string& file : files) {
        z_stream stream{};
        deflateInit2(&stream, 8, Z_DEFLATED, -15, 8, Z_DEFAULT_STRATEGY);
        out.resize(deflateBound(&stream, file.size()));
        stream.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(file.data()));
        stream.avail_in = static_cast<uInt>(file.size());
        stream.next_out = out.data();
        stream.avail_out = static_cast<uInt>(out.size());
        deflate(&stream, Z_FINISH);
        zlib_out += stream.total_out;
        deflateEnd(&stream);
    }
    Report("zlib-8", Clock::now() - start, input, zlib_out);
    return 0;
}
