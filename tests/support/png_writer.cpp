#include "tests/support/png_writer.h"

#include <algorithm>
#include <array>
#include <fstream>
#include <string_view>
#include <system_error>
#include <vector>

#include "deflate/deflate.h"
#include "zip/crc32.h"

namespace zelpack::testing {

namespace {

using Bytes = std::vector<std::uint8_t>;

void Append32(Bytes& out, std::uint32_t value) {
    for (int shift = 24; shift >= 0; shift -= 8) {
        out.push_back(static_cast<std::uint8_t>(value >> shift));
    }
}

void AppendChunk(Bytes& out, std::string_view type, std::span<const std::uint8_t> data) {
    Append32(out, static_cast<std::uint32_t>(data.size()));
    const std::size_t type_at = out.size();
    out.insert(out.end(), type.begin(), type.end());
    out.insert(out.end(), data.begin(), data.end());
    // The CRC covers the type and the data, not the length.
    Append32(out, zip::Crc32Update(0, std::span(out).subspan(type_at)));
}

std::uint32_t Adler32(std::span<const std::uint8_t> data) {
    constexpr std::uint32_t kBase = 65521;
    std::uint32_t a = 1, b = 0;
    for (const std::uint8_t byte : data) {
        a = (a + byte) % kBase;
        b = (b + a) % kBase;
    }
    return (b << 16) | a;
}

struct Job {
    std::span<const std::uint8_t> input;
    std::size_t offset = 0;
    Bytes output;
};

std::uint32_t Read(deflate::DeflateState& state, std::uint8_t* dest, std::uint32_t max) {
    auto& job = *static_cast<Job*>(deflate::Context(state));
    const std::size_t count = std::min<std::size_t>(max, job.input.size() - job.offset);
    std::copy_n(job.input.data() + job.offset, count, dest);
    job.offset += count;
    return static_cast<std::uint32_t>(count);
}

int Flush(void* context, const std::uint8_t* src, std::uint32_t* count) {
    auto& job = *static_cast<Job*>(context);
    job.output.insert(job.output.end(), src, src + *count);
    *count = 0;
    return 0;
}

// The image data as a zlib stream: header, the raw deflate stream, Adler-32 of the input.
bool ZlibStream(std::span<const std::uint8_t> input, Bytes& out) {
    // Deflate, 32 KiB window, "maximum compression" (the compressor's level 8 is its top level);
    // 0x78DA is a multiple of 31 as the header check needs.
    Job job{input, 0, {0x78, 0xDA}};
    auto state = deflate::NewDeflateState();
    std::array<std::uint8_t, 16384> buffer;
    std::uint16_t flags = 0;
    const auto result = deflate::Deflate(*state, 8, &job, Read, Flush, buffer, flags);
    if (result.error_text != nullptr || result.compressed_size + 2 != job.output.size()) {
        return false;
    }
    Append32(job.output, Adler32(input));
    out = std::move(job.output);
    return true;
}

}  // namespace

bool WritePng(const std::filesystem::path& path, int width, int height,
              std::span<const std::uint32_t> pixels) {
    if (width <= 0 || height <= 0 ||
        pixels.size() != static_cast<std::size_t>(width) * static_cast<std::size_t>(height)) {
        return false;
    }
    const bool opaque = std::all_of(pixels.begin(), pixels.end(),
                                    [](std::uint32_t pixel) { return pixel >> 24 == 0xFF; });
    const std::size_t channels = opaque ? 3 : 4;
    Bytes raw;
    raw.reserve(static_cast<std::size_t>(height) *
                (1 + channels * static_cast<std::size_t>(width)));
    for (int y = 0; y < height; ++y) {
        raw.push_back(0);  // filter type None
        for (const std::uint32_t pixel :
             pixels.subspan(static_cast<std::size_t>(y) * static_cast<std::size_t>(width),
                            static_cast<std::size_t>(width))) {
            raw.push_back(static_cast<std::uint8_t>(pixel >> 16));
            raw.push_back(static_cast<std::uint8_t>(pixel >> 8));
            raw.push_back(static_cast<std::uint8_t>(pixel));
            if (!opaque) {
                raw.push_back(static_cast<std::uint8_t>(pixel >> 24));
            }
        }
    }
    Bytes image_data;
    if (!ZlibStream(raw, image_data)) {
        return false;
    }

    Bytes png{0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
    Bytes header;
    Append32(header, static_cast<std::uint32_t>(width));
    Append32(header, static_cast<std::uint32_t>(height));
    // Bit depth 8; colour type 2 (RGB) or 6 (RGBA); deflate; adaptive filters; no interlace.
    header.insert(header.end(), {8, static_cast<std::uint8_t>(opaque ? 2 : 6), 0, 0, 0});
    AppendChunk(png, "IHDR", header);
    AppendChunk(png, "IDAT", image_data);
    AppendChunk(png, "IEND", {});

    {
        std::ofstream file(path, std::ios::binary | std::ios::trunc);
        file.write(reinterpret_cast<const char*>(png.data()),
                   static_cast<std::streamsize>(png.size()));
        file.close();
        if (file) {
            return true;
        }
    }
    std::error_code ignored;
    std::filesystem::remove(path, ignored);
    return false;
}

}  // namespace zelpack::testing
