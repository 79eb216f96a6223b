#include "zip/crc32.h"

namespace zelpack::zip {

namespace {

// Slice-by-8: table k gives the effect of a byte followed by k zero bytes, so eight bytes are
// folded in with eight independent lookups.
using Tables = std::array<std::array<std::uint32_t, 256>, 8>;

constexpr Tables MakeTables() {
    Tables tables{};
    for (std::uint32_t n = 0; n < 256; ++n) {
        std::uint32_t c = n;
        for (int bit = 0; bit < 8; ++bit) {
            c = (c & 1) != 0 ? 0xEDB88320u ^ (c >> 1) : c >> 1;
        }
        tables[0][n] = c;
    }
    for (std::uint32_t n = 0; n < 256; ++n) {
        for (std::size_t k = 1; k < 8; ++k) {
            const std::uint32_t previous = tables[k - 1][n];
            tables[k][n] = (previous >> 8) ^ tables[0][previous & 0xFF];
        }
    }
    return tables;
}

constexpr Tables kTables = MakeTables();

std::uint32_t LoadLittle32(const std::uint8_t* p) {
    return std::uint32_t{p[0]} | std::uint32_t{p[1]} << 8 | std::uint32_t{p[2]} << 16 |
           std::uint32_t{p[3]} << 24;
}

}  // namespace

const std::array<std::uint32_t, 256>& Crc32Table() {
    return kTables[0];
}

std::uint32_t Crc32Update(std::uint32_t crc, std::span<const std::uint8_t> data) {
    std::uint32_t c = ~crc;
    const std::uint8_t* p = data.data();
    std::size_t left = data.size();
    while (left >= 8) {
        const std::uint32_t low = LoadLittle32(p) ^ c;
        const std::uint32_t high = LoadLittle32(p + 4);
        c = kTables[7][low & 0xFF] ^ kTables[6][(low >> 8) & 0xFF] ^
            kTables[5][(low >> 16) & 0xFF] ^ kTables[4][low >> 24] ^ kTables[3][high & 0xFF] ^
            kTables[2][(high >> 8) & 0xFF] ^ kTables[1][(high >> 16) & 0xFF] ^
            kTables[0][high >> 24];
        p += 8;
        left -= 8;
    }
    while (left-- > 0) {
        c = (c >> 8) ^ kTables[0][(c ^ *p++) & 0xFF];
    }
    return ~c;
}

std::uint32_t Crc32Update(std::uint32_t crc, const void* data, std::size_t length) {
    if (data == nullptr) {
        return 0;
    }
    return Crc32Update(crc, std::span(static_cast<const std::uint8_t*>(data), length));
}

}  // namespace zelpack::zip
