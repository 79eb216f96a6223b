#include "app/main_dlg.h"

#include <gtest/gtest.h>
#include <stdlib.h>

#include <QApplication>
#include <QDir>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPainter>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <QTreeWidget>
#include <filesystem>
#include <string>
#include <vector>

#include "app/framework/qt_text.h"
#include "tests/support/gui_test_util.h"
#include "tests/support/temp_dir.h"

namespace zelpack {
namespace {

namespace fs = std::filesystem;
using framework::ToQString;
using testing::FakeFileDialogs;
using testing::ModalWatcher;
using testing::TempDir;
using testing::Wide;
namespace id = resources;

constexpr char kConfig[] =
    R"(<vemplugin><property id="com.example.demo" version="1.2.0" type="js" name="演示插件"/>)"
    R"(</vemplugin>)";

QString Q(const fs::path& path) {
    return ToQString(Wide(path));
}

class MainDlgTest : public ::testing::Test {
  protected:
    MainDlgTest() {
        SelectAllFlag = true;  // program-wide: each test starts as a fresh run would
        dir_.Write("demo/com.example.demo.xml", kConfig);
        dir_.Write("demo/main.js", "console.log('demo');\n");
        dir_.Write("demo/css/style.css", "body {}\n");
        dir_.Write("demo/Debug/demo.map", "map");
        dir_.Write("other/x.y.z.xml", kConfig);
        dir_.Write("other/only.txt", "only");
    }

    // Shown first, as the list is set up when the dialog initialises.
    void SetUp() override { ShowAndActivate(); }
    void ShowAndActivate() {
        dialog_.show();
        dialog_.activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(&dialog_));
    }
    QLineEdit* field() { return dialog_.Item<QLineEdit>(id::kIdFolderEdit); }
    QPushButton* button(int control) { return dialog_.Item<QPushButton>(control); }
    QTreeWidget* list() { return dialog_.Item<QTreeWidget>(id::kIdFileList); }
    std::vector<std::string> Ticks() {
        std::vector<std::string> rows;
        PackageFileList& model = dialog_.file_list();
        for (int row = 0; row < model.GetRowCount(); ++row) {
            rows.push_back((model.IsRowChecked(row) ? "[x] " : "[ ] ") +
                           list()->topLevelItem(row)->text(0).toStdString());
        }
        return rows;
    }
    // Types `folder` into the field and presses Enter there.
    void EnterFolder(const QString& folder) {
        field()->setFocus();
        field()->selectAll();
        QTest::keyClicks(field(), folder);
        QTest::keyClick(field(), Qt::Key_Return);
        QTest::qWait(50);  // the posted Tab
    }

    TempDir dir_;
    FakeFileDialogs dialogs_;
    CMainDlg dialog_;
};

TEST_F(MainDlgTest, TemplateGeometryTextsAndTabOrder) {
    EXPECT_EQ(dialog_.windowTitle(), QStringLiteral("ZEL插件打包工具"));
    const framework::DialogUnits& u = dialog_.units();
    EXPECT_EQ(dialog_.size(), QSize(u.X(268), u.Y(329)));
    EXPECT_EQ(dialog_.minimumSize(), dialog_.maximumSize());  // not resizable
    EXPECT_TRUE(dialog_.windowFlags() & Qt::WindowMinimizeButtonHint);
    EXPECT_FALSE(dialog_.windowFlags() & Qt::WindowMaximizeButtonHint);
    EXPECT_FALSE(dialog_.windowIcon().isNull());
    EXPECT_EQ(dialog_.font().pointSize(), 9);
    EXPECT_EQ(dialog_.font().families().first(), QStringLiteral("宋体"));

    struct Expected {
        int control;
        const char* text;
        int x, y, w, h;
    };
    for (const Expected& e : {Expected{id::kIdPack, "打包...", 154, 308, 50, 14},
                              Expected{id::kIdCancel, "取消", 211, 308, 50, 14},
                              Expected{id::kIdFolderEdit, "", 62, 20, 164, 14},
                              Expected{id::kIdBrowse, "...", 230, 20, 23, 14},
                              Expected{id::kIdFileList, "", 15, 40, 238, 230},
                              Expected{id::kIdSelectAll, "全选/取消", 15, 273, 50, 14},
                              Expected{id::kIdRefresh, "刷新", 72, 273, 50, 14}}) {
        QWidget* item = dialog_.GetDlgItem(e.control);
        ASSERT_NE(item, nullptr) << e.control;
        EXPECT_EQ(item->geometry(), QRect(u.X(e.x), u.Y(e.y), u.X(e.w), u.Y(e.h))) << e.control;
        EXPECT_EQ(dialog_.GetDlgItemText(e.control).toStdString(), e.text) << e.control;
    }
    EXPECT_EQ(dialog_.GetDlgItem(id::kIdOk), nullptr);
    const auto labels = dialog_.findChildren<QLabel*>();
    ASSERT_EQ(labels.size(), 1);
    EXPECT_EQ(labels[0]->text(), QStringLiteral("插件文件夹:"));
    const auto boxes = dialog_.findChildren<QGroupBox*>();
    ASSERT_EQ(boxes.size(), 1);
    EXPECT_EQ(boxes[0]->title(), QStringLiteral("文件信息"));
    // No default button: only a push button with the focus takes Enter.
    for (QPushButton* push : dialog_.findChildren<QPushButton*>()) {
        EXPECT_EQ(push->isDefault(), push == QApplication::focusWidget());
    }

    // The focus starts on 打包... and Tab walks the template order.
    EXPECT_EQ(QApplication::focusWidget(), button(id::kIdPack));
    std::vector<QWidget*> order;
    for (int i = 0; i < 7; ++i) {
        order.push_back(QApplication::focusWidget());
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
    }
    EXPECT_EQ(order, (std::vector<QWidget*>{button(id::kIdPack), button(id::kIdCancel), field(),
                                            button(id::kIdBrowse), list(), button(id::kIdSelectAll),
                                            button(id::kIdRefresh)}));
    // Centred on the screen.
    const QPoint centre = dialog_.screen()->availableGeometry().center();
    EXPECT_LE((dialog_.frameGeometry().center() - centre).manhattanLength(), 2);
}

TEST_F(MainDlgTest, EnterInTheFolderFieldMovesOnAndScans) {
    EnterFolder(Q(dir_ / "demo"));
    EXPECT_EQ(QApplication::focusWidget(), button(id::kIdBrowse));
    EXPECT_TRUE(dialog_.isVisible());
    EXPECT_EQ(Ticks(), (std::vector<std::string>{"[x] com.example.demo.xml", "[x] css/style.css",
                                                 "[ ] Debug/demo.map", "[x] main.js"}));
}

TEST_F(MainDlgTest, PassingThroughTheFieldKeepsTicksAChangedFolderRescans) {
    EnterFolder(Q(dir_ / "demo"));
    dialog_.file_list().SetRowChecked(3, false);
    // Into the field and out again by a click elsewhere: same folder, ticks stay.
    QTest::mouseClick(field(), Qt::LeftButton);
    ASSERT_EQ(QApplication::focusWidget(), field());
    QTest::mouseClick(list()->viewport(), Qt::LeftButton, {}, QPoint(5, 5));
    EXPECT_EQ(Ticks()[3], "[ ] main.js");

    // A new folder typed, then 刷新 clicked: the field's focus loss scans it first.
    field()->setFocus();
    field()->setText(Q(dir_ / "other"));
    QTest::mouseClick(button(id::kIdRefresh), Qt::LeftButton);
    EXPECT_EQ(Ticks(), (std::vector<std::string>{"[x] only.txt", "[x] x.y.z.xml"}));
}

TEST_F(MainDlgTest, BrowseScansTheChosenFolderEvenWhenUnchanged) {
    dialogs_.folder_answer = std::nullopt;
    button(id::kIdBrowse)->click();
    EXPECT_EQ(dialogs_.browse_calls, 1);
    EXPECT_EQ(field()->text(), QString());
    EXPECT_EQ(dialog_.file_list().GetRowCount(), 0);

    dialogs_.folder_answer = Q(dir_ / "demo");
    button(id::kIdBrowse)->click();
    EXPECT_EQ(field()->text(), Q(dir_ / "demo"));
    EXPECT_EQ(dialog_.file_list().GetRowCount(), 4);
    dialog_.file_list().SetRowChecked(0, false);
    button(id::kIdBrowse)->click();
    EXPECT_EQ(Ticks()[0], "[x] com.example.demo.xml");
}

TEST_F(MainDlgTest, SelectAllTogglesTheProgramWideFlagAndRefreshKeepsTicks) {
    dialogs_.folder_answer = Q(dir_ / "demo");
    button(id::kIdBrowse)->click();
    button(id::kIdSelectAll)->click();  // the flag starts true: the first press unticks
    EXPECT_EQ(Ticks(), (std::vector<std::string>{"[ ] com.example.demo.xml", "[ ] css/style.css",
                                                 "[ ] Debug/demo.map", "[ ] main.js"}));
    EXPECT_FALSE(SelectAllFlag);
    button(id::kIdSelectAll)->click();
    EXPECT_EQ(Ticks()[2], "[x] Debug/demo.map");
    dialog_.file_list().SetRowChecked(1, false);
    dir_.Write("demo/new.js", "new");
    button(id::kIdRefresh)->click();
    EXPECT_EQ(Ticks(),
              (std::vector<std::string>{"[x] com.example.demo.xml", "[ ] css/style.css",
                                        "[x] Debug/demo.map", "[x] main.js", "[x] new.js"}));
    // A rescan does not reset the flag: the next press unticks again.
    button(id::kIdBrowse)->click();
    button(id::kIdSelectAll)->click();
    EXPECT_EQ(Ticks()[0], "[ ] com.example.demo.xml");
}

TEST_F(MainDlgTest, PackProposesAnArchiveInTheFolderAndPacksWhereTheUserSaid) {
    dialogs_.folder_answer = Q(dir_ / "demo");
    button(id::kIdBrowse)->click();

    dialogs_.save_answer = std::nullopt;  // cancelled: nothing happens
    {
        ModalWatcher watcher;
        button(id::kIdPack)->click();
        EXPECT_EQ(watcher.dialogs_seen, 0);
    }
    ASSERT_EQ(dialogs_.proposals.size(), 1u);
    EXPECT_EQ(dialogs_.proposals[0], Q(dir_ / "demo" / "demo.zip"));

    // A name without an extension is used as it is.
    dialogs_.save_answer = Q(dir_ / "packed");
    const std::vector<std::string> before = Ticks();
    ModalWatcher watcher;
    button(id::kIdPack)->click();
    EXPECT_EQ(watcher.dialogs_seen, 1);
    EXPECT_EQ(watcher.statuses.back().toStdString(), "打包成功,用时:0秒");
    EXPECT_EQ(watcher.buttons.back().toStdString(), "确定");
    EXPECT_TRUE(fs::exists(dir_ / "packed"));
    EXPECT_FALSE(fs::exists(dir_ / "packed.zip"));
    EXPECT_EQ(Ticks(), before);  // nothing rescanned
}

TEST_F(MainDlgTest, AnEmptiedFolderFieldKeepsTheRowsAndPackingFailsClearly) {
    EnterFolder(Q(dir_ / "demo"));
    field()->setFocus();
    field()->clear();
    QTest::keyClick(field(), Qt::Key_Return);
    QTest::qWait(50);
    EXPECT_EQ(dialog_.file_list().GetRowCount(), 4);
    EXPECT_EQ(dialog_.ProposedArchivePath(), u"/.zip");

    dialogs_.save_answer = Q(dir_ / "empty.zip");
    ModalWatcher watcher([](framework::DialogWindow& dialog, ModalWatcher& self) {
        if (self.statuses.back().startsWith(QStringLiteral("打包失败"))) {
            dialog.Item<QPushButton>(resources::kIdCancel)->click();
        }
    });
    button(id::kIdPack)->click();
    EXPECT_EQ(watcher.statuses.back().toStdString(), "打包失败，插件文件夹无效！");
    EXPECT_FALSE(fs::exists(dir_ / "empty.zip"));
}

TEST_F(MainDlgTest, EndCodeIsTwoAfterCancelEscapeOrTheCloseBox) {
    for (int way = 0; way < 3; ++way) {
        CMainDlg dialog;
        QTimer::singleShot(50, &dialog, [&dialog, way] {
            if (way == 0) {
                dialog.Item<QPushButton>(id::kIdCancel)->click();
            } else if (way == 1) {
                QTest::keyClick(&dialog, Qt::Key_Escape);
            } else {
                dialog.close();
            }
        });
        EXPECT_EQ(dialog.DoModal(), 2) << way;
    }
}

// The dialog's client area under a plain title bar with its icon and caption: what a window
// manager would draw around it, so that the picture shows the caption too.
QImage Framed(QWidget& dialog) {
    const QPixmap client = dialog.grab();
    const int bar = 28;
    QImage image(client.width() + 2, client.height() + bar + 1, QImage::Format_ARGB32);
    image.fill(QColor(0x5a, 0x7f, 0xb5));
    QPainter painter(&image);
    painter.drawPixmap(1, bar, client);
    const QIcon icon = dialog.windowIcon();
    int text_left = 8;
    if (!icon.isNull()) {
        painter.drawPixmap(6, (bar - 16) / 2, icon.pixmap(16, 16));
        text_left = 28;
    }
    painter.setPen(Qt::white);
    painter.setFont(dialog.font());
    painter.drawText(QRect(text_left, 0, image.width() - text_left, bar),
                     Qt::AlignVCenter | Qt::AlignLeft, dialog.windowTitle());
    painter.drawText(QRect(0, 0, image.width() - 10, bar), Qt::AlignVCenter | Qt::AlignRight,
                     dialog.windowFlags() & Qt::WindowMinimizeButtonHint ? QStringLiteral("—   ✕")
                                                                         : QStringLiteral("✕"));
    return image;
}

// Renders both dialogs, as a user sees them, to PNG files (for the README and for review).
TEST_F(MainDlgTest, Screenshots) {
    const QString folder = QStringLiteral(ZELPACK_SCREENSHOT_DIR);
    ASSERT_TRUE(QDir().mkpath(folder));
    dialogs_.folder_answer = Q(fs::path(ZELPACK_SOURCE_DIR) / "examples" / "demo-plugin");
    button(id::kIdBrowse)->click();
    // Shown as a fixed path, so that the picture does not depend on the checkout.
    field()->setText(QStringLiteral("/home/dev/plugins/demo-plugin"));
    ASSERT_GT(dialog_.file_list().GetRowCount(), 0);
    EXPECT_TRUE(Framed(dialog_).save(folder + QStringLiteral("/main-dialog.png")));

    dialogs_.save_answer = Q(dir_ / "demo-plugin.zip");
    bool saved = false;
    ModalWatcher watcher([&](framework::DialogWindow& dialog, ModalWatcher& self) {
        if (!saved && self.buttons.back() == QStringLiteral("确定")) {
            saved = Framed(dialog).save(folder + QStringLiteral("/progress-dialog.png"));
        }
    });
    button(id::kIdPack)->click();
    EXPECT_TRUE(saved);
}

}  // namespace
}  // namespace zelpack
