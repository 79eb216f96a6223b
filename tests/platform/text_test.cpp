#include "platform/text.h"

#include <gtest/gtest.h>

#include <random>

namespace zelpack::platform {
namespace {

using Units = std::u16string;

TEST(TextTest, ValidUtf8DecodesToUtf16AndBack) {
    const std::pair<std::string, std::u16string> samples[] = {
        {"plain.txt", u"plain.txt"},
        {"\xE4\xB8\xAD\xE6\x96\x87.xml", u"中文.xml"},
        {"\xF0\x9F\x98\x80", u"\U0001F600"},
        {"\xC2\x80\xED\x9F\xBF\xEE\x80\x80\xF4\x8F\xBF\xBF",
         Units{0x80, 0xD7FF, 0xE000, 0xDBFF, 0xDFFF}},
        {std::string("nul\0inside", 10), Units(u"nul\0inside", 10)},
    };
    for (const auto& [native, wide] : samples) {
        EXPECT_EQ(FromNative(native), wide) << native;
        EXPECT_EQ(ToNative(wide), native) << native;
    }
}

TEST(TextTest, InvalidSequencesEscapeEachByte) {
    EXPECT_EQ(FromNative("a\x80z\xFF"), (Units{u'a', 0xDC80, u'z', 0xDCFF}));
    // Truncated sequence, then a valid character that must survive.
    EXPECT_EQ(FromNative("\xE4\xB8\xE4\xB8\xAD"), (Units{0xDCE4, 0xDCB8, u'中'}));
    EXPECT_EQ(FromNative("\xC3x"), (Units{0xDCC3, u'x'}));
    // Overlong forms.
    EXPECT_EQ(FromNative("\xC0\xAF"), (Units{0xDCC0, 0xDCAF}));
    EXPECT_EQ(FromNative("\xE0\x80\xAF"), (Units{0xDCE0, 0xDC80, 0xDCAF}));
    EXPECT_EQ(FromNative("\xF0\x8F\xBF\xBF"), (Units{0xDCF0, 0xDC8F, 0xDCBF, 0xDCBF}));
    // A surrogate code point written in UTF-8, a code point past U+10FFFF, impossible lead bytes.
    EXPECT_EQ(FromNative("\xED\xA0\x80"), (Units{0xDCED, 0xDCA0, 0xDC80}));
    EXPECT_EQ(FromNative("\xF4\x90\x80\x80"), (Units{0xDCF4, 0xDC90, 0xDC80, 0xDC80}));
    EXPECT_EQ(FromNative("\xF5\xFE"), (Units{0xDCF5, 0xDCFE}));
}

TEST(TextTest, EveryByteStringRoundTrips) {
    for (int first = 0; first < 256; ++first) {
        for (int second = 0; second < 256; ++second) {
            const std::string bytes{static_cast<char>(first), static_cast<char>(second)};
            ASSERT_EQ(ToNative(FromNative(bytes)), bytes) << first << ' ' << second;
        }
    }
    // Longer strings made of the bytes that build multi-byte sequences.
    std::mt19937 generator(12345);
    std::uniform_int_distribution<int> pick(0x80, 0xFF);
    for (int round = 0; round < 20000; ++round) {
        std::string bytes(1 + round % 9, '\0');
        for (char& byte : bytes) {
            byte = static_cast<char>(pick(generator));
        }
        ASSERT_EQ(ToNative(FromNative(bytes)), bytes);
    }
}

TEST(TextTest, LoneSurrogatesOutsideTheEscapeRangeBecomeReplacement) {
    EXPECT_EQ(ToNative(Units{0xDC80, 0xDCFF}), "\x80\xFF");
    EXPECT_EQ(ToNative(Units{0xDC7F}), "\xEF\xBF\xBD");
    EXPECT_EQ(ToNative(Units{0xDD00}), "\xEF\xBF\xBD");
    EXPECT_EQ(ToNative(Units{0xD83D, u'x'}), "\xEF\xBF\xBDx");
}

}  // namespace
}  // namespace zelpack::platform
