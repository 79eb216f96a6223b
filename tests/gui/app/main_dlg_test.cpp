#include "gui/app/main_dlg.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#ifndef _WIN32
#include <QCoreApplication>
#include <QDialogButtonBox>
#include <QFileDialog>
#include <QLabel>
#include <QPushButton>
#endif

#include "platform/fault_injection.h"
#include "platform/path.h"
#include "platform/process.h"
#include "tests/support/dialog_driver.h"
#include "tests/support/gui_test_util.h"
#include "tests/support/scoped_fault.h"
#include "tests/support/temp_dir.h"

namespace zelpack {
namespace {

namespace fs = std::filesystem;
namespace id = resources;
using testing::FakeShellDialogs;
using testing::ModalWatcher;
using testing::TempDir;
using testing::Utf8;
using testing::Wide;

constexpr char kConfig[] =
    R"(<vemplugin><property id="com.example.demo" version="1.2.0" type="js" name="演示插件"/>)"
    R"(</vemplugin>)";

class MainDlgTest : public ::testing::Test {
  protected:
    MainDlgTest() {
        // Two plug-ins: one with a script, a style sheet and build output, and a bare one.
        const std::pair<const char*, const char*> files[] = {
            {"demo/com.example.demo.xml", kConfig}, {"demo/main.js", "console.log('demo');\n"},
            {"demo/css/style.css", "body {}\n"},    {"demo/Debug/demo.map", "map"},
            {"other/x.y.z.xml", kConfig},           {"other/only.txt", "only"}};
        for (const auto& [path, text] : files) {
            dir_.Write(path, text);
        }
    }

    // Runs the main dialog with `script` inside it, as a user at the keyboard and mouse would.
    void Drive(const std::function<void()>& script) {
        testing::RunModal(dialog_, [&] {
            script();
            dialog_.EndDialog(id::kIdCancel);
        });
    }
    std::vector<std::string> Ticks() {
        std::vector<std::string> rows;
        PackageFileList& model = dialog_.file_list();
        for (int row = 0; row < model.GetRowCount(); ++row) {
            rows.push_back((model.IsRowChecked(row) ? "[x] " : "[ ] ") +
                           Utf8(testing::Portable(model.GetRowPath(row))));
        }
        return rows;
    }
    std::u16string Field() const { return dialog_.GetDlgItemText(id::kIdFolderEdit); }
    // Types `folder` into the field and presses Enter there.
    void EnterFolder(const fs::path& folder) {
        testing::TypeInto(dialog_, id::kIdFolderEdit, Wide(folder));
        testing::Press(dialog_, testing::Key::Enter);
        testing::ProcessEvents();  // the posted Tab
    }

    TempDir dir_;
    FakeShellDialogs dialogs_;
    CMainDlg dialog_;
};

TEST_F(MainDlgTest, TemplateGeometryTextsListAndTabOrder) {
    Drive([&] {
        EXPECT_EQ(Utf8(testing::Caption(dialog_)), "ZEL插件打包工具");
        const testing::Frame frame = testing::FrameOf(dialog_);
        EXPECT_TRUE(frame.minimise_box);
        EXPECT_FALSE(frame.maximise_box);
        EXPECT_FALSE(frame.resizable);
        EXPECT_TRUE(frame.big_icon);
        EXPECT_TRUE(frame.small_icon);
        EXPECT_EQ(testing::ControlBox(dialog_, id::kNoId),
                  testing::InPixels(dialog_, {0, 0, 268, 329}));

        // Every control where the template puts it, with its text, in template order.
        std::vector<std::u16string> texts;
        for (const resources::ControlTemplate& c : resources::kMainDialogControls) {
            texts.emplace_back(c.text);
            if (c.id != id::kNoId) {
                EXPECT_EQ(testing::ControlBox(dialog_, c.id),
                          testing::InPixels(dialog_, {c.x, c.y, c.width, c.height}))
                    << c.id;
            }
        }
        EXPECT_EQ(Utf8(testing::ControlTexts(dialog_)), Utf8(texts));

        // The list: its three columns, check boxes and whole-row selection.
        const std::vector<testing::Column> columns = testing::Columns(dialog_, id::kIdFileList);
        ASSERT_EQ(columns.size(), 3u);
        EXPECT_EQ(Utf8(columns[0].title), "文件名");
        EXPECT_EQ(Utf8(columns[1].title), "文件大小");
        EXPECT_EQ(Utf8(columns[2].title), "修改日期");
        EXPECT_EQ(columns[0].width, 190);
        EXPECT_GT(columns[1].width, 15);  // the title's width in the list's font, plus 15
        EXPECT_EQ(columns[2].width, 100);
        EXPECT_TRUE(testing::HasCheckBoxesAndWholeRowSelection(dialog_, id::kIdFileList));

        // Centred on the work area.
        const testing::Box box = testing::FrameBox(dialog_);
        const testing::Box work = testing::WorkArea(dialog_);
        EXPECT_LE(std::abs(2 * box.x + box.width - 2 * work.x - work.width), 2);
        EXPECT_LE(std::abs(2 * box.y + box.height - 2 * work.y - work.height), 2);

        // The focus starts on 打包... and Tab walks the template order. Once the focus has
        // moved, only a push button with the focus takes Enter (checked up to the wrap-around,
        // where Wine's dialog manager leaves the default as it was).
        std::vector<int> order;
        for (int i = 0; i < 8; ++i) {
            order.push_back(testing::FocusedControl(dialog_));
            for (int button :
                 {id::kIdPack, id::kIdCancel, id::kIdBrowse, id::kIdSelectAll, id::kIdRefresh}) {
                if (i > 0 && i < 7) {
                    EXPECT_EQ(testing::IsDefaultButton(dialog_, button), button == order.back())
                        << button << " with the focus on " << order.back();
                }
            }
            testing::Press(dialog_, testing::Key::Tab);
        }
        EXPECT_EQ(order, (std::vector<int>{id::kIdPack, id::kIdCancel, id::kIdFolderEdit,
                                           id::kIdBrowse, id::kIdFileList, id::kIdSelectAll,
                                           id::kIdRefresh, id::kIdPack}));
    });
}

TEST_F(MainDlgTest, EnterInTheFolderFieldMovesOnAndScans) {
    Drive([&] {
        EnterFolder(dir_ / "demo");
        EXPECT_EQ(testing::FocusedControl(dialog_), id::kIdBrowse);
        EXPECT_EQ(Ticks(),
                  (std::vector<std::string>{"[x] com.example.demo.xml", "[x] css/style.css",
                                            "[ ] Debug/demo.map", "[x] main.js"}));
    });
}

// A folder handed over on the command line opens as that folder typed and confirmed would: a
// missing one included, which lists nothing and leaves its text in the field.
TEST_F(MainDlgTest, AFolderGivenAtTheStartOpensAsIfTypedAndConfirmed) {
    const auto seen = [](CMainDlg& dialog) {
        std::u16string stored;
        dialog.file_list().GetFolder(stored);
        std::vector<std::string> state{Utf8(dialog.GetDlgItemText(id::kIdFolderEdit)),
                                       Utf8(stored)};
        for (int row = 0; row < dialog.file_list().GetRowCount(); ++row) {
            state.push_back((dialog.file_list().IsRowChecked(row) ? "[x] " : "[ ] ") +
                            Utf8(testing::Portable(dialog.file_list().GetRowPath(row))));
        }
        return state;
    };
    const std::vector<std::pair<fs::path, std::vector<std::string>>> cases{
        {dir_ / "demo",
         {"[x] com.example.demo.xml", "[x] css/style.css", "[ ] Debug/demo.map", "[x] main.js"}},
        {dir_ / "missing", {}}};
    for (const auto& [folder, rows] : cases) {
        std::vector<std::string> expected{Utf8(Wide(folder)), Utf8(Wide(folder))};
        expected.insert(expected.end(), rows.begin(), rows.end());
        CMainDlg typed;
        testing::RunModal(typed, [&] {
            testing::TypeInto(typed, id::kIdFolderEdit, Wide(folder));
            testing::Press(typed, testing::Key::Enter);
            testing::ProcessEvents();
            EXPECT_EQ(seen(typed), expected);
            typed.EndDialog(id::kIdCancel);
        });
        CMainDlg given(Wide(folder));
        testing::RunModal(given, [&] {
            EXPECT_EQ(seen(given), expected);
            given.EndDialog(id::kIdCancel);
        });
    }
}

// The name column cuts long paths: the tip has the path whole, and for a row that starts unticked,
// why, the folder's ignore file included. Rows inserted above by 刷新 leave every row with its own
// tip, and a row ticked by hand stays ticked.
TEST_F(MainDlgTest, ARowsToolTipHasItsWholePathAndWhyItStartsUnticked) {
    const std::string deep = "deep/" + std::string(150, 'e') + ".js";
    dir_.Write("demo/" + deep, "deep");
    dir_.Write("demo/.zelpackignore", "# not for the package\r\n/main.js\r\n");
    const auto tips = [&] {
        std::vector<std::string> seen;
        for (int row = 0; row < dialog_.file_list().GetRowCount(); ++row) {
            seen.push_back(
                Utf8(testing::Portable(testing::ToolTipOfRow(dialog_, id::kIdFileList, row))));
        }
        return seen;
    };
    std::vector<std::string> expected{
        "com.example.demo.xml", "css/style.css",
        "Debug/demo.map\n默认不勾选（编译输出标记：Debug）", deep,
        "main.js\n默认不勾选（忽略规则：/main.js（.zelpackignore 第 2 行））"};
    Drive([&] {
        EnterFolder(dir_ / "demo");
        EXPECT_EQ(tips(), expected);
        EXPECT_EQ(Ticks()[4], "[ ] main.js");
        testing::ClickCheckBox(dialog_, id::kIdFileList, 2);  // ticked by hand: still starts so
        testing::ClickCheckBox(dialog_, id::kIdFileList, 4);
        dir_.Write("demo/a.js", "a");
        testing::Click(dialog_, id::kIdRefresh);
        expected.insert(expected.begin(), "a.js");
        EXPECT_EQ(tips(), expected);
        EXPECT_EQ(Ticks()[5], "[x] main.js");
    });
}

TEST_F(MainDlgTest, PassingThroughTheFieldKeepsTicksAChangedFolderRescans) {
    Drive([&] {
        EnterFolder(dir_ / "demo");
        testing::ClickCheckBox(dialog_, id::kIdFileList, 3);
        // Into the field and out again by a click elsewhere: same folder, ticks stay.
        testing::Focus(dialog_, id::kIdFolderEdit);
        testing::Focus(dialog_, id::kIdFileList);
        EXPECT_EQ(Ticks()[3], "[ ] main.js");

        // A new folder typed, then 刷新 clicked: the field's focus loss scans it first.
        testing::TypeInto(dialog_, id::kIdFolderEdit, Wide(dir_ / "other"));
        testing::Click(dialog_, id::kIdRefresh);
        EXPECT_EQ(Ticks(), (std::vector<std::string>{"[x] only.txt", "[x] x.y.z.xml"}));
    });
}

TEST_F(MainDlgTest, BrowseScansTheChosenFolderEvenWhenUnchanged) {
    Drive([&] {
        dialogs_.folder_answer = std::nullopt;
        testing::Click(dialog_, id::kIdBrowse);
        EXPECT_EQ(dialogs_.browse_calls, 1);
        EXPECT_EQ(Field(), u"");
        EXPECT_EQ(dialog_.file_list().GetRowCount(), 0);

        dialogs_.folder_answer = Wide(dir_ / "demo");
        testing::Click(dialog_, id::kIdBrowse);
        EXPECT_EQ(Field(), Wide(dir_ / "demo"));
        EXPECT_EQ(dialog_.file_list().GetRowCount(), 4);
        testing::ClickCheckBox(dialog_, id::kIdFileList, 0);
        testing::Click(dialog_, id::kIdBrowse);
        EXPECT_EQ(Ticks()[0], "[x] com.example.demo.xml");
    });
}

TEST_F(MainDlgTest, SelectAllTogglesTheProgramWideFlagAndRefreshKeepsTicks) {
    Drive([&] {
        dialogs_.folder_answer = Wide(dir_ / "demo");
        testing::Click(dialog_, id::kIdBrowse);
        testing::Click(dialog_, id::kIdSelectAll);  // the flag starts true: the first unticks
        EXPECT_EQ(Ticks(),
                  (std::vector<std::string>{"[ ] com.example.demo.xml", "[ ] css/style.css",
                                            "[ ] Debug/demo.map", "[ ] main.js"}));
        EXPECT_FALSE(dialog_.select_all());
        testing::Click(dialog_, id::kIdSelectAll);
        EXPECT_EQ(Ticks()[2], "[x] Debug/demo.map");
        testing::ClickCheckBox(dialog_, id::kIdFileList, 1);
        dir_.Write("demo/new.js", "new");
        fs::remove(dir_ / "demo" / "main.js");
        testing::Click(dialog_, id::kIdRefresh);
        EXPECT_EQ(Ticks(),
                  (std::vector<std::string>{"[x] com.example.demo.xml", "[ ] css/style.css",
                                            "[x] Debug/demo.map", "[x] new.js"}));
        // A rescan does not reset the flag: the next press unticks again.
        testing::Click(dialog_, id::kIdBrowse);
        testing::Click(dialog_, id::kIdSelectAll);
        EXPECT_EQ(Ticks()[0], "[ ] com.example.demo.xml");
    });
}

TEST_F(MainDlgTest, PackProposesAnArchiveInTheFolderAndPacksWhereTheUserSaid) {
    Drive([&] {
        dialogs_.folder_answer = Wide(dir_ / "demo");
        testing::Click(dialog_, id::kIdBrowse);

        dialogs_.save_answer = std::nullopt;  // cancelled: nothing happens
        {
            ModalWatcher watcher;
            testing::Click(dialog_, id::kIdPack);
            EXPECT_EQ(watcher.dialogs_seen, 0);
        }
        ASSERT_EQ(dialogs_.proposals.size(), 1u);
        EXPECT_EQ(dialogs_.proposals[0], Wide(dir_ / "demo" / "demo.zip"));

        // A name without an extension is used as it is.
        dialogs_.save_answer = Wide(dir_ / "packed");
        const std::vector<std::string> before = Ticks();
        ModalWatcher watcher;
        testing::Click(dialog_, id::kIdPack);
        EXPECT_EQ(watcher.dialogs_seen, 1);
        ASSERT_FALSE(watcher.statuses.empty());
        EXPECT_EQ(Utf8(watcher.statuses.back()), "打包成功,用时:0秒");
        EXPECT_EQ(Utf8(watcher.buttons.back()), "确定");
        EXPECT_TRUE(fs::exists(dir_ / "packed"));
        EXPECT_FALSE(fs::exists(dir_ / "packed.zip"));
        EXPECT_EQ(Ticks(), before);  // nothing rescanned
    });
}

TEST_F(MainDlgTest, AnEmptiedFolderFieldKeepsTheRowsAndPackingFailsClearly) {
    Drive([&] {
        EnterFolder(dir_ / "demo");
        EnterFolder(fs::path());
        EXPECT_EQ(dialog_.file_list().GetRowCount(), 4);
        EXPECT_EQ(dialog_.ProposedArchivePath(),
                  std::u16string{platform::kPathSeparator} + u".zip");

        dialogs_.save_answer = Wide(dir_ / "empty.zip");
        ModalWatcher watcher([](framework::DialogWindow& dialog, ModalWatcher& self) {
            if (self.statuses.back().starts_with(u"打包失败")) {
                testing::Click(dialog, id::kIdCancel);
            }
        });
        testing::Click(dialog_, id::kIdPack);
        ASSERT_FALSE(watcher.statuses.empty());
        EXPECT_EQ(Utf8(watcher.statuses.back()), "打包失败，插件文件夹无效！");
        EXPECT_FALSE(fs::exists(dir_ / "empty.zip"));
    });
}

// A folder larger than a scan step fills in timer ticks: the click returns with the first
// rows, the user works on them, and whatever needs every row waits for the rest.
TEST_F(MainDlgTest, ALargeFolderFillsInPiecesWhileTheDialogServesTheUser) {
    dir_.Write("big/com.example.demo.xml", kConfig);
    for (const char* name : {"a.js", "b.js", "c.map", "d.js", "e.js", "f.js"}) {
        dir_.Write(std::string("big/") + name, name);
    }
    const std::vector<std::string> all{
        "[x] a.js", "[x] b.js", "[ ] c.map", "[x] com.example.demo.xml",
        "[x] d.js", "[x] e.js", "[x] f.js"};
    dialog_.set_scan_step_rows(2);
    Drive([&] {
        const auto serve_until_scanned = [&] {
            for (int seen = 0; dialog_.file_list().IsScanning();) {
                testing::ProcessEvents();
                const int rows = dialog_.file_list().GetRowCount();
                EXPECT_GE(rows, seen);  // rows are only ever appended
                seen = rows;
            }
        };
        dialogs_.folder_answer = Wide(dir_ / "big");
        testing::Click(dialog_, id::kIdBrowse);
        EXPECT_EQ(Ticks(), (std::vector<std::string>{"[x] a.js", "[x] b.js"}));
        testing::ClickCheckBox(dialog_, id::kIdFileList, 0);  // mid-scan, and kept
        serve_until_scanned();
        std::vector<std::string> expected = all;
        expected[0] = "[ ] a.js";
        EXPECT_EQ(Ticks(), expected);

        // 全选 mid-scan takes in the rows still to come.
        testing::Click(dialog_, id::kIdBrowse);
        testing::Click(dialog_, id::kIdSelectAll);
        EXPECT_FALSE(dialog_.file_list().IsScanning());
        std::vector<std::string> unticked;
        for (const std::string& row : all) {
            unticked.push_back("[ ] " + row.substr(4));
        }
        EXPECT_EQ(Ticks(), unticked);
        testing::Click(dialog_, id::kIdSelectAll);

        // Another folder mid-scan replaces the walk: no row of the first is left over.
        testing::Click(dialog_, id::kIdBrowse);
        dialogs_.folder_answer = Wide(dir_ / "demo");
        testing::Click(dialog_, id::kIdBrowse);
        serve_until_scanned();
        EXPECT_EQ(Ticks(),
                  (std::vector<std::string>{"[x] com.example.demo.xml", "[x] css/style.css",
                                            "[ ] Debug/demo.map", "[x] main.js"}));

        // Packing mid-scan packs the whole folder.
        dialogs_.folder_answer = Wide(dir_ / "big");
        testing::Click(dialog_, id::kIdBrowse);
        dialogs_.save_answer = Wide(dir_ / "big.zip");
        ModalWatcher watcher;
        testing::Click(dialog_, id::kIdPack);
        EXPECT_EQ(Ticks(), all);
        const auto entries = testing::CentralDirectory(dir_ / "big.zip");
        ASSERT_TRUE(entries.has_value());
        EXPECT_EQ(entries->size(), 1u + 6u);  // the descriptor and the six ticked files
    });
}

// A signal that would end the program cancels the packing run first and waits for it, so that no
// temporary file stays; then the program ends as the signal asks.
TEST_F(MainDlgTest, ASignalCancelsThePackingRunAndEndsTheProgramWithNothingLeft) {
    std::ofstream(dir_ / "demo" / "big.bin") << std::string(1 << 20, 'x');
    const fs::path temporary = dir_.MakeFolder("tmp");
    const testing::ScopedTemporaryFolder temporary_folder(temporary);
    // Every read takes a while: the run lasts as long as the test needs, on any machine.
    platform::faults::Fault slow;
    slow.operation = platform::faults::Operation::Read;
    slow.after = [] { std::this_thread::sleep_for(std::chrono::milliseconds(20)); };
    slow.repeat = true;
    const testing::ScopedFault reads(std::move(slow));
    std::atomic<bool> interrupted{false};
    ASSERT_TRUE(platform::CancelOnInterrupt(interrupted));
    std::vector<platform::Interruption> seen;
    dialog_.set_on_interrupted([&](platform::Interruption kind) { seen.push_back(kind); });
    bool raised = false;
    const int code = testing::RunModal(dialog_, [&] {
        EnterFolder(dir_ / "demo");
        dialogs_.save_answer = Wide(dir_ / "out.zip");
        ModalWatcher watcher([&](framework::DialogWindow&, ModalWatcher&) {
            if (!raised) {
                raised = true;
                platform::RaiseInterruption(platform::Interruption::Terminate);
            }
        });
        testing::Click(dialog_, id::kIdPack);
        // Back from the run: the dialog ends itself on the next look for the request.
        while (seen.empty()) {
            testing::ProcessEvents();
        }
    });
    platform::RestoreInterruptHandling();
    EXPECT_TRUE(raised);
    EXPECT_EQ(seen, std::vector<platform::Interruption>{platform::Interruption::Terminate});
    EXPECT_EQ(code, platform::ExitStatusOf(platform::Interruption::Terminate));
    EXPECT_FALSE(fs::exists(dir_ / "out.zip"));
    EXPECT_TRUE(fs::is_empty(temporary));
    for (const auto& entry : fs::directory_iterator(dir_.path())) {
        EXPECT_FALSE(entry.path().filename().string().starts_with(".out.zip")) << entry.path();
    }
}

TEST_F(MainDlgTest, EndCodeIsTwoAfterCancelEscapeOrTheCloseBox) {
    for (int way = 0; way < 3; ++way) {
        CMainDlg dialog;
        const int code = testing::RunModal(dialog, [&dialog, way] {
            if (way == 0) {
                testing::Click(dialog, id::kIdCancel);
            } else if (way == 1) {
                testing::Press(dialog, testing::Key::Escape);
            } else {
                testing::ClickCloseBox(dialog);
            }
        });
        EXPECT_EQ(code, 2) << way;
    }
}

// Both dialogs as a user sees them, as PNG files (for the README and for review).
TEST_F(MainDlgTest, Screenshots) {
    const fs::path folder = ZELPACK_SCREENSHOT_DIR;
    Drive([&] {
        dialogs_.folder_answer = Wide(fs::path(ZELPACK_SOURCE_DIR) / "examples" / "demo-plugin");
        testing::Click(dialog_, id::kIdBrowse);
        // Shown as a fixed path, so that the picture does not depend on the checkout.
        dialog_.SetDlgItemText(id::kIdFolderEdit, platform::kPathSeparator == u'\\'
                                                      ? u"C:\\dev\\plugins\\demo-plugin"
                                                      : u"/home/dev/plugins/demo-plugin");
        ASSERT_GT(dialog_.file_list().GetRowCount(), 0);
        EXPECT_TRUE(testing::Screenshot(dialog_, folder / "main-dialog.png"));

        dialogs_.save_answer = Wide(dir_ / "demo-plugin.zip");
        bool saved = false;
        ModalWatcher watcher([&](framework::DialogWindow& dialog, ModalWatcher& self) {
            if (!saved && self.buttons.back() == u"确定") {
                saved = testing::Screenshot(dialog, folder / "progress-dialog.png");
            }
        });
        testing::Click(dialog_, id::kIdPack);
        EXPECT_TRUE(saved);
    });
}

#ifndef _WIN32
// Qt's own dialogs, the folder browser and the save dialog, speak the program's language: the
// application has loaded Qt's Chinese translations (Win32's dialogs are the system's).
TEST(QtDialogLanguageTest, FolderBrowserShowsChinese) {
    for (const auto& [context, english] : {std::pair{"QFileDialog", "Look in:"},
                                           {"QFileDialog", "File &name:"},
                                           {"QPlatformTheme", "Cancel"},
                                           {"QPlatformTheme", "Save"}}) {
        const QString text = QCoreApplication::translate(context, english);
        EXPECT_NE(text, QString::fromLatin1(english)) << context << " " << english;
        EXPECT_TRUE(!text.isEmpty() && text.front().script() == QChar::Script_Han)
            << text.toStdString();
    }

    // The folder browser as the program opens it (QFileDialog::getExistingDirectory), shown, and
    // kept as a picture beside the dialogs' screenshots.
    QFileDialog dialog(nullptr, QString(), ZELPACK_SOURCE_DIR "/examples");
    dialog.setFileMode(QFileDialog::Directory);
    dialog.setOption(QFileDialog::ShowDirsOnly);
    dialog.show();
    testing::ProcessEvents();
    const auto* buttons = dialog.findChild<QDialogButtonBox*>();
    ASSERT_NE(buttons, nullptr);
    ASSERT_NE(buttons->button(QDialogButtonBox::Cancel), nullptr);
    EXPECT_EQ(buttons->button(QDialogButtonBox::Cancel)->text().toStdString(),
              QCoreApplication::translate("QPlatformTheme", "Cancel").toStdString());
    const auto* look_in = dialog.findChild<QLabel*>(QStringLiteral("lookInLabel"));
    ASSERT_NE(look_in, nullptr);
    EXPECT_EQ(look_in->text().toStdString(),
              QCoreApplication::translate("QFileDialog", "Look in:").toStdString());
    const fs::path picture = fs::path(ZELPACK_SCREENSHOT_DIR) / "folder-browser.png";
    fs::create_directories(picture.parent_path());
    EXPECT_TRUE(dialog.grab().save(QString::fromStdString(picture.string())));
}
#endif

}  // namespace
}  // namespace zelpack
