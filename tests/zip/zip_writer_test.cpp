#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "platform/fault_injection.h"
#include "platform/file.h"
#include "tests/support/temp_dir.h"
#include "tests/zip/zip_test_util.h"
#include "zip/archive.h"
#include "zip/zip_writer_internal.h"

namespace zelpack::zip {
namespace {

namespace fs = std::filesystem;
using zelpack::testing::SetWriteTime;
using zelpack::testing::TempDir;
using zelpack::testing::Wide;
using namespace zelpack::zip::testing;

// --- An independent look at the records, enough to check fields the readers do not show ---

std::uint32_t Le(std::span<const std::uint8_t> bytes, std::size_t at, std::size_t size) {
    std::uint32_t value = 0;
    for (std::size_t i = size; i-- > 0;) {
        value = value << 8 | bytes[at + i];
    }
    return value;
}

struct Parsed {
    std::string name;
    std::uint32_t centralFlags, localFlags, method, crc, compressedSize, uncompressedSize;
    std::uint32_t localOffset, externalAttributes;
    std::uint32_t localCompressedSize, localUncompressedSize, localCrc;
    bool descriptor = false;
};

struct ParsedArchive {
    std::uint32_t count = 0, directorySize = 0, directoryOffset = 0;
    std::vector<Parsed> entries;
};

// `bytes` is the whole target, so offsets are absolute.
ParsedArchive Parse(std::span<const std::uint8_t> bytes) {
    ParsedArchive archive;
    const std::size_t end = bytes.size() - 22;
    EXPECT_EQ(Le(bytes, end, 4), 0x06054B50u);
    archive.count = Le(bytes, end + 10, 2);
    archive.directorySize = Le(bytes, end + 12, 4);
    archive.directoryOffset = Le(bytes, end + 16, 4);
    std::size_t at = archive.directoryOffset;
    for (std::uint32_t i = 0; i < archive.count; ++i) {
        EXPECT_EQ(Le(bytes, at, 4), 0x02014B50u);
        Parsed e{};
        e.centralFlags = Le(bytes, at + 8, 2);
        e.method = Le(bytes, at + 10, 2);
        e.crc = Le(bytes, at + 16, 4);
        e.compressedSize = Le(bytes, at + 20, 4);
        e.uncompressedSize = Le(bytes, at + 24, 4);
        const std::uint32_t nameLength = Le(bytes, at + 28, 2);
        const std::uint32_t extra = Le(bytes, at + 30, 2);
        e.externalAttributes = Le(bytes, at + 38, 4);
        e.localOffset = Le(bytes, at + 42, 4);
        e.name.assign(reinterpret_cast<const char*>(&bytes[at + 46]), nameLength);
        at += 46 + nameLength + extra;

        const std::size_t local = e.localOffset;
        EXPECT_EQ(Le(bytes, local, 4), 0x04034B50u);
        e.localFlags = Le(bytes, local + 6, 2);
        e.localCrc = Le(bytes, local + 14, 4);
        e.localCompressedSize = Le(bytes, local + 18, 4);
        e.localUncompressedSize = Le(bytes, local + 22, 4);
        const std::size_t data = local + 30 + Le(bytes, local + 26, 2) + Le(bytes, local + 28, 2);
        const std::size_t after = data + e.compressedSize;
        if (after + 16 <= bytes.size() && Le(bytes, after, 4) == 0x08074B50u) {
            e.descriptor = true;
            EXPECT_EQ(Le(bytes, after + 4, 4), e.crc) << e.name;
            EXPECT_EQ(Le(bytes, after + 8, 4), e.compressedSize) << e.name;
            EXPECT_EQ(Le(bytes, after + 12, 4), e.uncompressedSize) << e.name;
        }
        archive.entries.push_back(e);
    }
    EXPECT_EQ(at, archive.directoryOffset + archive.directorySize);
    return archive;
}

std::vector<std::uint8_t> ReadBytes(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

std::vector<std::uint8_t> RandomBytes(std::size_t size, unsigned seed) {
    std::mt19937 generator(seed);
    std::vector<std::uint8_t> bytes(size);
    for (auto& b : bytes) {
        b = static_cast<std::uint8_t>(generator());
    }
    return bytes;
}

std::string TextOf(std::size_t size) {
    std::string text;
    for (int line = 0; text.size() < size; ++line) {
        text += "line " + std::to_string(line) + " of some fairly repetitive text\n";
    }
    text.resize(size);
    return text;
}

std::span<const std::uint8_t> AsBytes(std::string_view text) {
    return {reinterpret_cast<const std::uint8_t*>(text.data()), text.size()};
}

// A memory archive, finished and copied out, with the result of every step checked.
class MemoryArchive {
  public:
    explicit MemoryArchive(std::uint32_t capacity = 1 << 24, std::string_view password = {})
        : archive_(BeginArchiveInMemory(nullptr, capacity, password)) {
        EXPECT_TRUE(archive_);
    }
    ArchiveHandle* get() { return archive_.get(); }
    std::vector<std::uint8_t> Finish() {
        const std::uint8_t* base = nullptr;
        std::uint32_t length = 0;
        EXPECT_EQ(GetArchiveMemory(archive_.get(), base, length), Success);
        std::vector<std::uint8_t> bytes(base, base + length);
        EXPECT_EQ(EndArchive(archive_), Success);
        return bytes;
    }

  private:
    std::unique_ptr<ArchiveHandle> archive_;
};

std::string PythonListing(const TempDir& dir, std::span<const std::uint8_t> archive,
                          const std::string& password = "", bool withSevenZip = true) {
    const fs::path path = dir / "check.zip";
    SaveFile(path, archive);
    EXPECT_READ_BACK(FailuresOfOtherReaders(path, password, withSevenZip), "");
    return ReadWithPython(path, password);
}

// --- Layout ---

TEST(ZipWriterTest, EmptyArchiveIsTheEndRecordAlone) {
    MemoryArchive archive;
    const std::vector<std::uint8_t> bytes = archive.Finish();
    ASSERT_EQ(bytes.size(), 22u);
    EXPECT_EQ(Hex(bytes), "504b0506" + std::string(36, '0'));

    // On a handle started at N the directory offset is N.
    TempDir dir;
    const fs::path path = dir / "prefixed.zip";
    platform::Result<platform::File> file = platform::File::CreateAlways(Wide(path));
    ASSERT_TRUE(file->WriteAll(std::vector<std::uint8_t>(1000, 'x')));
    auto handle = BeginArchiveToHandle(*file);
    ASSERT_TRUE(handle);
    EXPECT_EQ(handle->writer->baseOffset(), 1000u);
    EXPECT_EQ(EndArchive(handle), Success);
    ASSERT_TRUE(file->Close());
    const std::vector<std::uint8_t> prefixed = ReadBytes(path);
    ASSERT_EQ(prefixed.size(), 1022u);
    EXPECT_EQ(Le(prefixed, 1000 + 16, 4), 1000u);
}

TEST(ZipWriterTest, OneEntryOnASeekableTargetIsPatchedInPlace) {
    const std::string content = TextOf(5000);
    MemoryArchive archive;
    ASSERT_EQ(AddEntryFromMemory(archive.get(), u"a/b.txt", AsBytes(content)), Success);
    const std::vector<std::uint8_t> bytes = archive.Finish();
    const ParsedArchive parsed = Parse(bytes);
    ASSERT_EQ(parsed.count, 1u);
    const Parsed& e = parsed.entries[0];
    EXPECT_EQ(e.name, "a/b.txt");
    EXPECT_EQ(e.localOffset, 0u);
    EXPECT_EQ(e.method, 8u);
    EXPECT_EQ(e.centralFlags, 2u);
    EXPECT_EQ(e.localFlags, 2u);
    EXPECT_FALSE(e.descriptor);
    EXPECT_EQ(e.crc, Crc32(content));
    EXPECT_EQ(e.localCrc, e.crc);
    EXPECT_EQ(e.localCompressedSize, e.compressedSize);
    EXPECT_EQ(e.uncompressedSize, content.size());
    EXPECT_EQ(e.localUncompressedSize, content.size());
    // 54-byte local header, the data, a 62-byte central header, the end record.
    EXPECT_EQ(parsed.directoryOffset, 54 + e.compressedSize);
    EXPECT_EQ(parsed.directorySize, 62u);
    EXPECT_EQ(bytes.size(), 54 + e.compressedSize + 62 + 22);
    TempDir dir;
    EXPECT_READ_BACK(PythonListing(dir, bytes), "a/b.txt 0x2 " + Hex(AsBytes(content)) + "\n");
}

TEST(ZipWriterTest, NamesAreStoredAsGivenWithSlashes) {
    TempDir dir;
    dir.Write("f.txt", "data");
    MemoryArchive archive;
    ASSERT_EQ(AddEntryFromFile(archive.get(), u"dir\\sub\\f.txt", Wide(dir / "f.txt")), Success);
    ASSERT_EQ(AddFolderEntry(archive.get(), u"docs"), Success);
    ASSERT_EQ(AddFolderEntry(archive.get(), u"docs/"), Success);
    ASSERT_EQ(AddFolderEntry(archive.get(), u"more\\"), Success);
    ASSERT_EQ(AddEntryFromMemory(archive.get(), u"/C:/Keep Case.TXT", AsBytes("x")), Success);
    const std::vector<std::uint8_t> bytes = archive.Finish();
    const ParsedArchive parsed = Parse(bytes);
    ASSERT_EQ(parsed.count, 5u);
    EXPECT_EQ(parsed.entries[0].name, "dir/sub/f.txt");
    EXPECT_EQ(parsed.entries[1].name, "docs/");
    EXPECT_EQ(parsed.entries[2].name, "docs/");
    EXPECT_EQ(parsed.entries[3].name, "more/");
    EXPECT_EQ(parsed.entries[4].name, "/C:/Keep Case.TXT");
    for (int folder : {1, 2, 3}) {
        EXPECT_EQ(parsed.entries[folder].method, 0u);
        EXPECT_EQ(parsed.entries[folder].centralFlags, 0u);
        EXPECT_EQ(parsed.entries[folder].externalAttributes, 0x41C00010u);
        EXPECT_EQ(parsed.entries[folder].compressedSize, 0u);
    }
    EXPECT_EQ(parsed.entries[0].externalAttributes & 0xFFFF0000u, 0x81800000u);
}

TEST(ZipWriterTest, NonAsciiNamesCarryTheUtf8FlagInBothHeaders) {
    MemoryArchive archive;
    ASSERT_EQ(AddEntryFromMemory(archive.get(), u"插件/说明.txt", AsBytes("中文")), Success);
    ASSERT_EQ(AddEntryFromMemory(archive.get(), u"plain.txt", AsBytes("ascii")), Success);
    ASSERT_EQ(AddFolderEntry(archive.get(), u"图片"), Success);
    const std::vector<std::uint8_t> bytes = archive.Finish();
    const ParsedArchive parsed = Parse(bytes);
    ASSERT_EQ(parsed.count, 3u);
    EXPECT_EQ(parsed.entries[0].name, "插件/说明.txt");
    EXPECT_EQ(parsed.entries[0].centralFlags, 0x802u);
    EXPECT_EQ(parsed.entries[0].localFlags, 0x802u);
    EXPECT_EQ(parsed.entries[1].centralFlags, 0x2u);
    EXPECT_EQ(parsed.entries[2].name, "图片/");
    EXPECT_EQ(parsed.entries[2].centralFlags, 0x800u);
    TempDir dir;
    EXPECT_READ_BACK(PythonListing(dir, bytes), "插件/说明.txt 0x802 " + Hex(AsBytes("中文")) +
                                                    "\nplain.txt 0x2 " + Hex(AsBytes("ascii")) +
                                                    "\n图片/ 0x800 \n");
}

TEST(ZipWriterTest, NamesThatCannotBeStoredWholeAreRefusedBeforeAnythingIsWritten) {
    MemoryArchive archive;
    ZipWriter& writer = *archive.get()->writer;
    const std::u16string longest(259, u'n');
    EXPECT_EQ(AddEntryFromMemory(archive.get(), longest, AsBytes("x")), Success);
    const std::uint32_t written = writer.written();
    EXPECT_EQ(AddEntryFromMemory(archive.get(), longest + u"n", AsBytes("x")), BadArguments);
    EXPECT_EQ(AddFolderEntry(archive.get(), longest), BadArguments);  // no room for the slash
    EXPECT_EQ(writer.exceededLimit(), Limit::NameLength);
    EXPECT_EQ(AddFolderEntry(archive.get(), std::u16string(258, u'd')), Success);
    // 130 characters of three bytes each are 390 bytes.
    EXPECT_EQ(AddEntryFromMemory(archive.get(), std::u16string(130, u'中'), AsBytes("x")),
              BadArguments);
    EXPECT_EQ(AddEntryFromMemory(archive.get(), u"", AsBytes("x")), BadArguments);
    EXPECT_EQ(AddEntryFromMemory(archive.get(), std::u16string(u"a\0b", 3), AsBytes("x")),
              BadArguments);
    EXPECT_EQ(writer.stickyError(), Success);
    EXPECT_EQ(writer.entryCount(), 2u);
    EXPECT_GT(writer.written(), written);
    EXPECT_EQ(Parse(archive.Finish()).count, 2u);
}

TEST(ZipWriterTest, StoredExtensions) {
    for (std::string_view name : {"PKG.ZIP", "a.tar.gz", "x.z", ".arj", "dir/old.Zoo", "b.ARC",
                                  "c.lzh", "d.Tgz", "e.arj"}) {
        EXPECT_TRUE(IsStoredExtension(name)) << name;
    }
    for (std::string_view name :
         {"data.zipx", "readme", "zip", "dir.zip/readme", "a.gz.txt", "x.7z", ""}) {
        EXPECT_FALSE(IsStoredExtension(name)) << name;
    }
    MemoryArchive archive;
    const std::string content = TextOf(3000);
    for (std::u16string_view name : {u"PKG.ZIP", u"data.zipx", u"sub\\x.gz"}) {
        ASSERT_EQ(AddEntryFromMemory(archive.get(), name, AsBytes(content)), Success);
    }
    const ParsedArchive parsed = Parse(archive.Finish());
    EXPECT_EQ(parsed.entries[0].method, 0u);
    EXPECT_EQ(parsed.entries[0].compressedSize, content.size());
    EXPECT_EQ(parsed.entries[0].centralFlags, 0u);
    EXPECT_EQ(parsed.entries[1].method, 8u);
    EXPECT_EQ(parsed.entries[2].method, 0u);
}

TEST(ZipWriterTest, EmptyFileIsDeflatedWithFlags2) {
    TempDir dir;
    dir.Write("empty.txt");
    SetWriteTime(dir / "empty.txt", 0);  // 1970: the DOS date clamps to 1980-01-01
    MemoryArchive archive;
    ASSERT_EQ(AddEntryFromFile(archive.get(), u"empty.txt", Wide(dir / "empty.txt")), Success);
    const std::vector<std::uint8_t> bytes = archive.Finish();
    const Parsed e = Parse(bytes).entries.at(0);
    EXPECT_EQ(e.method, 8u);
    EXPECT_EQ(e.centralFlags, 2u);
    EXPECT_EQ(e.crc, 0u);
    EXPECT_EQ(e.uncompressedSize, 0u);
    EXPECT_GT(e.compressedSize, 0u);
    EXPECT_EQ(Le(bytes, 10, 4), 0x00210000u);  // time 0, date 1980-01-01
    EXPECT_READ_BACK(PythonListing(dir, bytes), "empty.txt 0x2 \n");
}

TEST(ZipWriterTest, LargeEntriesOfEveryKindReadBackExactly) {
    TempDir dir;
    const std::vector<std::uint8_t> noise = RandomBytes(300000, 1);
    SaveFile(dir / "noise.bin", noise);
    const std::string text = TextOf(1 << 20);
    dir.Write("text.txt", text);
    MemoryArchive archive(1 << 25);
    ASSERT_EQ(AddEntryFromFile(archive.get(), u"noise.bin", Wide(dir / "noise.bin")), Success);
    platform::Result<platform::File> handle =
        platform::File::OpenForReading(Wide(dir / "text.txt"));
    ASSERT_EQ(AddEntryFromHandle(archive.get(), u"text.txt", *handle), Success);
    ASSERT_EQ(AddEntryFromMemory(archive.get(), u"noise.zip", noise), Success);
    const std::vector<std::uint8_t> bytes = archive.Finish();
    const ParsedArchive parsed = Parse(bytes);
    EXPECT_GT(parsed.entries[0].compressedSize, noise.size());  // deflated even when it grows
    EXPECT_LT(parsed.entries[1].compressedSize, text.size() / 10);
    EXPECT_READ_BACK(PythonListing(dir, bytes), "noise.bin 0x2 " + Hex(noise) + "\ntext.txt 0x2 " +
                                                    Hex(AsBytes(text)) + "\nnoise.zip 0x0 " +
                                                    Hex(noise) + "\n");
}

// --- Targets ---

TEST(ZipWriterTest, FileTargetIsCreatedOrTruncated) {
    TempDir dir;
    const fs::path path = dir.Write("out.zip", std::string(100000, 'o'));
    dir.Write("a.txt", "alpha");
    auto archive = BeginArchiveToFile(Wide(path));
    ASSERT_TRUE(archive);
    EXPECT_TRUE(archive->writer->seekable());
    ASSERT_EQ(AddEntryFromFile(archive.get(), u"a.txt", Wide(dir / "a.txt")), Success);
    EXPECT_EQ(AddEntryFromFile(archive.get(), u"gone.txt", Wide(dir / "gone.txt")), OpenFailed);
    ASSERT_EQ(AddFolderEntry(archive.get(), u"d"), Success);
    EXPECT_EQ(EndArchive(archive), Success);
    EXPECT_FALSE(archive);
    EXPECT_READ_BACK(FailuresOfOtherReaders(path), "");
    EXPECT_READ_BACK(ReadWithPython(path), "a.txt 0x2 " + Hex(AsBytes("alpha")) + "\nd/ 0x0 \n");

    EXPECT_FALSE(BeginArchiveToFile(Wide(dir / "no" / "such" / "folder.zip")));
    EXPECT_EQ(GetMostRecentResult(), OpenFailed);
}

TEST(ZipWriterTest, HandleTargetStartedAtAnOffsetShiftsEveryOffset) {
    TempDir dir;
    const fs::path path = dir / "prefixed.zip";
    platform::Result<platform::File> file = platform::File::CreateAlways(Wide(path));
    ASSERT_TRUE(file->WriteAll(std::vector<std::uint8_t>(4321, 0)));
    auto archive = BeginArchiveToHandle(*file);
    ASSERT_TRUE(archive);
    const std::string content = TextOf(20000);
    ASSERT_EQ(AddEntryFromMemory(archive.get(), u"one.txt", AsBytes(content)), Success);
    ASSERT_EQ(AddEntryFromMemory(archive.get(), u"two.gz", AsBytes(content)), Success);
    EXPECT_EQ(EndArchive(archive), Success);
    ASSERT_TRUE(file->Close());  // the handle stayed the caller's

    const std::vector<std::uint8_t> bytes = ReadBytes(path);
    const ParsedArchive parsed = Parse(bytes);
    EXPECT_EQ(parsed.entries[0].localOffset, 4321u);
    EXPECT_EQ(parsed.entries[1].localOffset, 4321 + 54 + parsed.entries[0].compressedSize);
    EXPECT_EQ(parsed.directoryOffset, bytes.size() - 22 - parsed.directorySize);
    EXPECT_READ_BACK(FailuresOfOtherReaders(path), "");
    EXPECT_READ_BACK(ReadWithPython(path), "one.txt 0x2 " + Hex(AsBytes(content)) +
                                               "\ntwo.gz 0x0 " + Hex(AsBytes(content)) + "\n");
}

// Writes an archive into a named pipe, which cannot seek, while a thread collects the bytes.
class PipeTarget {
  public:
    explicit PipeTarget(const TempDir& dir) : path_(dir / "pipe") {
        zelpack::testing::MakeFifo(path_);
        reader_ = std::thread([this] { bytes_ = ReadBytes(path_); });
        if (platform::Result<platform::File> file = platform::File::CreateAlways(Wide(path_))) {
            file_ = std::move(*file);
        }
    }
    ~PipeTarget() {
        file_.reset();
        if (reader_.joinable()) {
            reader_.join();
        }
    }
    platform::File& file() { return *file_; }
    std::vector<std::uint8_t> Finish() {
        file_.reset();
        reader_.join();
        return std::move(bytes_);
    }

  private:
    fs::path path_;
    std::thread reader_;
    std::vector<std::uint8_t> bytes_;
    std::optional<platform::File> file_;
};

TEST(ZipWriterTest, PipeTargetGetsDataDescriptors) {
    if (zelpack::testing::kWindows) {
        GTEST_SKIP() << "the pipe is a named pipe in a folder, which only POSIX has";
    }
    TempDir dir;
    dir.Write("a.txt", TextOf(40000));
    std::vector<std::uint8_t> bytes;
    {
        PipeTarget pipe(dir);
        auto archive = BeginArchiveToHandle(pipe.file());
        ASSERT_TRUE(archive);
        EXPECT_FALSE(archive->writer->seekable());
        EXPECT_EQ(archive->writer->baseOffset(), 0u);
        ASSERT_EQ(AddEntryFromFile(archive.get(), u"a.txt", Wide(dir / "a.txt")), Success);
        ASSERT_EQ(AddEntryFromFile(archive.get(), u"a.zip", Wide(dir / "a.txt")), Success);
        ASSERT_EQ(AddFolderEntry(archive.get(), u"folder"), Success);
        EXPECT_EQ(EndArchive(archive), Success);
        bytes = pipe.Finish();
    }
    const ParsedArchive parsed = Parse(bytes);
    ASSERT_EQ(parsed.count, 3u);
    for (const Parsed& e : parsed.entries) {
        EXPECT_TRUE(e.descriptor) << e.name;
        EXPECT_EQ(e.centralFlags, 8u) << e.name;
        EXPECT_EQ(e.localFlags, 8u) << e.name;
        EXPECT_EQ(e.localCrc, 0u) << e.name;
    }
    // The local header keeps what it said first: the file's size, and for the stored entry
    // that size as the compressed size too.
    EXPECT_EQ(parsed.entries[0].localCompressedSize, 0u);
    EXPECT_EQ(parsed.entries[0].localUncompressedSize, 40000u);
    EXPECT_EQ(parsed.entries[1].localCompressedSize, 40000u);
    const std::string text = TextOf(40000);
    EXPECT_READ_BACK(PythonListing(dir, bytes), "a.txt 0x8 " + Hex(AsBytes(text)) + "\na.zip 0x8 " +
                                                    Hex(AsBytes(text)) + "\nfolder/ 0x8 \n");
}

TEST(ZipWriterTest, MemoryTargetKeepsOneByteFree) {
    // One stored entry of 10 bytes named "s.gz": 30+4+17 + 10 + 46+4+9 + 22 = 142 bytes.
    const std::string content = "0123456789";
    for (std::uint32_t capacity : {143u, 142u}) {
        auto archive = BeginArchiveInMemory(nullptr, capacity);
        ASSERT_TRUE(archive);
        ASSERT_EQ(AddEntryFromMemory(archive.get(), u"s.gz", AsBytes(content)), Success);
        const std::uint8_t* base = nullptr;
        std::uint32_t length = 0;
        EXPECT_EQ(GetArchiveMemory(archive.get(), base, length),
                  capacity == 143 ? Success : WriteFailed);
        EXPECT_EQ(length, 142u);
        // The end record, reaching the capacity, is refused.
        EXPECT_EQ(archive->writer->stickyError(), capacity == 143 ? Success : MemoryTooSmall);
        EXPECT_EQ(EndArchive(archive), capacity == 143 ? Success : WriteFailed);
    }
}

TEST(ZipWriterTest, MemoryTargetOverflowingDuringDataIsSticky) {
    std::vector<std::uint8_t> block(4096);
    auto archive = BeginArchiveInMemory(block.data(), static_cast<std::uint32_t>(block.size()));
    ASSERT_TRUE(archive);
    ASSERT_EQ(AddEntryFromMemory(archive.get(), u"small.txt", AsBytes("small")), Success);
    const std::vector<std::uint8_t> noise = RandomBytes(50000, 2);
    EXPECT_EQ(AddEntryFromMemory(archive.get(), u"noise.bin", noise), MemoryTooSmall);
    EXPECT_EQ(AddEntryFromMemory(archive.get(), u"later.txt", AsBytes("later")), PreviousError);
    EXPECT_EQ(AddFolderEntry(archive.get(), u"later"), PreviousError);
    EXPECT_EQ(EndArchive(archive), WriteFailed);

    // A header that does not fit fails its add as a write failure.
    std::vector<std::uint8_t> tiny(40);
    archive = BeginArchiveInMemory(tiny.data(), static_cast<std::uint32_t>(tiny.size()));
    EXPECT_EQ(AddFolderEntry(archive.get(), u"folder"), WriteFailed);
    EXPECT_EQ(AddFolderEntry(archive.get(), u"other"), PreviousError);
    EXPECT_EQ(EndArchive(archive), WriteFailed);

    EXPECT_FALSE(BeginArchiveInMemory(nullptr, 0));
    EXPECT_EQ(GetMostRecentResult(), MemoryTooSmall);
}

TEST(ZipWriterTest, CallerMemoryIsWrittenInPlace) {
    std::vector<std::uint8_t> block(1000, 0xEE);
    auto archive = BeginArchiveInMemory(block.data(), 1000);
    ASSERT_EQ(AddEntryFromMemory(archive.get(), u"m.txt", AsBytes("memory")), Success);
    const std::uint8_t* base = nullptr;
    std::uint32_t length = 0;
    ASSERT_EQ(GetArchiveMemory(archive.get(), base, length), Success);
    EXPECT_EQ(base, block.data());
    EXPECT_EQ(AddEntryFromMemory(archive.get(), u"late.txt", AsBytes("late")), AlreadyEnded);
    EXPECT_EQ(AddFolderEntry(archive.get(), u"late"), AlreadyEnded);
    // Fetching again gives the same archive.
    const std::uint8_t* again = nullptr;
    std::uint32_t againLength = 0;
    ASSERT_EQ(GetArchiveMemory(archive.get(), again, againLength), Success);
    EXPECT_EQ(againLength, length);
    EXPECT_EQ(EndArchive(archive), Success);
    EXPECT_EQ(block[length], 0xEE);
    TempDir dir;
    EXPECT_READ_BACK(PythonListing(dir, std::span(block).first(length)),
                     "m.txt 0x2 " + Hex(AsBytes("memory")) + "\n");
}

TEST(ZipWriterTest, ArchiveMemoryOfAFileTargetIsRefusedButFinishesIt) {
    TempDir dir;
    const fs::path path = dir / "file.zip";
    auto archive = BeginArchiveToFile(Wide(path));
    ASSERT_EQ(AddEntryFromMemory(archive.get(), u"x.txt", AsBytes("x")), Success);
    const std::uint8_t* base = reinterpret_cast<const std::uint8_t*>(1);
    std::uint32_t length = 0;
    EXPECT_EQ(GetArchiveMemory(archive.get(), base, length), NotMemoryTarget);
    EXPECT_EQ(base, nullptr);
    EXPECT_EQ(AddEntryFromMemory(archive.get(), u"y.txt", AsBytes("y")), AlreadyEnded);
    EXPECT_EQ(EndArchive(archive), Success);
    EXPECT_READ_BACK(ReadWithPython(path), "x.txt 0x2 78\n");
}

// --- Sources ---

TEST(ZipWriterTest, StoredStreamOfUnknownLengthOnAPipeCannotBeListed) {
    if (zelpack::testing::kWindows) {
        GTEST_SKIP() << "the pipe is a named pipe in a folder, which only POSIX has";
    }
    TempDir dir;
    const fs::path fifo = dir / "source";
    zelpack::testing::MakeFifo(fifo);
    const std::string content = TextOf(30000);
    std::thread feeder([&] { std::ofstream(fifo, std::ios::binary) << content; });
    std::vector<std::uint8_t> bytes;
    {
        PipeTarget pipe(dir);
        auto archive = BeginArchiveToHandle(pipe.file());
        {
            platform::Result<platform::File> stream = platform::File::OpenStream(Wide(fifo));
            ASSERT_TRUE(stream);
            EXPECT_EQ(AddEntryFromHandle(archive.get(), u"stream.gz", *stream), ChangeNotAllowed);
        }
        feeder.join();
        // The first reader is closed: a writer that found it open could finish before the next
        // reader opens, which would then wait for a writer for ever.
        std::thread again([&] { std::ofstream(fifo, std::ios::binary) << content; });
        platform::Result<platform::File> stream = platform::File::OpenStream(Wide(fifo));
        ASSERT_TRUE(stream);
        EXPECT_EQ(AddEntryFromHandle(archive.get(), u"stream.txt", *stream), Success);
        again.join();
        EXPECT_EQ(archive->writer->entryCount(), 1u);
        EXPECT_EQ(EndArchive(archive), Success);
        bytes = pipe.Finish();
    }
    const Parsed e = Parse(bytes).entries.at(0);
    EXPECT_EQ(e.name, "stream.txt");
    EXPECT_EQ(e.centralFlags, 8u);
    EXPECT_EQ(e.localUncompressedSize, 0xFFFFFFFFu);
    EXPECT_EQ(e.uncompressedSize, content.size());
    EXPECT_READ_BACK(PythonListing(dir, bytes, "", false),
                     "stream.txt 0x8 " + Hex(AsBytes(content)) + "\n");
}

TEST(ZipWriterTest, ReadFailureFailsTheEntryAndSparesTheArchive) {
    // Reading /proc/self/mem at offset 0 fails: nothing is mapped there.
    platform::Result<platform::File> broken = platform::File::OpenForReading(u"/proc/self/mem");
    ASSERT_TRUE(broken);
    TempDir dir;
    const fs::path path = dir / "out.zip";
    auto archive = BeginArchiveToFile(Wide(path));
    ASSERT_EQ(AddEntryFromHandle(archive.get(), u"broken.bin", *broken, 100), ReadFailed);
    EXPECT_EQ(AddEntryFromHandle(archive.get(), u"broken.gz", *broken, 100), ReadFailed);
    ASSERT_EQ(AddEntryFromMemory(archive.get(), u"fine.txt", AsBytes("fine")), Success);
    EXPECT_EQ(EndArchive(archive), Success);
    EXPECT_READ_BACK(FailuresOfOtherReaders(path, "", false), "");
    EXPECT_READ_BACK(ReadWithPython(path), "fine.txt 0x2 " + Hex(AsBytes("fine")) + "\n");
}

TEST(ZipWriterTest, GeneratorFailureFailsTheEncipheredEntryAndSparesTheArchive) {
    // No encryption header from bytes the generator did not give: the entry fails with its
    // reason before anything of it is written, and the archive goes on.
    TempDir dir;
    const fs::path path = dir / "out.zip";
    auto archive = BeginArchiveToFile(Wide(path), "pw");
    platform::faults::Inject({.operation = platform::faults::Operation::Random, .error = EIO});
    const ZipResult failed = AddEntryFromMemory(archive.get(), u"a.txt", AsBytes("a"));
    const bool struck = platform::faults::Struck();
    platform::faults::Clear();
    ASSERT_TRUE(struck);
    EXPECT_EQ(failed, WriteFailed);
    EXPECT_EQ(GetSystemError(archive.get()), std::errc::io_error);
    ASSERT_EQ(AddEntryFromMemory(archive.get(), u"b.txt", AsBytes("b")), Success);
    EXPECT_EQ(EndArchive(archive), Success);
    EXPECT_READ_BACK(ReadWithPython(path, "pw"), "b.txt 0x9 " + Hex(AsBytes("b")) + "\n");
}

TEST(ZipWriterTest, WriteFailureOnAFileIsStickyAndNeverReportedAsSuccess) {
    auto archive = BeginArchiveToFile(u"/dev/full");
    ASSERT_TRUE(archive);
    EXPECT_EQ(AddEntryFromMemory(archive.get(), u"a.txt", AsBytes("a")), WriteFailed);
    EXPECT_EQ(AddEntryFromMemory(archive.get(), u"b.txt", AsBytes("b")), PreviousError);
    EXPECT_EQ(EndArchive(archive), WriteFailed);
}

// --- Limits of the format ---

TEST(ZipWriterTest, SourcesOf4GiBAreRefusedBeforeAnythingIsWritten) {
    TempDir dir;
    const fs::path big = dir / "big.bin";
    std::ofstream(big).put('x');
    fs::resize_file(big, 0xFFFFFFFFull);  // sparse
    MemoryArchive archive;
    EXPECT_EQ(AddEntryFromFile(archive.get(), u"big.bin", Wide(big)), BadArguments);
    EXPECT_EQ(AddEntryFromFile(archive.get(), u"big.zip", Wide(big)), BadArguments);
    EXPECT_EQ(archive.get()->writer->exceededLimit(), Limit::EntrySize);
    EXPECT_EQ(archive.get()->writer->written(), 0u);
    EXPECT_EQ(archive.get()->writer->stickyError(), Success);
    EXPECT_EQ(Parse(archive.Finish()).count, 0u);
}

TEST(ZipWriterTest, EntriesThatWouldCarryTheArchivePast4GiBAreRefused) {
    TempDir dir;
    const fs::path path = dir / "high.zip";
    platform::Result<platform::File> file = platform::File::CreateAlways(Wide(path));
    const std::uint64_t start = 0xFFFFFFFFull - 2000;
    ASSERT_TRUE(file->Seek(static_cast<std::int64_t>(start), platform::SeekOrigin::Begin));
    auto archive = BeginArchiveToHandle(*file);
    ASSERT_TRUE(archive);
    EXPECT_EQ(archive->writer->baseOffset(), start);
    // 52 + 1000 + 16 + 60 + 22 bytes fit in 2000 when stored; a second 1000 do not.
    const std::vector<std::uint8_t> noise = RandomBytes(1000, 3);
    EXPECT_EQ(AddEntryFromMemory(archive.get(), u"a.zip", noise), Success);
    EXPECT_EQ(AddEntryFromMemory(archive.get(), u"b.zip", noise), BadArguments);
    EXPECT_EQ(archive->writer->exceededLimit(), Limit::ArchiveSize);
    // 500 would not fit at the compressor's worst; they fit stored, and noise is stored.
    EXPECT_EQ(AddEntryFromMemory(archive.get(), u"b.bin", std::span(noise).first(500)), Success);
    EXPECT_EQ(archive->writer->entries().back().method, record::kMethodStored);
    EXPECT_EQ(archive->writer->stickyError(), Success);
    EXPECT_EQ(EndArchive(archive), Success);
    ASSERT_TRUE(file->Close());

    // An archive cannot start where its offsets could not reach.
    platform::Result<platform::File> beyond =
        platform::File::CreateAlways(Wide(dir / "beyond.zip"));
    ASSERT_TRUE(beyond->Seek(0x100000000ll, platform::SeekOrigin::Begin));
    EXPECT_FALSE(BeginArchiveToHandle(*beyond));
    EXPECT_EQ(GetMostRecentResult(), BadArguments);
}

TEST(ZipWriterTest, EntriesAreRefusedOnlyWhereTheirStoredFormWouldPassALimit) {
    // Bounds a few kilobytes reach. One entry after another, each as the state before it leaves.
    FormatLimits limits;
    limits.entries = 5;  // the descriptor-like first entry included
    limits.entrySize = 1000;
    limits.archiveSize = 3500;
    TempDir dir;
    const std::vector<std::uint8_t> noise = RandomBytes(1000, 5);
    dir.Write("noise.bin", std::string(noise.begin(), noise.end()));
    const std::string text = TextOf(900);
    const std::string longText = TextOf(1001);
    struct Step {
        std::u16string name;
        std::span<const std::uint8_t> data;  // empty: noise.bin, from its file
        ZipResult result;
        Limit limit;
        int method;  // -1: refused
    };
    const Step steps[] = {
        {u"first.txt", AsBytes("x"), Success, Limit::None, -1},
        // Deflated, noise would pass its own size and so the size limit: it is stored.
        {u"noise.bin", {}, Success, Limit::None, record::kMethodStored},
        // The size fields hold the size before compression too.
        {u"long.txt", AsBytes(longText), BadArguments, Limit::EntrySize, -1},
        // At the compressor's worst this would pass both limits; deflated it fits.
        {u"text.txt", AsBytes(text), Success, Limit::None, record::kMethodDeflated},
        {u"more.bin", noise, Success, Limit::None, record::kMethodStored},
        // Stored it would not fit at all.
        {u"last.bin", noise, BadArguments, Limit::ArchiveSize, -1},
        {u"tiny.txt", AsBytes("y"), Success, Limit::None, -1},
        {u"one-more.txt", AsBytes("z"), BadArguments, Limit::Entries, -1},
    };
    const fs::path path = dir / "limits.zip";
    auto archive = BeginArchiveToFile(Wide(path));
    ZipWriter& writer = *archive->writer;
    writer.SetLimits(limits);
    std::string listing;
    for (const Step& step : steps) {
        const std::uint32_t before = writer.written();
        const ZipResult result =
            step.data.empty() ? AddEntryFromFile(archive.get(), step.name, Wide(dir / "noise.bin"))
                              : AddEntryFromMemory(archive.get(), step.name, step.data);
        const std::string name(step.name.begin(), step.name.end());
        EXPECT_EQ(result, step.result) << name;
        EXPECT_EQ(writer.exceededLimit(), step.limit) << name;
        if (result != Success) {
            EXPECT_EQ(writer.written(), before) << name;
            continue;
        }
        if (step.method >= 0) {
            EXPECT_EQ(writer.entries().back().method, step.method) << name;
        }
        const std::span<const std::uint8_t> data = step.data.empty() ? noise : step.data;
        listing += name + " 0x" + (writer.entries().back().method == 0 ? "0" : "2") + " " +
                   Hex(data) + "\n";
    }
    EXPECT_EQ(writer.stickyError(), Success);
    EXPECT_EQ(EndArchive(archive), Success);
    EXPECT_LE(fs::file_size(path), limits.archiveSize);
    EXPECT_READ_BACK(FailuresOfOtherReaders(path), "");
    EXPECT_READ_BACK(ReadWithPython(path), listing);
}

TEST(ZipWriterTest, The65536thEntryIsRefused) {
    MemoryArchive archive(1 << 24);
    for (std::uint32_t i = 0; i < 65535; ++i) {
        ASSERT_EQ(AddFolderEntry(archive.get(), u"d"), Success) << i;
    }
    EXPECT_EQ(AddFolderEntry(archive.get(), u"d"), BadArguments);
    EXPECT_EQ(AddEntryFromMemory(archive.get(), u"f", AsBytes("f")), BadArguments);
    EXPECT_EQ(archive.get()->writer->exceededLimit(), Limit::Entries);
    const std::vector<std::uint8_t> bytes = archive.Finish();
    EXPECT_EQ(Le(bytes, bytes.size() - 22 + 10, 2), 65535u);
    EXPECT_EQ(bytes.size(), 65535u * (49 + 57) + 22);
}

// --- Passwords ---

TEST(ZipWriterTest, PasswordsWorkOnEveryTarget) {
    TempDir dir;
    const std::string text = TextOf(70000);
    dir.Write("t.txt", text);
    // A folder entry is never enciphered, so on a seekable target its header is patched.
    auto expected = [&](const char* folderFlags) {
        return "t.txt 0x9 " + Hex(AsBytes(text)) + "\nt.gz 0x9 " + Hex(AsBytes(text)) +
               "\nempty.txt 0x9 \nf/ " + folderFlags + " \n";
    };
    auto fill = [&](ArchiveHandle* archive) {
        ASSERT_EQ(AddEntryFromFile(archive, u"t.txt", Wide(dir / "t.txt")), Success);
        ASSERT_EQ(AddEntryFromMemory(archive, u"t.gz", AsBytes(text)), Success);
        dir.Write("empty.txt");
        ASSERT_EQ(AddEntryFromFile(archive, u"empty.txt", Wide(dir / "empty.txt")), Success);
        ASSERT_EQ(AddFolderEntry(archive, u"f"), Success);
    };
    auto check = [&](const std::vector<std::uint8_t>& bytes, const char* folderFlags) {
        const ParsedArchive parsed = Parse(bytes);
        EXPECT_EQ(parsed.entries[1].compressedSize, text.size() + 12);  // stored + header
        EXPECT_EQ(parsed.entries[2].localFlags, 9u);
        // Compared as a whole only when equal: a mismatch would print megabytes.
        EXPECT_READ_BACK(PythonListing(dir, bytes, "s3cret pw") == expected(folderFlags), true);
    };

    {
        MemoryArchive archive(1 << 20, "s3cret pw");
        fill(archive.get());
        check(archive.Finish(), "0x0");
    }
    {
        auto archive = BeginArchiveToFile(Wide(dir / "file.zip"), "s3cret pw");
        fill(archive.get());
        ASSERT_EQ(EndArchive(archive), Success);
        check(ReadBytes(dir / "file.zip"), "0x0");
    }
    if (!zelpack::testing::kWindows) {  // a named pipe in a folder
        PipeTarget pipe(dir);
        auto archive = BeginArchiveToHandle(pipe.file(), "s3cret pw");
        fill(archive.get());
        ASSERT_EQ(EndArchive(archive), Success);
        check(pipe.Finish(), "0x8");
    }
    // Without the password the readers refuse the enciphered entries.
    MemoryArchive archive(1 << 20, "s3cret pw");
    fill(archive.get());
    SaveFile(dir / "locked.zip", archive.Finish());
    EXPECT_READ_BACK(ReadWithPython(dir / "locked.zip", "wrong") != expected("0x0"), true);
}

TEST(ZipWriterTest, EmptyPasswordIsNoPassword) {
    TempDir dir;
    dir.Write("a.txt", TextOf(1000));
    dir.Write("b.zip", TextOf(1000));
    SetWriteTime(dir / "a.txt", 1700000000);
    SetWriteTime(dir / "b.zip", 1700000000);
    std::vector<std::vector<std::uint8_t>> archives;
    for (const char* password : {"", static_cast<const char*>(nullptr)}) {
        const fs::path path = dir / "out.zip";
        auto archive =
            password ? BeginArchiveToFile(Wide(path), password) : BeginArchiveToFile(Wide(path));
        ASSERT_EQ(AddEntryFromFile(archive.get(), u"a.txt", Wide(dir / "a.txt")), Success);
        ASSERT_EQ(AddEntryFromFile(archive.get(), u"b.zip", Wide(dir / "b.zip")), Success);
        ASSERT_EQ(EndArchive(archive), Success);
        archives.push_back(ReadBytes(path));
    }
    EXPECT_EQ(archives[0], archives[1]);
    EXPECT_EQ(Parse(archives[0]).entries[0].centralFlags, 2u);
}

TEST(ZipWriterTest, FixedEncryptionBytesMakeEncipheredOutputReproducible) {
    const std::array<std::uint8_t, kEncryptionHeaderRandomBytes> fixed{1, 2, 3, 4,  5, 6,
                                                                       7, 8, 9, 10, 11};
    std::vector<std::vector<std::uint8_t>> outputs;
    for (int run = 0; run < 2; ++run) {
        std::vector<std::uint8_t> block(10000);
        ZipWriter writer("pw");
        writer.SetFixedEncryptionBytes(fixed);
        ASSERT_EQ(writer.OpenTarget({.memory = block.data()}, 10000, TargetKind::Memory), Success);
        ASSERT_EQ(writer.AddEntry(u"x.gz", {.memory = AsBytes("abc")}, 0, SourceKind::Memory),
                  Success);
        const std::uint8_t* base = nullptr;
        std::uint32_t length = 0;
        ASSERT_EQ(writer.GetTargetMemory(base, length), Success);
        // The enciphered header follows the 51-byte local header; its first 11 bytes depend on
        // the password and the fixed bytes alone (the check byte after them on the time).
        outputs.emplace_back(base + 51, base + 51 + 11);
    }
    EXPECT_EQ(outputs[0], outputs[1]);
}

// --- The handle and the most recent result ---

TEST(ZipWriterTest, BadHandlesAreAnsweredWithoutTouchingAnything) {
    const std::uint8_t* base = reinterpret_cast<const std::uint8_t*>(1);
    std::uint32_t length = 7;
    EXPECT_EQ(AddEntryFromMemory(nullptr, u"a", AsBytes("a")), BadArguments);
    EXPECT_EQ(AddFolderEntry(nullptr, u"a"), BadArguments);
    EXPECT_EQ(AddEntryFromFile(nullptr, u"a", u"/etc/hostname"), BadArguments);
    EXPECT_EQ(GetArchiveMemory(nullptr, base, length), BadArguments);
    EXPECT_EQ(base, nullptr);
    EXPECT_EQ(length, 0u);
    std::unique_ptr<ArchiveHandle> none;
    EXPECT_EQ(EndArchive(none), BadArguments);
    EXPECT_EQ(GetMostRecentResult(), BadArguments);
    EXPECT_FALSE(IsArchiveHandle(nullptr));

    auto archive = BeginArchiveInMemory(nullptr, 1000);
    EXPECT_EQ(GetMostRecentResult(), Success);
    EXPECT_TRUE(IsArchiveHandle(archive.get()));
    archive->kind = 1;
    EXPECT_FALSE(IsArchiveHandle(archive.get()));
    EXPECT_EQ(AddFolderEntry(archive.get(), u"a"), WrongHandleKind);
    base = nullptr;
    length = 7;
    EXPECT_EQ(GetArchiveMemory(archive.get(), base, length), WrongHandleKind);
    EXPECT_EQ(length, 7u);
    EXPECT_EQ(EndArchive(archive), WrongHandleKind);
    ASSERT_TRUE(archive);  // not released
    EXPECT_EQ(GetMostRecentResult(), WrongHandleKind);
    archive->kind = kArchiveHandleKind;
    EXPECT_EQ(AddEntryFromFile(archive.get(), u"x", u"/no/such/file"), OpenFailed);
    EXPECT_EQ(GetMostRecentResult(), OpenFailed);
    EXPECT_EQ(AddFolderEntry(archive.get(), u"a"), Success);
    EXPECT_EQ(EndArchive(archive), Success);
    EXPECT_EQ(GetMostRecentResult(), Success);
}

TEST(ZipWriterTest, TargetsAreOpenedOnlyOnce) {
    ZipWriter writer({});
    EXPECT_EQ(writer.OpenTarget({}, 0, static_cast<TargetKind>(4)), BadArguments);
    EXPECT_EQ(writer.OpenTarget({}, 100, TargetKind::Memory), Success);
    EXPECT_EQ(writer.OpenTarget({}, 100, TargetKind::Memory), NotInitialised);
    EXPECT_EQ(writer.AddEntry(u"x", {}, 0, static_cast<SourceKind>(5)), BadArguments);
    EXPECT_EQ(writer.CloseTarget(), Success);
}

}  // namespace
}  // namespace zelpack::zip
