// The folder browser and the save dialog of Qt.
#include <QFileDialog>

#include "gui/framework/qt/qt_dialog.h"
#include "gui/framework/qt/qt_text.h"
#include "gui/framework/shell_dialogs.h"

namespace zelpack::framework {

namespace {

class QtShellDialogs final : public ShellDialogs {
  public:
    std::optional<std::u16string> BrowseForFolder(DialogWindow& owner) override {
        const QString folder = QFileDialog::getExistingDirectory(
            &qt::Window(owner), QString(), QString(), QFileDialog::ShowDirsOnly);
        return folder.isEmpty() ? std::nullopt : std::optional(qt::ToWide(folder));
    }

    std::optional<std::u16string> GetSaveFileName(DialogWindow& owner,
                                                  const std::u16string& proposed) override {
        QFileDialog dialog(&qt::Window(owner));
        dialog.setAcceptMode(QFileDialog::AcceptSave);
        dialog.setFileMode(QFileDialog::AnyFile);
        dialog.setNameFilter(QStringLiteral("zip压缩文件(.zip) (*.zip)"));
        dialog.selectFile(qt::ToQString(proposed));
        // No default suffix: the name is used exactly as typed.
        if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) {
            return std::nullopt;
        }
        return qt::ToWide(dialog.selectedFiles().first());
    }
};

}  // namespace

ShellDialogs& SystemShellDialogs() {
    static QtShellDialogs dialogs;
    return dialogs;
}

}  // namespace zelpack::framework
