// Windows only: the Wine runner (scripts/wine-run.sh) runs this binary in the locale that its
// zelpack_test() names, zh_CN.UTF-8, so the ANSI code page is 936 (GBK). Code-page tests rely on
// this to meet real double-byte text.
#include <gtest/gtest.h>
#include <windows.h>

TEST(WineLocaleTest, ZhCnGivesAnsiCodePage936) {
    EXPECT_EQ(GetACP(), 936u);
    // 中文 in GBK: two double-byte characters.
    const char gbk[] = "\xD6\xD0\xCE\xC4";
    wchar_t wide[4] = {};
    ASSERT_EQ(MultiByteToWideChar(CP_ACP, MB_ERR_INVALID_CHARS, gbk, 4, wide, 4), 2);
    EXPECT_EQ(wide[0], L'\u4E2D');
    EXPECT_EQ(wide[1], L'\u6587');
}
