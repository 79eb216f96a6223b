#include <gtest/gtest.h>
#include <stdlib.h>

#include <atomic>
#include <filesystem>
#include <fstream>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "filelist/folder_walker.h"
#include "packager/plugin_packager.h"
#include "platform/fault_injection.h"
#include "platform/path.h"
#include "platform/result.h"
#include "platform/text.h"
#include "tests/support/scoped_fault.h"
#include "tests/support/temp_dir.h"

namespace zelpack {
namespace {

namespace fs = std::filesystem;
using testing::ReadText;
using testing::TempDir;
using testing::Wide;

using Files = std::vector<std::u16string>;
namespace faults = platform::faults;

constexpr char kConfig[] =
    R"(<vemplugin><property id="com.example" version="1.0" type="js" name="演示"/></vemplugin>)";
constexpr char kDescriptor[] =
    "<?xml version=\"1.0\" encoding=\"utf-8\"?>\n"
    "<vemplugin><property id=\"com.example\" version=\"1.0\" type=\"js\" "
    "name=\"演示\"/></vemplugin>\n";

// Every entry as "name<TAB>hex of content", in archive order, read by Python's zipfile.
std::string ListArchive(const fs::path& archive) {
    return testing::RunShell(
        "python3 -c 'import sys, zipfile\n"
        "z = zipfile.ZipFile(sys.argv[1])\n"
        "assert z.testzip() is None\n"
        "for i in z.infolist(): print(i.filename, z.read(i).decode(\"utf-8\", \"replace\"), "
        "sep=\"\\t\")' '" +
        archive.string() + "'");
}

std::vector<std::string> FilesIn(const fs::path& folder) {
    std::vector<std::string> names;
    for (const auto& entry : fs::recursive_directory_iterator(folder)) {
        names.push_back(fs::relative(entry.path(), folder).generic_string());
    }
    std::sort(names.begin(), names.end());
    return names;
}

class PackTest : public ::testing::Test {
  protected:
    // Temporary files of the runs go to a folder of the test's own, so that leftovers show.
    PackTest()
        : temporary_(dir_.MakeFolder("tmp")),
          plugin_(dir_.MakeFolder("dev/demo")),
          temporary_folder_(temporary_) {}

    bool Pack(const std::vector<std::u16string>& selection, const PackOptions& options = {}) {
        return packager_.Pack(Wide(plugin_), selection, Wide(archive()), options);
    }
    std::u16string Message() const {
        std::u16string message;
        packager_.GetErrorMessage(message);
        return message;
    }
    fs::path archive() const { return dir_ / "out" / "demo.zip"; }
    void ExpectNoTemporaryFiles() {
        EXPECT_TRUE(FilesIn(temporary_).empty());
        if (fs::exists(archive().parent_path())) {
            for (const std::string& name : FilesIn(archive().parent_path())) {
                EXPECT_EQ(name, "demo.zip");
            }
        }
    }

    TempDir dir_;
    fs::path temporary_;
    fs::path plugin_;
    testing::ScopedTemporaryFolder temporary_folder_;
    PluginPackager packager_;
};

TEST_F(PackTest, FindsTheConfigurationByItsThreeDots) {
    auto find = [](std::vector<std::u16string> files) {
        return PluginPackager::FindConfigFileIn(files).value_or(u"-");
    };
    EXPECT_EQ(find({u"x.y.z.xml"}), u"x.y.z.xml");
    EXPECT_EQ(find({u"a.js", u"sub/x.y.z.xml"}), u"sub/x.y.z.xml");
    EXPECT_EQ(find({u"sub.dir/x.y.xml"}), u"sub.dir/x.y.xml");
    EXPECT_EQ(find({u"x.y.xml", u"w.x.y.z.xml", u"x.y.z.XML", u"x.y.z.xml.bak", u"a.b.c.xmlx"}),
              u"-");
    EXPECT_EQ(find({u"first.a.b.xml", u"second.a.b.xml"}), u"first.a.b.xml");
    EXPECT_EQ(find({}), u"-");

    std::u16string config = u"untouched";
    EXPECT_FALSE(packager_.FindConfigFile(config));  // no run yet: nothing selected
    EXPECT_EQ(config, u"untouched");
}

TEST_F(PackTest, PacksTheDescriptorThenTheSelectionUnderTheFolderName) {
    dir_.Write("dev/demo/x.y.z.xml", kConfig);
    dir_.Write("dev/demo/res/a.png", "png bytes");
    dir_.Write("dev/demo/unticked.txt", "left out");
    fs::create_directories(archive().parent_path());
    std::vector<PackProgress> seen;
    std::vector<std::u16string> paths;
    PackOptions options;
    options.progress = [&](const PackProgress& progress) {
        seen.push_back(progress);
        if (paths.empty() || paths.back() != progress.current_path) {
            paths.emplace_back(progress.current_path);
        }
    };
    ASSERT_TRUE(Pack({u"x.y.z.xml", u"res/a.png"}, options)) << platform::ToNative(Message());
    EXPECT_EQ(Message(), u"");
    EXPECT_EQ(packager_.GetZipResult(), zip::Success);
    EXPECT_READ_BACK(ListArchive(archive()), std::string("zelPluginInfo.xml\t") + kDescriptor +
                                                 "\ndemo/x.y.z.xml\t" + kConfig +
                                                 "\ndemo/res/a.png\tpng bytes\n");
    ExpectNoTemporaryFiles();

    ASSERT_FALSE(seen.empty());
    const std::uint64_t total = std::string(kDescriptor).size() + std::string(kConfig).size() + 9;
    EXPECT_EQ(seen.back().files_done, 3u);
    EXPECT_EQ(seen.back().files_total, 3u);
    EXPECT_EQ(seen.back().bytes_done, total);
    EXPECT_EQ(seen.back().bytes_total, total);
    EXPECT_EQ(paths,
              (std::vector<std::u16string>{u"zelPluginInfo.xml", u"x.y.z.xml", u"res/a.png", u""}));
}

TEST_F(PackTest, AnOldArchiveInTheFolderIsNeverPackedIntoTheNewOne) {
    dir_.Write("dev/demo/x.y.z.xml", kConfig);
    dir_.Write("dev/demo/demo.zip", "the previous archive");
    ASSERT_TRUE(packager_.Pack(Wide(plugin_), Files{u"demo.zip", u"x.y.z.xml"},
                               Wide(plugin_ / "demo.zip")));
    EXPECT_READ_BACK(
        ListArchive(plugin_ / "demo.zip"),
        std::string("zelPluginInfo.xml\t") + kDescriptor + "\ndemo/x.y.z.xml\t" + kConfig + "\n");
}

TEST_F(PackTest, OnlyAFreePathOrARegularFileTakesTheArchiveAndNothingIsReplacedUnasked) {
    dir_.Write("dev/demo/x.y.z.xml", kConfig);
    const fs::path out = dir_.MakeFolder("special");
    // Whatever stands at the destination is never written into, only ever replaced by a rename:
    // a device or a pipe would become a regular file (as root, /dev/null too), so all are refused.
    struct Case {
        fs::path path;
        std::u16string kind;
    };
    std::vector<Case> cases = {{dir_.MakeFolder("special/folder.zip"), u"文件夹"}};
    if (testing::kWindows) {
        cases.push_back({out / "NUL", u"设备"});
    } else {
        testing::MakeFifo(out / "fifo.zip");
        cases.push_back({out / "fifo.zip", u"命名管道"});
        fs::create_symlink(out / "fifo.zip", out / "link-to-fifo.zip");
        cases.push_back({out / "link-to-fifo.zip", u"命名管道"});
        testing::RunShell("python3 -c 'import socket; socket.socket(socket.AF_UNIX).bind(\"" +
                          (out / "socket.zip").string() + "\")'");
        cases.push_back({out / "socket.zip", u"套接字"});
        // A device node of our own where one may be made (as root); /dev/null itself otherwise,
        // which only root could have replaced.
        const bool made =
            testing::RunShell("mknod '" + (out / "null.zip").string() + "' c 1 3").empty();
        cases.push_back({made ? out / "null.zip" : fs::path("/dev/null"), u"设备"});
    }
    for (const Case& c : cases) {
        for (const bool replace : {false, true}) {
            PluginPackager packager;
            PackOptions options;
            options.replace = replace;
            EXPECT_FALSE(packager.Pack(Wide(plugin_), Files{u"x.y.z.xml"}, Wide(c.path), options));
            std::u16string message;
            packager.GetErrorMessage(message);
            EXPECT_EQ(message, u"压缩包路径不是普通文件：" + Wide(c.path) + u"（" + c.kind + u"）");
            EXPECT_TRUE(FilesIn(temporary_).empty());
            if (!testing::kWindows) {
                EXPECT_FALSE(fs::is_regular_file(c.path)) << c.path;
            }
        }
    }
    for (const auto& entry : fs::directory_iterator(out)) {
        EXPECT_NE(entry.path().filename().string().front(), '.') << entry.path();
    }

    // Without leave to replace, a file that another run puts there while this one packs is kept:
    // the final rename refuses to replace it.
    namespace faults = platform::faults;
    fs::create_directories(archive().parent_path());
    PackOptions keep;
    keep.replace = false;
    {
        const testing::ScopedFault fault({.operation = faults::Operation::Flush, .after = [&] {
                                              dir_.Write("out/demo.zip", "another run's archive");
                                          }});
        EXPECT_FALSE(Pack({u"x.y.z.xml"}, keep));
        EXPECT_TRUE(faults::Struck());
    }
    EXPECT_EQ(Message(), u"压缩包已存在：" + Wide(archive()) + u"（用 --force 覆盖）");
    EXPECT_EQ(ReadText(archive()), "another run's archive");
    ExpectNoTemporaryFiles();
    // Already there at the start: refused before anything is made.
    faults::Count();
    EXPECT_FALSE(Pack({u"x.y.z.xml"}, keep));
    EXPECT_EQ(faults::Performed(faults::Operation::Temporary), 0u);
    faults::Clear();
    EXPECT_EQ(Message(), u"压缩包已存在：" + Wide(archive()) + u"（用 --force 覆盖）");
    EXPECT_TRUE(Pack({u"x.y.z.xml"}));
    EXPECT_NE(ReadText(archive()), "another run's archive");
}

TEST_F(PackTest, WhatIsPackedIsWhatTheWalkSawOrTheRunFails) {
    dir_.Write("dev/demo/x.y.z.xml", kConfig);
    const std::string big(300'000, 'b');  // read in many pieces
    dir_.Write("dev/demo/big.bin", big);
    dir_.Write("dev/demo/sub/a.txt", "a");
    const fs::path outside = dir_.MakeFolder("outside");
    dir_.Write("outside/big.bin", big);  // the same bytes, elsewhere
    dir_.Write("outside/a.txt", "a");
    const fs::path old = dir_.Write("out/demo.zip", "the previous archive");

    const auto walk = [&] {
        std::vector<FileEntry> entries;
        FolderWalker walker;
        EXPECT_TRUE(walker.Start(Wide(plugin_), u"*.*"));
        for (FileEntry entry; walker.Next(entry);) {
            entries.push_back(entry);
        }
        return entries;
    };
    const std::u16string big_size = platform::FromNative(std::to_string(big.size()));
    struct Case {
        const char* name;
        std::function<void()> change;
        std::u16string path;
        std::u16string what;
        bool links = false;  // the change makes a link
    };
    const fs::path file = plugin_ / "big.bin";
    const std::vector<Case> cases = {
        {"rewritten", [&] { testing::SetWriteTime(file, 1'000'000'000); }, u"big.bin",
         u"修改时间变了"},
        {"shortened", [&] { dir_.Write("dev/demo/big.bin", "short"); }, u"big.bin",
         u"大小从 " + big_size + u" 字节变为 5 字节"},
        {"replaced",
         [&] {
             const fs::path other = dir_.Write("dev/other.bin", big);
             fs::last_write_time(other, fs::last_write_time(file));
             fs::rename(other, file);
         },
         u"big.bin", u"换成了另一个文件"},
        {"file made a link",
         [&] {
             fs::remove(file);
             fs::create_symlink(outside / "big.bin", file);
         },
         u"big.bin", u"换成了链接", true},
        {"folder made a link",
         [&] {
             fs::remove_all(plugin_ / "sub");
             fs::create_directory_symlink(outside, plugin_ / "sub");
         },
         u"sub/a.txt", u"换成了链接", true},
    };
    for (const Case& c : cases) {
        if (c.links && !testing::kLinks) {
            continue;
        }
        for (const unsigned jobs : {1u, 2u}) {
            for (const bool old_kernel : {false, true}) {
                if (old_kernel && (!c.links || jobs != 1)) {
                    continue;
                }
                const std::string what = std::string(c.name) + ", " + std::to_string(jobs) +
                                         " jobs" + (old_kernel ? ", no openat2" : "");
                fs::remove_all(plugin_ / "sub");
                dir_.Write("dev/demo/sub/a.txt", "a");
                fs::remove(file);
                dir_.Write("dev/demo/big.bin", big);
                const std::vector<FileEntry> entries = walk();
                c.change();
                PackOptions options;
                options.jobs = jobs;
                // Where the kernel has no openat2 (or a sandbox refuses it), each component is
                // opened on its own.
                std::optional<testing::ScopedFault> enosys;
                if (old_kernel) {
                    enosys.emplace(faults::Fault{.operation = faults::Operation::Open,
                                                 .path = platform::ToNative(c.path),
                                                 .error = ENOSYS});
                }
                PluginPackager packager;
                EXPECT_FALSE(packager.Pack(Wide(plugin_), entries, Wide(archive()), options))
                    << what;
                std::u16string message;
                packager.GetErrorMessage(message);
                EXPECT_EQ(message, c.path + u" 在打包过程中发生了变化（" + c.what + u"）") << what;
                EXPECT_EQ(ReadText(old), "the previous archive") << what;
                EXPECT_EQ(faults::Struck(), old_kernel) << what;
                ExpectNoTemporaryFiles();
            }
        }
    }

    // A file that changes while it is read, and one swapped between the run's start and its
    // reading when there was no walk (the selection as paths).
    fs::remove_all(plugin_ / "sub");
    dir_.Write("dev/demo/sub/a.txt", "a");
    fs::remove(file);
    dir_.Write("dev/demo/big.bin", big);
    // On Windows nobody may write to a file while it is read (it is opened sharing reading only).
    for (const bool grows : {false, true}) {
        if (testing::kWindows) {
            break;
        }
        PackOptions options;
        bool changed = false;
        options.progress = [&](const PackProgress& progress) {
            if (progress.current_path == u"big.bin" && progress.bytes_done > 100'000 && !changed) {
                changed = true;
                if (grows) {
                    std::ofstream(file, std::ios::app) << "more";
                } else {
                    fs::resize_file(file, 100);
                }
            }
        };
        EXPECT_FALSE(packager_.Pack(Wide(plugin_), walk(), Wide(archive()), options));
        EXPECT_TRUE(changed);
        EXPECT_TRUE(Message().starts_with(u"big.bin 在打包过程中发生了变化（大小从 " + big_size))
            << platform::ToNative(Message());
        EXPECT_EQ(ReadText(old), "the previous archive");
        fs::resize_file(file, 0);
        dir_.Write("dev/demo/big.bin", big);
    }
    if (testing::kLinks) {
        const testing::ScopedFault fault({.operation = faults::Operation::Write, .after = [&] {
                                              fs::remove(file);
                                              fs::create_symlink(outside / "big.bin", file);
                                          }});
        EXPECT_FALSE(Pack({u"x.y.z.xml", u"big.bin"}));
        EXPECT_EQ(Message(), u"big.bin 在打包过程中发生了变化（换成了另一个文件）");
        EXPECT_EQ(ReadText(old), "the previous archive");
        ExpectNoTemporaryFiles();
    }
}

TEST_F(PackTest, TwoQualifyingFilesAreBothPackedTheFirstIsTheConfiguration) {
    dir_.Write("dev/demo/b.c.d.xml", "<not-checked/>");
    dir_.Write("dev/demo/a.b.c.xml", kConfig);
    fs::create_directories(archive().parent_path());
    ASSERT_TRUE(Pack({u"a.b.c.xml", u"b.c.d.xml"}));
    EXPECT_READ_BACK(ListArchive(archive()), std::string("zelPluginInfo.xml\t") + kDescriptor +
                                                 "\ndemo/a.b.c.xml\t" + kConfig +
                                                 "\ndemo/b.c.d.xml\t<not-checked/>\n");
}

TEST_F(PackTest, NoConfigurationInTheSelectionTouchesNothing) {
    dir_.Write("dev/demo/x.y.z.xml", kConfig);
    dir_.Write("dev/demo/main.js", "js");
    for (const Files& selection : {Files{}, Files{u"main.js"}}) {
        PluginPackager packager;
        EXPECT_FALSE(packager.Pack(Wide(plugin_), selection, Wide(archive())));
        std::u16string message;
        packager.GetErrorMessage(message);
        EXPECT_EQ(message, u"没有找到插件的配置文件！");
    }
    EXPECT_FALSE(fs::exists(archive().parent_path()));
    ExpectNoTemporaryFiles();
}

TEST_F(PackTest, AFailingConfigurationLeavesNeitherArchiveNorDescriptor) {
    dir_.Write("dev/demo/x.y.z.xml", R"(<vemplugin><property id="a" version="1" type="t"/>)"
                                     R"(</vemplugin>)");
    fs::create_directories(archive().parent_path());
    EXPECT_FALSE(Pack({u"x.y.z.xml"}));
    EXPECT_EQ(Message(), u"配置文件的property节点缺少name属性或属性值为空！");
    EXPECT_FALSE(fs::exists(archive()));
    EXPECT_TRUE(FilesIn(archive().parent_path()).empty());
    ExpectNoTemporaryFiles();
}

TEST_F(PackTest, AFileNamedLikeTheDescriptorIsNeverTouched) {
    dir_.Write("dev/demo/x.y.z.xml", kConfig);
    const fs::path beside = dir_.Write("dev/zelPluginInfo.xml", "the user's own file");
    fs::create_directories(archive().parent_path());
    ASSERT_TRUE(Pack({u"x.y.z.xml"}));
    EXPECT_EQ(ReadText(beside), "the user's own file");
    EXPECT_EQ(FilesIn(dir_ / "dev"),
              (std::vector<std::string>{"demo", "demo/x.y.z.xml", "zelPluginInfo.xml"}));
    packager_.DeleteDescriptorFile();  // after the run: nothing left to delete
    EXPECT_EQ(ReadText(beside), "the user's own file");
}

TEST_F(PackTest, AFileThatCannotBeAddedFailsTheRunAndKeepsTheOldArchive) {
    dir_.Write("dev/demo/x.y.z.xml", kConfig);
    dir_.Write("dev/demo/ok.txt", "ok");
    std::ofstream(plugin_ / "huge.bin").put('x');
    fs::resize_file(plugin_ / "huge.bin", 0x100000000ull);  // sparse: 4 GiB is too large
    const fs::path old = dir_.Write("out/demo.zip", "the previous archive");
    struct Case {
        std::u16string path;
        zip::ZipResult result;
        std::u16string message;
    };
    const std::u16string long_name(300, u'n');
    std::vector<Case> cases = {
        {u"vanished.txt", zip::OpenFailed,
         u"添加文件失败：vanished.txt" + testing::ReasonForOpening(plugin_ / "vanished.txt")},
        // The format's limits name the file and the limit, not the writer's complaint.
        {u"huge.bin", zip::Success,
         u"无法打包 huge.bin：超过 ZIP 格式的单个文件上限 4294967294 字节（不使用 ZIP64）"},
        {long_name, zip::Success, u"无法打包 " + long_name + u"：条目名称超过上限 259 字节"}};
    if (!testing::kWindows) {  // where a backslash is no separator
        dir_.Write("dev/demo/back\\slash.txt", "a backslash is no folder here");
        cases.push_back({u"back\\slash.txt", zip::BadArguments, u"添加文件失败：back\\slash.txt"});
    }
    for (const Case& c : cases) {
        PluginPackager packager;
        const Files files{u"x.y.z.xml", u"ok.txt", c.path};
        EXPECT_FALSE(packager.Pack(Wide(plugin_), files, Wide(archive())));
        std::u16string message;
        packager.GetErrorMessage(message);
        EXPECT_EQ(message, c.message);
        EXPECT_EQ(packager.DescribeFailure(), u"打包失败，" + message);
        EXPECT_EQ(packager.GetZipResult(), c.result);
        EXPECT_EQ(ReadText(old), "the previous archive");
        ExpectNoTemporaryFiles();
    }
}

TEST_F(PackTest, NamesTooLongForTheArchiveFailTheRun) {
    dir_.Write("dev/demo/x.y.z.xml", kConfig);
    const std::string name(200, 'n');
    // 405 bytes with the prefix. The name is refused before the file is looked for, and a Windows
    // path this long cannot be made anyway.
    if (!testing::kWindows) {
        dir_.Write("dev/demo/" + name + "/" + name, "deep");
    }
    fs::create_directories(archive().parent_path());
    const std::u16string path = platform::FromNative(name + "/" + name);
    EXPECT_FALSE(Pack({u"x.y.z.xml", path}));
    EXPECT_EQ(Message(), u"无法打包 " + path + u"：条目名称超过上限 259 字节");
    EXPECT_EQ(packager_.GetZipResult(), zip::Success);
    EXPECT_FALSE(fs::exists(archive()));
}

TEST_F(PackTest, TrailingSeparatorsAreIgnoredAndARootIsRefused) {
    dir_.Write("dev/demo/x.y.z.xml", kConfig);
    fs::create_directories(archive().parent_path());
    ASSERT_TRUE(packager_.Pack(Wide(plugin_) + u"//", Files{u"x.y.z.xml"}, Wide(archive())));
    EXPECT_READ_BACK(ListArchive(archive()), std::string("zelPluginInfo.xml\t") + kDescriptor +
                                                 "\ndemo/x.y.z.xml\t" + kConfig + "\n");

    for (const std::u16string& folder :
         Files{u"/", u"//", Wide(plugin_) + u"/.", Wide(plugin_) + u"/.."}) {
        PluginPackager packager;
        EXPECT_FALSE(packager.Pack(folder, Files{u"x.y.z.xml"}, Wide(dir_ / "root.zip")));
        std::u16string message;
        packager.GetErrorMessage(message);
        EXPECT_EQ(message, u"插件文件夹无效！");
        EXPECT_FALSE(fs::exists(dir_ / "root.zip"));
    }
    const std::u16string separator(1, platform::kPathSeparator);
    EXPECT_EQ(PluginPackager::EntryPrefix(u"/a/b"), u"b" + separator);
    EXPECT_EQ(PluginPackager::EntryPrefix(u"b"), u"b" + separator);
    // Both front ends propose the same archive, however the folder was typed.
    for (const std::u16string& folder : Files{u"/x/demo", u"/x/demo/", u"/x/demo//"}) {
        EXPECT_EQ(PluginPackager::ProposedArchivePath(folder), u"/x/demo" + separator + u"demo.zip")
            << folder.size();
    }
    EXPECT_EQ(PluginPackager::ProposedArchivePath(u"demo"), u"demo" + separator + u"demo.zip");
    EXPECT_EQ(PluginPackager::ProposedArchivePath(u""), separator + u".zip");
    if (testing::kWindows) {
        EXPECT_EQ(PluginPackager::ProposedArchivePath(u"C:\\dev\\demo\\"),
                  u"C:\\dev\\demo\\demo.zip");
        EXPECT_FALSE(PluginPackager::PluginName(u"C:\\"));
    }
}

// "：" and the system's text for an error number, as the seam injects it.
std::u16string Reason(int error) {
    return u"：" + platform::ErrorText(std::error_code(error, std::generic_category()));
}

TEST_F(PackTest, EveryFailingStepIsNamedWithItsPathAndTheSystemsReason) {
    namespace faults = platform::faults;
    dir_.Write("dev/demo/x.y.z.xml", kConfig);
    fs::create_directories(archive().parent_path());
    const std::u16string destination = Wide(archive());
    const std::u16string temporary = Wide(temporary_);
    struct Case {
        faults::Fault fault;
        std::u16string message_start;  // followed by a path of the run's own making
        std::u16string message_end;
    };
    const Case cases[] = {
        {{.operation = faults::Operation::Temporary, .path = "zelPluginInfo", .error = ENOSPC},
         u"无法在临时文件夹中创建描述文件 " + temporary + Reason(ENOSPC),
         u""},
        {{.operation = faults::Operation::Write, .error = ENOSPC},
         u"无法写入描述文件 " + temporary + platform::kPathSeparator + u"zelPluginInfo-",
         u".xml" + Reason(ENOSPC)},
        {{.operation = faults::Operation::Temporary, .path = "demo.zip", .error = EACCES},
         u"无法创建压缩文件 " + destination + Reason(EACCES),
         u""},
        {{.operation = faults::Operation::Write, .nth = 2, .error = EIO},
         u"无法写入压缩文件 " + destination + Reason(EIO),
         u""},
        // nth 0: the run's last close, the archive's own.
        {{.operation = faults::Operation::Close, .nth = 0, .error = ENOSPC},
         u"无法写入压缩文件 " + destination + Reason(ENOSPC),
         u""},
        {{.operation = faults::Operation::Rename, .error = EXDEV},
         u"无法保存压缩文件 " + destination + Reason(EXDEV),
         u""},
    };
    faults::Count();
    ASSERT_TRUE(Pack({u"x.y.z.xml"}));
    const std::uint64_t closes = faults::Performed(faults::Operation::Close);
    faults::Clear();
    fs::remove(archive());
    for (Case c : cases) {
        if (c.fault.nth == 0) {
            c.fault.nth = closes;
        }
        {
            const testing::ScopedFault fault(c.fault);
            EXPECT_FALSE(Pack({u"x.y.z.xml"}));
            EXPECT_TRUE(faults::Struck());
        }
        const std::u16string message = Message();
        EXPECT_TRUE(message.starts_with(c.message_start) && message.ends_with(c.message_end))
            << platform::ToNative(message);
        EXPECT_FALSE(fs::exists(archive()));
        ExpectNoTemporaryFiles();
    }
    // The same packager's next run carries nothing of the last one's failure.
    EXPECT_TRUE(Pack({u"x.y.z.xml"}));
    EXPECT_EQ(Message(), u"");
    EXPECT_EQ(packager_.GetZipResult(), zip::Success);
}

TEST_F(PackTest, AnArchiveThatCannotBeCreatedNamesItAndTheReason) {
    dir_.Write("dev/demo/x.y.z.xml", kConfig);
    EXPECT_FALSE(Pack({u"x.y.z.xml"}));  // the destination's folder does not exist
    EXPECT_EQ(Message(),
              u"无法创建压缩文件 " + Wide(archive()) + testing::ReasonForCreating(archive()));
    EXPECT_EQ(packager_.GetZipResult(), zip::Success);  // the writer never ran
    ExpectNoTemporaryFiles();
}

TEST_F(PackTest, EntriesLieUnderTheFolderNameWithTheirAttributes) {
    dir_.Write("dev/demo/x.y.z.xml", kConfig);
    dir_.Write("dev/demo/res/a.png", "png");
    const fs::path locked = dir_.Write("dev/demo/locked.txt", "read-only");
    fs::permissions(locked,
                    fs::perms::owner_write | fs::perms::group_write | fs::perms::others_write,
                    fs::perm_options::remove);
    fs::create_directories(archive().parent_path());
    // The selection as the walk gives it: native separators (a backslash on Windows).
    const std::u16string nested = u"res" + std::u16string(1, platform::kPathSeparator) + u"a.png";
    ASSERT_TRUE(Pack({u"x.y.z.xml", nested, u"locked.txt"})) << platform::ToNative(Message());
    const auto entries = testing::CentralDirectory(archive());
    ASSERT_TRUE(entries);
    ASSERT_EQ(entries->size(), 4u);
    const std::vector<std::string> names = {(*entries)[0].name, (*entries)[1].name,
                                            (*entries)[2].name, (*entries)[3].name};
    EXPECT_EQ(names, (std::vector<std::string>{"zelPluginInfo.xml", "demo/x.y.z.xml",
                                               "demo/res/a.png", "demo/locked.txt"}));
    // The read-only attribute (0x01) travels with the file, as does the archive bit (0x20).
    EXPECT_EQ((*entries)[2].external_attributes & 0xFF, 0x20u);
    EXPECT_EQ((*entries)[3].external_attributes & 0xFF, 0x21u);
    fs::permissions(locked, fs::perms::owner_write, fs::perm_options::add);
}

TEST_F(PackTest, ReplacingAnArchiveKeepsItsPermissionBits) {
    if (testing::kWindows) {
        GTEST_SKIP() << "Windows files have no permission bits, only a read-only attribute";
    }
    dir_.Write("dev/demo/x.y.z.xml", kConfig);
    const fs::path old = dir_.Write("out/demo.zip", "the previous archive");
    fs::permissions(old, fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
    ASSERT_TRUE(Pack({u"x.y.z.xml"}));
    EXPECT_NE(ReadText(old), "the previous archive");
    EXPECT_EQ(fs::status(old).permissions(),
              fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
}

TEST_F(PackTest, CancellingStopsTheRunAndLeavesTheDestinationAlone) {
    dir_.Write("dev/demo/x.y.z.xml", kConfig);
    {
        std::ofstream big(plugin_ / "big.bin", std::ios::binary);
        std::string block(1 << 20, '\0');
        for (int i = 0; i < 16; ++i) {
            for (std::size_t k = 0; k < block.size(); ++k) {
                block[k] = static_cast<char>((k * 2654435761u >> 13) + i);
            }
            big << block;
        }
    }
    const fs::path old = dir_.Write("out/demo.zip", "the previous archive");

    std::atomic<bool> cancel{true};
    PackOptions options;
    options.cancel = &cancel;
    EXPECT_FALSE(Pack({u"x.y.z.xml", u"big.bin"}, options));
    EXPECT_EQ(Message(), u"打包已取消");

    // Cancelled in the middle of the big file's data.
    cancel = false;
    std::uint64_t bytes_when_cancelled = 0;
    options.progress = [&](const PackProgress& progress) {
        if (progress.current_path == u"big.bin" && progress.bytes_done > (4u << 20) && !cancel) {
            bytes_when_cancelled = progress.bytes_done;
            cancel = true;
        }
    };
    PluginPackager packager;
    EXPECT_FALSE(
        packager.Pack(Wide(plugin_), Files{u"x.y.z.xml", u"big.bin"}, Wide(archive()), options));
    std::u16string message;
    packager.GetErrorMessage(message);
    EXPECT_EQ(message, u"打包已取消");
    EXPECT_GT(bytes_when_cancelled, 0u);
    EXPECT_EQ(ReadText(old), "the previous archive");
    ExpectNoTemporaryFiles();
}

TEST_F(PackTest, DescriptorCanBeDeletedFromAnotherThreadDuringTheRun) {
    dir_.Write("dev/demo/x.y.z.xml", kConfig);
    dir_.Write("dev/demo/a.txt", "a");
    fs::create_directories(archive().parent_path());
    std::atomic<bool> cancel{false};
    PackOptions options;
    options.cancel = &cancel;
    bool deleted_while_running = false;
    options.progress = [&](const PackProgress& progress) {
        if (progress.current_path == u"a.txt" && !cancel) {
            // What the progress dialog's Cancel does: delete the descriptor, then cancel.
            const bool held = FilesIn(temporary_).size() == 1;
            packager_.DeleteDescriptorFile();
            deleted_while_running = held && FilesIn(temporary_).empty();
            cancel = true;
        }
    };
    EXPECT_FALSE(Pack({u"x.y.z.xml", u"a.txt"}, options));
    EXPECT_TRUE(deleted_while_running);
    EXPECT_EQ(Message(), u"打包已取消");
    EXPECT_FALSE(fs::exists(archive()));
    ExpectNoTemporaryFiles();
}

// The archive without its first entry, the descriptor, whose file is new on every run: the
// other entries' records and data, the rest of the central directory, and the end record.
std::string AfterTheDescriptor(const fs::path& archive) {
    const std::string bytes = ReadText(archive);
    auto at = [&](std::size_t offset, int width) {
        std::uint32_t value = 0;
        for (int i = width; i-- > 0;) {
            value = value << 8 | static_cast<std::uint8_t>(bytes.at(offset + i));
        }
        return static_cast<std::size_t>(value);
    };
    const std::size_t end = bytes.size() - 22;
    const std::size_t directory = at(end + 16, 4);
    const std::size_t first =
        46 + at(directory + 28, 2) + at(directory + 30, 2) + at(directory + 32, 2);
    const std::size_t second_entry = at(directory + first + 42, 4);
    return bytes.substr(second_entry, directory - second_entry) + bytes.substr(directory + first);
}

TEST_F(PackTest, ParallelRunsGiveTheOneThreadArchiveAndFailAndStopAlike) {
    // Over a thousand files, small and large, text and noise, deflated and stored; one larger
    // than a thread may hold, which the archive streams itself.
    dir_.Write("dev/demo/x.y.z.xml", kConfig);
    Files selection{u"x.y.z.xml"};
    std::uint64_t state = 0x9E3779B97F4A7C15ull;
    auto next = [&] {
        state ^= state << 13;
        state ^= state >> 7;
        state ^= state << 17;
        return state;
    };
    auto text = [](std::size_t size, std::size_t seed) {
        std::string out;
        while (out.size() < size) {
            out += "function f" + std::to_string(seed++ % 97) + "(a, b) { return a + b; }\n";
        }
        out.resize(size);
        return out;
    };
    for (int i = 0; i < 1000; ++i) {
        const std::string name =
            "d" + std::to_string(i % 23) + "/f" + std::to_string(i) + (i % 50 == 7 ? ".gz" : ".js");
        std::string content = text(next() % 3000, i);
        if (i % 5 == 0) {
            for (char& c : content) {
                c = static_cast<char>(next());
            }
        }
        dir_.Write("dev/demo/" + name, content);
        selection.push_back(platform::FromNative(name));
    }
    for (const char* name : {"big/a.js", "big/b.js", "big/c.js"}) {
        dir_.Write(std::string("dev/demo/") + name, text(300'000, 5));
        selection.push_back(platform::FromNative(name));
    }
    dir_.Write("dev/demo/big/huge.js", text(9'000'000, 11));
    selection.push_back(u"big/huge.js");

    fs::create_directories(archive().parent_path());
    // The entries carry the files' access times, which the first reading of a new file moves.
    ASSERT_TRUE(Pack(selection));
    std::string one_thread;
    for (unsigned jobs : {1u, 2u, 7u}) {
        PackOptions options;
        options.jobs = jobs;
        std::vector<PackProgress> seen;
        options.progress = [&](const PackProgress& progress) { seen.push_back(progress); };
        ASSERT_TRUE(Pack(selection, options)) << jobs << " " << platform::ToNative(Message());
        const std::string body = AfterTheDescriptor(archive());
        if (jobs == 1) {
            one_thread = body;
        } else {
            EXPECT_TRUE(body == one_thread) << jobs << " jobs give another archive";
        }
        ASSERT_FALSE(seen.empty());
        for (std::size_t i = 1; i < seen.size(); ++i) {
            EXPECT_GE(seen[i].bytes_done, seen[i - 1].bytes_done);
            EXPECT_GE(seen[i].files_done, seen[i - 1].files_done);
        }
        EXPECT_EQ(seen.back().files_done, selection.size() + 1);
        EXPECT_EQ(seen.back().bytes_done, seen.back().bytes_total);
    }
    ExpectNoTemporaryFiles();

    // A file that cannot be read fails the run as alone, with the old archive kept; so does a
    // cancel part-way.
    const std::string previous = ReadText(archive());
    Files failing = selection;
    failing.insert(failing.begin() + 500, u"vanished.txt");
    for (unsigned jobs : {1u, 3u}) {
        PackOptions options;
        options.jobs = jobs;
        EXPECT_FALSE(Pack(failing, options));
        EXPECT_EQ(Message(), u"添加文件失败：vanished.txt" +
                                 testing::ReasonForOpening(plugin_ / "vanished.txt"));
        EXPECT_EQ(ReadText(archive()), previous);
        ExpectNoTemporaryFiles();

        std::atomic<bool> cancel{false};
        options.cancel = &cancel;
        options.progress = [&](const PackProgress& progress) {
            if (progress.files_done >= 600) {
                cancel = true;
            }
        };
        EXPECT_FALSE(Pack(selection, options));
        EXPECT_EQ(Message(), u"打包已取消");
        EXPECT_EQ(ReadText(archive()), previous);
        ExpectNoTemporaryFiles();
    }
}

}  // namespace
}  // namespace zelpack
