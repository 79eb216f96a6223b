#include "zip/zip_result.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

namespace zelpack::zip {
namespace {

std::string Describe(ZipResult code) {
    char buffer[128];
    DescribeZipResult(code, buffer, sizeof buffer);
    return buffer;
}

TEST(ZipResultTest, MessagesAreExactAndBanded) {
    EXPECT_EQ(Describe(Success), "Success");
    EXPECT_EQ(Describe(DuplicateFailed), "Culdn't duplicate handle");
    EXPECT_EQ(Describe(OpenFailed), "Couldn't create/open file");
    EXPECT_EQ(Describe(NoMemory), "Failed to allocate memory");
    EXPECT_EQ(Describe(WriteFailed), "Error writing to file");
    EXPECT_EQ(Describe(NotFound), "File not found in the zipfile");
    EXPECT_EQ(Describe(MoreData), "Still more data to unzip");
    EXPECT_EQ(Describe(Corrupt), "Zipfile is corrupt or not a zipfile");
    EXPECT_EQ(Describe(ReadFailed), "Error reading file");
    EXPECT_EQ(Describe(BadArguments), "Caller: faulty arguments");
    EXPECT_EQ(Describe(NotMemoryTarget), "Caller: can only get memory of a memory zipfile");
    EXPECT_EQ(Describe(MemoryTooSmall), "Caller: not enough space allocated for memory zipfile");
    EXPECT_EQ(Describe(PreviousError), "Caller: there was a previous error");
    EXPECT_EQ(Describe(AlreadyEnded), "Caller: additions to the zip have already been ended");
    EXPECT_EQ(Describe(SizeMismatch), "Zip-bug: the anticipated size turned out wrong");
    EXPECT_EQ(Describe(PartlyExtracted), "Caller: the file had already been partially unzipped");
    EXPECT_EQ(Describe(WrongHandleKind), "Caller: mixing creation and opening of zip");
    EXPECT_EQ(Describe(NotInitialised), "Zip-bug: internal initialisation not completed");
    EXPECT_EQ(Describe(NotSeekable), "Zip-bug: trying to seek the unseekable");
    EXPECT_EQ(Describe(ChangeNotAllowed), "Zip-bug: tried to change mind, but not allowed");
    EXPECT_EQ(Describe(DeflateFailed), "Zip-bug: an internal error during flation");
    EXPECT_EQ(ReadFailed, 0x800u);
    EXPECT_EQ(WrongHandleKind, 0x80000u);
    EXPECT_EQ(DeflateFailed, 0x5000000u);
}

TEST(ZipResultTest, UnknownCodesIncludingNeighboursOfKnownOnes) {
    for (ZipResult code : {0x12345u, 0x900u, 0x90000u, 0x3000000u, 0xFFFFFFFFu, 0x101u}) {
        EXPECT_EQ(Describe(code), "unknown zip result code") << code;
    }
    EXPECT_EQ(DescribeZipResult(0x12345, nullptr, 0), 23u);
}

TEST(ZipResultTest, TruncatesToCapacityButReturnsFullLength) {
    char buffer[16];
    std::memset(buffer, 'x', sizeof buffer);
    EXPECT_EQ(DescribeZipResult(WriteFailed, buffer, 10), 21u);
    EXPECT_STREQ(buffer, "Error wri");
    EXPECT_EQ(buffer[10], 'x');  // nothing written past the capacity

    std::memset(buffer, 'x', sizeof buffer);
    EXPECT_EQ(DescribeZipResult(WriteFailed, buffer, 0), 21u);
    EXPECT_EQ(buffer[0], 'x');
    EXPECT_EQ(DescribeZipResult(WriteFailed, nullptr, 10), 21u);

    EXPECT_EQ(DescribeZipResult(WriteFailed, buffer, 1), 21u);
    EXPECT_EQ(buffer[0], '\0');

    char exact[22];
    EXPECT_EQ(DescribeZipResult(WriteFailed, exact, sizeof exact), 21u);
    EXPECT_STREQ(exact, "Error writing to file");
}

TEST(ZipResultTest, CodeOneStandsForTheMostRecentResult) {
    SetMostRecentResult(OpenFailed);
    EXPECT_EQ(GetMostRecentResult(), OpenFailed);
    EXPECT_EQ(Describe(MostRecentResultCode), "Couldn't create/open file");
    SetMostRecentResult(Success);
    EXPECT_EQ(Describe(1), "Success");
    EXPECT_EQ(ZipResultMessage(1), "unknown zip result code");
}

}  // namespace
}  // namespace zelpack::zip
