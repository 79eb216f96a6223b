#include "platform/file.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <set>
#include <vector>

#include "platform/path.h"
#include "platform/text.h"
#include "tests/support/temp_dir.h"
#ifdef _WIN32
#include "platform/win32/win32.h"
#endif

namespace zelpack::platform {
namespace {

namespace fs = std::filesystem;
using testing::TempDir;

std::span<const std::uint8_t> Bytes(std::string_view text) {
    return {reinterpret_cast<const std::uint8_t*>(text.data()), text.size()};
}

TEST(FileTest, CreateAlwaysCreatesAndTruncates) {
    TempDir dir;
    const std::u16string path = dir.wide() + u"/out.bin";
    Result<File> file = File::CreateAlways(path);
    ASSERT_TRUE(file);
    EXPECT_TRUE(file->WriteAll(Bytes("first, longer content")));
    EXPECT_TRUE(file->Close());
    EXPECT_FALSE(file->Close());

    file = File::CreateAlways(path);
    ASSERT_TRUE(file);
    EXPECT_EQ(file->Size(), 0u);
    EXPECT_TRUE(file->WriteAll(Bytes("second")));
    EXPECT_TRUE(file->Close());
    EXPECT_EQ(testing::ReadText(dir / "out.bin"), "second");
    EXPECT_FALSE(File::CreateAlways(dir.wide() + u"/missing/out.bin"));
}

TEST(FileTest, ReadingAndSeeking) {
    TempDir dir;
    dir.Write("in.txt", "0123456789");
    Result<File> opened = File::OpenForReading(dir.wide() + u"/in.txt");
    ASSERT_TRUE(opened);
    File file = std::move(*opened);
    EXPECT_FALSE(opened->IsOpen());
    EXPECT_EQ(file.Size(), 10u);

    std::uint8_t buffer[4];
    EXPECT_EQ(file.Seek(-2, SeekOrigin::End), 8u);
    EXPECT_EQ(file.ReadFull(buffer), 2u);  // short at the end of the file
    EXPECT_EQ(std::string(buffer, buffer + 2), "89");
    EXPECT_EQ(file.Read(buffer), 0u);
    EXPECT_EQ(file.Seek(3, SeekOrigin::Begin), 3u);
    EXPECT_EQ(file.Seek(2, SeekOrigin::Current), 5u);
    EXPECT_EQ(file.ReadFull(buffer), 4u);
    EXPECT_EQ(std::string(buffer, buffer + 4), "5678");
    EXPECT_FALSE(file.Seek(-1, SeekOrigin::Begin));
    EXPECT_FALSE(file.WriteAll(Bytes("x")));  // opened read-only
}

TEST(FileTest, OpenForReadingTakesOnlyRegularFiles) {
    TempDir dir;
    dir.Write("real.txt", "abc");
    dir.MakeFolder("folder");
    std::vector<std::u16string> refused = {dir.wide() + u"/folder", dir.wide() + u"/missing",
                                           dir.wide() + u"/real.txt" + std::u16string(1, u'\0')};
    if (testing::kWindows) {
        refused.push_back(u"NUL");  // the null device
    } else {
        testing::MakeFifo(dir / "pipe");  // opening it must not wait for a writer
        fs::create_symlink("real.txt", dir / "link");
        EXPECT_TRUE(File::OpenForReading(dir.wide() + u"/link"));
        refused.push_back(dir.wide() + u"/pipe");
        refused.push_back(u"/dev/null");
    }
    EXPECT_TRUE(File::OpenForReading(dir.wide() + u"/real.txt"));
    for (const std::u16string& path : refused) {
        EXPECT_FALSE(File::OpenForReading(path)) << ToNative(path);
    }
}

// Scripts read the failure's name, which stays the same in every language the system speaks.
TEST(FileTest, FailuresHaveTheirSystemsSymbolicNames) {
    TempDir dir;
    dir.MakeFolder("folder");
#ifdef _WIN32
    const std::error_category& system = Win32Category();
#else
    const std::error_category& system = std::system_category();
#endif
    struct Case {
        std::error_code error;
        std::string posix;
        std::string windows;
    };
    const Case cases[] = {
        {File::OpenForReading(dir.wide() + u"/missing").error(), "ENOENT", "ERROR_FILE_NOT_FOUND"},
        {File::OpenForReading(dir.wide() + u"/none/missing").error(), "ENOENT",
         "ERROR_PATH_NOT_FOUND"},
        {File::CreateAlways(dir.wide() + u"/folder").error(), "EISDIR", "ERROR_ACCESS_DENIED"},
        {File::OpenForReading(dir.wide() + u"/x" + std::u16string(1, u'\0')).error(),
         "ZELPACK_NUL_IN_PATH", "ZELPACK_NUL_IN_PATH"},
        {make_error_code(std::errc::no_space_on_device), "ENOSPC", "ENOSPC"},
        {std::error_code(4095, system), "errno 4095", "win32 4095"},
        {std::error_code(), "", ""},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(ErrorName(c.error), testing::kWindows ? c.windows : c.posix) << c.error.message();
    }
}

TEST(FileTest, NonUtf8NamesKeepTheirBytes) {
    if (!testing::kByteNames) {
        GTEST_SKIP() << "Windows names are UTF-16 text, never bytes";
    }
    TempDir dir;
    const std::u16string path = dir.wide() + u"/" + std::u16string{u'n', 0xDCFF, 0xDC80};
    ASSERT_TRUE(File::CreateAlways(path));
    EXPECT_TRUE(fs::exists(dir / "n\xFF\x80"));
    EXPECT_TRUE(DeleteFile(path));
    EXPECT_FALSE(fs::exists(dir / "n\xFF\x80"));
}

TEST(FileTest, TemporaryFilesAreNewPrivateAndDistinct) {
    TempDir dir;
    std::set<std::u16string> paths;
    const std::u16string start = dir.wide() + u"/pre-";
    for (int i = 0; i < 20; ++i) {
        std::u16string path;
        Result<File> file = File::CreateTemporary(dir.wide() + u"/", u"pre-", u".tmp", path);
        ASSERT_TRUE(file);
        ASSERT_EQ(path.substr(0, start.size()), start);
        ASSERT_GT(path.size(), start.size() + 4 + 8);
        ASSERT_EQ(path.substr(path.size() - 4), u".tmp");
        EXPECT_TRUE(paths.insert(path).second);
        EXPECT_TRUE(file->WriteAll(Bytes("data")));
    }
    const fs::path one = ToNative(*paths.begin());
    if (!testing::kWindows) {  // Windows: the folder's permissions, inherited
        EXPECT_EQ(fs::status(one).permissions(), fs::perms::owner_read | fs::perms::owner_write);
    }
    EXPECT_EQ(testing::ReadText(one), "data");

    std::u16string path;
    EXPECT_FALSE(File::CreateTemporary(dir.wide() + u"/missing", u"x", u"", path));
}

TEST(FileTest, ReadWholeFileAndDeleteFile) {
    TempDir dir;
    std::string content(200'000, '\0');  // several read chunks, NUL bytes included
    for (std::size_t i = 0; i < content.size(); ++i) {
        content[i] = static_cast<char>(i * 7 % 251);
    }
    dir.Write("big.bin", content);
    dir.Write("empty.bin");
    dir.MakeFolder("folder");

    const auto read = ReadWholeFile(dir.wide() + u"/big.bin");
    ASSERT_TRUE(read);
    EXPECT_EQ(std::string(read->begin(), read->end()), content);
    const auto empty = ReadWholeFile(dir.wide() + u"/empty.bin");
    ASSERT_TRUE(empty);
    EXPECT_TRUE(empty->empty());

    EXPECT_TRUE(DeleteFile(dir.wide() + u"/big.bin"));
    EXPECT_FALSE(ReadWholeFile(dir.wide() + u"/big.bin"));
    EXPECT_FALSE(DeleteFile(dir.wide() + u"/big.bin"));
    EXPECT_FALSE(DeleteFile(dir.wide() + u"/folder"));
}

TEST(FileTest, TemporaryFolderFollowsTheEnvironment) {
    if (testing::kWindows) {
        const testing::ScopedTemporaryFolder scratch("C:\\scratch\\");
        EXPECT_EQ(TemporaryFolder(), u"C:\\scratch");
        return;
    }
    {
        const testing::ScopedTemporaryFolder scratch("/var/scratch//");
        EXPECT_EQ(TemporaryFolder(), u"/var/scratch");
    }
    const testing::ScopedTemporaryFolder empty("");
    EXPECT_EQ(TemporaryFolder(), u"/tmp");
}

#ifdef _WIN32
// The form every Win32 call gets: the system takes it literally, so it must already be absolute
// and normalised.
TEST(FileTest, LongPathsAreAbsoluteNormalisedAndPrefixed) {
    const struct {
        std::u16string_view path;
        std::u16string_view expected;
    } cases[] = {
        {u"C:\\a\\b\\..\\c/./d", u"\\\\?\\C:\\a\\c\\d"},
        {u"\\\\server\\share\\x\\..\\f", u"\\\\?\\UNC\\server\\share\\f"},
        {u"//server/share/f", u"\\\\?\\UNC\\server\\share\\f"},
        {u"\\\\?\\C:\\as\\..\\given", u"\\\\?\\C:\\as\\..\\given"},
        {u"\\\\?\\UNC\\server\\share", u"\\\\?\\UNC\\server\\share"},
        {u"\\\\.\\pipe\\p", u"\\\\.\\pipe\\p"},
        {u"C:\\x\\NUL", u"\\\\.\\NUL"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(ToNative(LongPath(c.path)), ToNative(c.expected)) << ToNative(c.path);
    }
    EXPECT_EQ(LongPath(u"relative\\..\\f.txt"), u"\\\\?\\" + AbsolutePath(u"f.txt").value_or(u""));
}
#endif

}  // namespace
}  // namespace zelpack::platform
