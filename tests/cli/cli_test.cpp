#include <gtest/gtest.h>

#include <filesystem>
#include <sstream>
#include <string>
#include <vector>

#include "cli/zelpack_cli.h"
#include "tests/support/temp_dir.h"

namespace zelpack {
namespace {

namespace fs = std::filesystem;
using testing::TempDir;

struct Outcome {
    int code;
    std::string out;
    std::string err;
};

Outcome Zelpack(std::vector<std::string> args) {
    args.insert(args.begin(), "zelpack");
    std::vector<const char*> argv;
    for (const auto& arg : args) {
        argv.push_back(arg.c_str());
    }
    std::ostringstream out;
    std::ostringstream err;
    const int code = RunZelpack(static_cast<int>(argv.size()), argv.data(), out, err);
    return {code, out.str(), err.str()};
}

TEST(CliListTest, PrintsTickPathSizeAndDateInWalkOrder) {
    TempDir dir;
    testing::SetWriteTime(dir.Write("main.js", std::string(1025, 'x')), 1236236640);
    testing::SetWriteTime(dir.Write("Debug/out.map", ""), 1262303940);  // 2009-12-31 23:59
    dir.Write(".git/config");
    const Outcome run = Zelpack({"list", dir.path().string()});
    EXPECT_EQ(run.code, 0);
    EXPECT_EQ(run.out,
              "[ ]\tDebug/out.map\t0K\t2009-12-31 23:59\n"
              "[x]\tmain.js\t2K\t2009-3-5 7:4\n");
    EXPECT_EQ(run.err, "");
}

TEST(CliListTest, UnlistableFolderPrintsNothing) {
    TempDir dir;
    const Outcome run = Zelpack({"list", (dir / "missing").string()});
    EXPECT_EQ(run.code, 0);
    EXPECT_EQ(run.out, "");
}

constexpr char kConfig[] =
    "<vemplugin><property id='i' version='1' type='t' name='演示'/></vemplugin>";
constexpr char kDescriptor[] =
    "<?xml version=\"1.0\" encoding=\"utf-8\"?>\n"
    "<vemplugin><property id=\"i\" version=\"1\" type=\"t\" name=\"演示\"/></vemplugin>\n";

TEST(CliCheckTest, PrintsTheDescriptorAndLeavesNoTemporaryFile) {
    TempDir dir;
    TempDir tmp;
    setenv("TMPDIR", tmp.path().c_str(), 1);
    const Outcome run = Zelpack({"check", dir.Write("a.b.c.xml", kConfig).string()});
    unsetenv("TMPDIR");
    EXPECT_EQ(run.code, 0);
    EXPECT_EQ(run.out, kDescriptor);
    EXPECT_TRUE(fs::is_empty(tmp.path()));
}

TEST(CliCheckTest, WritesTheDescriptorWhereAsked) {
    TempDir dir;
    const Outcome run = Zelpack(
        {"check", dir.Write("a.b.c.xml", kConfig).string(), "-o", (dir / "d.xml").string()});
    EXPECT_EQ(run.code, 0);
    EXPECT_EQ(run.out, "");
    EXPECT_EQ(testing::ReadText(dir / "d.xml"), kDescriptor);
}

TEST(CliCheckTest, FailurePrintsTheMessageAndExitsOne) {
    TempDir dir;
    const Outcome bad = Zelpack({"check", dir.Write("a.b.c.xml", "<plugin/>").string()});
    EXPECT_EQ(bad.code, 1);
    EXPECT_EQ(bad.out, "");
    EXPECT_EQ(bad.err, "配置文件根目录错误，请用vemplugin标记节点作为根目录！\n");

    const Outcome unsaved = Zelpack({"check", dir.Write("ok.b.c.xml", kConfig).string(), "-o",
                                     (dir / "missing/d.xml").string()});
    EXPECT_EQ(unsaved.code, 1);
    EXPECT_NE(unsaved.err.find("missing/d.xml"), std::string::npos);
}

TEST(CliUsageTest, HelpVersionAndUsageErrors) {
    const Outcome help = Zelpack({"--help"});
    EXPECT_EQ(help.code, 0);
    EXPECT_NE(help.out.find("list"), std::string::npos);
    EXPECT_NE(help.out.find("check"), std::string::npos);

    const Outcome version = Zelpack({"--version"});
    EXPECT_EQ(version.code, 0);
    EXPECT_EQ(version.out.rfind("zelpack ", 0), 0u);

    EXPECT_EQ(Zelpack({}).code, 2);
    EXPECT_EQ(Zelpack({"frobnicate"}).code, 2);
    EXPECT_EQ(Zelpack({"list"}).code, 2);
    EXPECT_EQ(Zelpack({"check", "a.xml", "--bogus"}).code, 2);
}

}  // namespace
}  // namespace zelpack
