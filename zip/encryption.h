// Traditional PKWARE encryption of entries: a 12-byte header enciphered in front of the data,
// header and data forming one key stream that starts from the password.
#pragma once

#include <array>
#include <cstdint>
#include <span>
#include <string_view>

#include "platform/result.h"

namespace zelpack::zip {

struct CipherKeys {
    std::uint32_t key0 = 0;
    std::uint32_t key1 = 0;
    std::uint32_t key2 = 0;
};

inline constexpr std::size_t kEncryptionHeaderSize = 12;
inline constexpr std::size_t kEncryptionHeaderRandomBytes = kEncryptionHeaderSize - 1;

// The published starting values, then every byte of the password in order, unconverted.
void InitKeys(CipherKeys& keys, std::string_view password);
// Advances the keys with one plaintext byte.
void UpdateKeys(CipherKeys& keys, std::uint8_t plain);
// The next key-stream byte, from key 2; does not advance the keys.
std::uint8_t KeystreamByte(const CipherKeys& keys);
// Enciphers one byte and advances the keys with the plaintext.
std::uint8_t EncipherByte(CipherKeys& keys, std::uint8_t plain);
// Enciphers a block in place, continuing the key stream.
void EncipherBytes(CipherKeys& keys, std::span<std::uint8_t> bytes);

// Starts the keys from the password and returns the enciphered header: 11 random bytes, then the
// check byte, the high byte of the entry's DOS time word (entries that are enciphered always
// carry a data descriptor, and for those the time is what readers check). The keys left behind
// continue with the entry's data.
// Fails, with the generator's reason, when the system gives no random bytes.
platform::Result<std::array<std::uint8_t, kEncryptionHeaderSize>> MakeEncryptionHeader(
    CipherKeys& keys, std::string_view password, std::uint16_t dosTime);
// The same with caller-given random bytes, for reproducible output.
std::array<std::uint8_t, kEncryptionHeaderSize> MakeEncryptionHeader(
    CipherKeys& keys, std::string_view password, std::uint16_t dosTime,
    std::span<const std::uint8_t, kEncryptionHeaderRandomBytes> random);

}  // namespace zelpack::zip
