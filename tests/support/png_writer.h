// Screenshots of the tests as PNG files, compressed by zelpack's own deflate compressor, so that
// a test needs no image library on either platform.
#pragma once

#include <cstdint>
#include <filesystem>
#include <span>

namespace zelpack::testing {

// Writes `pixels` (0xAARRGGBB, row-major, top row first, width * height of them) as an 8-bit
// PNG: RGB when every pixel is opaque, RGBA otherwise. The alpha is taken as it is; GDI leaves it
// 0 in a captured bitmap, so a capture must set it to 0xFF first to be visible. False when the
// size does not match or the file cannot be written (no file is left then).
bool WritePng(const std::filesystem::path& path, int width, int height,
              std::span<const std::uint32_t> pixels);

}  // namespace zelpack::testing
