#include "filelist/path_pattern.h"

#include <gtest/gtest.h>

#include <string>

namespace zelpack {
namespace {

struct Case {
    std::u16string_view pattern;
    std::u16string_view path;
    bool matches;
};

std::u16string Repeat(std::u16string_view part, int times) {
    std::u16string text;
    for (int i = 0; i < times; ++i) {
        text += part;
    }
    return text;
}

TEST(PathPatternTest, MatchesAsDocumented) {
    // Stars that could each match almost anywhere: a matcher that tries one way after another
    // would take hours over these (each star multiplies its work by about four), so a slow
    // matcher shows as a test that never ends.
    const std::u16string stars = Repeat(u"*a", 30) + u"*b";
    const std::u16string deep_stars = u"/" + Repeat(u"**a", 30) + u"**b";
    const std::u16string name(200, u'a');
    const std::u16string named_b = name + u"b";
    const std::u16string deep_path = Repeat(u"aa/", 67);
    const std::u16string deep_path_b = deep_path + u"b";
    const Case cases[] = {
        // Without '/': the file name, in any folder.
        {u"*.js", u"main.js", true},
        {u"*.js", u"src/widgets/toolbar.js", true},
        {u"*.js", u"main.json", false},
        {u"toolbar.js", u"src/widgets/toolbar.js", true},
        {u"widgets", u"src/widgets/toolbar.js", false},
        {u"?.txt", u"a.txt", true},
        {u"?.txt", u"ab.txt", false},
        {u"*", u"deep/er/name", true},
        // With '/': the whole path; '*' and '?' stop at '/'.
        {u"src/*.js", u"src/main.js", true},
        {u"src/*.js", u"src/widgets/toolbar.js", false},
        {u"src/?/x", u"src/a/x", true},
        {u"src?a/x", u"src/a/x", false},
        {u"/Debug/*", u"Debug/demo.map", true},
        {u"Debug/*", u"sub/Debug/demo.map", false},
        // '**' crosses folders; "**/" may match none.
        {u"src/**", u"src/widgets/toolbar.js", true},
        {u"src/**", u"srcx/a", false},
        {u"**/*.map", u"demo.map", true},
        {u"**/*.map", u"a/b/demo.map", true},
        {u"a/**/z", u"a/z", true},
        {u"a/**/z", u"a/b/c/z", true},
        {u"a/**z", u"a/b/cz", true},
        // Everything else is literal, case included.
        {u"*.JS", u"main.js", false},
        {u"[ab].txt", u"a.txt", false},
        {u"[ab].txt", u"[ab].txt", true},
        {u"插件/*.xml", u"插件/配置.xml", true},
        {u"", u"", true},
        // However many stars.
        {stars, name, false},
        {stars, named_b, true},
        {deep_stars, deep_path, false},
        {deep_stars, deep_path_b, true},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(MatchesPathPattern(c.pattern, c.path), c.matches)
            << std::string(c.pattern.begin(), c.pattern.end()) << " vs "
            << std::string(c.path.begin(), c.path.end());
    }
}

}  // namespace
}  // namespace zelpack
