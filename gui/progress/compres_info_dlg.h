// The packing job: a modal progress dialog whose worker thread packs the ticked files of the
// main dialog's list (a run as the packager plans it, with the warnings the command line shows),
// counting seconds in the status line while it runs.
#pragma once

#include <atomic>
#include <string>
#include <thread>

#include "gui/framework/dialog_window.h"
#include "packager/plugin_packager.h"

namespace zelpack {

class PackageFileList;

class CCompresInfoDlg : public framework::DialogWindow {
  public:
    static constexpr int kElapsedTimer = 1;

    explicit CCompresInfoDlg(framework::DialogWindow* owner = nullptr);
    // Waits for the worker (answering its calls meanwhile): it uses this object to its end.
    ~CCompresInfoDlg() override;

    // `file_list` must outlive this dialog; it is read once, through the dialog's thread.
    void SetJob(const std::u16string& archive_path, PackageFileList& file_list);
    // Starts the worker, which waits for the dialog to be shown. When no thread can be made the
    // dialog shows an empty status line until it is cancelled.
    void StartWorker();
    // Returns once the worker has finished; the dialog's thread keeps answering it meanwhile.
    void WaitForWorker();
    // What the 取消 button does: closes the dialog and stops the run.
    void Cancel() { OnCancel(); }

  protected:
    bool OnInitDialog() override;
    void OnCommand(int id, int notification) override;
    void OnTimer(int id) override;

  private:
    void WorkerMain();
    // On the worker: plans a run of the list's ticked files, shows its warnings, packs them and
    // shows how it ended.
    void PackTicked();
    void OnCancel();
    void ShowStatus(const std::u16string& text);

    std::thread worker_;
    PackageFileList* file_list_ = nullptr;
    std::u16string archive_path_;
    std::atomic<int> elapsed_{0};
    PluginPackager packager_;

    std::atomic<bool> window_ready_{false};
    // Set by Cancel: Pack stops at its next check and nothing reaches the archive path.
    std::atomic<bool> cancel_{false};
    std::atomic<bool> worker_done_{true};
    bool closed_ = false;  // dialog's thread only
    // The selection's warnings, shown under every status; dialog's thread only.
    std::u16string warning_line_;
};

}  // namespace zelpack
