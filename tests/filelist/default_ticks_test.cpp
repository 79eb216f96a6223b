#include "filelist/default_ticks.h"

#include <gtest/gtest.h>

namespace zelpack {
namespace {

TEST(DefaultTicksTest, TableHasTheTwentyMarksInOrder) {
    const auto& marks = BuildOutputMarks();
    EXPECT_EQ(marks.front(), u"Debug");
    EXPECT_EQ(marks[8], u".res");
    EXPECT_EQ(marks.back(), u"lib");
}

TEST(DefaultTicksTest, BuildOutputStartsUnticked) {
    for (std::u16string_view path : {u"Debug/x.js",    u"src/Release/a.txt",
                                     u"Debugger.js",   u"debug.log",
                                     u"release/a",     u"Releases/notes.txt",
                                     u"a.ncb",         u"a.opt",
                                     u"a.plg",         u"a.aps",
                                     u"form.resx",     u"x.mapping.js",
                                     u"a.obj",         u"a.pch",
                                     u"a.idb",         u"a.exp",
                                     u"a.ilk",         u"a.bsc",
                                     u"a.sbr",         u"a.tlb",
                                     u"a.dcu",         u"mylib.js",
                                     u"calibrate.xml", u"x.lib",
                                     u"lib/x.dll"}) {
        EXPECT_FALSE(IsCheckedByDefault(path)) << std::string(path.begin(), path.end());
    }
}

TEST(DefaultTicksTest, OtherFilesStartTicked) {
    for (std::u16string_view path : {u"readme.txt", u"main.js", u"DEBUG/x.js", u"RELEASE.md",
                                     u"LIB/x.js", u"a.OBJ", u"src/a.ma", u"中文.html", u""}) {
        EXPECT_TRUE(IsCheckedByDefault(path)) << std::string(path.begin(), path.end());
    }
}

TEST(DefaultTicksTest, MarksMatchAtAnyPositionOfAnyFolder) {
    EXPECT_FALSE(IsCheckedByDefault(u"a/b/c/xDebugy/d.txt"));
    EXPECT_FALSE(IsCheckedByDefault(u"deep/er/folder.res/x"));
    // A mark split across the separator is no match.
    EXPECT_TRUE(IsCheckedByDefault(u"li/b.txt"));
}

}  // namespace
}  // namespace zelpack
