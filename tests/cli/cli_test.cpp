#include <gtest/gtest.h>
#include <zlib.h>

#include <cstdio>
#include <filesystem>
#include <functional>
#include <nlohmann/json.hpp>
#include <optional>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "cli/zelpack_cli.h"
#include "platform/fault_injection.h"
#include "platform/file_stream.h"
#include "platform/path.h"
#include "platform/process.h"
#include "platform/result.h"
#include "platform/text.h"
#include "tests/support/scoped_fault.h"
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
    testing::SetWriteTime(dir.Write("calibrate.xml", ""), 1262303940);
    dir.Write(".git/config");
    const Outcome run = Zelpack({"list", dir.path().string()});
    EXPECT_EQ(run.code, 0);
    // An unticked row says which mark unticked it: a mark matches anywhere in the path.
    EXPECT_EQ(run.out,
              "[ ]\tcalibrate.xml\t0K\t2009-12-31 23:59\t编译输出标记：lib\n"
              "[ ]\tDebug/out.map\t0K\t2009-12-31 23:59\t编译输出标记：Debug\n"
              "[x]\tmain.js\t2K\t2009-3-5 7:4\n");
    EXPECT_EQ(run.err, "");

    const Outcome json = Zelpack({"list", dir.path().string(), "--json"});
    EXPECT_EQ(json.code, 0);
    const auto document = nlohmann::json::parse(json.out);
    EXPECT_EQ(document["folder"], dir.path().string());
    EXPECT_EQ(
        document["files"].dump(),
        R"([{"modified":"2009-12-31T23:59:00Z","path":"calibrate.xml","reason":{"code":"mark",)"
        R"("mark":"lib","text":"编译输出标记：lib"},"size":0,"ticked":false},)"
        R"({"modified":"2009-12-31T23:59:00Z","path":"Debug/out.map","reason":{"code":"mark",)"
        R"("mark":"Debug","text":"编译输出标记：Debug"},"size":0,"ticked":false},)"
        R"({"modified":"2009-03-05T07:04:00Z","path":"main.js","size":1025,"ticked":true}])");
}

TEST(CliListTest, WhatCannotBeListedIsNamedOnStandardErrorAndFailsTheListing) {
    TempDir dir;
    const Outcome missing = Zelpack({"list", (dir / "missing").string()});
    EXPECT_EQ(missing.code, 1);
    EXPECT_EQ(missing.out, "");
    EXPECT_EQ(missing.err, "无法列出文件夹 " + (dir / "missing").string() +
                               platform::ToNative(testing::ReasonForOpening(dir / "missing")) +
                               "\n");

    dir.Write("a.txt");
    dir.Write("locked/b.txt");
    if (testing::kLinks) {
        TempDir outside;
        fs::create_symlink(outside.Write("secret.txt"), dir / "secret.txt");
        fs::create_directory_symlink("/", dir / "root");
        const Outcome links = Zelpack({"list", dir.path().string()});
        EXPECT_EQ(links.code, 0);
        EXPECT_NE(links.out.find("[ ]\tsecret.txt\t0K\t"), std::string::npos) << links.out;
        EXPECT_EQ(links.err, "警告：root 是指向插件文件夹以外的文件夹的链接，未跟随\n");
    }

    const testing::ScopedFault fault(
        {.operation = platform::faults::Operation::List, .path = "locked", .error = EACCES});
    const Outcome locked = Zelpack({"list", dir.path().string()});
    EXPECT_EQ(locked.code, 1);
    EXPECT_NE(locked.out.find("[x]\tlocked\t"), std::string::npos) << locked.out;
    EXPECT_NE(
        locked.err.find("无法列出文件夹 locked" + platform::ToNative(testing::ReasonOf(EACCES))),
        std::string::npos)
        << locked.err;
}

// Runs a command with standard output on a full disk: /dev/full where there is one, else a file
// whose `nth` write the seam fails with ENOSPC (the commands before write files of their own).
Outcome ZelpackIntoFullDisk(std::vector<std::string> args, std::uint64_t nth_write) {
    const TempDir dir;
    platform::Result<platform::File> full = platform::File::CreateAlways(
        testing::kWindows ? testing::Wide(dir / "out.txt") : u"/dev/full");
    EXPECT_TRUE(full);
    std::optional<testing::ScopedFault> fault;
    if (testing::kWindows) {
        fault.emplace(platform::faults::Fault{
            .operation = platform::faults::Operation::Write, .nth = nth_write, .error = ENOSPC});
    }
    platform::FileOutputBuffer buffer(std::move(*full));
    std::ostream out(&buffer);
    args.insert(args.begin(), "zelpack");
    std::vector<const char*> argv;
    for (const auto& arg : args) {
        argv.push_back(arg.c_str());
    }
    std::ostringstream err;
    const int code = RunZelpack(static_cast<int>(argv.size()), argv.data(), out, err);
    return {code, "", err.str()};
}

TEST(CliOutputTest, OutputThatCannotBeWrittenFailsTheCommand) {
    TempDir dir;
    dir.Write("a.txt");
    const std::string config =
        dir.Write("a.b.c.xml",
                  "<vemplugin><property id='i' version='1' type='t' name='n'/></vemplugin>")
            .string();
    for (const Outcome& run : {ZelpackIntoFullDisk({"list", dir.path().string()}, 1),
                               ZelpackIntoFullDisk({"check", config}, 1)}) {
        EXPECT_EQ(run.code, 1);
        EXPECT_EQ(run.err,
                  "无法写入标准输出" + platform::ToNative(testing::ReasonOf(ENOSPC)) + "\n");
    }
}

constexpr char kConfig[] =
    "<vemplugin><property id='i' version='1' type='t' name='演示'/></vemplugin>";
constexpr char kDescriptor[] =
    "<?xml version=\"1.0\" encoding=\"utf-8\"?>\n"
    "<vemplugin><property id=\"i\" version=\"1\" type=\"t\" name=\"演示\"/></vemplugin>\n";

TEST(CliCheckTest, PrintsTheDescriptorAndLeavesNoTemporaryFile) {
    TempDir dir;
    TempDir tmp;
    const Outcome run = [&] {
        const testing::ScopedTemporaryFolder temporary(tmp.path());
        return Zelpack({"check", dir.Write("a.b.c.xml", kConfig).string()});
    }();
    EXPECT_EQ(run.code, 0);
    EXPECT_EQ(run.out, kDescriptor);
    EXPECT_TRUE(fs::is_empty(tmp.path()));
}

TEST(CliCheckTest, WritesTheDescriptorWhereAsked) {
    TempDir dir;
    // Over a file already there, as over none, and nothing else is left beside it.
    for (int run_number = 0; run_number < 2; ++run_number) {
        const Outcome run = Zelpack(
            {"check", dir.Write("a.b.c.xml", kConfig).string(), "-o", (dir / "d.xml").string()});
        EXPECT_EQ(run.code, 0);
        EXPECT_EQ(run.out, "");
        EXPECT_EQ(testing::ReadText(dir / "d.xml"), kDescriptor);
        EXPECT_EQ(std::distance(fs::directory_iterator(dir.path()), fs::directory_iterator()), 2);
    }
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
    EXPECT_EQ(unsaved.err,
              "无法写入描述文件 " + (dir / "missing/d.xml").string() +
                  platform::ToNative(testing::ReasonForCreating(dir / "missing/d.xml")) + "\n");

    // Only a regular file is ever replaced, and a refused one is left as it is.
    const fs::path folder = dir.MakeFolder("folder.xml");
    const Outcome refused =
        Zelpack({"check", (dir / "ok.b.c.xml").string(), "-o", folder.string()});
    EXPECT_EQ(refused.code, 1);
    EXPECT_EQ(refused.err, "描述文件路径不是普通文件：" + folder.string() + "（文件夹）\n");
    EXPECT_TRUE(fs::is_directory(folder) && fs::is_empty(folder));
}

TEST(CliCheckTest, SignalsCancelAndLeaveNoDescriptor) {
    namespace faults = platform::faults;
    using platform::Interruption;
    TempDir dir;
    TempDir tmp;
    const testing::ScopedTemporaryFolder temporary(tmp.path());
    const std::string config = dir.Write("a.b.c.xml", kConfig).string();
    const fs::path kept = dir.Write("kept.xml", "previous");
    struct Case {
        faults::Operation during;  // the check reads the configuration, then writes the descriptor
        Interruption request;
        bool to_file;
    };
    std::vector<Case> cases = {{faults::Operation::Read, Interruption::Terminate, false},
                               {faults::Operation::Read, Interruption::Interrupt, true},
                               {faults::Operation::Write, Interruption::Terminate, true}};
    if (!testing::kWindows) {
        cases.insert(cases.end(), {{faults::Operation::Read, Interruption::Hangup, false},
                                   {faults::Operation::Flush, Interruption::User1, true},
                                   {faults::Operation::Write, Interruption::Alarm, true}});
    }
    for (const Case& c : cases) {
        const testing::ScopedFault fault({.operation = c.during, .after = [request = c.request] {
                                              platform::RaiseInterruption(request);
                                          }});
        std::vector<std::string> args{"check", config};
        if (c.to_file) {
            args.insert(args.end(), {"-o", kept.string()});
        }
        const Outcome run = Zelpack(args);
        EXPECT_TRUE(faults::Struck());
        EXPECT_EQ(run.code, platform::ExitStatusOf(c.request));
        EXPECT_EQ(run.out, "");
        EXPECT_EQ(run.err, "检查已取消\n");
        EXPECT_EQ(testing::ReadText(kept), "previous");
        EXPECT_TRUE(fs::is_empty(tmp.path()));
        EXPECT_EQ(std::distance(fs::directory_iterator(dir.path()), fs::directory_iterator()), 2);
    }
}

TEST(CliUsageTest, HelpVersionAndUsageErrors) {
    const Outcome help = Zelpack({"--help"});
    EXPECT_EQ(help.code, 0);
    EXPECT_NE(help.out.find("list"), std::string::npos);
    EXPECT_NE(help.out.find("check"), std::string::npos);

    const Outcome version = Zelpack({"--version"});
    EXPECT_EQ(version.code, 0);
    EXPECT_EQ(version.out.rfind("zelpack ", 0), 0u);
    EXPECT_TRUE(version.out.ends_with(
        "\n许可证：MIT（Copyright (c) 2026 the zelpack authors，见 LICENSE）\n"))
        << version.out;

    // Each in Chinese, with the nearest command or option to a slip and the command's own help.
    const std::string top = "运行 zelpack --help 查看用法。\n";
    const std::string pack = "运行 zelpack pack --help 查看用法。\n";
    const std::pair<std::vector<std::string>, std::string> cases[] = {
        {{}, "缺少命令：list、check 或 pack\n" + top},
        {{"pak", "demo"}, "未知的命令 pak，是否想用 pack？\n" + top},
        {{"frobnicate"}, "未知的命令 frobnicate\n" + top},
        {{"list"}, "缺少参数 FOLDER\n运行 zelpack list --help 查看用法。\n"},
        {{"pack", "demo", "--exlude", "*.key"},
         "未知的选项 --exlude，是否想用 --exclude？\n" + pack},
        {{"pack", "demo", "--includ=*.js"}, "未知的选项 --includ，是否想用 --include？\n" + pack},
        {{"pack", "demo", "--include"}, "选项 --include 缺少值\n" + pack},
        {{"pack", "demo", "-j", "0"}, "选项 --jobs 的值无效\n" + pack},
        {{"pack", "demo", "other"}, "多余的参数：other\n" + pack},
        {{"check", "a.xml", "--bogus"},
         "未知的选项 --bogus\n运行 zelpack check --help 查看用法。\n"},
    };
    for (const auto& [args, err] : cases) {
        const Outcome run = Zelpack(args);
        EXPECT_EQ(run.code, 2);
        EXPECT_EQ(run.out, "");
        EXPECT_EQ(run.err, err);
    }
}

// A small plug-in: the configuration, a script, build output and a hidden folder.
class CliPackTest : public ::testing::Test {
  protected:
    CliPackTest() {
        dir_.Write("demo/com.example.demo.xml", kConfig);
        dir_.Write("demo/main.js", "main");
        dir_.Write("demo/src/widgets/toolbar.js", "toolbar");
        dir_.Write("demo/Debug/demo.map", "map");
        dir_.Write("demo/.svn/entries", "svn");
    }
    std::string folder() const { return (dir_ / "demo").string(); }
    std::string DryRun(std::vector<std::string> extra) {
        std::vector<std::string> args{"pack", folder(), "--dry-run"};
        args.insert(args.end(), extra.begin(), extra.end());
        const Outcome run = Zelpack(args);
        EXPECT_EQ(run.code, 0) << run.err;
        return Listing(run.out);
    }
    // A dry run's lines before the contents table.
    static std::string Listing(const std::string& out) { return out.substr(0, out.find("名称  ")); }

    static constexpr char kConfig[] =
        R"(<vemplugin><property id="a" version="1" type="js" name="n"/></vemplugin>)";
    TempDir dir_;
};

TEST_F(CliPackTest, DryRunShowsTheConfigurationAndTheEntriesInArchiveOrder) {
    EXPECT_EQ(DryRun({}),
              "配置文件：com.example.demo.xml\nzelPluginInfo.xml\ndemo/com.example.demo.xml\n"
              "demo/main.js\ndemo/src/widgets/toolbar.js\n"
              "未打包：Debug/demo.map（编译输出标记：Debug）\n");
    EXPECT_FALSE(fs::exists(dir_ / "demo" / "demo.zip"));
    EXPECT_EQ(DryRun({"--all"}),
              "配置文件：com.example.demo.xml\nzelPluginInfo.xml\ndemo/com.example.demo.xml\n"
              "demo/Debug/demo.map\ndemo/main.js\ndemo/src/widgets/toolbar.js\n");
    // Patterns apply in the order given; the last match wins.
    EXPECT_EQ(DryRun({"--exclude", "*.js", "--include", "src/**", "--include", "Debug/*",
                      "--exclude", "toolbar.js"}),
              "配置文件：com.example.demo.xml\nzelPluginInfo.xml\ndemo/com.example.demo.xml\n"
              "demo/Debug/demo.map\n"
              "未打包：main.js（--exclude *.js）\n"
              "未打包：src/widgets/toolbar.js（--exclude toolbar.js）\n");
    EXPECT_EQ(DryRun({"--include", "**", "--exclude", "**/*.js", "--include", "main.js"}),
              "配置文件：com.example.demo.xml\nzelPluginInfo.xml\ndemo/com.example.demo.xml\n"
              "demo/Debug/demo.map\ndemo/main.js\n"
              "未打包：src/widgets/toolbar.js（--exclude **/*.js）\n");
    // Pointed at the plug-in's parent: the configuration found below is named, and its folder.
    const Outcome parent = Zelpack({"pack", dir_.path().string(), "--dry-run"});
    EXPECT_EQ(parent.code, 0);
    EXPECT_EQ(parent.err,
              "警告：配置文件 demo/com.example.demo.xml 不在插件文件夹的顶层；若插件文件夹是 " +
                  (dir_ / "demo").string() + "，请改选该文件夹\n");
}

TEST_F(CliPackTest, PacksToTheProposedPathAndReplacesOnlyWithForce) {
    const Outcome first = Zelpack({"pack", folder()});
    EXPECT_EQ(first.code, 0) << first.err;
    EXPECT_EQ(first.err, "");  // no progress when standard error is no terminal
    const fs::path archive = dir_ / "demo" / "demo.zip";
    ASSERT_TRUE(fs::exists(archive));
    const std::string summary = first.out.substr(first.out.find("已打包 "));
    EXPECT_TRUE(summary.starts_with("已打包 " + archive.string() + "：4 个条目，读入 ")) << summary;
    EXPECT_NE(summary.find(" 字节，写出 " + std::to_string(fs::file_size(archive)) + " 字节（"),
              std::string::npos)
        << summary;
    EXPECT_TRUE(summary.ends_with(" 秒\n未打包 1 个：编译输出标记 1\n")) << summary;

    const auto before = fs::last_write_time(archive);
    const Outcome refused = Zelpack({"pack", folder()});
    EXPECT_EQ(refused.code, 1);
    EXPECT_EQ(refused.err, "打包失败，压缩包已存在：" + archive.string() + "（用 --force 覆盖）\n");
    EXPECT_EQ(fs::last_write_time(archive), before);

    // The archive lies inside the folder: it is never packed into itself.
    const Outcome forced = Zelpack({"pack", folder(), "--force", "--all"});
    EXPECT_EQ(forced.code, 0) << forced.err;
    EXPECT_NE(forced.out.find("：5 个条目"), std::string::npos) << forced.out;
    EXPECT_TRUE(DryRun({"--all"}).ends_with("未打包：demo.zip（压缩包本身）\n"));

    const Outcome elsewhere =
        Zelpack({"pack", folder() + "/", "-o", (dir_ / "x.zip").string(), "--quiet"});
    EXPECT_EQ(elsewhere.code, 0) << elsewhere.err;
    EXPECT_EQ(elsewhere.out + elsewhere.err, "");
    // The earlier archive inside the folder starts unticked, so a pack elsewhere leaves it out.
    const std::string earlier = "\t上次打包的压缩包\n";
    const Outcome list = Zelpack({"list", folder()});
    EXPECT_NE(list.out.find("[ ]\tdemo.zip\t"), std::string::npos) << list.out;
    EXPECT_NE(list.out.find(earlier), std::string::npos) << list.out;
    EXPECT_TRUE(DryRun({"-o", (dir_ / "x.zip").string()})
                    .ends_with("未打包：demo.zip（上次打包的压缩包）\n"));
    const auto names = [](const fs::path& archive) {
        std::vector<std::string> names;
        for (const auto& entry :
             testing::CentralDirectory(archive).value_or(std::vector<testing::CentralEntry>())) {
            names.push_back(entry.name);
        }
        return names;
    };
    EXPECT_EQ(names(dir_ / "x.zip"),
              (std::vector<std::string>{"zelPluginInfo.xml", "demo/com.example.demo.xml",
                                        "demo/main.js", "demo/src/widgets/toolbar.js"}));
    // Archives packed all the same are named.
    dir_.Write("demo/vendor/bundle.zip", "zip");
    const Outcome both =
        Zelpack({"pack", folder(), "-o", (dir_ / "x.zip").string(), "--force", "--all", "--quiet"});
    EXPECT_EQ(both.code, 0) << both.err;
    EXPECT_EQ(both.err,
              "警告：demo.zip 是 ZIP 压缩包，将被打包进去\n警告：vendor/bundle.zip 是 ZIP "
              "压缩包，将被打包进去\n");
    EXPECT_EQ(names(dir_ / "x.zip").size(), 7u);

    // An existing folder, or a link to one, takes the archive under the plug-in's name.
    const fs::path out = dir_.MakeFolder("out");
    std::vector<fs::path> folders{out};
    if (testing::kLinks) {
        fs::create_directory_symlink(out, dir_ / "out-link");
        folders.push_back(dir_ / "out-link");
    }
    for (const fs::path& target : folders) {
        const Outcome planned =
            Zelpack({"pack", folder(), "-o", target.string(), "--dry-run", "--json"});
        EXPECT_EQ(nlohmann::json::parse(planned.out)["archive"], (target / "demo.zip").string());
        const Outcome into = Zelpack({"pack", folder(), "-o", target.string(), "--force"});
        EXPECT_EQ(into.code, 0) << into.err;
        EXPECT_NE(into.out.find("\n已打包 " + (target / "demo.zip").string() + "："),
                  std::string::npos)
            << into.out;
        EXPECT_TRUE(fs::is_regular_file(out / "demo.zip"));
    }
}

// The archive being replaced is recognised as the file it is, not by the text of its path.
TEST_F(CliPackTest, TheArchiveNeverPacksItselfByWhateverPathItIsNamed) {
    const fs::path inside = dir_ / "demo" / "demo.zip";
    ASSERT_EQ(Zelpack({"pack", folder()}).code, 0);
    std::vector<std::pair<std::string, std::string>> names = {
        {folder() + "/src/../demo.zip", "demo.zip"}};  // ".." on the way
    if (testing::kLinks) {
        fs::create_directory_symlink(dir_ / "demo", dir_ / "link-to-demo");
        names.push_back({(dir_ / "link-to-demo" / "demo.zip").string(), "demo.zip"});
        // A second name for an archive outside the folder: a hard link inside it.
        ASSERT_EQ(Zelpack({"pack", folder(), "-o", (dir_ / "out.zip").string()}).code, 0);
        fs::create_hard_link(dir_ / "out.zip", dir_ / "demo" / "copy.zip");
        names.push_back({(dir_ / "out.zip").string(), "copy.zip"});
    }
    if (testing::kWindows) {
        names.push_back({folder() + "\\DEMO.ZIP", "demo.zip"});
    }
    for (const auto& [archive, itself] : names) {
        const std::string dry =
            Zelpack({"pack", folder(), "--all", "--dry-run", "-o", archive}).out;
        EXPECT_NE(dry.find("未打包：" + itself + "（压缩包本身）\n"), std::string::npos)
            << archive << "\n"
            << dry;
        const Outcome run =
            Zelpack({"pack", folder(), "--all", "--force", "--json", "-o", archive});
        EXPECT_EQ(run.code, 0) << run.err;
        const auto report = nlohmann::json::parse(run.out);
        for (const auto& entry : report["entries"]) {
            EXPECT_NE(entry["name"], "demo/" + itself) << archive;
        }
    }
    EXPECT_TRUE(fs::exists(inside));
}

TEST_F(CliPackTest, FailuresNameTheReasonAndKeepTheOldArchive) {
    const fs::path old = dir_.Write("old.zip", "old");
    auto pack = [&](std::vector<std::string> extra) {
        std::vector<std::string> args{"pack", folder(), "-o", old.string(), "--force"};
        args.insert(args.end(), extra.begin(), extra.end());
        return Zelpack(args);
    };
    struct Case {
        std::string config;  // written over the configuration; empty: leave it unticked
        std::string err;
    };
    const Case cases[] = {
        // The form of the name follows, and every near miss: dots, case, a mark or a pattern.
        {"",
         "打包失败，没有找到插件的配置文件！\n"
         "配置文件的路径须恰有三个点并以 .xml 结尾，例如 com.example.demo.xml\n"
         "相近的文件：a.b.c.XML（扩展名须为小写 .xml）\n"
         "相近的文件：plugin.xml（路径中有 1 个点）\n"
         "相近的文件：com.example.demo.xml（未打包：--exclude com.*）\n"
         "相近的文件：Debug/x.y.z.xml（未打包：编译输出标记：Debug）\n"},
        {"<vemplugin>",
         "打包失败，配置文件读取错误，请检查配置文件格式：第 1 行：Premature end of data in tag "
         "vemplugin line 1\n"},
        {"<plugin/>", "打包失败，配置文件根目录错误，请用vemplugin标记节点作为根目录！\n"},
        {R"(<vemplugin><property version="1" type="t" name="n"/></vemplugin>)",
         "打包失败，配置文件的property节点缺少id属性或属性值为空！\n"},
        {R"(<vemplugin><property id="a" version="" type="t" name="n"/></vemplugin>)",
         "打包失败，配置文件的property节点缺少version属性或属性值为空！\n"},
    };
    for (const Case& c : cases) {
        if (c.config.empty()) {
            const std::vector<fs::path> near = {dir_.Write("demo/a.b.c.XML"),
                                                dir_.Write("demo/plugin.xml"),
                                                dir_.Write("demo/Debug/x.y.z.xml")};
            for (const bool dry : {false, true}) {
                const Outcome run =
                    pack(dry ? std::vector<std::string>{"--exclude", "com.*", "--dry-run"}
                             : std::vector<std::string>{"--exclude", "com.*"});
                EXPECT_EQ(run.code, 1);
                EXPECT_EQ(run.err, c.err);
            }
            // The same lines for scripts, after the failure's own.
            const auto json = nlohmann::json::parse(pack({"--exclude", "com.*", "--json"}).out);
            std::string hints = std::string(json["failure"]["text"]) + "\n";
            for (const auto& hint : json["config_hints"]) {
                hints += std::string(hint) + "\n";
            }
            EXPECT_EQ(hints, c.err);
            for (const fs::path& file : near) {
                fs::remove(file);
            }
        } else {
            dir_.Write("demo/com.example.demo.xml", c.config);
            const Outcome run = pack({});
            EXPECT_EQ(run.code, 1);
            EXPECT_EQ(run.err, c.err);
        }
        EXPECT_EQ(testing::ReadText(old), "old");
    }
    dir_.Write("demo/com.example.demo.xml", kConfig);

    // A selected file that cannot be read: a link to memory that is not there, ticked by hand.
    if (testing::kLinks) {
        fs::create_symlink("/proc/self/mem", dir_ / "demo" / "unreadable.bin");
        const Outcome unreadable = pack({"--include", "unreadable.bin"});
        EXPECT_EQ(unreadable.code, 1);
        EXPECT_EQ(
            unreadable.err,
            "警告：unreadable.bin 是指向插件文件夹以外的文件的链接，按要求打包\n"
            "打包失败，添加文件失败：unreadable.bin：Input/output error\nError reading file\n");
        EXPECT_EQ(testing::ReadText(old), "old");
        fs::remove(dir_ / "demo" / "unreadable.bin");
    }

    // A file that another program holds open sharing nothing (CreateAlways shares nothing; POSIX
    // has no such lock): the run fails, naming the file, with the system's words.
    if (testing::kWindows) {
        const fs::path held = dir_ / "demo" / "main.js";
        const platform::Result<platform::File> holder =
            platform::File::CreateAlways(testing::Wide(held));
        ASSERT_TRUE(holder);
        const Outcome locked = pack({});
        EXPECT_EQ(locked.code, 1);
        EXPECT_EQ(locked.err, "打包失败，添加文件失败：main.js" +
                                  platform::ToNative(testing::ReasonForOpening(held)) +
                                  "\nCouldn't create/open file\n");
        EXPECT_EQ(testing::ReadText(old), "old");
    }

    // Messages name the paths as the command made them absolute.
    const auto absolute = [](const fs::path& path) {
        return platform::ToNative(platform::AbsolutePath(testing::Wide(path)).value_or(u""));
    };
    const fs::path nowhere_path = dir_ / "no/such/x.zip";
    const Outcome nowhere = Zelpack({"pack", folder(), "-o", nowhere_path.string()});
    EXPECT_EQ(nowhere.code, 1);
    EXPECT_EQ(nowhere.err, "打包失败，无法创建压缩文件 " + absolute(nowhere_path) +
                               platform::ToNative(testing::ReasonForCreating(nowhere_path)) + "\n");

    const Outcome missing = Zelpack({"pack", (dir_ / "missing").string()});
    EXPECT_EQ(missing.code, 1);
    EXPECT_EQ(missing.err, "打包失败，无法列出插件文件夹 " + absolute(dir_ / "missing") +
                               platform::ToNative(testing::ReasonForOpening(dir_ / "missing")) +
                               "\n");

    const Outcome root = Zelpack({"pack", "/"});
    EXPECT_EQ(root.code, 1);
    EXPECT_EQ(root.err, "打包失败，插件文件夹无效！\n");
    // Only a root has no name: ".." resolves to the folder it names, which gives its own.
    const Outcome parent = Zelpack({"pack", folder() + "/src/..", "--dry-run"});
    EXPECT_EQ(parent.code, 0) << parent.err;
    EXPECT_NE(parent.out.find("\ndemo/main.js\n"), std::string::npos) << parent.out;

    EXPECT_EQ(Zelpack({"pack"}).code, 2);
    EXPECT_EQ(Zelpack({"pack", folder(), "--include"}).code, 2);
    EXPECT_EQ(Zelpack({"pack", folder(), "--bogus"}).code, 2);
}

// A plug-in deep in a workspace with files deeper still (a node_modules tree): its paths pass
// MAX_PATH and 400 characters, while the archive's names stay within the 259 bytes a name may take.
TEST_F(CliPackTest, PathsPastMaxPathAreListedAndPacked) {
    std::string plugin;
    for (int i = 0; plugin.size() < 160; ++i) {
        plugin += "workspace-level-" + std::to_string(i) + "/";
    }
    plugin += "plugin";
    std::string inside;
    for (int i = 0; inside.size() < 200; ++i) {
        inside += "node_modules/package-" + std::to_string(i) + "/";
    }
    const fs::path config = dir_.Write(plugin + "/com.example.deep.xml", kConfig);
    const fs::path deep = dir_.Write(plugin + "/" + inside + "index.js", "deep");
    EXPECT_GT(deep.string().size(), 400u);
    const std::string folder = (dir_ / plugin).string();

    const Outcome list = Zelpack({"list", folder});
    EXPECT_EQ(list.code, 0) << list.err;
    EXPECT_NE(list.out.find("[x]\t" + inside + "index.js\t"), std::string::npos) << list.out;
    // The archive, and the run's temporary file beside it, lie as deep.
    const fs::path archive = dir_ / (plugin + "/" + inside + "out.zip");
    const Outcome packed = Zelpack({"pack", folder, "-o", archive.string()});
    EXPECT_EQ(packed.code, 0) << packed.err;
    std::vector<std::string> names;
    for (const testing::CentralEntry& entry :
         testing::CentralDirectory(archive).value_or(std::vector<testing::CentralEntry>())) {
        names.push_back(entry.name);
    }
    EXPECT_EQ(names, (std::vector<std::string>{"zelPluginInfo.xml", "plugin/com.example.deep.xml",
                                               "plugin/" + inside + "index.js"}));

    // std::filesystem removes a tree by listing it through a MAX_PATH buffer on Windows: the deep
    // part goes one by one.
    for (const fs::path& file : {deep, archive, config}) {
        fs::remove(file);
    }
    for (fs::path at = deep.parent_path(); at.native().size() > dir_.path().native().size();
         at = at.parent_path()) {
        fs::remove(at);
    }
}

TEST_F(CliPackTest, LinksLeadingOutsideArePackedOnlyWhenAskedForAndAlwaysNamed) {
    if (!testing::kLinks) {
        GTEST_SKIP() << "no symbolic links can be made here";
    }
    TempDir outside;
    fs::create_symlink(outside.Write("id_rsa", "private key"), dir_ / "demo" / "key.txt");
    fs::create_directory_symlink(outside.path(), dir_ / "demo" / "home");
    const std::string not_followed = "警告：home 是指向插件文件夹以外的文件夹的链接，未跟随\n";

    const Outcome normal = Zelpack({"pack", folder(), "--dry-run"});
    EXPECT_EQ(normal.out.find("demo/key.txt"), std::string::npos) << normal.out;
    EXPECT_NE(normal.out.find("未打包：key.txt（指向插件文件夹以外的链接）\n"), std::string::npos);
    EXPECT_EQ(normal.err,
              not_followed + "警告：key.txt 是指向插件文件夹以外的文件的链接，未打包\n");
    for (const char* asked : {"--all", "--include=key.txt"}) {
        const Outcome run = Zelpack({"pack", folder(), "--dry-run", asked});
        EXPECT_NE(run.out.find("demo/key.txt\n"), std::string::npos) << asked;
        EXPECT_EQ(run.err,
                  not_followed + "警告：key.txt 是指向插件文件夹以外的文件的链接，按要求打包\n");
    }
}

// The table of what went in adds up to the run's summary, in the order of size; past 15 rows the
// rest is one row; every large file is named; the summary says what was left out and why.
TEST_F(CliPackTest, ContentsTableAddsUpToTheSummary) {
    for (int i = 1; i <= 18; ++i) {
        dir_.Write("demo/f" + std::to_string(i) + ".txt", std::string(i * 7, 'a' + i % 26));
    }
    dir_.Write("demo/说明.txt", "中文");
    fs::resize_file(dir_.Write("demo/media/big.bin"), 10 * 1024 * 1024 + 1);  // sparse
    fs::resize_file(dir_.Write("demo/media/limit.bin"), 10 * 1024 * 1024);
    const fs::path archive = dir_ / "out.zip";
    const std::vector<std::string> args{"pack",           folder(),    "-o",
                                        archive.string(), "--exclude", "f1.txt"};
    const Outcome run = Zelpack(args);
    ASSERT_EQ(run.code, 0) << run.err;
    std::istringstream lines(run.out);
    std::string line;
    std::getline(lines, line);
    EXPECT_EQ(line, "名称                  条目      大小  压缩后  方式");
    struct Row {
        std::string name;
        std::uint64_t entries = 0, size = 0, packed = 0;
    };
    std::vector<Row> rows;
    std::uint64_t structure = 0;
    Row total;
    while (std::getline(lines, line) && !line.starts_with("合计")) {
        std::istringstream cells(line);
        Row row;
        if (line.starts_with("（压缩包结构）")) {
            cells >> row.name >> structure;
            continue;
        }
        cells >> row.name;
        if (line.starts_with("…")) {  // "…（其余 N 项）"
            std::string count, end;
            cells >> count >> end;
            row.name += " " + count + " " + end;
        }
        cells >> row.entries >> row.size >> row.packed;
        rows.push_back(row);
    }
    std::istringstream(line) >> total.name >> total.entries >> total.size >> total.packed;
    // 23 top-level rows: the descriptor, the configuration, main.js, src/, media/, 17 files,
    // 说明.txt.
    ASSERT_EQ(rows.size(), 16u) << run.out;
    EXPECT_EQ(rows[0].name, "media/");
    EXPECT_EQ(rows[15].name, "…（其余 8 项）");
    Row sum;
    for (std::size_t i = 0; i < rows.size(); ++i) {
        EXPECT_TRUE(i == 0 || i == 15 || rows[i - 1].size >= rows[i].size) << rows[i].name;
        sum.entries += rows[i].entries;
        sum.size += rows[i].size;
        sum.packed += rows[i].packed;
    }
    EXPECT_EQ(sum.entries, total.entries);
    EXPECT_EQ(sum.size, total.size);
    EXPECT_EQ(sum.packed + structure, total.packed);
    EXPECT_EQ(total.packed, fs::file_size(archive));
    EXPECT_EQ(testing::CentralDirectory(archive)->size(), total.entries);
    std::string rest;
    for (std::string next; std::getline(lines, next);) {
        rest += next + "\n";
    }
    EXPECT_EQ(rest, "大文件：media/big.bin（10.0 MB）\n已打包 " + archive.string() + "：" +
                        std::to_string(total.entries) + " 个条目，读入 " +
                        std::to_string(total.size) + " 字节，写出 " + std::to_string(total.packed) +
                        rest.substr(rest.find(" 字节（")));
    EXPECT_TRUE(rest.ends_with("\n未打包 2 个：编译输出标记 1、--exclude 1\n")) << rest;

    std::vector<std::string> quiet = args;
    quiet.insert(quiet.end(), {"--force", "--quiet"});
    EXPECT_EQ(Zelpack(quiet).out, "");
    quiet.push_back("--dry-run");
    const std::string listing = Zelpack(quiet).out;
    EXPECT_TRUE(listing.ends_with("未打包：f1.txt（--exclude f1.txt）\n")) << listing;

    // A rehearsal knows no packed size, nor the descriptor's, but the rows all the same.
    std::vector<std::string> rehearsal = args;
    rehearsal.insert(rehearsal.end(), {"--dry-run", "--json"});
    const auto planned = nlohmann::json::parse(Zelpack(rehearsal).out);
    ASSERT_EQ(planned["contents"].size(), 23u);
    EXPECT_EQ(planned["contents"][0].dump(),
              R"({"entries":2,"method":"deflate","name":"media/","size":20971521})");
    EXPECT_EQ(planned["contents"][22].dump(),
              R"({"entries":1,"method":"deflate","name":"zelPluginInfo.xml","size":null})");
    EXPECT_EQ(planned["large_files"].dump(), R"([{"path":"media/big.bin","size":10485761}])");
}

// --json: one document on standard output for every outcome, entries as the archive holds them;
// warnings stay on standard error, and fail the run before it writes only under --strict.
TEST_F(CliPackTest, JsonDescribesTheRunAndWarningsFailOnlyWhenStrict) {
    dir_.Write("demo/certs/server.PEM", "key");
    const fs::path archive = dir_ / "out.zip";
    const std::string warning = "警告：certs/server.PEM 看起来是密钥或凭据文件\n";

    const Outcome strict = Zelpack({"pack", folder(), "-o", archive.string(), "--strict"});
    EXPECT_EQ(strict.code, 1);
    EXPECT_EQ(strict.err, warning + "打包失败，有警告且指定了 --strict\n");
    EXPECT_FALSE(fs::exists(archive));

    dir_.Write("demo/notes.txt", "notes");
    const Outcome packed =
        Zelpack({"pack", folder(), "-o", archive.string(), "--json", "--exclude", "*.txt"});
    ASSERT_EQ(packed.code, 0) << packed.err;
    EXPECT_EQ(packed.err, warning);
    const auto run = nlohmann::json::parse(packed.out);
    EXPECT_EQ(run["result"], "packed");
    EXPECT_TRUE(run["message"].get<std::string>().starts_with("已打包 " + archive.string()));
    EXPECT_EQ(run["archive"], archive.string());
    EXPECT_EQ(run["config"], "com.example.demo.xml");
    EXPECT_EQ(run["descriptor"].dump(), R"({"id":"a","name":"n","type":"js","version":"1"})");
    EXPECT_EQ(run["warnings"], nlohmann::json::array({warning.substr(0, warning.size() - 1)}));
    // Beside each text, a code and its fields that scripts read instead.
    EXPECT_EQ(run["warning_details"].dump(),
              R"([{"code":"secret","path":"certs/server.PEM","text":")" +
                  warning.substr(0, warning.size() - 1) + "\"}]");
    EXPECT_EQ(
        run["left_out"].dump(),
        R"([{"code":"mark","mark":"Debug","path":"Debug/demo.map","reason":"编译输出标记：Debug"},)"
        R"({"code":"exclude","path":"notes.txt","pattern":"*.txt","reason":"--exclude *.txt"}])");
    EXPECT_FALSE(run.contains("failure"));
    const auto central = testing::CentralDirectory(archive);
    ASSERT_TRUE(central.has_value());
    ASSERT_EQ(run["entries"].size(), central->size());
    for (std::size_t i = 0; i < central->size(); ++i) {
        const auto& entry = run["entries"][i];
        EXPECT_EQ(entry["name"], (*central)[i].name);
        if (i == 0) {
            continue;  // the descriptor, whose file is gone
        }
        const std::string data = testing::ReadText(dir_ / entry["name"].get<std::string>());
        EXPECT_EQ(entry["size"], data.size());
        char crc[9];
        std::snprintf(
            crc, sizeof crc, "%08lx",
            crc32(0, reinterpret_cast<const Bytef*>(data.data()), static_cast<uInt>(data.size())));
        EXPECT_EQ(entry["crc32"], crc);
        EXPECT_EQ(entry["method"], "deflate");
        EXPECT_GT(entry["compressed_size"], 0);
    }

    // A failure is a document too, with the message standard error shows.
    const Outcome refused = Zelpack({"pack", folder(), "-o", archive.string(), "--json"});
    EXPECT_EQ(refused.code, 1);
    const auto failed = nlohmann::json::parse(refused.out);
    EXPECT_EQ(failed["result"], "failed");
    EXPECT_TRUE(refused.err.ends_with(failed["message"].get<std::string>() + "\n"));
    EXPECT_TRUE(failed["message"].get<std::string>().starts_with("打包失败，压缩包已存在："));
    EXPECT_EQ(failed["failure"]["step"], "pack");
    EXPECT_EQ(failed["failure"]["text"], failed["message"]);

    // A failure the system gave has its error's name.
    const std::string missing = (dir_ / "missing").string();
    const auto walk = nlohmann::json::parse(Zelpack({"pack", missing, "--json"}).out)["failure"];
    EXPECT_EQ(walk["step"], "walk");
    EXPECT_EQ(walk["path"], missing);
    // Windows versions differ on which of the two a missing folder gives.
    const std::set<std::string> names =
        testing::kWindows ? std::set<std::string>{"ERROR_FILE_NOT_FOUND", "ERROR_PATH_NOT_FOUND"}
                          : std::set<std::string>{"ENOENT"};
    EXPECT_TRUE(names.contains(walk["error"].get<std::string>())) << walk["error"];
    // So has a write that fails: the descriptor's, then the archive's, the writer's result too.
    const auto full_disk = [&](std::uint64_t nth) {
        const testing::ScopedFault fault(
            {.operation = platform::faults::Operation::Write, .nth = nth, .error = ENOSPC});
        return nlohmann::json::parse(
            Zelpack({"pack", folder(), "-o", archive.string(), "--force", "--json"})
                .out)["failure"];
    };
    const std::string reason = platform::ToNative(testing::ReasonOf(ENOSPC));
    const auto descriptor = full_disk(1);
    EXPECT_EQ(descriptor["step"], "pack");
    EXPECT_EQ(descriptor["error"], "ENOSPC");
    EXPECT_TRUE(descriptor["text"].get<std::string>().ends_with(
        "无法写入描述文件 " + descriptor["path"].get<std::string>() + reason))
        << descriptor;
    const auto zip = full_disk(2);
    EXPECT_EQ(zip["path"], archive.string());
    EXPECT_EQ(zip["error"], "ENOSPC");
    EXPECT_EQ(zip["zip_error"], "ZIP_WRITE_FAILED");
    EXPECT_EQ(zip["text"], "打包失败，无法写入压缩文件 " + archive.string() + reason);
}

// The folder's ignore file unticks what it matches, in every output, until the user asks for it;
// one that cannot be read fails the listing and the run, as any unreadable file does.
TEST_F(CliPackTest, IgnoreFileUnticksWhatItMatchesAndFailsTheRunWhenUnreadable) {
    dir_.Write("demo/.zelpackignore", "src/\n!src/widgets/toolbar.js\n!\n");
    const std::string rule = "忽略规则：src/（.zelpackignore 第 1 行）";
    const std::string bad = "警告：.zelpackignore 第 3 行无法理解，已忽略：!\n";

    const Outcome list = Zelpack({"list", folder()});
    EXPECT_EQ(list.code, 0);
    EXPECT_NE(list.out.find("[ ]\tsrc/widgets/toolbar.js\t1K\t"), std::string::npos) << list.out;
    EXPECT_TRUE(list.out.ends_with("\t" + rule + "\n")) << list.out;
    EXPECT_EQ(list.err, bad);
    const auto listed = nlohmann::json::parse(Zelpack({"list", folder(), "--json"}).out);
    EXPECT_EQ(
        listed["files"].back()["reason"],
        nlohmann::json({{"code", "ignore"}, {"pattern", "src/"}, {"line", 1}, {"text", rule}}));
    EXPECT_EQ(Zelpack({"list", folder(), "--no-ignore-file"}).out.find(rule), std::string::npos);

    const Outcome dry = Zelpack({"pack", folder(), "--dry-run"});
    EXPECT_EQ(dry.code, 0);
    EXPECT_TRUE(dry.out.starts_with(
        "配置文件：com.example.demo.xml\nzelPluginInfo.xml\ndemo/com.example.demo.xml\n"
        "demo/main.js\n未打包：Debug/demo.map（编译输出标记：Debug）\n"
        "未打包：src/widgets/toolbar.js（" +
        rule + "）\n"))
        << dry.out;
    EXPECT_TRUE(dry.out.ends_with("\n未打包 2 个：编译输出标记 1、忽略规则 1\n")) << dry.out;
    EXPECT_EQ(dry.err, bad);
    for (const char* asked : {"--all", "--include=toolbar.js", "--no-ignore-file"}) {
        EXPECT_NE(DryRun({asked}).find("demo/src/widgets/toolbar.js\n"), std::string::npos)
            << asked;
    }
    const Outcome strict = Zelpack({"pack", folder(), "--dry-run", "--strict"});
    EXPECT_EQ(strict.err, bad + "打包失败，有警告且指定了 --strict\n");
    const auto json = nlohmann::json::parse(Zelpack({"pack", folder(), "--dry-run", "--json"}).out);
    EXPECT_EQ(json["warnings"], nlohmann::json::array({bad.substr(0, bad.size() - 1)}));
    EXPECT_EQ(
        json["warning_details"],
        nlohmann::json::array(
            {{{"code", "ignore_line"}, {"line", 3}, {"text", bad.substr(0, bad.size() - 1)}}}));
    EXPECT_EQ(json["left_out"].back(), nlohmann::json({{"path", "src/widgets/toolbar.js"},
                                                       {"reason", rule},
                                                       {"code", "ignore"},
                                                       {"pattern", "src/"},
                                                       {"line", 1}}));

    // A file that may not be read, a folder of that name, a named pipe (which must not make the
    // walk wait) and a link out of the plug-in folder: no rules from elsewhere decide what is
    // packed.
    const fs::path file = dir_ / "demo" / ".zelpackignore";
    std::optional<testing::ScopedFault> denied;
    std::vector<std::pair<std::function<void()>, std::string>> unreadable{
        {[&] {
             dir_.Write("demo/.zelpackignore", "*.js\n");
             denied.emplace(platform::faults::Fault{.operation = platform::faults::Operation::Open,
                                                    .path = ".zelpackignore",
                                                    .error = EACCES,
                                                    .repeat = true});
         },
         platform::ToNative(testing::ReasonOf(EACCES))},
        {[&] { fs::create_directory(file); }, ""}};
    if (!testing::kWindows) {
        unreadable.push_back({[&] { testing::MakeFifo(file); }, "：不是普通文件"});
    }
    const TempDir outside;
    if (testing::kLinks) {
        const fs::path rules = outside.Write("rules", "*\n");
        unreadable.push_back(
            {[&, rules] { fs::create_symlink(rules, file); }, "：是指向插件文件夹以外的链接"});
    }
    for (const auto& [make, reason] : unreadable) {
        denied.reset();
        fs::remove(file);
        make();
        const std::string failure = "无法读取忽略规则文件 " + file.string() + reason;
        const Outcome listing = Zelpack({"list", folder()});
        EXPECT_EQ(listing.code, 1);
        EXPECT_EQ(listing.out, "");
        EXPECT_TRUE(listing.err.starts_with(failure)) << listing.err;
        const Outcome run = Zelpack({"pack", folder(), "--json"});
        EXPECT_EQ(run.code, 1);
        EXPECT_TRUE(run.err.starts_with("打包失败，" + failure)) << run.err;
        EXPECT_EQ(nlohmann::json::parse(run.out)["result"], "failed");
        EXPECT_FALSE(fs::exists(dir_ / "demo" / "demo.zip"));
        EXPECT_EQ(Zelpack({"pack", folder(), "--dry-run", "--no-ignore-file"}).code, 0);
    }
}

TEST_F(CliPackTest, SignalsCancelUntilTheArchiveIsInPlace) {
    namespace faults = platform::faults;
    const fs::path archive = dir_ / "out.zip";
    const fs::path temporary = dir_.MakeFolder("tmp");
    const testing::ScopedTemporaryFolder temporary_folder(temporary);
    const std::vector<std::string> args{"pack", folder(), "-o", archive.string(), "--force"};
    using platform::Interruption;
    struct Case {
        faults::Operation during;
        Interruption request;
        int code;
    };
    // Every request whose default would end the process (SIGPIPE is ignored instead: a closed
    // output is a failed write); Windows has two of them.
    std::vector<Case> cases = {{faults::Operation::Write, Interruption::Terminate, 143},
                               {faults::Operation::Write, Interruption::Interrupt, 130},
                               {faults::Operation::Rename, Interruption::Terminate, 0}};
    if (!testing::kWindows) {
        cases.insert(cases.end(), {{faults::Operation::Read, Interruption::Hangup, 129},
                                   {faults::Operation::Write, Interruption::Quit, 131},
                                   {faults::Operation::Read, Interruption::User1, 138},
                                   {faults::Operation::Write, Interruption::User2, 140},
                                   {faults::Operation::Flush, Interruption::Alarm, 142}});
    }
    for (const Case& c : cases) {
        fs::remove(archive);
        const testing::ScopedFault fault({.operation = c.during, .after = [request = c.request] {
                                              platform::RaiseInterruption(request);
                                          }});
        const Outcome run = Zelpack(args);
        EXPECT_TRUE(faults::Struck());
        EXPECT_EQ(run.code, c.code) << run.err;
        EXPECT_EQ(run.code, c.code == 0 ? 0 : platform::ExitStatusOf(c.request));
        EXPECT_EQ(fs::exists(archive), c.code == 0);
        EXPECT_EQ(run.err, c.code == 0 ? "" : "打包已取消\n");
        EXPECT_TRUE(fs::is_empty(temporary));
        for (const auto& entry : fs::directory_iterator(dir_.path())) {
            EXPECT_NE(entry.path().filename().string().front(), '.') << entry.path();
        }
    }
}

}  // namespace
}  // namespace zelpack
