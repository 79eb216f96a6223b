#include "zip/encryption.h"

#include <algorithm>

#include "platform/random.h"
#include "zip/crc32.h"

namespace zelpack::zip {

void InitKeys(CipherKeys& keys, std::string_view password) {
    keys.key0 = 0x12345678;
    keys.key1 = 0x23456789;
    keys.key2 = 0x34567890;
    for (char c : password) {
        UpdateKeys(keys, static_cast<std::uint8_t>(c));
    }
}

void UpdateKeys(CipherKeys& keys, std::uint8_t plain) {
    keys.key0 = Crc32Step(keys.key0, plain);
    keys.key1 = (keys.key1 + (keys.key0 & 0xFF)) * 134775813u + 1;
    keys.key2 = Crc32Step(keys.key2, static_cast<std::uint8_t>(keys.key1 >> 24));
}

std::uint8_t KeystreamByte(const CipherKeys& keys) {
    const std::uint32_t t = (keys.key2 & 0xFFFF) | 2;
    return static_cast<std::uint8_t>((t * (t ^ 1)) >> 8);
}

std::uint8_t EncipherByte(CipherKeys& keys, std::uint8_t plain) {
    const std::uint8_t k = KeystreamByte(keys);
    UpdateKeys(keys, plain);
    return plain ^ k;
}

void EncipherBytes(CipherKeys& keys, std::span<std::uint8_t> bytes) {
    for (std::uint8_t& b : bytes) {
        b = EncipherByte(keys, b);
    }
}

platform::Result<std::array<std::uint8_t, kEncryptionHeaderSize>> MakeEncryptionHeader(
    CipherKeys& keys, std::string_view password, std::uint16_t dosTime) {
    std::array<std::uint8_t, kEncryptionHeaderRandomBytes> random{};
    if (const platform::Status filled = platform::FillRandom(random); !filled) {
        return filled.error();
    }
    return MakeEncryptionHeader(keys, password, dosTime, random);
}

std::array<std::uint8_t, kEncryptionHeaderSize> MakeEncryptionHeader(
    CipherKeys& keys, std::string_view password, std::uint16_t dosTime,
    std::span<const std::uint8_t, kEncryptionHeaderRandomBytes> random) {
    InitKeys(keys, password);
    std::array<std::uint8_t, kEncryptionHeaderSize> header{};
    std::copy(random.begin(), random.end(), header.begin());
    header[kEncryptionHeaderSize - 1] = static_cast<std::uint8_t>(dosTime >> 8);
    EncipherBytes(keys, header);
    return header;
}

}  // namespace zelpack::zip
