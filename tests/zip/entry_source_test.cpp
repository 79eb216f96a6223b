#include "zip/entry_source.h"

#include <gtest/gtest.h>
#include <zlib.h>

#include <array>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "platform/filetime.h"
#include "tests/support/temp_dir.h"
#include "zip/dos_time.h"

namespace zelpack::zip {
namespace {

namespace fs = std::filesystem;
using testing::FileTimeOf;
using testing::TempDir;
using testing::Wide;

std::vector<std::uint8_t> ReadAll(EntrySource& source, std::size_t chunk = 7) {
    std::vector<std::uint8_t> out;
    std::vector<std::uint8_t> buffer(chunk);
    while (std::size_t count = source.ReadSource(buffer)) {
        out.insert(out.end(), buffer.begin(), buffer.begin() + static_cast<long>(count));
    }
    return out;
}

std::uint32_t ZlibCrc(const std::string& text) {
    return static_cast<std::uint32_t>(
        crc32(0, reinterpret_cast<const Bytef*>(text.data()), static_cast<uInt>(text.size())));
}

// A PE image header: MZ, the new-header offset at 60, "PE\0\0" there; a shorter image holds
// only what fits.
std::string PeImage(std::uint32_t header_offset, std::size_t size, const char* signature = "PE") {
    std::string image(size, '\0');
    image[0] = 'M';
    image[1] = 'Z';
    if (size >= 64) {
        for (int i = 0; i < 4; ++i) {
            image[60 + i] = static_cast<char>(header_offset >> (8 * i));
        }
    }
    if (header_offset + 4 <= size) {
        image[header_offset] = signature[0];
        image[header_offset + 1] = signature[1];
    }
    return image;
}

TEST(DosTimeTest, KnownAnswerAndByteOrder) {
    const DosDateTime dos = FileTimeToDosDateTime(FileTimeOf(2024, 5, 17, 13, 45, 31));
    EXPECT_EQ(dos.date, 0x58B1);
    EXPECT_EQ(dos.time, 0x6DAF);
    const std::uint32_t packed = PackDosDateTime(dos);
    EXPECT_EQ(packed, 0x58B16DAFu);
    const std::array<std::uint8_t, 4> little{
        static_cast<std::uint8_t>(packed), static_cast<std::uint8_t>(packed >> 8),
        static_cast<std::uint8_t>(packed >> 16), static_cast<std::uint8_t>(packed >> 24)};
    EXPECT_EQ(little, (std::array<std::uint8_t, 4>{0xAF, 0x6D, 0xB1, 0x58}));
}

TEST(DosTimeTest, ClampsOutsideTheRepresentableYears) {
    const DosDateTime unix_epoch = FileTimeToDosDateTime(platform::kUnixEpochAsFileTime);
    EXPECT_EQ(unix_epoch.date, 0x0021);
    EXPECT_EQ(unix_epoch.time, 0x0000);
    const DosDateTime first = FileTimeToDosDateTime(FileTimeOf(1980, 1, 1, 0, 0, 0));
    EXPECT_EQ(first.date, 0x0021);
    EXPECT_EQ(first.time, 0);
    const DosDateTime last = FileTimeToDosDateTime(FileTimeOf(2107, 12, 31, 23, 59, 59));
    EXPECT_EQ(last.date, 0xFF9F);
    EXPECT_EQ(last.time, 0xBF7D);
    const DosDateTime later = FileTimeToDosDateTime(FileTimeOf(2108, 1, 1, 0, 0, 0));
    EXPECT_EQ(later.date, kDosDateTimeMax.date);
    EXPECT_EQ(later.time, kDosDateTimeMax.time);
    EXPECT_EQ(FileTimeToDosDateTime(~platform::FileTime{0}).date, kDosDateTimeMax.date);
}

TEST(DosTimeTest, UnixTimeTruncatesTowardZero) {
    EXPECT_EQ(FileTimeToUnixTime(platform::kUnixEpochAsFileTime), 0);
    EXPECT_EQ(FileTimeToUnixTime(platform::kUnixEpochAsFileTime + 15'000'000), 1);
    EXPECT_EQ(FileTimeToUnixTime(platform::kUnixEpochAsFileTime - 15'000'000), -1);
    EXPECT_EQ(FileTimeToUnixTime(FileTimeOf(2024, 5, 17, 13, 45, 31)), 1715953531);
    EXPECT_EQ(FileTimeToUnixTime(0), -11644473600);
}

TEST(EntrySourceTest, FileAttributesSizeTimesAndBytes) {
    TempDir dir;
    const fs::path plain = dir.Write("plain.txt", "hello, world");
    testing::SetWriteTime(plain, 1715953531);  // 2024-05-17 13:45:31 UTC
    EntrySource source;
    ASSERT_EQ(source.OpenSourceFile(Wide(plain)), Success);
    EXPECT_EQ(source.sourceAttributes, 0x81800020u);
    EXPECT_EQ(source.sourceSize, 12);
    EXPECT_EQ(source.sourceDosDateTime, 0x58B16DAFu);
    EXPECT_EQ(source.sourceWriteTime, 1715953531);
    EXPECT_TRUE(source.ownsSource);
    EXPECT_EQ(ReadAll(source), std::vector<std::uint8_t>(
                                   {'h', 'e', 'l', 'l', 'o', ',', ' ', 'w', 'o', 'r', 'l', 'd'}));
    EXPECT_EQ(source.sourceCrc, ZlibCrc("hello, world"));
    EXPECT_EQ(source.sourceBytesRead, 12u);
    EXPECT_EQ(source.sourceError, Success);
    source.CloseSource();
    EXPECT_EQ(source.sourceHandle, nullptr);
    EXPECT_FALSE(source.ownedFile.has_value());
    EXPECT_EQ(source.sourceSize, 12);

    const fs::path locked = dir.Write("locked.txt", "x");
    fs::permissions(locked, fs::perms::owner_write, fs::perm_options::remove);
    ASSERT_EQ(source.OpenSourceFile(Wide(locked)), Success);
    EXPECT_EQ(source.sourceAttributes, 0x81000021u);

    const fs::path exe = dir.Write("tool.exe", PeImage(128, 512));
    ASSERT_EQ(source.OpenSourceFile(Wide(exe)), Success);
    EXPECT_EQ(source.sourceAttributes, 0x81C00020u);
    // The executable probe moved the file; reading still starts at its beginning.
    const std::vector<std::uint8_t> bytes = ReadAll(source, 4096);
    ASSERT_EQ(bytes.size(), 512u);
    EXPECT_EQ(bytes[0], 'M');

    EXPECT_EQ(source.OpenSourceFolder(), Success);
    EXPECT_EQ(source.sourceAttributes, 0x41C00010u);
    EXPECT_EQ(source.sourceSize, 0);
    EXPECT_EQ(source.ReadSource(std::span<std::uint8_t>()), 0u);
}

TEST(EntrySourceTest, ExecutableImageRules) {
    TempDir dir;
    auto check = [&](const std::string& content) {
        const fs::path path = dir.Write("probe.bin", content);
        platform::Result<platform::File> file = platform::File::OpenForReading(Wide(path));
        EXPECT_TRUE(file);
        return IsExecutableImage(*file, content.size());
    };
    EXPECT_TRUE(check(PeImage(64, 200)));
    EXPECT_TRUE(check(PeImage(64, 200, "NE")));
    EXPECT_TRUE(check(PeImage(64, 200, "LE")));
    EXPECT_FALSE(check(PeImage(64, 200, "XY")));
    std::string trailing = PeImage(64, 200);
    trailing[66] = 'x';  // the two bytes after the signature must be zero
    EXPECT_FALSE(check(trailing));
    // The new header must leave 52 bytes before the end.
    EXPECT_TRUE(check(PeImage(147, 200)));
    EXPECT_FALSE(check(PeImage(148, 200)));
    EXPECT_FALSE(check(PeImage(0xFFFFFFF0u, 200)));  // no wrap-around of offset + 52
    EXPECT_FALSE(check(PeImage(64, 40)));            // MZ alone: 40 bytes are too few
    std::string no_mz = PeImage(64, 200);
    no_mz[0] = 'Z';
    EXPECT_FALSE(check(no_mz));
    // A size that claims more than the file holds: the short read means no.
    const fs::path path = dir.Write("short.bin", PeImage(100, 70));
    platform::Result<platform::File> file = platform::File::OpenForReading(Wide(path));
    EXPECT_FALSE(IsExecutableImage(*file, 1000));
}

TEST(EntrySourceTest, EmptyFileAndMissingFile) {
    TempDir dir;
    EntrySource source;
    ASSERT_EQ(source.OpenSourceFile(Wide(dir.Write("empty"))), Success);
    EXPECT_EQ(source.sourceSize, 0);
    EXPECT_TRUE(ReadAll(source).empty());
    EXPECT_EQ(source.sourceCrc, 0u);
    source.CloseSource();
    EXPECT_EQ(source.sourceSize, 0);

    EXPECT_EQ(source.OpenSourceFile(Wide(dir / "missing")), OpenFailed);
    EXPECT_EQ(source.sourceHandle, nullptr);
    EXPECT_EQ(source.OpenSourceFile(u""), BadArguments);
    EXPECT_EQ(source.OpenSourceFile(dir.wide()), OpenFailed);  // a folder is no file source
}

TEST(EntrySourceTest, SizesOf4GiBAndMoreStayVisible) {
    TempDir dir;
    const fs::path big = dir.Write("big.bin");
    fs::resize_file(big, kMaxEntrySize + 2);  // sparse: no data blocks are written
    EntrySource source;
    ASSERT_EQ(source.OpenSourceFile(Wide(big)), Success);
    EXPECT_EQ(source.sourceSize, static_cast<std::int64_t>(kMaxEntrySize) + 2);
}

TEST(EntrySourceTest, SeekableHandleIsRewoundAndLengthIgnored) {
    TempDir dir;
    const fs::path path = dir.Write("data.txt", "0123456789");
    platform::Result<platform::File> file = platform::File::OpenForReading(Wide(path));
    ASSERT_TRUE(file);
    ASSERT_TRUE(file->Seek(5, platform::SeekOrigin::Begin));
    EntrySource source;
    ASSERT_EQ(source.OpenSourceHandle(&*file, 3), Success);
    EXPECT_EQ(source.sourceSize, 10);
    EXPECT_FALSE(source.ownsSource);
    EXPECT_EQ(ReadAll(source).size(), 10u);
    source.CloseSource();
    // The caller's handle stays open.
    EXPECT_TRUE(file->IsOpen());
    EXPECT_EQ(source.sourceSize, 10);

    EXPECT_EQ(source.OpenSourceHandle(nullptr, 0), BadArguments);
    platform::File closed;
    EXPECT_EQ(source.OpenSourceHandle(&closed, 0), BadArguments);
}

TEST(EntrySourceTest, MemorySource) {
    const std::string text = "memory block";
    const std::span<const std::uint8_t> block(reinterpret_cast<const std::uint8_t*>(text.data()),
                                              text.size());
    EntrySource source;
    ASSERT_EQ(source.OpenSourceMemory(block), Success);
    EXPECT_EQ(source.sourceAttributes, 0x80000000u);
    EXPECT_EQ(source.sourceSize, 12);
    EXPECT_EQ(source.sourceAccessTime, source.sourceWriteTime);
    EXPECT_EQ(source.sourceCreateTime, source.sourceWriteTime);
    EXPECT_EQ(ReadAll(source, 5).size(), 12u);
    EXPECT_EQ(source.sourceCrc, ZlibCrc(text));
    EXPECT_EQ(source.ReadSource(std::span<std::uint8_t>()), 0u);
    source.CloseSource();
    EXPECT_EQ(source.sourceSize, 12);

    EXPECT_EQ(source.OpenSourceMemory(block.first(0)), BadArguments);
    EXPECT_EQ(source.OpenSourceMemory({}), BadArguments);
}

TEST(EntrySourceTest, ReadingWithoutSourceOrFailingMidwayIsReported) {
    EntrySource source;
    std::array<std::uint8_t, 8> buffer{};
    EXPECT_EQ(source.ReadSource(buffer), 0u);
    EXPECT_EQ(source.sourceError, NotInitialised);

    // A read that fails must not pass for the end of the data.
    TempDir dir;
    const fs::path path = dir.Write("data.bin", "abc");
    platform::Result<platform::File> file = platform::File::OpenForReading(Wide(path));
    ASSERT_EQ(source.OpenSourceHandle(&*file, 0), Success);
    EXPECT_EQ(source.sourceError, Success);
    ASSERT_TRUE(file->Close());  // the descriptor goes away under the source
    EXPECT_EQ(source.ReadSource(buffer), 0u);
    EXPECT_EQ(source.sourceError, ReadFailed);
    EXPECT_EQ(source.sourceBytesRead, 0u);
}

TEST(EntrySourceTest, CurrentTimeStampsLocalClockAsUtc) {
    auto local_now = [] {
        platform::FileTime time = 0;
        EXPECT_TRUE(platform::SystemTimeToFileTime(platform::GetLocalTime(), time));
        return FileTimeToUnixTime(time);
    };
    const std::int64_t before = local_now();
    EntrySource source;
    ASSERT_EQ(source.OpenSourceFolder(), Success);
    const std::int64_t after = local_now();
    EXPECT_GE(source.sourceWriteTime, before);
    EXPECT_LE(source.sourceWriteTime, after);
    EXPECT_EQ(source.sourceAccessTime, source.sourceWriteTime);
    EXPECT_EQ(source.sourceCreateTime, source.sourceWriteTime);
    EXPECT_NE(source.sourceDosDateTime >> 16, 0u);
}

}  // namespace
}  // namespace zelpack::zip
