#include "app/file_dialogs.h"

#include <QFileDialog>

namespace zelpack {

namespace {

class SystemFileDialogs final : public FileDialogs {
  public:
    std::optional<QString> BrowseForFolder(QWidget* owner) override {
        const QString folder = QFileDialog::getExistingDirectory(owner, QString(), QString(),
                                                                 QFileDialog::ShowDirsOnly);
        return folder.isEmpty() ? std::nullopt : std::optional<QString>(folder);
    }

    std::optional<QString> GetSaveFileName(QWidget* owner, const QString& proposed) override {
        QFileDialog dialog(owner);
        dialog.setAcceptMode(QFileDialog::AcceptSave);
        dialog.setFileMode(QFileDialog::AnyFile);
        dialog.setNameFilter(QStringLiteral("zip压缩文件(.zip) (*.zip)"));
        dialog.selectFile(proposed);
        // No default suffix: the name is used exactly as typed.
        if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) {
            return std::nullopt;
        }
        return dialog.selectedFiles().first();
    }
};

FileDialogs* installed = nullptr;

}  // namespace

FileDialogs& FileDialogs::Current() {
    static SystemFileDialogs system;
    return installed != nullptr ? *installed : system;
}

void FileDialogs::Install(FileDialogs* dialogs) {
    installed = dialogs;
}

}  // namespace zelpack
