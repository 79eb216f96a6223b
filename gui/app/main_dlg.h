// The program's one window: the folder field and browser, the file list with its buttons, and
// packing into an archive chosen in the save dialog.
#pragma once

#include <functional>
#include <string>

#include "gui/filelist/package_file_list.h"
#include "gui/framework/dialog_window.h"
#include "platform/process.h"

namespace zelpack {

class CCompresInfoDlg;

class CMainDlg : public framework::DialogWindow {
  public:
    // With a folder, the dialog opens with it in the folder field and listed, as when typed and
    // confirmed with Enter; with none, both start empty.
    explicit CMainDlg(std::u16string initial_folder = {});

    PackageFileList& file_list() { return file_list_; }
    // What the next press of 全选/取消 gives every row: the first press unticks them, the next
    // ticks.
    bool select_all() const { return select_all_; }

    // Runs the progress dialog for one archive; true when it ended with a non-zero code.
    bool StartPacking(const std::u16string& archive_path);
    // What 打包... proposes for the stored folder: the folder, a separator, its name, ".zip".
    std::u16string ProposedArchivePath() const;

    // Rows a scan fills at a time before the dialog serves its user again.
    static constexpr int kDefaultScanStepRows = 1000;
    void set_scan_step_rows(int rows) { scan_step_rows_ = rows; }

    // What happens once a request to stop (a signal) has been seen and nothing of a packing run
    // is left on disk: by default the request's own default action, which ends the process. When
    // it returns (tests), the dialog ends with the request's exit status.
    void set_on_interrupted(std::function<void(platform::Interruption)> action) {
        on_interrupted_ = std::move(action);
    }

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

    // Looks for a request to stop (see platform::CancelOnInterrupt, which main sets up): a
    // packing run is cancelled and waited for first, so that it removes its files.
    void CheckInterruption();

    PackageFileList file_list_;
    int scan_step_rows_ = kDefaultScanStepRows;
    bool select_all_ = true;
    CCompresInfoDlg* packing_ = nullptr;  // the progress dialog of the run under way
    std::function<void(platform::Interruption)> on_interrupted_;
    std::u16string initial_folder_;
};

}  // namespace zelpack
