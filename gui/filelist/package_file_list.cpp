#include "gui/filelist/package_file_list.h"

#include <array>
#include <limits>
#include <map>
#include <set>
#include <string_view>

#include "filelist/default_ticks.h"
#include "filelist/entry_texts.h"
#include "filelist/folder_walker.h"
#include "gui/framework/list_view.h"
#include "packager/selection_warnings.h"

namespace zelpack {

namespace {

constexpr int kTitlePadding = 15;
constexpr int kNameColumnWidth = 190;
constexpr int kDateColumnWidth = 100;

std::vector<FileEntry> Walk(const std::u16string& folder) {
    std::vector<FileEntry> entries;
    FolderWalker walker;
    walker.Start(folder, u"*.*");
    for (FileEntry entry; walker.Next(entry);) {
        entries.push_back(entry);
    }
    walker.Close();
    return entries;
}

}  // namespace

void PackageFileList::AttachListView(framework::ListView* list) {
    list_ = list;
    constexpr std::array<std::u16string_view, 3> kTitles{u"文件名", u"文件大小", u"修改日期"};
    for (int column = 0; column < static_cast<int>(kTitles.size()); ++column) {
        list_->InsertColumn(column, kTitles[column],
                            list_->TextWidth(kTitles[column]) + kTitlePadding);
    }
    list_->SetColumnWidth(kNameColumn, kNameColumnWidth);
    list_->SetColumnWidth(kDateColumn, kDateColumnWidth);
    list_->ShowCheckBoxesAndSelectWholeRows();
}

void PackageFileList::SetEntryTexts(int row, const FileEntry& entry) {
    list_->SetText(row, kSizeColumn, SizeText(entry));
    list_->SetText(row, kDateColumn, DateText(entry));
    // The name column is narrow: the tip has the path whole, and why a row starts unticked,
    // which its tick alone does not tell.
    std::u16string tip = entry.cFileName;
    if (const std::u16string reason = DefaultUntickReason(entry); !reason.empty()) {
        tip += u"\n默认不勾选（" + reason + u"）";
    }
    list_->SetToolTip(row, tip);
}

void PackageFileList::InsertEntryRow(int position, const FileEntry& entry) {
    list_->InsertRow(position, entry.cFileName);
    SetEntryTexts(position, entry);
}

void PackageFileList::SetRowChecked(int row, bool ticked) {
    list_->SetChecked(row, ticked);
}

int PackageFileList::IsRowChecked(int row) const {
    return list_->IsChecked(row) ? 1 : 0;
}

std::u16string PackageFileList::GetRowPath(int row) const {
    return list_->Text(row, kNameColumn);
}

int PackageFileList::GetRowCount() const {
    return list_->RowCount();
}

void PackageFileList::DeleteRow(int row) {
    list_->DeleteRow(row);
}

void PackageFileList::DeleteAllRows() {
    list_->DeleteAllRows();
}

bool PackageFileList::ScanFolder(const std::u16string& folder) {
    if (!BeginScan(folder, 0)) {
        return false;
    }
    FinishScan();
    return true;
}

bool PackageFileList::BeginScan(const std::u16string& folder, int rows) {
    StopScan();
    folder_ = folder;
    if (folder_.empty()) {
        return false;
    }
    DeleteAllRows();
    walker_ = std::make_unique<FolderWalker>();
    walker_->Start(folder_, u"*.*");
    return ContinueScan(rows);
}

bool PackageFileList::ContinueScan(int rows) {
    if (!walker_) {
        return false;
    }
    FileEntry entry;
    for (int filled = 0; filled < rows; ++filled) {
        if (!walker_->Next(entry)) {
            StopScan();
            return false;
        }
        const int position = GetRowCount();
        InsertEntryRow(position, entry);
        SetRowChecked(position, IsCheckedByDefault(entry));
    }
    return true;
}

void PackageFileList::FinishScan() {
    while (ContinueScan(std::numeric_limits<int>::max())) {
    }
}

void PackageFileList::StopScan() {
    walker_.reset();
}

bool PackageFileList::Refresh() {
    FinishScan();
    if (folder_.empty()) {
        return false;
    }
    std::set<std::u16string> shown;
    for (int row = 0; row < GetRowCount(); ++row) {
        shown.insert(GetRowPath(row));
    }
    // New files go in at their walk position while the rows of vanished files still hold their
    // places; then every row left is brought up to date or, when its file is gone, deleted.
    const std::vector<FileEntry> walked = Walk(folder_);
    std::map<std::u16string_view, const FileEntry*> current;
    for (int position = 0; position < static_cast<int>(walked.size()); ++position) {
        const FileEntry& entry = walked[position];
        current.emplace(entry.cFileName, &entry);
        if (shown.count(entry.cFileName) == 0) {
            InsertEntryRow(position, entry);
            SetRowChecked(position, IsCheckedByDefault(entry));
        }
    }
    for (int row = 0; row < GetRowCount();) {
        const auto found = current.find(GetRowPath(row));
        if (found == current.end()) {
            DeleteRow(row);
            continue;
        }
        SetEntryTexts(row, *found->second);
        ++row;
    }
    return true;
}

void PackageFileList::SetAllChecked(bool ticked) {
    FinishScan();
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
