#include "gui/app/main_dlg.h"

#include "gui/framework/shell_dialogs.h"
#include "gui/progress/compres_info_dlg.h"
#include "packager/plugin_packager.h"

namespace zelpack {

bool SelectAllFlag = true;

namespace {

namespace id = resources;
using framework::ShellDialogs;

}  // namespace

CMainDlg::CMainDlg() : DialogWindow(resources::kMainDialog) {}

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

bool CMainDlg::OnInitDialog() {
    CenterWindow();
    SetIcon(resources::kApplicationIcon);
    file_list_.AttachListView(&GetListView(id::kIdFileList));
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
        file_list_.ScanFolder(text);
    }
}

void CMainDlg::OnBrowse() {
    const std::optional<std::u16string> folder = ShellDialogs::Current().BrowseForFolder(*this);
    if (!folder) {
        return;
    }
    SetDlgItemText(id::kIdFolderEdit, *folder);
    file_list_.ScanFolder(*folder);
}

void CMainDlg::OnSelectAllToggle() {
    SelectAllFlag = !SelectAllFlag;
    file_list_.SetAllChecked(SelectAllFlag);
}

void CMainDlg::OnRefresh() {
    file_list_.Refresh();
}

void CMainDlg::OnCancel() {
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
    CCompresInfoDlg dialog(this);
    dialog.SetJob(archive_path, file_list_);
    dialog.StartWorker();
    const int result = dialog.DoModal();
    dialog.WaitForWorker();
    return result != 0;
}

}  // namespace zelpack
