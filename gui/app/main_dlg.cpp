#include "gui/app/main_dlg.h"

#include <utility>

#include "gui/framework/shell_dialogs.h"
#include "gui/progress/compres_info_dlg.h"
#include "packager/plugin_packager.h"

namespace zelpack {

namespace {

namespace id = resources;
using framework::ShellDialogs;

// A large folder goes on filling in ticks of this timer, the lowest-priority event of both
// window systems, so that input and painting come first.
constexpr int kScanTimer = 1;
// How often a request to stop is looked for.
constexpr int kInterruptTimer = 2;
constexpr int kInterruptPollMilliseconds = 100;

}  // namespace

CMainDlg::CMainDlg(std::u16string initial_folder)
    : DialogWindow(resources::kMainDialog),
      on_interrupted_([](platform::Interruption kind) {
          platform::RestoreInterruptHandling();
          platform::RaiseInterruption(kind);
      }),
      initial_folder_(std::move(initial_folder)) {}

void CMainDlg::OnCommand(int command, int notification) {
    switch (command) {
        case id::kIdPack:
            OnPack();
            break;
        case id::kIdCancel:
            OnCancel();
            break;
        case id::kIdSelectAll:
            OnSelectAllToggle();
            break;
        case id::kIdRefresh:
            OnRefresh();
            break;
        case id::kIdBrowse:
            OnBrowse();
            break;
        case id::kIdFolderEdit:
            OnFolderEditNotify(notification);
            break;
        case id::kIdOk:
            OnOK();
            break;
        default:
            break;
    }
}

void CMainDlg::OnTimer(int timer) {
    if (timer == kScanTimer && !file_list_.ContinueScan(scan_step_rows_)) {
        KillTimer(kScanTimer);
    }
    if (timer == kInterruptTimer) {
        CheckInterruption();
    }
}

void CMainDlg::CheckInterruption() {
    const platform::Interruption kind = platform::ReceivedInterruption();
    if (kind == platform::Interruption::None) {
        return;
    }
    if (packing_ != nullptr) {
        packing_->Cancel();  // StartPacking comes back here once the run has cleaned up
        return;
    }
    KillTimer(kInterruptTimer);
    on_interrupted_(kind);
    EndDialog(platform::ExitStatusOf(kind));
}

void CMainDlg::Scan(const std::u16string& folder) {
    if (file_list_.BeginScan(folder, scan_step_rows_)) {
        SetTimer(kScanTimer, 0);
    } else {
        KillTimer(kScanTimer);
    }
}

bool CMainDlg::OnInitDialog() {
    CenterWindow();
    SetIcon(resources::kApplicationIcon);
    file_list_.AttachListView(&GetListView(id::kIdFileList));
    SetTimer(kInterruptTimer, kInterruptPollMilliseconds);
    if (!initial_folder_.empty()) {
        SetDlgItemText(id::kIdFolderEdit, initial_folder_);
        Scan(initial_folder_);
    }
    return true;
}

void CMainDlg::OnOK() {
    // Enter moves on like Tab; it never closes the dialog.
    PostTabKey();
}

void CMainDlg::OnFolderEditNotify(int notification) {
    if (notification != framework::kEditKillFocus) {
        return;
    }
    // Only a changed text rescans: merely passing through the field keeps the user's ticks.
    const std::u16string text = GetDlgItemText(id::kIdFolderEdit);
    std::u16string folder;
    file_list_.GetFolder(folder);
    if (text != folder) {
        Scan(text);
    }
}

void CMainDlg::OnBrowse() {
    const std::optional<std::u16string> folder = ShellDialogs::Current().BrowseForFolder(*this);
    if (!folder) {
        return;
    }
    SetDlgItemText(id::kIdFolderEdit, *folder);
    Scan(*folder);
}

void CMainDlg::OnSelectAllToggle() {
    select_all_ = !select_all_;
    file_list_.SetAllChecked(select_all_);
}

void CMainDlg::OnRefresh() {
    file_list_.Refresh();
}

void CMainDlg::OnCancel() {
    file_list_.StopScan();
    KillTimer(kScanTimer);
    EndDialog(id::kIdCancel);
}

std::u16string CMainDlg::ProposedArchivePath() const {
    std::u16string folder;
    file_list_.GetFolder(folder);
    return PluginPackager::ProposedArchivePath(folder);
}

void CMainDlg::OnPack() {
    const std::optional<std::u16string> archive =
        ShellDialogs::Current().GetSaveFileName(*this, ProposedArchivePath());
    if (archive) {
        StartPacking(*archive);
    }
}

bool CMainDlg::StartPacking(const std::u16string& archive_path) {
    // Every file of the folder, not the rows a scan under way has reached.
    file_list_.FinishScan();
    KillTimer(kScanTimer);
    CCompresInfoDlg dialog(this);
    dialog.SetJob(archive_path, file_list_);
    dialog.StartWorker();
    packing_ = &dialog;
    const int result = dialog.DoModal();
    dialog.WaitForWorker();
    packing_ = nullptr;
    CheckInterruption();
    return result != 0;
}

}  // namespace zelpack
