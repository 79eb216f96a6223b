#include "gui/filelist/package_file_list.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

#include "gui/framework/list_view.h"
#include "tests/support/gui_test_util.h"
#include "tests/support/temp_dir.h"

namespace zelpack {
namespace {

namespace fs = std::filesystem;
using testing::SetWriteTime;
using testing::TempDir;
using testing::Utf8;
using testing::Wide;

// A list view in memory, with a font in which every character is 7 pixels wide.
class MemoryListView final : public framework::ListView {
  public:
    struct Row {
        std::vector<std::u16string> texts;
        bool ticked = false;
        std::u16string tip;
    };
    static constexpr int kCharacterWidth = 7;

    int TextWidth(std::u16string_view text) const override {
        return kCharacterWidth * static_cast<int>(text.size());
    }
    void InsertColumn(int index, std::u16string_view title, int width) override {
        columns.insert(columns.begin() + index, {std::u16string(title), width});
    }
    void SetColumnWidth(int index, int width) override { columns.at(index).second = width; }
    void ShowCheckBoxesAndSelectWholeRows() override { check_boxes = true; }
    int RowCount() const override { return static_cast<int>(rows.size()); }
    void InsertRow(int row, std::u16string_view text) override {
        EXPECT_LE(row, RowCount());
        rows.insert(rows.begin() + row, Row{{std::u16string(text), u"", u""}, false, {}});
    }
    void SetText(int row, int column, std::u16string_view text) override {
        rows.at(row).texts.at(column) = text;
    }
    std::u16string Text(int row, int column) const override {
        return row < RowCount() ? rows[row].texts.at(column) : std::u16string();
    }
    void SetToolTip(int row, std::u16string_view text) override { rows.at(row).tip = text; }
    void SetChecked(int row, bool ticked) override { rows.at(row).ticked = ticked; }
    bool IsChecked(int row) const override { return row < RowCount() && rows[row].ticked; }
    void DeleteRow(int row) override { rows.erase(rows.begin() + row); }
    void DeleteAllRows() override { rows.clear(); }

    std::vector<std::pair<std::u16string, int>> columns;
    bool check_boxes = false;
    std::vector<Row> rows;
};

class PackageFileListTest : public ::testing::Test {
  protected:
    PackageFileListTest() { list_.AttachListView(&view_); }

    // "[x] path size date" per row, top to bottom, with '/' between path parts.
    std::vector<std::string> Rows() const {
        std::vector<std::string> rows;
        for (int row = 0; row < list_.GetRowCount(); ++row) {
            rows.push_back(std::string(list_.IsRowChecked(row) ? "[x] " : "[ ] ") +
                           Utf8(testing::Portable(list_.GetRowPath(row))) + " " +
                           Utf8(view_.Text(row, PackageFileList::kSizeColumn)) + " " +
                           Utf8(view_.Text(row, PackageFileList::kDateColumn)));
        }
        return rows;
    }
    std::vector<std::u16string> Checked() const {
        std::vector<std::u16string> files;
        list_.GetCheckedFiles(files);
        for (std::u16string& file : files) {
            file = testing::Portable(file);
        }
        return files;
    }
    bool Scan() { return list_.ScanFolder(Wide(dir_.path())); }
    fs::path Write(const std::string& path, std::size_t size, std::int64_t time = 1236236640) {
        const fs::path written = dir_.Write(path, std::string(size, 'x'));
        SetWriteTime(written, time);
        return written;
    }

    TempDir dir_;
    MemoryListView view_;
    PackageFileList list_;
};

TEST_F(PackageFileListTest, AttachSetsUpColumnsAndCheckBoxes) {
    EXPECT_EQ(view_.columns, (std::vector<std::pair<std::u16string, int>>{
                                 {u"文件名", 190},
                                 {u"文件大小", 4 * MemoryListView::kCharacterWidth + 15},
                                 {u"修改日期", 100}}));
    EXPECT_TRUE(view_.check_boxes);
}

TEST_F(PackageFileListTest, ScanFillsRowsInWalkOrderWithDefaultTicksAndTexts) {
    Write("main.js", 1025);
    Write("Debug/out.map", 0, 1262303940);              // 2009-12-31 23:59 UTC
    Write("src/widgets/toolbar.js", 2048, 1230865440);  // 2009-01-02 03:04 UTC
    Write(".svn/entries", 10);
    ASSERT_TRUE(Scan());
    EXPECT_EQ(Rows(), (std::vector<std::string>{"[ ] Debug/out.map 0K 2009-12-31 23:59",
                                                "[x] main.js 2K 2009-3-5 7:4",
                                                "[x] src/widgets/toolbar.js 2K 2009-1-2 3:4"}));
    std::u16string folder;
    list_.GetFolder(folder);
    EXPECT_EQ(folder, Wide(dir_.path()));

    // A link to a file elsewhere on the machine is shown, never ticked unasked, on a scan or a
    // refresh; a link to a folder elsewhere is not walked.
    if (!testing::kLinks) {
        return;
    }
    TempDir outside;
    SetWriteTime(outside.Write("passwd", "secret"), 1236236640);
    fs::create_symlink(outside / "passwd", dir_ / "a-link.txt");
    ASSERT_TRUE(list_.Refresh());
    EXPECT_EQ(Rows().front(), "[ ] a-link.txt 1K 2009-3-5 7:4");
    fs::create_directory_symlink("/", dir_ / "root");
    ASSERT_TRUE(Scan());
    EXPECT_EQ(Rows().size(), 4u);
    EXPECT_EQ(Rows().front(), "[ ] a-link.txt 1K 2009-3-5 7:4");
}

TEST_F(PackageFileListTest, SecondScanResetsTicks) {
    Write("a.js", 1);
    Write("lib/b.js", 1);
    ASSERT_TRUE(Scan());
    list_.SetRowChecked(0, false);
    list_.SetRowChecked(1, true);
    ASSERT_TRUE(Scan());
    EXPECT_EQ(Checked(), std::vector<std::u16string>{u"a.js"});
}

TEST_F(PackageFileListTest, EmptyFolderTextKeepsTheRowsButForgetsTheFolder) {
    Write("a.js", 1);
    ASSERT_TRUE(Scan());
    EXPECT_FALSE(list_.ScanFolder(u""));
    EXPECT_EQ(list_.GetRowCount(), 1);
    std::u16string folder = u"stale";
    list_.GetFolder(folder);
    EXPECT_EQ(folder, u"");
    Write("b.js", 1);
    EXPECT_FALSE(list_.Refresh());
    EXPECT_EQ(list_.GetRowCount(), 1);

    // A folder that cannot be listed empties the list.
    EXPECT_TRUE(list_.ScanFolder(Wide(dir_ / "missing")));
    EXPECT_EQ(list_.GetRowCount(), 0);
}

TEST_F(PackageFileListTest, RefreshKeepsTicksInsertsNewFilesAndUpdatesTexts) {
    Write("a.js", 1);
    Write("sub/b.js", 1);
    Write("z.js", 1);
    ASSERT_TRUE(Scan());
    list_.SetRowChecked(0, false);  // the user unticks a.js
    Write("sub/a-new.js", 3000);    // walks between a.js and sub/b.js
    Write("sub/lib/x.js", 1);       // new, unticked by default
    Write("a.js", 5000, 1262303940);
    ASSERT_TRUE(list_.Refresh());
    EXPECT_EQ(Rows(), (std::vector<std::string>{
                          "[ ] a.js 5K 2009-12-31 23:59", "[x] sub/a-new.js 3K 2009-3-5 7:4",
                          "[x] sub/b.js 1K 2009-3-5 7:4", "[ ] sub/lib/x.js 1K 2009-3-5 7:4",
                          "[x] z.js 1K 2009-3-5 7:4"}));
}

TEST_F(PackageFileListTest, RefreshRemovesVanishedRowsAfterInsertingAtWalkPositions) {
    // Rows A, B, V, C; V vanishes and Y is walked right after C: Y goes in at position 3,
    // before C, and once V's row is gone the rows are A, B, Y, C.
    Write("a", 1);
    Write("b", 1);
    const fs::path v = Write("c1", 1);
    Write("c2", 1);
    ASSERT_TRUE(Scan());
    list_.SetRowChecked(3, false);
    fs::remove(v);
    Write("d", 1);
    ASSERT_TRUE(list_.Refresh());
    std::vector<std::u16string> rows;
    for (int row = 0; row < list_.GetRowCount(); ++row) {
        rows.push_back(testing::Portable(list_.GetRowPath(row)));
    }
    EXPECT_EQ(rows, (std::vector<std::u16string>{u"a", u"b", u"d", u"c2"}));
    EXPECT_EQ(Checked(), (std::vector<std::u16string>{u"a", u"b", u"d"}));

    // A case change is one file gone and one new (Wine keeps a name's case on such a rename).
    if (!testing::kWindows) {
        fs::rename(dir_ / "a", dir_ / "A");
        list_.SetRowChecked(0, false);
        ASSERT_TRUE(list_.Refresh());
        EXPECT_EQ(list_.GetRowPath(0), u"A");
        EXPECT_EQ(list_.IsRowChecked(0), 1);
        EXPECT_EQ(list_.GetRowCount(), 4);
    }

    fs::remove_all(dir_.path() / "");
    fs::create_directory(dir_.path());
    ASSERT_TRUE(list_.Refresh());
    EXPECT_EQ(list_.GetRowCount(), 0);
}

TEST_F(PackageFileListTest, SetAllCheckedAndCheckedFilesInRowOrder) {
    Write("b.js", 1);
    Write("a.js", 1);
    Write("Debug/c.map", 1);
    ASSERT_TRUE(Scan());
    list_.SetAllChecked(false);
    EXPECT_TRUE(Checked().empty());
    list_.SetAllChecked(true);
    EXPECT_EQ(Checked(), (std::vector<std::u16string>{u"a.js", u"b.js", u"Debug/c.map"}));
    list_.SetRowChecked(1, false);
    EXPECT_EQ(Checked(), (std::vector<std::u16string>{u"a.js", u"Debug/c.map"}));
    std::vector<std::u16string> appended{u"kept"};
    list_.GetCheckedFiles(appended);
    EXPECT_EQ(appended.size(), 3u);
}

}  // namespace
}  // namespace zelpack
