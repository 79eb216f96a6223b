#include "filelist/ignore_rules.h"

#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

#include "filelist/folder_walker.h"
#include "platform/path.h"
#include "platform/text.h"
#include "tests/support/temp_dir.h"

namespace zelpack {
namespace {

using testing::TempDir;

// What the walk of a folder holding `files` and `rules` marks: per path "LINE:PATTERN", or ""
// for a file no rule leaves out; and the warnings.
struct Walked {
    std::map<std::string, std::string> marks;
    std::vector<std::string> warnings;
};

Walked WalkWith(std::string_view rules, const std::vector<std::string>& files) {
    TempDir dir;
    dir.Write(".zelpackignore", rules);
    for (const std::string& file : files) {
        dir.Write(file);
    }
    FolderWalker walker;
    EXPECT_TRUE(walker.Start(dir.wide(), u"*.*"));
    Walked walked;
    for (FileEntry entry; walker.Next(entry);) {
        walked.marks[platform::ToNative(platform::PortablePath(entry.cFileName))] =
            entry.ignored ? std::to_string(entry.ignored->line) + ":" +
                                platform::ToNative(entry.ignored->pattern)
                          : "";
    }
    for (const IgnoreWarning& warning : walker.IgnoreWarnings()) {
        walked.warnings.push_back(platform::ToNative(warning.text));
    }
    return walked;
}

struct Case {
    std::string rules;
    std::map<std::string, std::string> marks;  // every file, with what it should be marked
    std::vector<std::string> warnings{};
};

std::string Bad(int line, const std::string& text) {
    return "警告：.zelpackignore 第 " + std::to_string(line) + " 行无法理解，已忽略：" + text;
}

TEST(IgnoreRulesTest, GitignoreSyntaxOverTheWalk) {
    std::string stars;  // each star could match almost anywhere: a backtracking matcher never ends
    for (int i = 0; i < 40; ++i) {
        stars += "*a";
    }
    std::vector<Case> cases = {
        // The last rule that matches wins; a name without '/' matches at any depth.
        {"*.log\n!keep.log\n",
         {{"a.log", "1:*.log"}, {"keep.log", ""}, {"sub/keep.log", ""}, {"sub/b.log", "1:*.log"}}},
        // A trailing '/' takes folders only, and everything below them.
        {"build/\n",
         {{"build/x.js", "1:build/"}, {"src/build", ""}, {"lib/build/z.js", "1:build/"}}},
        // A leading or inner '/' anchors to the plug-in folder.
        {"/top.txt\ndocs/*.md\n",
         {{"top.txt", "1:/top.txt"},
          {"sub/top.txt", ""},
          {"docs/a.md", "2:docs/*.md"},
          {"sub/docs/a.md", ""},
          {"docs/deep/b.md", ""}}},
        {"**/tests/**\na/**/z.js\n",
         {{"tests/t.js", "1:**/tests/**"},
          {"src/tests/u/t.js", "1:**/tests/**"},
          {"a/z.js", "2:a/**/z.js"},
          {"a/b/c/z.js", "2:a/**/z.js"},
          {"testsuite/x.js", ""}}},
        // Below a folder that is left out nothing comes back; below "dist/**" it can.
        {"node_modules/\n!node_modules/keep.js\ndist/**\n!dist/keep.js\n",
         {{"node_modules/keep.js", "1:node_modules/"},
          {"node_modules/x/y.js", "1:node_modules/"},
          {"dist/keep.js", ""},
          {"dist/out.js", "3:dist/**"}}},
        // A byte order mark, CRLF, escapes and trailing spaces.
        {"\xEF\xBB\xBF#hash.txt\r\n\\#hash.txt\r\n\\!bang.txt\r\ntrail.txt   \r\n\r\n"
         "star\\*.txt\r\n\\[ab\\].txt\r\n",
         {{"#hash.txt", "2:\\#hash.txt"},
          {"!bang.txt", "3:\\!bang.txt"},
          {"trail.txt", "4:trail.txt"},
          {"starry.txt", ""},
          {"[ab].txt", "7:\\[ab\\].txt"}}},
        // Bracket expressions: a set, a range, a negated range, a ']' first; no classes.
        {"*.[jt]s\n[!a-m]*.txt\n[]x]y\n[[:alpha:]]*\n",
         {{"a.js", "1:*.[jt]s"},
          {"b.ts", "1:*.[jt]s"},
          {"c.cs", ""},
          {"zeta.txt", "2:[!a-m]*.txt"},
          {"beta.txt", ""},
          {"]y", "3:[]x]y"},
          {"xy", "3:[]x]y"},
          {"zy", ""}},
         {Bad(4, "[[:alpha:]]*")}},
        // Lines that cannot be understood are named and left out; the rest still apply.
        {"!\n/\n!/\n[ab.txt\na//b\n./x\nsub/../y\nok\\\nbad\xFF\n" + std::string(1025, 'x') + "\n" +
             stars + "b\n",
         {{"[ab].txt", ""},
          {"x", ""},
          {"y", ""},
          {std::string(200, 'a') + "b", "11:" + stars + "b"},
          {std::string(200, 'a'), ""}},
         {Bad(1, "!"), Bad(2, "/"), Bad(3, "!/"), Bad(4, "[ab.txt"), Bad(5, "a//b"), Bad(6, "./x"),
          Bad(7, "sub/../y"), Bad(8, "ok\\"), Bad(9, "bad\uFFFD"),
          "警告：.zelpackignore 第 10 行超过 1024 字节，已忽略"}},
    };
    if (testing::kByteNames) {
        // An escaped trailing space stays, and an escaped star is a star: no Windows name ends in
        // a space or holds a star.
        cases.push_back({"x\\  \nstar\\*.txt\n",
                         {{"x ", "1:x\\ "}, {"x", ""}, {"star*.txt", "2:star\\*.txt"}}});
    }
    // A huge file is read up to its limit, the line cut there dropped with the rest.
    std::string huge;
    while (huge.size() < kIgnoreFileMaxBytes - 10) {
        huge += stars + "\n";
    }
    huge += "aaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaa\nkeep\n";
    const std::string cut = "警告：.zelpackignore 超过 1000 行或 65536 字节，其后的内容已忽略";
    cases.push_back({huge, {{"keep", ""}, {"aaaa", ""}}, {cut}});
    std::string many = "x\n!\n";
    for (int line = 3; line <= 1000; ++line) {
        many += "# " + std::to_string(line) + "\n";
    }
    cases.push_back({many + "y\n", {{"x", "1:x"}, {"y", ""}}, {Bad(2, "!"), cut}});
    for (const Case& c : cases) {
        std::vector<std::string> files;
        for (const auto& [file, mark] : c.marks) {
            files.push_back(file);
        }
        const Walked walked = WalkWith(c.rules, files);
        EXPECT_EQ(walked.marks, c.marks) << c.rules.substr(0, 200);
        EXPECT_EQ(walked.warnings, c.warnings) << c.rules.substr(0, 200);
    }
}

}  // namespace
}  // namespace zelpack
