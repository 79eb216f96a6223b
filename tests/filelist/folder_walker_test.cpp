#include "filelist/folder_walker.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

#include "filelist/default_ticks.h"
#include "platform/path.h"
#include "platform/text.h"
#include "tests/support/scoped_fault.h"
#include "tests/support/temp_dir.h"

namespace zelpack {
namespace {

namespace fs = std::filesystem;
using testing::TempDir;
using testing::Wide;

// Relative paths of a whole walk, native form, '/' separated.
std::vector<std::string> Walk(const std::u16string& folder) {
    FolderWalker walker;
    walker.Start(folder, u"*.*");
    std::vector<std::string> paths;
    FileEntry entry;
    while (walker.Next(entry)) {
        paths.push_back(platform::ToNative(platform::PortablePath(entry.cFileName)));
    }
    return paths;
}

using Paths = std::vector<std::string>;

TEST(FolderWalkerTest, SubFolderContentsComeBeforeTheRestOfTheParent) {
    TempDir dir;
    dir.Write("a.txt");
    dir.Write("m/b.txt");
    dir.Write("z.txt");
    EXPECT_EQ(Walk(dir.wide()), (Paths{"a.txt", "m/b.txt", "z.txt"}));
}

TEST(FolderWalkerTest, DeepTreeIsDepthFirstPreOrderInNameOrder) {
    TempDir dir;
    dir.Write("top/inner/b.txt");
    dir.Write("top/a.txt");
    dir.Write("Top2.txt");
    dir.Write("top/inner/deeper/c.txt");
    dir.Write("top/z.txt");
    EXPECT_EQ(Walk(dir.wide()), (Paths{"top/a.txt", "top/inner/b.txt", "top/inner/deeper/c.txt",
                                       "top/z.txt", "Top2.txt"}));
}

TEST(FolderWalkerTest, EmptyFoldersLeaveNoTrace) {
    TempDir dir;
    dir.MakeFolder("only/empty1");
    dir.MakeFolder("only/empty2/empty3");
    dir.MakeFolder("also-empty");
    EXPECT_TRUE(Walk(dir.wide()).empty());
}

TEST(FolderWalkerTest, DotNamesAreSkippedWithEverythingBelowThem) {
    TempDir dir;
    dir.Write(".svn/entries");
    dir.Write(".svn/inner/x.txt");
    dir.Write(".gitignore");
    dir.Write("sub/.hidden");
    dir.Write("sub/.dot-folder/y.txt");
    dir.Write("sub/kept.txt");
    EXPECT_EQ(Walk(dir.wide()), (Paths{"sub/kept.txt"}));
}

TEST(FolderWalkerTest, TrailingSeparatorGivesTheSameEntries) {
    TempDir dir;
    dir.Write("a.txt");
    dir.Write("m/b.txt");
    EXPECT_EQ(Walk(dir.wide() + u"/"), Walk(dir.wide()));
}

TEST(FolderWalkerTest, MissingFolderYieldsNothing) {
    TempDir dir;
    FolderWalker walker;
    EXPECT_FALSE(walker.Start(dir.wide() + u"/missing", u"*.*"));
    FileEntry entry;
    EXPECT_FALSE(walker.Next(entry));
    EXPECT_FALSE(walker.Next(entry));
}

TEST(FolderWalkerTest, KeepsReturningFalseUntilRestarted) {
    TempDir dir;
    dir.Write("a.txt");
    FolderWalker walker;
    ASSERT_TRUE(walker.Start(dir.wide(), u"*.*"));
    FileEntry entry;
    ASSERT_TRUE(walker.Next(entry));
    EXPECT_FALSE(walker.Next(entry));
    EXPECT_FALSE(walker.Next(entry));
    ASSERT_TRUE(walker.Start(dir.wide(), u"*.*"));
    EXPECT_TRUE(walker.Next(entry));
    EXPECT_EQ(entry.cFileName, u"a.txt");
}

TEST(FolderWalkerTest, RestartInTheMiddleBeginsAFreshWalk) {
    TempDir dir;
    dir.Write("d1/d2/a.txt");
    dir.Write("d1/d2/b.txt");
    dir.Write("z.txt");
    FolderWalker walker;
    walker.Start(dir.wide(), u"*.*");
    FileEntry entry;
    ASSERT_TRUE(walker.Next(entry));
    EXPECT_EQ(platform::PortablePath(entry.cFileName), u"d1/d2/a.txt");
    walker.Start(dir.wide(), u"*.*");
    std::vector<std::u16string> names;
    while (walker.Next(entry)) {
        names.push_back(platform::PortablePath(entry.cFileName));
    }
    EXPECT_EQ(names, (std::vector<std::u16string>{u"d1/d2/a.txt", u"d1/d2/b.txt", u"z.txt"}));
}

TEST(FolderWalkerTest, EntryCarriesTheListingRecord) {
    TempDir dir;
    auto file = dir.Write("sub/data.bin", std::string(3000, 'x'));
    testing::SetWriteTime(file, 1236236640);  // 2009-03-05 07:04 UTC
    FolderWalker walker;
    walker.Start(dir.wide(), u"*.*");
    FileEntry entry;
    ASSERT_TRUE(walker.Next(entry));
    EXPECT_EQ(platform::PortablePath(entry.cFileName), u"sub/data.bin");
    EXPECT_EQ(platform::FileSizeOf(entry), 3000u);
    EXPECT_EQ(entry.dwFileAttributes & platform::kAttributeDirectory, 0u);
    EXPECT_EQ(entry.ftLastWriteTime, platform::FileTimeFromUnix(1236236640));
}

TEST(FolderWalkerTest, UnlistableFolderIsReportedAsAnEntryWithTheReason) {
    TempDir dir;
    dir.Write("a.txt");
    dir.Write("locked/secret.txt");
    dir.Write("partly/one.txt");
    dir.Write("partly/two.txt");
    dir.Write("z.txt");
    struct Case {
        std::uint64_t nth;  // 1 opens the folder, later ones read its names
        const char* folder;
        int error;
    };
    for (const Case& c : {Case{1, "locked", EACCES}, Case{3, "partly", EIO}}) {
        const testing::ScopedFault fault({.operation = platform::faults::Operation::List,
                                          .nth = c.nth,
                                          .path = c.folder,
                                          .error = c.error});
        FolderWalker walker;
        ASSERT_TRUE(walker.Start(dir.wide(), u"*.*"));
        std::vector<FileEntry> entries;
        FileEntry entry;
        while (walker.Next(entry)) {
            entries.push_back(entry);
        }
        // The failing folder stands in its own place, with whatever it held left out.
        ASSERT_EQ(entries.size(), c.folder == std::string("locked") ? 5u : 4u) << c.folder;
        const auto failed = std::find_if(entries.begin(), entries.end(),
                                         [](const FileEntry& e) { return bool(e.error); });
        ASSERT_NE(failed, entries.end());
        EXPECT_EQ(platform::ToNative(failed->cFileName), c.folder);
        EXPECT_NE(failed->dwFileAttributes & platform::kAttributeDirectory, 0u);
        EXPECT_EQ(failed->error.value(), c.error);
    }

    // The folder itself: nothing to walk, and the reason.
    const testing::ScopedFault fault(
        {.operation = platform::faults::Operation::List, .error = EACCES});
    FolderWalker walker;
    EXPECT_FALSE(walker.Start(dir.wide(), u"*.*"));
    EXPECT_EQ(walker.Error(), std::errc::permission_denied);
    FileEntry entry;
    EXPECT_FALSE(walker.Next(entry));
}

TEST(FolderWalkerTest, FolderWhosePathIsTooLongIsReportedAsAnEntry) {
    if (testing::kWindows) {
        GTEST_SKIP() << "built on the POSIX path limit of 4,096 bytes";
    }
    TempDir dir;
    dir.MakeFolder("s");
    const std::string deep(250, 'm');
    dir.Write(deep + "/hidden-by-length.txt");
    dir.Write("z.txt");
    // "s/.." keeps the folder the same while the path grows: the root still opens, but its
    // sub-folder's path passes the platform's limit of 4,096 bytes.
    std::string root = dir.path().string();
    while (root.size() + 1 + deep.size() < 4096) {
        root += "/s/..";
    }
    ASSERT_LT(root.size() + 4, 4096u);
    FolderWalker walker;
    ASSERT_TRUE(walker.Start(Wide(root), u"*.*"));
    std::vector<FileEntry> entries;
    FileEntry entry;
    while (walker.Next(entry)) {
        entries.push_back(entry);
    }
    ASSERT_EQ(entries.size(), 2u);
    EXPECT_EQ(platform::ToNative(entries[0].cFileName), deep);
    EXPECT_NE(entries[0].dwFileAttributes & platform::kAttributeDirectory, 0u);
    EXPECT_EQ(entries[1].cFileName, u"z.txt");
}

TEST(FolderWalkerTest, LinksInsideAreFollowedAndNothingOutsideComesInUnseen) {
    if (!testing::kLinks) {
        GTEST_SKIP() << "no symbolic links can be made here";
    }
    TempDir dir;
    TempDir outside;
    outside.Write("secret.txt", "machine's secret");
    outside.Write("shared/s.txt");
    dir.Write("a/f.txt");
    dir.Write("real/r.txt");
    fs::create_directory_symlink("../real", dir / "a/inside");  // relative, inside: walked
    fs::create_symlink(dir / "a/f.txt", dir / "b.txt");         // absolute, inside: a plain file
    fs::create_symlink(outside / "secret.txt", dir / "secret-absolute.txt");
    fs::create_symlink(fs::relative(outside / "secret.txt", dir.path()),
                       dir / "secret-relative.txt");
    fs::create_directory_symlink(outside / "shared", dir / "a/shared");  // outside: not walked
    fs::create_directory_symlink("/", dir / "root");                     // the machine: not walked
    fs::create_directory_symlink(dir.path(), dir / "a/back-to-root");    // cycles: left out
    fs::create_directory_symlink(dir / "a", dir / "a/self");
    fs::create_symlink(dir / "missing", dir / "broken");

    FolderWalker walker;
    ASSERT_TRUE(walker.Start(dir.wide(), u"*.*"));
    std::vector<std::string> walked;
    std::vector<std::string> outside_links;
    std::vector<std::string> via_links;
    FileEntry entry;
    while (walker.Next(entry)) {
        walked.push_back(platform::ToNative(entry.cFileName));
        EXPECT_FALSE(entry.error) << walked.back();
        if (entry.outside_link) {
            outside_links.push_back(walked.back());
            EXPECT_FALSE(IsCheckedByDefault(entry));
        }
        if (entry.via_link) {
            via_links.push_back(walked.back());
        }
    }
    EXPECT_EQ(walked, (Paths{"a/f.txt", "a/inside/r.txt", "b.txt", "real/r.txt",
                             "secret-absolute.txt", "secret-relative.txt"}));
    EXPECT_EQ(outside_links, (Paths{"secret-absolute.txt", "secret-relative.txt"}));
    // What packing may reach through a link: the links themselves and what lies below one.
    EXPECT_EQ(via_links,
              (Paths{"a/inside/r.txt", "b.txt", "secret-absolute.txt", "secret-relative.txt"}));
    EXPECT_EQ(walker.UnfollowedLinks(), (std::vector<std::u16string>{u"a/shared", u"root"}));

    // The plug-in folder reached through a link of its own is judged by where it really is.
    fs::create_directory_symlink(dir.path(), outside / "plugin-link");
    EXPECT_EQ(Walk(Wide(outside / "plugin-link")), walked);
}

TEST(FolderWalkerTest, OddNamesRoundTripThroughTheWalk) {
    TempDir dir;
    // Latin-1 bytes, not UTF-8, where names are bytes; an astral character elsewhere.
    const std::string odd =
        testing::kByteNames ? "caf\xE9-\xFF.txt" : "caf\xC3\xA9-\xF0\x9F\x98\x80.txt";
    dir.Write("中文/" + odd);
    auto paths = Walk(dir.wide());
    ASSERT_EQ(paths.size(), 1u);
    EXPECT_EQ(paths[0], "中文/" + odd);
}

}  // namespace
}  // namespace zelpack
