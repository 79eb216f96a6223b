#include "gui/progress/compres_info_dlg.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "gui/filelist/package_file_list.h"
#include "gui/framework/list_view.h"
#include "tests/support/dialog_driver.h"
#include "tests/support/gui_test_util.h"
#include "tests/support/scoped_fault.h"
#include "tests/support/temp_dir.h"

namespace zelpack {
namespace {

namespace fs = std::filesystem;
namespace id = resources;
using testing::ModalWatcher;
using testing::TempDir;
using testing::Utf8;
using testing::Wide;

constexpr char kConfig[] =
    R"(<vemplugin><property id="a" version="1" type="js" name="n"/></vemplugin>)";

// Incompressible bytes.
void WriteNoise(const fs::path& path, std::size_t megabytes) {
    std::ofstream out(path, std::ios::binary);
    std::vector<std::uint64_t> block(1 << 17);
    std::uint64_t state = 0x9E3779B97F4A7C15ull;
    for (std::size_t i = 0; i < megabytes; ++i) {
        for (std::uint64_t& word : block) {
            state ^= state << 13;
            state ^= state >> 7;
            state ^= state << 17;
            word = state;
        }
        out.write(reinterpret_cast<const char*>(block.data()),
                  static_cast<std::streamsize>(block.size() * sizeof(std::uint64_t)));
    }
}

// The main dialog is the progress dialog's owner and holds the list, as in the program.
class Owner : public framework::DialogWindow {
  public:
    Owner() : DialogWindow(resources::kMainDialog) {}
    bool OnInitDialog() override {
        list.AttachListView(&GetListView(id::kIdFileList));
        return true;
    }
    void OnCommand(int, int) override {}
    PackageFileList list;
};

class CompresInfoDlgTest : public ::testing::Test {
  protected:
    CompresInfoDlgTest() : temporary_(dir_.MakeFolder("tmp")), temporary_folder_(temporary_) {
        dir_.Write("demo/a.b.c.xml", kConfig);
        dir_.Write("demo/main.js", "main");
    }

    // Inside the owner's modal run: `script` with the list scanned.
    void WithOwner(const std::function<void()>& script) {
        testing::RunModal(owner_, [&] {
            owner_.list.ScanFolder(Wide(dir_ / "demo"));
            script();
            owner_.EndDialog(0);
        });
    }
    // Runs the progress dialog for `archive` over the owner and returns its end code.
    int Run(const fs::path& archive) {
        CCompresInfoDlg dialog(&owner_);
        dialog.SetJob(Wide(archive), owner_.list);
        dialog.StartWorker();
        const int result = dialog.DoModal();
        dialog.WaitForWorker();
        return result;
    }
    bool NoTemporaryFiles() const { return fs::is_empty(temporary_); }

    TempDir dir_;
    fs::path temporary_;
    testing::ScopedTemporaryFolder temporary_folder_;
    Owner owner_;
};

TEST_F(CompresInfoDlgTest, TemplateAndPlacementAtTheOwnersCorner) {
    WithOwner([&] {
        CCompresInfoDlg dialog(&owner_);
        const int code = testing::RunModal(dialog, [&] {
            EXPECT_EQ(Utf8(testing::Caption(dialog)), "正在打包...");
            EXPECT_FALSE(testing::FrameOf(dialog).minimise_box);
            EXPECT_EQ(testing::ControlBox(dialog, id::kNoId),
                      testing::InPixels(dialog, {0, 0, 238, 67}));
            EXPECT_EQ(testing::ControlBox(dialog, id::kIdStatus),
                      testing::InPixels(dialog, {31, 20, 185, 25}));
            EXPECT_EQ(testing::ControlBox(dialog, id::kIdCancel),
                      testing::InPixels(dialog, {169, 46, 50, 14}));
            EXPECT_EQ(dialog.GetDlgItemText(id::kIdStatus), u"");
            EXPECT_EQ(Utf8(dialog.GetDlgItemText(id::kIdCancel)), "取消");
            // Placed at the owner's client corner, not centred.
            const testing::Box frame = testing::FrameBox(dialog);
            const testing::Box owner = testing::OwnerClientBox(dialog);
            EXPECT_EQ(frame.x, owner.x);
            EXPECT_EQ(frame.y, owner.y);
            testing::Press(dialog, testing::Key::Escape);
        });
        EXPECT_EQ(code, 0);
    });
}

TEST_F(CompresInfoDlgTest, SuccessShowsTheTimeAndClosesByItselfWithOne) {
    WithOwner([&] {
        ModalWatcher watcher;
        EXPECT_EQ(Run(dir_ / "out.zip"), 1);
        EXPECT_GE(watcher.Elapsed(), 900);  // the success text stays up for a second
        ASSERT_FALSE(watcher.statuses.empty());
        EXPECT_EQ(Utf8(watcher.statuses.back()), "打包成功,用时:0秒");
        EXPECT_EQ(Utf8(watcher.buttons.back()), "确定");
        EXPECT_TRUE(fs::exists(dir_ / "out.zip"));
        EXPECT_TRUE(NoTemporaryFiles());
    });
}

TEST_F(CompresInfoDlgTest, FailuresStayUpWithTheReasonUntilClosed) {
    struct Case {
        std::string config;  // empty: leave the configuration unticked
        fs::path archive;
        std::string status;
    };
    const fs::path unwritable = dir_ / "no" / "such" / "folder" / "out.zip";
    const Case cases[] = {
        {"", dir_ / "out.zip", "打包失败，没有找到插件的配置文件！"},
        {R"(<vemplugin><property id="a" type="t" name="n"/></vemplugin>)", dir_ / "out.zip",
         "打包失败，配置文件的property节点缺少version属性或属性值为空！"},
        {kConfig, unwritable,
         "打包失败，无法创建压缩文件 " + Utf8(Wide(unwritable)) +
             Utf8(testing::ReasonForCreating(unwritable))},
    };
    WithOwner([&] {
        int way = 0;
        for (const Case& c : cases) {
            if (!c.config.empty()) {
                dir_.Write("demo/a.b.c.xml", c.config);
            }
            owner_.list.ScanFolder(Wide(dir_ / "demo"));
            if (c.config.empty()) {
                owner_.list.SetRowChecked(0, false);
            }
            long long failed_at = -1;
            // Closed a while after the failure shows: by the button, Escape or the close box.
            ModalWatcher watcher([&](framework::DialogWindow& dialog, ModalWatcher& self) {
                if (!self.statuses.back().starts_with(u"打包失败")) {
                    return;
                }
                if (failed_at < 0) {
                    failed_at = self.Elapsed();
                } else if (self.Elapsed() - failed_at > 300) {
                    failed_at = 1LL << 40;
                    if (way == 0) {
                        testing::Click(dialog, id::kIdCancel);
                    } else if (way == 1) {
                        testing::Press(dialog, testing::Key::Escape);
                    } else {
                        testing::ClickCloseBox(dialog);
                    }
                }
            });
            EXPECT_EQ(Run(c.archive), 0);
            ASSERT_FALSE(watcher.statuses.empty());
            EXPECT_EQ(Utf8(watcher.statuses.back()), c.status);
            EXPECT_EQ(Utf8(watcher.buttons), std::vector<std::string>{"取消"});
            EXPECT_FALSE(fs::exists(c.archive));
            EXPECT_TRUE(NoTemporaryFiles());
            ++way;
        }
    });
}

// The selection's warnings show under the status from the start of the run to its end; a bad
// SOURCE_DATE_EPOCH fails the run as it fails the command line.
TEST_F(CompresInfoDlgTest, WarningsStayUnderTheStatusAndABadEpochFails) {
    dir_.Write("demo/id_rsa", "key");
    dir_.Write("demo/server.pem", "key");
    const std::string warnings = "\n警告：id_rsa 看起来是密钥或凭据文件（共 2 条警告）";
    WithOwner([&] {
        owner_.list.ScanFolder(Wide(dir_ / "demo"));
        {
            ModalWatcher watcher;
            EXPECT_EQ(Run(dir_ / "out.zip"), 1);
            ASSERT_FALSE(watcher.statuses.empty());
            EXPECT_EQ(Utf8(watcher.statuses.back()), "打包成功,用时:0秒" + warnings);
            // Every status the run shows; the empty one is the window's before the run's first.
            for (const std::u16string& status : watcher.statuses) {
                EXPECT_TRUE(status.empty() || Utf8(status).ends_with(warnings)) << Utf8(status);
            }
        }
        testing::ScopedVariable epoch("SOURCE_DATE_EPOCH", "1e9");
        ModalWatcher watcher([](framework::DialogWindow& dialog, ModalWatcher& self) {
            if (self.statuses.back().starts_with(u"打包失败")) {
                testing::Click(dialog, id::kIdCancel);
            }
        });
        EXPECT_EQ(Run(dir_ / "epoch.zip"), 0);
        ASSERT_FALSE(watcher.statuses.empty());
        EXPECT_EQ(Utf8(watcher.statuses.back()),
                  "打包失败，SOURCE_DATE_EPOCH 无效：1e9" + warnings);
        EXPECT_FALSE(fs::exists(dir_ / "epoch.zip"));
    });
}

// The walk's warnings show as the command line prints them, first: a link to a folder elsewhere
// is not followed, one to a file elsewhere is left unticked.
TEST_F(CompresInfoDlgTest, TheWalksWarningsShowToo) {
    if (!testing::kLinks) {
        GTEST_SKIP() << "no symbolic links can be made here";
    }
    TempDir outside;
    fs::create_directory_symlink(outside.path(), dir_ / "demo" / "home");
    fs::create_symlink(outside.Write("notes.txt", "n"), dir_ / "demo" / "notes.txt");
    WithOwner([&] {
        ModalWatcher watcher;
        EXPECT_EQ(Run(dir_ / "out.zip"), 1);
        ASSERT_FALSE(watcher.statuses.empty());
        EXPECT_TRUE(Utf8(watcher.statuses.back())
                        .ends_with("\n警告：home 是指向插件文件夹以外的文件夹的链接，未跟随"
                                   "（共 2 条警告）"))
            << Utf8(watcher.statuses.back());
    });
}

TEST_F(CompresInfoDlgTest, LongRunCountsSecondsAndCancelStopsTheWorker) {
    WriteNoise(dir_ / "demo" / "noise.bin", 8);
    // Every read of the sources takes a while: a run of many seconds on any machine.
    platform::faults::Fault slow;
    slow.operation = platform::faults::Operation::Read;
    slow.after = [] { std::this_thread::sleep_for(std::chrono::milliseconds(50)); };
    slow.repeat = true;
    const testing::ScopedFault reads(std::move(slow));

    const fs::path archive = dir_ / "big.zip";
    long long cancelled_at = -1;
    WithOwner([&] {
        ModalWatcher watcher([&](framework::DialogWindow& dialog, ModalWatcher& self) {
            if (cancelled_at < 0 && self.statuses.back() == u"用时:2秒") {
                cancelled_at = self.Elapsed();
                testing::Click(dialog, id::kIdCancel);
            }
        });
        EXPECT_EQ(Run(archive), 0);
        ASSERT_GE(cancelled_at, 0) << "the run ended before two seconds were counted";
        // The worker stopped at its next read, not after the whole job.
        EXPECT_LT(watcher.Elapsed() - cancelled_at, 2000);
        const std::vector<std::string> statuses = Utf8(watcher.statuses);
        EXPECT_NE(std::find(statuses.begin(), statuses.end(), "用时:1秒"), statuses.end());
        EXPECT_EQ(statuses.back(), "用时:2秒");
    });
    EXPECT_FALSE(fs::exists(archive));
    EXPECT_TRUE(NoTemporaryFiles());
    for (const auto& entry : fs::directory_iterator(dir_.path())) {
        EXPECT_FALSE(entry.path().filename().string().starts_with(".big.zip")) << entry.path();
    }
}

TEST_F(CompresInfoDlgTest, ClosingBeforeTheWindowExistsLeavesNothing) {
    WithOwner([&] {
        CCompresInfoDlg dialog(&owner_);
        dialog.SetJob(Wide(dir_ / "never.zip"), owner_.list);
        dialog.StartWorker();
    });  // never shown: the worker gives up
    EXPECT_FALSE(fs::exists(dir_ / "never.zip"));
    EXPECT_TRUE(NoTemporaryFiles());
}

}  // namespace
}  // namespace zelpack
