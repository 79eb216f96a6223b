#include "platform/listing.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <vector>

#include "platform/file.h"
#include "platform/text.h"
#include "tests/support/scoped_fault.h"
#include "tests/support/temp_dir.h"

namespace zelpack::platform {
namespace {

namespace fs = std::filesystem;
using testing::TempDir;
using testing::Wide;
using Names = std::vector<std::u16string>;

std::vector<FindData> List(const fs::path& folder, std::u16string_view pattern = u"*.*",
                           std::span<const FolderId> enclosing = {}) {
    std::vector<FindData> records;
    FindData record;
    Result<FindHandle> handle =
        FindFirstFile(Wide(folder) + u"/" + std::u16string(pattern), record, enclosing);
    if (!handle) {
        return records;
    }
    for (bool more = true; more; more = FindNextFile(*handle, record)) {
        records.push_back(record);
    }
    FindClose(*handle);
    return records;
}

Names ListNames(const fs::path& folder, std::u16string_view pattern = u"*.*",
                std::span<const FolderId> enclosing = {}) {
    Names names;
    for (const FindData& record : List(folder, pattern, enclosing)) {
        names.push_back(record.cFileName);
    }
    return names;
}

FindData Only(const fs::path& path) {
    std::vector<FindData> records = List(path.parent_path(), Wide(path.filename()));
    EXPECT_EQ(records.size(), 1u) << path;
    return records.empty() ? FindData{} : records[0];
}

FolderId IdOf(const fs::path& folder) {
    FindData record;
    const Result<FindHandle> handle = FindFirstFile(Wide(folder) + u"/*", record);
    return handle ? handle->Folder() : FolderId{};
}

TEST(ListingTest, FoldersThatCannotBeListedGiveAnInvalidHandle) {
    TempDir dir;
    dir.Write("file.txt");
    const fs::path locked = dir.MakeFolder("locked");
    fs::permissions(locked, fs::perms::none);
    FindData record;
    for (const std::u16string& path :
         {dir.wide() + u"/missing/*.*", dir.wide() + u"/file.txt/*",
          dir.wide() + u"/" + std::u16string(5000, u'n') + u"/*", dir.wide() + u"/*.none"}) {
        EXPECT_FALSE(FindFirstFile(path, record));
    }
    std::error_code denied;
    fs::directory_iterator probe(locked, denied);
    if (denied) {  // root reads every folder
        EXPECT_FALSE(FindFirstFile(Wide(locked) + u"/*", record));
    }
}

TEST(ListingTest, DotEntriesComeFirstThenNamesInNtfsOrder) {
    TempDir dir;
    for (const char* name : {"b", "_x", "Z", "a_", "~t", "aZ", "!bang", "a", "\xC3\xA4"}) {
        dir.Write(name);
    }
    // Upper-cased 'Z' (0x5A) comes before '_' (0x5F); '!' sorts before '.', yet "." and ".."
    // still lead. The listing, not the file system, sorts: Wine's drive lists in its own order.
    Names expected{u".", u"..", u"!bang", u"a", u"aZ", u"a_", u"b", u"Z", u"_x", u"~t", u"ä"};
    if (testing::kByteNames) {
        // "B" and "b" tie and fall back to the exact units (one name on Windows).
        dir.Write("B");
        expected.insert(expected.begin() + 6, u"B");
    }
    EXPECT_EQ(ListNames(dir.path()), expected);
    // The walker doubles the separator of a folder given with a trailing one.
    EXPECT_EQ(ListNames(Wide(dir.path()) + u"/"), expected);
}

TEST(ListingTest, LettersBeyondAsciiSortWithoutRegardToCase) {
    TempDir dir;
    // In each pair the capital sorts first by raw units, the small letter after upper-casing.
    const Names names{u"áa", u"Áb", u"ăa", u"Ăb", u"ÿa",  u"Ÿb",
                      u"βa", u"Βb", u"бa", u"Бb", u"ａa", u"Ａb"};
    for (const std::u16string& name : names) {
        dir.Write(ToNative(name));
    }
    Names expected{u".", u".."};
    expected.insert(expected.end(), names.begin(), names.end());
    EXPECT_EQ(ListNames(dir.path()), expected);
}

TEST(ListingTest, PatternsFilterWithoutRegardToCase) {
    TempDir dir;
    for (const char* name : {"a.txt", "B.TXT", "c.txt.bak", "noext", "ab.txt"}) {
        dir.Write(name);
    }
    EXPECT_EQ(ListNames(dir.path(), u"*.txt"), (Names{u"a.txt", u"ab.txt", u"B.TXT"}));
    EXPECT_EQ(ListNames(dir.path(), u"?.TxT"), (Names{u"a.txt", u"B.TXT"}));
    EXPECT_EQ(ListNames(dir.path(), u"*"),
              (Names{u".", u"..", u"a.txt", u"ab.txt", u"B.TXT", u"c.txt.bak", u"noext"}));
    EXPECT_EQ(ListNames(dir.path(), u"*.*"), ListNames(dir.path(), u"*"));
}

TEST(ListingTest, RecordsCarryAttributesSizesAndTimes) {
    TempDir dir;
    const fs::path file = dir.Write("file.bin", "12345");
    const fs::path locked = dir.Write("locked.txt");
    const fs::path folder = dir.MakeFolder("folder");
    const fs::path locked_folder = dir.MakeFolder("locked-folder");
    const fs::path big = dir.Write("big.bin");
    // Wine will not set a folder's times through the C++ library.
    const bool folder_times = !testing::kWindows;
    fs::resize_file(big, (std::uint64_t{5} << 30) + 7);  // sparse, so cheap
    for (const fs::path& path : {locked, locked_folder}) {
        fs::permissions(path, fs::perms::owner_write, fs::perm_options::remove);
    }
    testing::SetWriteTime(file, 1'236'236'640);
    if (folder_times) {
        testing::SetWriteTime(folder, 1'000'000'000);
    }

    FindData record = Only(file);
    EXPECT_EQ(record.dwFileAttributes, kAttributeArchive);
    EXPECT_EQ(FileSizeOf(record), 5u);
    EXPECT_EQ(record.ftLastWriteTime, 116'444'736'000'000'000ULL + 12'362'366'400'000'000ULL);
    EXPECT_NE(record.ftCreationTime, 0u);
    EXPECT_NE(record.ftLastAccessTime, 0u);

    record = Only(folder);
    EXPECT_EQ(record.dwFileAttributes, kAttributeDirectory);
    EXPECT_EQ(FileSizeOf(record), 0u);
    if (folder_times) {
        EXPECT_EQ(record.ftLastWriteTime, FileTimeFromUnix(1'000'000'000));
    }

    EXPECT_EQ(Only(locked).dwFileAttributes, kAttributeArchive | kAttributeReadOnly);
    if (!testing::kWindows) {  // a read-only folder means something else to Windows
        EXPECT_EQ(Only(locked_folder).dwFileAttributes, kAttributeDirectory | kAttributeReadOnly);
    }
    record = Only(big);
    EXPECT_EQ(record.nFileSizeHigh, 1u);
    EXPECT_EQ(record.nFileSizeLow, (1u << 30) + 7);
}

TEST(ListingTest, SymbolicLinksAreFollowedAndBrokenOnesLeftOut) {
    if (!testing::kLinks) {
        GTEST_SKIP() << "no symbolic links can be made here";
    }
    TempDir dir;
    dir.Write("target.txt", "content");
    dir.Write("target-folder/inside.txt");
    fs::create_symlink("target.txt", dir / "file-link");
    fs::create_directory_symlink("target-folder", dir / "folder-link");
    fs::create_symlink("nowhere", dir / "broken-link");
    fs::create_symlink("loop-b", dir / "loop-a");
    fs::create_symlink("loop-a", dir / "loop-b");

    EXPECT_EQ(ListNames(dir.path()),
              (Names{u".", u"..", u"file-link", u"folder-link", u"target-folder", u"target.txt"}));
    // A link is described by its target, marked as a reparse point the way Windows marks one.
    const FindData file = Only(dir / "file-link");
    EXPECT_EQ(file.dwFileAttributes, kAttributeArchive | kAttributeReparsePoint);
    EXPECT_EQ(file.dwReserved0, kReparseTagSymlink);
    EXPECT_EQ(FileSizeOf(file), 7u);
    EXPECT_EQ(Only(dir / "folder-link").dwFileAttributes,
              kAttributeDirectory | kAttributeReparsePoint);
    EXPECT_EQ(Only(dir / "target.txt").dwReserved0, 0u);
    // A listing through the link identifies the same folder as the direct one.
    EXPECT_EQ(IdOf(dir / "folder-link"), IdOf(dir / "target-folder"));
    EXPECT_NE(IdOf(dir / "target-folder"), IdOf(dir.path()));
}

TEST(ListingTest, LinksThatCloseACycleAreLeftOut) {
    if (!testing::kLinks) {
        GTEST_SKIP() << "no symbolic links can be made here";
    }
    TempDir dir;
    const fs::path top = dir.MakeFolder("top");
    const fs::path inner = dir.MakeFolder("top/inner");
    dir.Write("top/inner/file.txt");
    fs::create_directory_symlink(".", inner / "self");
    fs::create_directory_symlink("..", inner / "up");
    fs::create_directory_symlink(top, inner / "absolute-up");
    fs::create_directory_symlink(dir.path(), inner / "outside");

    // Without the folders above, only the link to the listed folder itself is a cycle.
    EXPECT_EQ(ListNames(inner),
              (Names{u".", u"..", u"absolute-up", u"file.txt", u"outside", u"up"}));
    const FolderId above[] = {IdOf(dir.path()), IdOf(top)};
    EXPECT_EQ(ListNames(inner, u"*.*", above), (Names{u".", u"..", u"file.txt"}));
}

TEST(ListingTest, OnlyRegularFilesAndFoldersAreListed) {
    if (testing::kWindows) {
        GTEST_SKIP() << "named pipes and devices are no entries of a Windows folder";
    }
    TempDir dir;
    dir.Write("plain.txt");
    testing::MakeFifo(dir / "pipe");
    fs::create_symlink("pipe", dir / "pipe-link");
    fs::create_symlink("/dev/null", dir / "device-link");
    EXPECT_EQ(ListNames(dir.path()), (Names{u".", u"..", u"plain.txt"}));
    EXPECT_FALSE(QueryFile(Wide(dir / "pipe")));
    EXPECT_FALSE(QueryFile(u"/dev/null"));
}

TEST(ListingTest, FailuresCarryTheSystemsReasonAndNothingGoesMissingSilently) {
    TempDir dir;
    dir.Write("sub/a.txt");
    dir.Write("sub/b.txt");
    FindData record;
    const Result<FindHandle> missing = FindFirstFile(dir.wide() + u"/missing/*", record);
    EXPECT_EQ(missing.error(), std::errc::no_such_file_or_directory);

    // Opening, or reading the folder part of the way, fails the whole listing.
    for (std::uint64_t nth : {1, 2, 4}) {
        const testing::ScopedFault fault(
            {.operation = faults::Operation::List, .nth = nth, .path = "sub", .error = EIO});
        EXPECT_EQ(FindFirstFile(dir.wide() + u"/sub/*", record).error(), std::errc::io_error)
            << nth;
        EXPECT_TRUE(faults::Struck());
    }

    // A name whose status cannot be read is handed out with its name and the reason (POSIX: a
    // Windows listing gives each name with its record).
    if (testing::kWindows) {
        return;
    }
    const testing::ScopedFault fault(
        {.operation = faults::Operation::Status, .path = "b.txt", .error = EACCES});
    Result<FindHandle> handle = FindFirstFile(dir.wide() + u"/sub/*.txt", record);
    ASSERT_TRUE(handle);
    EXPECT_EQ(record.cFileName, u"a.txt");
    EXPECT_FALSE(handle->RecordError());
    ASSERT_TRUE(FindNextFile(*handle, record));
    EXPECT_EQ(record.cFileName, u"b.txt");
    EXPECT_EQ(handle->RecordError(), std::errc::permission_denied);
    EXPECT_EQ(record.dwFileAttributes, 0u);
    EXPECT_FALSE(FindNextFile(*handle, record));
}

TEST(ListingTest, NamesThatVanishAfterTheFolderWasReadAreSkipped) {
    if (testing::kWindows) {
        GTEST_SKIP() << "a Windows listing hands out each name with the record it was read with";
    }
    TempDir dir;
    for (const char* name : {"a.txt", "b.txt", "c.txt"}) {
        dir.Write(name);
    }
    FindData record;
    Result<FindHandle> handle = FindFirstFile(dir.wide() + u"/*.txt", record);
    ASSERT_TRUE(handle);
    EXPECT_EQ(record.cFileName, u"a.txt");
    fs::remove(dir / "b.txt");
    ASSERT_TRUE(FindNextFile(*handle, record));
    EXPECT_EQ(record.cFileName, u"c.txt");
    EXPECT_FALSE(FindNextFile(*handle, record));
    EXPECT_FALSE(FindNextFile(*handle, record));
}

TEST(ListingTest, OddNamesAreListedAndOpenedUnderTheirExactBytes) {
    TempDir dir;
    std::vector<std::string> names = {
        "\xE4\xB8\xAD\xE6\x96\x87.xml",  // 中文.xml
        "\xF0\x9F\x98\x80",              // astral, a surrogate pair
    };
    if (testing::kByteNames) {
        names.push_back("\xFF\xFE.txt");     // not UTF-8 at all
        names.push_back("caf\xC3\xA9\x80");  // valid text, then a stray continuation byte
    }
    for (const std::string& name : names) {
        dir.Write(name, "content of " + name);
    }
    const Names listed = ListNames(dir.path());
    ASSERT_EQ(listed.size(), 2 + names.size());
    for (const std::string& name : names) {
        const std::u16string wide = FromNative(name);
        EXPECT_NE(std::find(listed.begin(), listed.end(), wide), listed.end());
        const auto content = ReadWholeFile(dir.wide() + u"/" + wide);
        ASSERT_TRUE(content);
        EXPECT_EQ(std::string(content->begin(), content->end()), "content of " + name);
    }
}

TEST(ListingTest, QueryFileDescribesOnePath) {
    TempDir dir;
    dir.Write("sub/file.txt", "abc");
    const fs::path link = testing::kLinks ? dir / "link" : dir / "sub/file.txt";
    if (testing::kLinks) {
        fs::create_symlink("sub/file.txt", link);
    }

    const Result<FindData> linked = QueryFile(Wide(link));
    ASSERT_TRUE(linked);
    EXPECT_EQ(linked->cFileName, testing::kLinks ? u"link" : u"file.txt");
    EXPECT_EQ(linked->dwFileAttributes, kAttributeArchive);
    EXPECT_EQ(FileSizeOf(*linked), 3u);

    const Result<FindData> folder = QueryFile(Wide(dir / "sub") + u"/");
    ASSERT_TRUE(folder);
    EXPECT_EQ(folder->cFileName, u"sub");
    EXPECT_EQ(folder->dwFileAttributes, kAttributeDirectory);

    EXPECT_FALSE(QueryFile(Wide(dir / "missing")));
}

}  // namespace
}  // namespace zelpack::platform
