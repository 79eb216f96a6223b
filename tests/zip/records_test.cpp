#include "zip/records.h"

#include <gtest/gtest.h>

#include <string>
#include <tuple>
#include <vector>

#include "tests/support/temp_dir.h"
#include "tests/zip/zip_test_util.h"

namespace zelpack::zip {
namespace {

using testing::Bytes;
using testing::VectorSink;
using Vec = std::vector<std::uint8_t>;

Vec Cat(std::initializer_list<Vec> parts) {
    Vec all;
    for (const Vec& p : parts) {
        all.insert(all.end(), p.begin(), p.end());
    }
    return all;
}

// "a/b.txt", deflated, dated 0x58B1 / 0x6DAF, with different local and central flags so that a
// mix-up shows.
EntryHeader SampleHeader() {
    EntryHeader h;
    EXPECT_TRUE(SetEntryName(h, "a/b.txt", false));
    h.flags = 0x0002;
    h.localFlags = 0x0008;
    h.method = record::kMethodDeflated;
    h.dosDateTime = 0x58B16DAF;
    h.crc = 0x12345678;
    h.compressedSize = 0x10;
    h.uncompressedSize = 0x20;
    h.externalAttributes = 0x81800020;
    h.localHeaderOffset = 1000;
    h.localExtra = MakeLocalExtra(0x665A1B2C, 0x01020304, -1);
    h.centralExtra = MakeCentralExtra(h.localExtra);
    return h;
}

const Vec kName = Bytes("a/b.txt");

TEST(RecordLayout, LocalHeaderOfSampleEntryIsByteExact) {
    VectorSink sink;
    ASSERT_TRUE(WriteLocalHeader(sink, SampleHeader()));
    const Vec expected = Cat(
        {{0x50, 0x4B, 0x03, 0x04, 0x14, 0x00, 0x08, 0x00, 0x08, 0x00, 0xAF, 0x6D, 0xB1, 0x58, 0x78,
          0x56, 0x34, 0x12, 0x10, 0x00, 0x00, 0x00, 0x20, 0x00, 0x00, 0x00, 0x07, 0x00, 0x11, 0x00},
         kName,
         {0x55, 0x54, 0x0D, 0x00, 0x07, 0x2C, 0x1B, 0x5A, 0x66, 0x04, 0x03, 0x02, 0x01, 0xFF, 0xFF,
          0xFF, 0xFF}});
    EXPECT_EQ(sink.bytes.size(), 54u);
    EXPECT_EQ(sink.bytes, expected);
    EXPECT_EQ(LocalHeaderSize(SampleHeader()), 54u);
}

TEST(RecordLayout, CentralHeaderOfSampleEntryIsByteExact) {
    VectorSink sink;
    ASSERT_TRUE(WriteCentralHeader(sink, SampleHeader()));
    const Vec expected =
        Cat({{0x50, 0x4B, 0x01, 0x02, 0x17, 0x0B, 0x14, 0x00, 0x02, 0x00, 0x08, 0x00,
              0xAF, 0x6D, 0xB1, 0x58, 0x78, 0x56, 0x34, 0x12, 0x10, 0x00, 0x00, 0x00,
              0x20, 0x00, 0x00, 0x00, 0x07, 0x00, 0x09, 0x00, 0x00, 0x00, 0x00, 0x00,
              0x00, 0x00, 0x20, 0x00, 0x80, 0x81, 0xE8, 0x03, 0x00, 0x00},
             kName,
             {0x55, 0x54, 0x05, 0x00, 0x07, 0x2C, 0x1B, 0x5A, 0x66}});
    EXPECT_EQ(sink.bytes.size(), 62u);
    EXPECT_EQ(sink.bytes, expected);
    EXPECT_EQ(CentralHeaderSize(SampleHeader()), 62u);
}

TEST(RecordLayout, ExternalAttributesAreWrittenLittleEndian) {
    for (std::uint32_t attributes : {0x81800020u, 0x81000021u, 0x81C00020u, 0x41C00010u}) {
        EntryHeader h = SampleHeader();
        h.externalAttributes = attributes;
        std::array<std::uint8_t, record::kMaxCentralHeaderSize> out;
        ASSERT_EQ(EncodeCentralHeader(h, out), 62u);
        const std::uint32_t read =
            out[38] | out[39] << 8 | out[40] << 16 | static_cast<std::uint32_t>(out[41]) << 24;
        EXPECT_EQ(read, attributes);
    }
}

TEST(RecordLayout, EndRecordOfEmptyArchivePointsAtBaseOffset) {
    VectorSink sink;
    ASSERT_TRUE(WriteEndRecord(sink, 0, 0, 4096));
    const Vec expected = {0x50, 0x4B, 0x05, 0x06, 0, 0, 0,    0, 0, 0, 0,
                          0,    0,    0,    0,    0, 0, 0x10, 0, 0, 0, 0};
    EXPECT_EQ(sink.bytes, expected);
}

TEST(RecordLayout, EndRecordKeepsLowSixteenBitsOfCount) {
    const auto end = EncodeEndRecord(0x10002, 0xAABBCCDD, 0x11223344);
    EXPECT_EQ((Vec{end.begin() + 8, end.end()}),
              (Vec{0x02, 0x00, 0x02, 0x00, 0xDD, 0xCC, 0xBB, 0xAA, 0x44, 0x33, 0x22, 0x11, 0, 0}));
}

TEST(RecordLayout, DataDescriptorCarriesFinalValues) {
    const auto d = EncodeDataDescriptor(SampleHeader());
    EXPECT_EQ((Vec{d.begin(), d.end()}),
              (Vec{0x50, 0x4B, 0x07, 0x08, 0x78, 0x56, 0x34, 0x12, 0x10, 0, 0, 0, 0x20, 0, 0, 0}));
}

TEST(ExtraBlocks, TimesKeepTheirLowThirtyTwoBits) {
    const auto local = MakeLocalExtra(0x100000005LL, -2, 0x7FFFFFFF);
    EXPECT_EQ((Vec{local.begin() + 5, local.end()}),
              (Vec{0x05, 0, 0, 0, 0xFE, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0x7F}));
    const auto central = MakeCentralExtra(local);
    EXPECT_EQ((Vec{central.begin(), central.end()}),
              (Vec{0x55, 0x54, 0x05, 0x00, 0x07, 0x05, 0, 0, 0}));
}

// A sink that accepts at most `limit` bytes in all.
class LimitedSink : public ByteSink {
  public:
    explicit LimitedSink(std::size_t limit) : limit_(limit) {}
    std::size_t Write(std::span<const std::uint8_t> data) override {
        const std::size_t n = std::min(limit_, data.size());
        limit_ -= n;
        return n;
    }

  private:
    std::size_t limit_;
};

TEST(RecordSinks, AnyRefusedByteFailsTheRecord) {
    const EntryHeader h = SampleHeader();
    // Short by one byte at the end (extra block) and refused from the first (fixed field).
    for (std::size_t limit : {std::size_t{53}, std::size_t{0}, std::size_t{20}}) {
        LimitedSink local(limit);
        EXPECT_FALSE(WriteLocalHeader(local, h)) << limit;
        LimitedSink central(limit);
        EXPECT_FALSE(WriteCentralHeader(central, h)) << limit;
        LimitedSink end(limit > 21 ? 21 : limit);
        EXPECT_FALSE(WriteEndRecord(end, 1, 62, 0)) << limit;
        LimitedSink descriptor(limit > 15 ? 15 : limit);
        EXPECT_FALSE(WriteDataDescriptor(descriptor, h)) << limit;
    }
    LimitedSink exact(54);
    EXPECT_TRUE(WriteLocalHeader(exact, h));
}

TEST(RecordSinks, EncodingNeverGoesPastItsBuffers) {
    EntryHeader h = SampleHeader();
    std::array<std::uint8_t, 61> shortBuffer{};
    EXPECT_EQ(EncodeLocalHeader(h, std::span(shortBuffer).first(53)), 0u);
    EXPECT_EQ(EncodeCentralHeader(h, shortBuffer), 0u);
    // A corrupt length must not read beyond the name field.
    h.nameLength = record::kNameFieldSize;
    std::array<std::uint8_t, 1024> big{};
    EXPECT_EQ(EncodeLocalHeader(h, big), 0u);
    EXPECT_EQ(EncodeCentralHeader(h, big), 0u);
    VectorSink sink;
    EXPECT_FALSE(WriteLocalHeader(sink, h));
    EXPECT_TRUE(sink.bytes.empty());
}

std::string StoredName(std::string_view name, bool folder) {
    EntryHeader h;
    if (!SetEntryName(h, name, folder)) {
        return "<refused>";
    }
    EXPECT_EQ(h.name[h.nameLength], '\0');
    return std::string(h.name.data(), h.nameLength);
}

TEST(EntryNames, BackslashesBecomeSlashesAndNothingElseChanges) {
    EXPECT_EQ(StoredName("dir\\sub\\f.txt", false), "dir/sub/f.txt");
    EXPECT_EQ(StoredName("C:\\Lead\\X.TXT", false), "C:/Lead/X.TXT");
    EXPECT_EQ(StoredName("/abs/x", false), "/abs/x");
    EXPECT_EQ(StoredName("docs", false), "docs");
}

TEST(EntryNames, FolderEntriesEndInExactlyOneSlash) {
    EXPECT_EQ(StoredName("docs", true), "docs/");
    EXPECT_EQ(StoredName("docs/", true), "docs/");
    EXPECT_EQ(StoredName("a\\docs\\", true), "a/docs/");
    EXPECT_EQ(StoredName("/", true), "/");
}

TEST(EntryNames, NamesThatDoNotFitTheFieldAreRefused) {
    const std::string fits(259, 'x');
    const std::string tooLong(260, 'x');
    EXPECT_EQ(StoredName(fits, false), fits);
    EXPECT_EQ(StoredName(tooLong, false), "<refused>");
    EXPECT_EQ(StoredName("", false), "<refused>");
    EXPECT_EQ(StoredName("", true), "<refused>");
    // A folder needs room for the slash it gets, but not for one it already has.
    EXPECT_EQ(StoredName(std::string(258, 'x'), true), std::string(258, 'x') + "/");
    EXPECT_EQ(StoredName(std::string(259, 'x'), true), "<refused>");
    EXPECT_EQ(StoredName(std::string(258, 'x') + "/", true), std::string(258, 'x') + "/");
    EXPECT_FALSE(EntryNameFits(tooLong, false));
    EXPECT_TRUE(EntryNameFits(fits, false));

    EntryHeader h = SampleHeader();
    EXPECT_FALSE(SetEntryName(h, tooLong, false));
    EXPECT_EQ(std::string(h.name.data(), h.nameLength), "a/b.txt");
}

TEST(EntryNames, Utf8FlagOnlyForValidNonAsciiNames) {
    EXPECT_FALSE(NeedsUtf8Flag("plain/name.txt"));
    EXPECT_FALSE(NeedsUtf8Flag(""));
    EXPECT_TRUE(NeedsUtf8Flag("caf\xC3\xA9"));
    EXPECT_TRUE(NeedsUtf8Flag("\xE6\x96\x87\xE4\xBB\xB6/x"));  // 文件/x
    EXPECT_TRUE(NeedsUtf8Flag("\xF0\x9F\x98\x80"));            // U+1F600
    EXPECT_FALSE(NeedsUtf8Flag("caf\xE9"));                    // Latin-1 byte
    EXPECT_FALSE(NeedsUtf8Flag("\xC3"));                       // cut short
    EXPECT_FALSE(NeedsUtf8Flag("\xE6\x96"));                   // cut short
    EXPECT_FALSE(NeedsUtf8Flag("\xC0\xAF"));                   // overlong
    EXPECT_FALSE(NeedsUtf8Flag("\xED\xA0\x80"));               // surrogate
    EXPECT_FALSE(NeedsUtf8Flag("\xF4\x90\x80\x80"));           // beyond U+10FFFF
    EXPECT_FALSE(NeedsUtf8Flag("\xC3\xA9\xFF"));               // valid, then a stray byte
}

// One stored entry per (name, content, folder), written as the container does on a seekable
// target: final values in the local header, no descriptor.
Vec BuildArchive(const std::vector<std::tuple<std::string, std::string, bool>>& entries,
                 std::uint32_t baseOffset) {
    VectorSink sink;
    std::vector<EntryHeader> done;
    for (const auto& [name, content, folder] : entries) {
        EntryHeader h;
        EXPECT_TRUE(SetEntryName(h, name, folder));
        h.flags = h.localFlags = NeedsUtf8Flag(name) ? record::kFlagUtf8Name : 0;
        h.dosDateTime = 0x58B16DAF;
        h.crc = testing::Crc32(content);
        h.compressedSize = h.uncompressedSize = static_cast<std::uint32_t>(content.size());
        h.externalAttributes = folder ? 0x41C00010 : 0x81800020;
        h.localHeaderOffset = baseOffset + static_cast<std::uint32_t>(sink.bytes.size());
        h.localExtra = MakeLocalExtra(1715953530, 1715953531, 1715953532);
        h.centralExtra = MakeCentralExtra(h.localExtra);
        EXPECT_TRUE(WriteLocalHeader(sink, h));
        sink.Write(Bytes(content));
        done.push_back(h);
    }
    const auto start = static_cast<std::uint32_t>(sink.bytes.size());
    for (const EntryHeader& h : done) {
        EXPECT_TRUE(WriteCentralHeader(sink, h));
    }
    const auto size = static_cast<std::uint32_t>(sink.bytes.size()) - start;
    EXPECT_TRUE(
        WriteEndRecord(sink, static_cast<std::uint32_t>(done.size()), size, baseOffset + start));
    return sink.bytes;
}

TEST(IndependentReaders, PythonReadsRecordsAndNames) {
    if (zelpack::testing::kWindows) {
        GTEST_SKIP() << "the independent readers are Linux programs";
    }
    zelpack::testing::TempDir dir;
    const auto path = dir / "plain.zip";
    testing::SaveFile(path, BuildArchive({{"dir\\sub\\f.txt", "hello\n", false},
                                          {"docs", "", true},
                                          {"\xE6\x96\x87\xE4\xBB\xB6.txt", "x", false}},
                                         0));
    EXPECT_EQ(testing::ReadWithPython(path),
              "dir/sub/f.txt 0x0 68656c6c6f0a\n"
              "docs/ 0x0 \n"
              "\xE6\x96\x87\xE4\xBB\xB6.txt 0x800 78\n");
    if (testing::HaveUnzip()) {
        int status = 0;
        const std::string out =
            testing::RunCommand("unzip -t '" + path.string() + "' 2>&1", status);
        EXPECT_EQ(status, 0) << out;
    }
}

TEST(IndependentReaders, PythonReadsEmptyArchiveAndOneAfterLeadingBytes) {
    if (zelpack::testing::kWindows) {
        GTEST_SKIP() << "the independent readers are Linux programs";
    }
    zelpack::testing::TempDir dir;
    const auto empty = dir / "empty.zip";
    const Vec emptyBytes = BuildArchive({}, 0);
    EXPECT_EQ(emptyBytes.size(), 22u);
    testing::SaveFile(empty, emptyBytes);
    EXPECT_EQ(testing::ReadWithPython(empty), "");

    // Offsets that include the bytes in front of the archive, as on a handle target at N.
    Vec withPrefix(100, 0);
    const Vec archive = BuildArchive({{"a/b.txt", "abc", false}}, 100);
    withPrefix.insert(withPrefix.end(), archive.begin(), archive.end());
    const auto prefixed = dir / "prefixed.zip";
    testing::SaveFile(prefixed, withPrefix);
    EXPECT_EQ(testing::ReadWithPython(prefixed), "a/b.txt 0x0 616263\n");
}

}  // namespace
}  // namespace zelpack::zip
