// The main dialog's model of the chosen plug-in folder: the folder and one row per file, each
// with a tick. The rows live only in the list-view control, which is the row store.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "filelist/file_entry.h"
#include "filelist/folder_walker.h"

namespace zelpack {

namespace framework {
class ListView;
}

class PackageFileList {
  public:
    enum Column { kNameColumn = 0, kSizeColumn = 1, kDateColumn = 2 };

    PackageFileList() = default;
    // The control is not owned and stays as it is.
    ~PackageFileList() = default;
    PackageFileList(const PackageFileList&) = delete;
    PackageFileList& operator=(const PackageFileList&) = delete;

    // --- The control's set-up and rows ---

    // Remembers `list` and gives it the three columns, check boxes and full-row selection.
    void AttachListView(framework::ListView* list);
    // A row at `position` (at most the row count) with the entry's path, size and date texts and
    // a tool tip of the whole path and, for a file that starts unticked, why; the tick is left
    // to SetRowChecked.
    void InsertEntryRow(int position, const FileEntry& entry);
    void SetRowChecked(int row, bool ticked);
    // 1 when ticked, 0 when not.
    int IsRowChecked(int row) const;
    // The row's key, its relative path, whole (no fixed buffer cuts a long path short).
    std::u16string GetRowPath(int row) const;
    int GetRowCount() const;
    void DeleteRow(int row);
    void DeleteAllRows();

    // --- The model ---

    // Replaces the rows with a fresh walk of `folder`, each with its default tick. An empty
    // folder only empties the stored folder and returns false.
    bool ScanFolder(const std::u16string& folder);
    // The same walk in pieces, so that a window can serve its user between them: BeginScan
    // empties the rows and fills at most `rows`, each ContinueScan at most `rows` more, appended
    // below. Both return whether the walk has more; a new BeginScan replaces one under way.
    bool BeginScan(const std::u16string& folder, int rows);
    bool ContinueScan(int rows);
    bool IsScanning() const { return walker_ != nullptr; }
    // The rest of a walk under way, at once; nothing when none is.
    void FinishScan();
    // Drops a walk under way, leaving the rows filled so far.
    void StopScan();
    // Merges a fresh walk of the stored folder (a scan under way is finished first): rows of files
    // still there keep their ticks but get their size and date texts brought up to date, new files
    // are inserted at their walk position with their default tick, rows of vanished files are
    // deleted.
    bool Refresh();
    // Every row, a scan under way finished first.
    void SetAllChecked(bool ticked);
    // Appends the keys of the ticked rows, top to bottom (of a scan under way, the rows so far).
    void GetCheckedFiles(std::vector<std::u16string>& out) const;
    void GetFolder(std::u16string& out) const;

  private:
    void SetEntryTexts(int row, const FileEntry& entry);

    framework::ListView* list_ = nullptr;
    std::u16string folder_;
    // The scan under way, if any; its rows so far are the list's rows.
    std::unique_ptr<FolderWalker> walker_;
};

}  // namespace zelpack
