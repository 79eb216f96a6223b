// The program's one window: the folder field and browser, the file list with its buttons, and
// packing into an archive chosen in the save dialog.
#pragma once

#include <string>

#include "gui/filelist/package_file_list.h"
#include "gui/framework/dialog_window.h"

namespace zelpack {

// Toggled by 全选/取消 for the whole run: the first press unticks every row, the next ticks.
extern bool SelectAllFlag;

class CMainDlg : public framework::DialogWindow {
  public:
    CMainDlg();

    PackageFileList& file_list() { return file_list_; }

    // Runs the progress dialog for one archive; true when it ended with a non-zero code.
    bool StartPacking(const std::u16string& archive_path);
    // What 打包... proposes for the stored folder: the folder, a separator, its name, ".zip".
    std::u16string ProposedArchivePath() const;

    // Rows a scan fills at a time before the dialog serves its user again.
    static constexpr int kDefaultScanStepRows = 1000;
    void set_scan_step_rows(int rows) { scan_step_rows_ = rows; }

  protected:
    bool OnInitDialog() override;
    // The message map.
    void OnCommand(int id, int notification) override;
    void OnTimer(int id) override;

  private:
    void OnPack();
    void OnCancel();
    void OnSelectAllToggle();
    void OnRefresh();
    void OnBrowse();
    void OnFolderEditNotify(int notification);
    void OnOK();
    // Replaces the rows with a walk of `folder`; a large folder goes on filling in timer ticks.
    void Scan(const std::u16string& folder);

    PackageFileList file_list_;
    int scan_step_rows_ = kDefaultScanStepRows;
};

}  // namespace zelpack
