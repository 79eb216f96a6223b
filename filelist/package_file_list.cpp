#include "filelist/package_file_list.h"

#include <QFontMetrics>
#include <QHeaderView>
#include <QTreeWidget>
#include <map>

#include "filelist/default_ticks.h"
#include "filelist/entry_texts.h"
#include "filelist/folder_walker.h"

namespace zelpack {

namespace {

QString ToQString(std::u16string_view text) {
    return QString::fromUtf16(text.data(), static_cast<qsizetype>(text.size()));
}

constexpr int kTitlePadding = 15;
constexpr int kNameColumnWidth = 190;
constexpr int kDateColumnWidth = 100;

}  // namespace

bool PackageFileList::AttachListView(QTreeWidget* list) {
    list_ = list;
    const QStringList titles{QStringLiteral("文件名"), QStringLiteral("文件大小"),
                             QStringLiteral("修改日期")};
    list_->setColumnCount(static_cast<int>(titles.size()));
    list_->setHeaderLabels(titles);
    list_->setRootIsDecorated(false);
    list_->setItemsExpandable(false);
    list_->setSortingEnabled(false);
    list_->setUniformRowHeights(true);
    list_->setSelectionBehavior(QAbstractItemView::SelectRows);
    list_->setSelectionMode(QAbstractItemView::ExtendedSelection);
    list_->header()->setStretchLastSection(false);
    list_->header()->setSectionsMovable(false);
    const QFontMetrics metrics(list_->font());
    for (int column = 0; column < static_cast<int>(titles.size()); ++column) {
        list_->headerItem()->setTextAlignment(column, Qt::AlignLeft | Qt::AlignVCenter);
        list_->setColumnWidth(column, metrics.horizontalAdvance(titles[column]) + kTitlePadding);
    }
    list_->setColumnWidth(kNameColumn, kNameColumnWidth);
    list_->setColumnWidth(kDateColumn, kDateColumnWidth);
    return true;
}

void PackageFileList::SetEntryTexts(QTreeWidgetItem* item, const FileEntry& entry) {
    item->setText(kSizeColumn, ToQString(SizeText(entry)));
    item->setText(kDateColumn, ToQString(DateText(entry)));
}

bool PackageFileList::InsertEntryRow(int position, const FileEntry& entry) {
    auto* item = new QTreeWidgetItem;
    item->setText(kNameColumn, ToQString(entry.cFileName));
    // Checkable but not a tristate, and never edited in place.
    item->setFlags(Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemIsUserCheckable |
                   Qt::ItemNeverHasChildren);
    item->setCheckState(kNameColumn, Qt::Unchecked);
    list_->insertTopLevelItem(position, item);
    SetEntryTexts(item, entry);
    return true;
}

void PackageFileList::SetRowChecked(int row, bool ticked) {
    if (QTreeWidgetItem* item = list_->topLevelItem(row)) {
        item->setCheckState(kNameColumn, ticked ? Qt::Checked : Qt::Unchecked);
    }
}

int PackageFileList::IsRowChecked(int row) const {
    const QTreeWidgetItem* item = list_->topLevelItem(row);
    return item != nullptr && item->checkState(kNameColumn) == Qt::Checked ? 1 : 0;
}

std::u16string PackageFileList::GetRowPath(int row) const {
    const QTreeWidgetItem* item = list_->topLevelItem(row);
    return item != nullptr ? item->text(kNameColumn).toStdU16String() : std::u16string();
}

int PackageFileList::GetRowCount() const {
    return list_->topLevelItemCount();
}

bool PackageFileList::DeleteRow(int row) {
    delete list_->takeTopLevelItem(row);
    return true;
}

bool PackageFileList::DeleteAllRows() {
    list_->clear();
    return true;
}

bool PackageFileList::ScanFolder(const std::u16string& folder) {
    folder_ = folder;
    if (folder_.empty()) {
        return false;
    }
    DeleteAllRows();
    FolderWalker walker;
    walker.Start(folder_, u"*.*");
    FileEntry entry;
    for (int position = 0; walker.Next(entry); ++position) {
        InsertEntryRow(position, entry);
        SetRowChecked(position, IsCheckedByDefault(entry));
    }
    walker.Close();
    return true;
}

bool PackageFileList::Refresh() {
    if (folder_.empty()) {
        return false;
    }
    // Rows not yet seen in this walk, by key. Rows of vanished files still hold their places
    // while the walk runs, so a row is found by its key, not by the walk position.
    std::map<std::u16string, QTreeWidgetItem*> vanished;
    for (int row = 0; row < GetRowCount(); ++row) {
        vanished.emplace(GetRowPath(row), list_->topLevelItem(row));
    }
    FolderWalker walker;
    walker.Start(folder_, u"*.*");
    FileEntry entry;
    for (int position = 0; walker.Next(entry); ++position) {
        if (const auto found = vanished.find(entry.cFileName); found != vanished.end()) {
            SetEntryTexts(found->second, entry);
            vanished.erase(found);
            continue;
        }
        InsertEntryRow(position, entry);
        SetRowChecked(position, IsCheckedByDefault(entry));
    }
    for (int row = 0; row < GetRowCount();) {
        if (vanished.count(GetRowPath(row)) != 0) {
            DeleteRow(row);
        } else {
            ++row;
        }
    }
    walker.Close();
    return true;
}

void PackageFileList::SetAllChecked(bool ticked) {
    const int count = GetRowCount();
    for (int row = 0; row < count; ++row) {
        SetRowChecked(row, ticked);
    }
}

void PackageFileList::GetCheckedFiles(std::vector<std::u16string>& out) const {
    const int count = GetRowCount();
    for (int row = 0; row < count; ++row) {
        if (IsRowChecked(row) != 0) {
            out.push_back(GetRowPath(row));
        }
    }
}

void PackageFileList::GetFolder(std::u16string& out) const {
    out = folder_;
}

}  // namespace zelpack
