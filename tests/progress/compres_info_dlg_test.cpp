#include "progress/compres_info_dlg.h"

#include <gtest/gtest.h>
#include <stdlib.h>

#include <QPushButton>
#include <QTreeWidget>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "filelist/package_file_list.h"
#include "tests/support/gui_test_util.h"
#include "tests/support/temp_dir.h"

namespace zelpack {
namespace {

namespace fs = std::filesystem;
using testing::ModalWatcher;
using testing::TempDir;
using testing::Wide;

constexpr char kConfig[] =
    R"(<vemplugin><property id="a" version="1" type="js" name="n"/></vemplugin>)";

std::vector<std::string> Utf8(const std::vector<QString>& texts) {
    std::vector<std::string> out;
    for (const QString& text : texts) {
        out.push_back(text.toStdString());
    }
    return out;
}

// Incompressible bytes, quickly: a file that takes the compressor some seconds.
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

class CompresInfoDlgTest : public ::testing::Test {
  protected:
    CompresInfoDlgTest() : temporary_(dir_.MakeFolder("tmp")), temporary_folder_(temporary_) {
        list_.AttachListView(&widget_);
        dir_.Write("demo/a.b.c.xml", kConfig);
        dir_.Write("demo/main.js", "main");
    }

    // Scans the plug-in, runs the progress dialog for `archive` and returns its end code.
    int Run(const fs::path& archive) {
        list_.ScanFolder(Wide(dir_ / "demo"));
        CCompresInfoDlg dialog;
        dialog.SetJob(Wide(archive), list_);
        dialog.StartWorker();
        const int result = dialog.DoModal();
        dialog.WaitForWorker();
        return result;
    }
    bool NoTemporaryFiles() const { return fs::is_empty(temporary_); }

    TempDir dir_;
    fs::path temporary_;
    testing::ScopedTemporaryFolder temporary_folder_;
    QTreeWidget widget_;
    PackageFileList list_;
};

TEST_F(CompresInfoDlgTest, TemplateAndPlacement) {
    CCompresInfoDlg dialog;
    EXPECT_EQ(dialog.windowTitle(), QStringLiteral("正在打包..."));
    const framework::DialogUnits& units = dialog.units();
    EXPECT_EQ(dialog.size(), QSize(units.X(238), units.Y(67)));
    EXPECT_EQ(dialog.GetDlgItem(resources::kIdStatus)->geometry(),
              QRect(units.X(31), units.Y(20), units.X(185), units.Y(25)));
    EXPECT_EQ(dialog.GetDlgItemText(resources::kIdStatus), QString());
    EXPECT_EQ(dialog.GetDlgItemText(resources::kIdCancel), QStringLiteral("取消"));

    // Shown, it sits at the corner of its owner's client area.
    QWidget owner;
    owner.setGeometry(120, 80, 600, 400);
    owner.show();
    CCompresInfoDlg owned(&owner);
    owned.show();
    EXPECT_EQ(owned.pos(), owner.mapToGlobal(QPoint(0, 0)));
    owned.EndDialog(0);
}

TEST_F(CompresInfoDlgTest, SuccessShowsTheTimeAndClosesByItselfWithOne) {
    ModalWatcher watcher;
    EXPECT_EQ(Run(dir_ / "out.zip"), 1);
    EXPECT_GE(watcher.clock.elapsed(), 900);  // the success text stays up for a second
    ASSERT_FALSE(watcher.statuses.empty());
    EXPECT_EQ(watcher.statuses.back().toStdString(), "打包成功,用时:0秒");
    EXPECT_EQ(watcher.buttons.back().toStdString(), "确定");
    EXPECT_TRUE(fs::exists(dir_ / "out.zip"));
    EXPECT_TRUE(NoTemporaryFiles());
}

TEST_F(CompresInfoDlgTest, FailuresStayUpWithTheReasonUntilCancelled) {
    struct Case {
        std::string config;  // empty: leave the configuration unticked
        fs::path archive;
        std::string status;
    };
    const Case cases[] = {
        {"", dir_ / "out.zip", "打包失败，没有找到插件的配置文件！"},
        {R"(<vemplugin><property id="a" type="t" name="n"/></vemplugin>)", dir_ / "out.zip",
         "打包失败，配置文件的property节点缺少version属性或属性值为空！"},
        {kConfig, dir_ / "no" / "such" / "folder" / "out.zip",
         "打包失败，无法创建压缩文件 " + (dir_ / "no/such/folder/out.zip").string() +
             "：No such file or directory"},
    };
    for (const Case& c : cases) {
        if (!c.config.empty()) {
            dir_.Write("demo/a.b.c.xml", c.config);
        }
        qint64 failed_at = -1;
        ModalWatcher watcher([&](framework::DialogWindow& dialog, ModalWatcher& self) {
            if (self.statuses.back().startsWith(QStringLiteral("打包失败"))) {
                if (failed_at < 0) {
                    failed_at = self.clock.elapsed();
                } else if (self.clock.elapsed() - failed_at > 300) {
                    dialog.Item<QPushButton>(resources::kIdCancel)->click();
                }
            }
        });
        if (c.config.empty()) {
            list_.ScanFolder(Wide(dir_ / "demo"));
            list_.SetRowChecked(0, false);
            CCompresInfoDlg dialog;
            dialog.SetJob(Wide(c.archive), list_);
            dialog.StartWorker();
            EXPECT_EQ(dialog.DoModal(), 0);
        } else {
            EXPECT_EQ(Run(c.archive), 0);
        }
        EXPECT_EQ(Utf8(watcher.statuses).back(), c.status);
        EXPECT_EQ(Utf8(watcher.buttons), std::vector<std::string>{"取消"});
        EXPECT_FALSE(fs::exists(c.archive));
        EXPECT_TRUE(NoTemporaryFiles());
    }
}

TEST_F(CompresInfoDlgTest, LongRunCountsSecondsAndCancelStopsItAtOnce) {
    WriteNoise(dir_ / "demo" / "noise.bin", 300);  // many seconds of work on any machine
    const fs::path archive = dir_ / "big.zip";
    qint64 cancelled_at = -1;
    ModalWatcher watcher([&](framework::DialogWindow& dialog, ModalWatcher& self) {
        if (cancelled_at < 0 && self.statuses.back() == QStringLiteral("用时:2秒")) {
            cancelled_at = self.clock.elapsed();
            dialog.Item<QPushButton>(resources::kIdCancel)->click();
        }
    });
    EXPECT_EQ(Run(archive), 0);
    ASSERT_GE(cancelled_at, 0) << "the run ended before two seconds were counted";
    // At once, not after the many seconds the whole job would take.
    EXPECT_LT(watcher.clock.elapsed() - cancelled_at, 5000);
    const std::vector<std::string> statuses = Utf8(watcher.statuses);
    EXPECT_NE(std::find(statuses.begin(), statuses.end(), "用时:1秒"), statuses.end());
    EXPECT_EQ(statuses.back(), "用时:2秒");
    EXPECT_FALSE(fs::exists(archive));
    EXPECT_TRUE(NoTemporaryFiles());
    for (const auto& entry : fs::directory_iterator(dir_.path())) {
        EXPECT_FALSE(entry.path().filename().string().starts_with(".big.zip")) << entry.path();
    }
}

TEST_F(CompresInfoDlgTest, ClosingBeforeTheWorkerStartsLeavesNothing) {
    list_.ScanFolder(Wide(dir_ / "demo"));
    {
        CCompresInfoDlg dialog;
        dialog.SetJob(Wide(dir_ / "never.zip"), list_);
        dialog.StartWorker();
    }  // never shown: the worker gives up
    EXPECT_FALSE(fs::exists(dir_ / "never.zip"));
    EXPECT_TRUE(NoTemporaryFiles());
}

}  // namespace
}  // namespace zelpack
