#include "app/main_dlg.h"

#include <QApplication>
#include <QCoreApplication>
#include <QKeyEvent>
#include <QScreen>
#include <QTreeWidget>

#include "app/file_dialogs.h"
#include "app/framework/qt_text.h"
#include "packager/plugin_packager.h"
#include "progress/compres_info_dlg.h"
#include "resources/resources.h"

namespace zelpack {

bool SelectAllFlag = true;

namespace {

using framework::ToQString;
using framework::ToWide;
namespace id = resources;

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
    // Over the owner when it is on screen, else on the screen's work area.
    const QWidget* owner = parentWidget();
    const QRect area = owner != nullptr && owner->isVisible() && !owner->isMinimized()
                           ? owner->frameGeometry()
                           : screen()->availableGeometry();
    QRect frame = frameGeometry();
    frame.moveCenter(area.center());
    const QRect work = screen()->availableGeometry();
    frame.moveLeft(std::max(work.left(), std::min(frame.left(), work.right() - frame.width())));
    frame.moveTop(std::max(work.top(), std::min(frame.top(), work.bottom() - frame.height())));
    move(frame.topLeft());

    setWindowIcon(resources::ApplicationIcon());

    file_list_.AttachListView(Item<QTreeWidget>(id::kIdFileList));
    return true;
}

void CMainDlg::OnOK() {
    // Enter moves on like Tab; it never closes the dialog.
    QCoreApplication::postEvent(this, new QKeyEvent(QEvent::KeyPress, Qt::Key_Tab, Qt::NoModifier));
}

void CMainDlg::OnFolderEditNotify(int notification) {
    if (notification != framework::kEditKillFocus) {
        return;
    }
    // Only a changed text rescans: merely passing through the field keeps the user's ticks.
    const std::u16string text = ToWide(GetDlgItemText(id::kIdFolderEdit));
    std::u16string folder;
    file_list_.GetFolder(folder);
    if (text != folder) {
        file_list_.ScanFolder(text);
    }
}

void CMainDlg::OnBrowse() {
    const std::optional<QString> folder = FileDialogs::Current().BrowseForFolder(this);
    if (!folder) {
        return;
    }
    SetDlgItemText(id::kIdFolderEdit, *folder);
    file_list_.ScanFolder(ToWide(*folder));
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
    const std::optional<QString> archive =
        FileDialogs::Current().GetSaveFileName(this, ToQString(ProposedArchivePath()));
    if (archive) {
        StartPacking(ToWide(*archive));
    }
}

bool CMainDlg::StartPacking(const std::u16string& archive_path) {
    CCompresInfoDlg dialog(QApplication::activeWindow());
    dialog.SetJob(archive_path, file_list_);
    dialog.StartWorker();
    const int result = dialog.DoModal();
    dialog.WaitForWorker();
    return result != 0;
}

}  // namespace zelpack
