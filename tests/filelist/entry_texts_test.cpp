#include "filelist/entry_texts.h"

#include <gtest/gtest.h>

#include "platform/filetime.h"
#include "tests/support/temp_dir.h"

namespace zelpack {
namespace {

FileEntry WithSize(std::uint64_t size) {
    FileEntry entry;
    entry.nFileSizeHigh = static_cast<std::uint32_t>(size >> 32);
    entry.nFileSizeLow = static_cast<std::uint32_t>(size);
    return entry;
}

FileEntry WrittenAt(std::uint16_t year, std::uint16_t month, std::uint16_t day, std::uint16_t hour,
                    std::uint16_t minute) {
    FileEntry entry;
    entry.ftLastWriteTime = testing::FileTimeOf(year, month, day, hour, minute, 59);
    return entry;
}

TEST(EntryTextsTest, SizeIsKilobytesRoundedUp) {
    EXPECT_EQ(SizeText(WithSize(0)), u"0K");
    EXPECT_EQ(SizeText(WithSize(1)), u"1K");
    EXPECT_EQ(SizeText(WithSize(1024)), u"1K");
    EXPECT_EQ(SizeText(WithSize(1025)), u"2K");
    EXPECT_EQ(SizeText(WithSize(10 * 1024 * 1024)), u"10240K");
}

TEST(EntryTextsTest, SizeUsesAllSixtyFourBits) {
    EXPECT_EQ(SizeText(WithSize(5ULL << 30)), u"5242880K");
}

TEST(EntryTextsTest, DateHasNoLeadingZerosAndStaysInUtc) {
    EXPECT_EQ(DateText(WrittenAt(2009, 3, 5, 7, 4)), u"2009-3-5 7:4");
    EXPECT_EQ(DateText(WrittenAt(2009, 12, 31, 23, 59)), u"2009-12-31 23:59");
    EXPECT_EQ(DateText(WrittenAt(2009, 1, 2, 3, 4)), u"2009-1-2 3:4");
    EXPECT_EQ(DateText(WrittenAt(2024, 2, 29, 0, 0)), u"2024-2-29 0:0");
}

}  // namespace
}  // namespace zelpack
