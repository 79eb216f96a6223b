// Whole packing runs with one file operation made to fail (or to run short) in turn, for every
// operation of every kind the run makes: each run either succeeds with an archive that other
// readers accept and that holds exactly the selection, or fails with a message naming the step;
// a previous archive at the destination always survives a failure, and no temporary file stays.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <cerrno>
#include <filesystem>
#include <iostream>
#include <string>
#include <vector>

#include "packager/plugin_packager.h"
#include "platform/fault_injection.h"
#include "platform/text.h"
#include "tests/support/temp_dir.h"

namespace zelpack {
namespace {

namespace fs = std::filesystem;
namespace faults = platform::faults;
using faults::Operation;
using testing::ReadText;
using testing::TempDir;
using testing::Wide;

constexpr char kConfig[] =
    R"(<vemplugin><property id="com.example" version="1.0" type="js" name="演示"/></vemplugin>)";
constexpr char kPrevious[] = "the previous archive";

// The steps a failure may name; each message carries the system's reason.
constexpr std::u16string_view kSteps[] = {
    u"配置文件读取错误 ", u"无法在临时文件夹中创建描述文件 ",
    u"无法写入描述文件 ", u"无法读取描述文件 ",
    u"无法创建压缩文件 ", u"无法写入压缩文件 ",
    u"无法保存压缩文件 ", u"压缩包路径无效：",
    u"添加文件失败：",
};

struct Mode {
    int error;
    bool partial;
    const char* name;
};
constexpr Mode kModes[] = {
    {ENOSPC, false, "ENOSPC"}, {EACCES, false, "EACCES"}, {EIO, false, "EIO"},
    {EINTR, false, "EINTR"},   {0, true, "short"},
};
constexpr Operation kOperations[] = {
    Operation::Create, Operation::Open,   Operation::Temporary, Operation::Read,
    Operation::Write,  Operation::Seek,   Operation::Close,     Operation::Rename,
    Operation::Remove, Operation::Status, Operation::Flush,     Operation::Random,
};
constexpr const char* kOperationNames[] = {"create", "open",   "temporary", "read",
                                           "write",  "seek",   "close",     "rename",
                                           "remove", "status", "flush",     "random"};

std::vector<std::string> FilesIn(const fs::path& folder) {
    std::vector<std::string> names;
    for (const auto& entry : fs::recursive_directory_iterator(folder)) {
        names.push_back(fs::relative(entry.path(), folder).string());
    }
    return names;
}

TEST(PackFaultTest, EveryFailedOperationLeavesTheDestinationWholeAndNothingBehind) {
    TempDir dir;
    const fs::path temporary = dir.MakeFolder("tmp");
    std::optional<testing::ScopedTemporaryFolder> temporary_folder(std::in_place, temporary);

    // A small plug-in with what makes a run take different paths: a deflated file of several
    // buffers, a stored one, an empty one, a nested one.
    const fs::path plugin = dir.MakeFolder("dev/demo");
    dir.Write("dev/demo/x.y.z.xml", kConfig);
    std::string text;
    for (int i = 0; i < 4000; ++i) {
        text += "line " + std::to_string(i * 7919 % 10007) + " of the main script\n";
    }
    dir.Write("dev/demo/main.js", text);
    dir.Write("dev/demo/vendor/lib.zip", std::string(20000, 'z'));
    dir.Write("dev/demo/empty.txt");
    dir.Write("dev/demo/res/deep/icon.svg", "<svg/>");
    const std::vector<std::u16string> selection = {u"x.y.z.xml", u"main.js", u"vendor/lib.zip",
                                                   u"empty.txt", u"res/deep/icon.svg"};
    const fs::path out = dir.MakeFolder("out");
    const fs::path archive = out / "demo.zip";
    const fs::path kept = dir.MakeFolder("succeeded");

    PluginPackager packager;
    auto pack = [&] { return packager.Pack(Wide(plugin), selection, Wide(archive)); };

    // A run without faults tells how many operations of each kind there are to fail.
    dir.Write("out/demo.zip", kPrevious);
    faults::Count();
    ASSERT_TRUE(pack()) << platform::ToNative(packager.DescribeFailure());
    std::vector<std::uint64_t> counts;
    for (Operation operation : kOperations) {
        counts.push_back(faults::Performed(operation));
    }
    faults::Clear();

    int runs = 0;
    int failed = 0;
    for (std::size_t k = 0; k < std::size(kOperations); ++k) {
        for (std::uint64_t nth = 1; nth <= counts[k]; ++nth) {
            for (const Mode& mode : kModes) {
                if (mode.partial && kOperations[k] != Operation::Read &&
                    kOperations[k] != Operation::Write) {
                    continue;
                }
                const std::string what =
                    std::string(kOperationNames[k]) + " #" + std::to_string(nth) + " " + mode.name;
                dir.Write("out/demo.zip", kPrevious);
                faults::Inject({.operation = kOperations[k],
                                .nth = nth,
                                .error = mode.error,
                                .partial = mode.partial});
                const bool packed = pack();
                const bool struck = faults::Struck();
                faults::Clear();
                ++runs;
                EXPECT_TRUE(struck) << what;

                EXPECT_TRUE(FilesIn(temporary).empty()) << what;
                EXPECT_EQ(FilesIn(out), std::vector<std::string>{"demo.zip"}) << what;
                // Retried or harmless: an interrupted call and a short transfer never fail a run.
                if (mode.partial || mode.error == EINTR) {
                    EXPECT_TRUE(packed)
                        << what << ": " << platform::ToNative(packager.DescribeFailure());
                }
                if (packed) {
                    fs::copy_file(archive, kept / ("run" + std::to_string(runs) + ".zip"));
                    continue;
                }
                ++failed;
                EXPECT_EQ(ReadText(archive), kPrevious) << what;
                std::u16string message;
                ASSERT_TRUE(packager.GetErrorMessage(message)) << what;
                EXPECT_EQ(packager.DescribeFailure(), u"打包失败，" + message);
                const bool named =
                    std::any_of(std::begin(kSteps), std::end(kSteps), [&](auto step) {
                        return message.starts_with(step) &&
                               message.ends_with(platform::FromNative(
                                   std::error_code(mode.error, std::generic_category()).message()));
                    });
                EXPECT_TRUE(named) << what << ": " << platform::ToNative(message) << " (writer "
                                   << packager.GetZipResult() << ")";
            }
        }
    }
    temporary_folder.reset();

    // Every archive that a run reported as made: accepted by unzip, and by Python's zipfile to
    // hold exactly the descriptor and the selection, byte for byte.
    std::string expected = "zelPluginInfo.xml";
    for (const std::u16string& path : selection) {
        expected += " demo/" + platform::ToNative(path);
    }
    // Everywhere: the directory of each holds the names (the readers below are Linux programs).
    std::vector<std::string> names = {"zelPluginInfo.xml"};
    for (const std::u16string& path : selection) {
        names.push_back("demo/" + platform::ToNative(path));
    }
    for (const auto& archive_file : fs::directory_iterator(kept)) {
        const auto entries = testing::CentralDirectory(archive_file.path());
        ASSERT_TRUE(entries) << archive_file.path();
        std::vector<std::string> listed;
        for (const auto& entry : *entries) {
            listed.push_back(entry.name);
        }
        EXPECT_EQ(listed, names) << archive_file.path();
    }
    const auto read_back = [&] {
        return testing::RunShell("cd '" + kept.string() +
                                 "' && for f in *.zip; do unzip -tqq \"$f\" >/dev/null || echo "
                                 "\"unzip: $f\"; done; python3 -c 'import glob, sys, zipfile\n"
                                 "plugin, expected = sys.argv[1], sys.argv[2].split()\n"
                                 "for name in sorted(glob.glob(\"*.zip\")):\n"
                                 "    z = zipfile.ZipFile(name)\n"
                                 "    assert z.testzip() is None, name\n"
                                 "    assert z.namelist() == expected, (name, z.namelist())\n"
                                 "    for entry in expected[1:]:\n"
                                 "        with open(plugin + entry[4:], \"rb\") as f:\n"
                                 "            assert z.read(entry) == f.read(), (name, entry)\n"
                                 "    assert z.read(expected[0]).startswith(b\"<?xml\"), name\n"
                                 "print(len(glob.glob(\"*.zip\")))' '" +
                                 plugin.string() + "' '" + expected + "'");
    };
    EXPECT_READ_BACK(read_back(), std::to_string(runs - failed) + "\n");
    std::cout << "[ fault sweep ] " << runs << " runs with one fault each: " << failed
              << " failed cleanly, " << runs - failed << " succeeded\n";
}

}  // namespace
}  // namespace zelpack
