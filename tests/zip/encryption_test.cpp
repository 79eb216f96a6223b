#include "zip/encryption.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/support/temp_dir.h"
#include "tests/zip/zip_test_util.h"
#include "zip/records.h"

namespace zelpack::zip {
namespace {

using Vec = std::vector<std::uint8_t>;

// The reader's side of the scheme: the plaintext byte advances the keys.
std::uint8_t DecipherByte(CipherKeys& keys, std::uint8_t cipher) {
    const std::uint8_t plain = cipher ^ KeystreamByte(keys);
    UpdateKeys(keys, plain);
    return plain;
}

constexpr std::uint16_t kDosTime = 0x6DAF;
constexpr std::uint16_t kDosDate = 0x58B1;

TEST(KeySchedule, StartsFromThePublishedValuesAndUsesEveryPasswordByte) {
    CipherKeys keys;
    InitKeys(keys, "");
    EXPECT_EQ(keys.key0, 0x12345678u);
    EXPECT_EQ(keys.key1, 0x23456789u);
    EXPECT_EQ(keys.key2, 0x34567890u);

    CipherKeys a, b, c;
    InitKeys(a, "secret");
    InitKeys(b, "secreT");
    InitKeys(c, std::string_view("secret\0x", 8));  // bytes after a NUL count too
    EXPECT_NE(a.key0, b.key0);
    EXPECT_NE(a.key0, c.key0);
    // High bytes are used unchanged, not sign-extended into the CRC index.
    CipherKeys high;
    InitKeys(high, "\xE9");
    CipherKeys manual;
    InitKeys(manual, "");
    UpdateKeys(manual, 0xE9);
    EXPECT_EQ(high.key0, manual.key0);
    EXPECT_EQ(high.key2, manual.key2);
}

TEST(Header, DeciphersToRandomBytesAndTheTimeCheckByte) {
    const std::array<std::uint8_t, kEncryptionHeaderRandomBytes> random = {1, 2, 3, 4,  5,   6,
                                                                           7, 8, 9, 10, 0xFF};
    CipherKeys writer;
    const auto header = MakeEncryptionHeader(writer, "pw", kDosTime, random);
    CipherKeys reader;
    InitKeys(reader, "pw");
    Vec plain;
    for (std::uint8_t b : header) {
        plain.push_back(DecipherByte(reader, b));
    }
    EXPECT_EQ(plain, (Vec{1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 0xFF, 0x6D}));
    // The keys left behind continue with the data.
    EXPECT_EQ(writer.key0, reader.key0);
    EXPECT_EQ(writer.key1, reader.key1);
    EXPECT_EQ(writer.key2, reader.key2);
}

TEST(Header, RestartsTheKeysAndDrawsFreshRandomBytes) {
    CipherKeys keys;
    InitKeys(keys, "other");
    UpdateKeys(keys, 42);
    const auto first = *MakeEncryptionHeader(keys, "pw", kDosTime);
    const auto second = *MakeEncryptionHeader(keys, "pw", kDosTime);
    EXPECT_NE(first, second);  // equal only with probability 2^-88
    for (const auto& header : {first, second}) {
        CipherKeys reader;
        InitKeys(reader, "pw");
        std::uint8_t last = 0;
        for (std::uint8_t b : header) {
            last = DecipherByte(reader, b);
        }
        EXPECT_EQ(last, kDosTime >> 8);
    }
}

// One enciphered stored entry with a data descriptor, flags 9 in both headers, as the writer
// emits it for a password archive.
Vec EncipheredArchive(const std::string& name, const std::string& content,
                      const std::string& password) {
    testing::VectorSink sink;
    EntryHeader h;
    EXPECT_TRUE(SetEntryName(h, name, false));
    h.flags = h.localFlags = record::kFlagEncrypted | record::kFlagDataDescriptor;
    h.method = record::kMethodStored;
    h.dosDateTime = static_cast<std::uint32_t>(kDosDate) << 16 | kDosTime;
    h.compressedSize = static_cast<std::uint32_t>(content.size() + kEncryptionHeaderSize);
    h.uncompressedSize = static_cast<std::uint32_t>(content.size());
    h.externalAttributes = 0x81800020;
    h.localExtra = MakeLocalExtra(1715953530, 1715953530, 1715953530);
    h.centralExtra = MakeCentralExtra(h.localExtra);
    EXPECT_TRUE(WriteLocalHeader(sink, h));
    CipherKeys keys;
    const auto header = *MakeEncryptionHeader(keys, password, kDosTime);
    sink.Write(header);
    Vec data = testing::Bytes(content);
    EncipherBytes(keys, data);
    sink.Write(data);
    h.crc = testing::Crc32(content);
    EXPECT_TRUE(WriteDataDescriptor(sink, h));
    const auto start = static_cast<std::uint32_t>(sink.bytes.size());
    EXPECT_TRUE(WriteCentralHeader(sink, h));
    EXPECT_TRUE(
        WriteEndRecord(sink, 1, static_cast<std::uint32_t>(sink.bytes.size()) - start, start));
    return sink.bytes;
}

TEST(IndependentReaders, PythonDeciphersTheExactBytes) {
    if (zelpack::testing::kWindows) {
        GTEST_SKIP() << "the independent readers are Linux programs";
    }
    std::string every;
    for (int i = 0; i < 256; ++i) {
        every += static_cast<char>(i);
    }
    every += std::string(70000, 'z');  // longer than one read block of the reader
    zelpack::testing::TempDir dir;
    for (const std::string& content : {std::string("hello, world\n"), std::string(), every}) {
        const auto path = dir / "enc.zip";
        testing::SaveFile(path, EncipheredArchive("s/e.bin", content, "Pa55 word"));
        EXPECT_EQ(testing::ReadWithPython(path, "Pa55 word"),
                  "s/e.bin 0x9 " + testing::Hex(testing::Bytes(content)) + "\n");
        // A wrong password is noticed by the check byte (or the CRC).
        EXPECT_NE(testing::ReadWithPython(path, "wrong").find("exit"), std::string::npos);
        if (testing::HaveUnzip()) {
            int status = 0;
            const std::string out =
                testing::RunCommand("unzip -t -P 'Pa55 word' '" + path.string() + "' 2>&1", status);
            EXPECT_EQ(status, 0) << out;
        }
    }
}

}  // namespace
}  // namespace zelpack::zip
