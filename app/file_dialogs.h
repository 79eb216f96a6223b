// The folder browser and the save dialog, behind a seam so that tests can answer them.
#pragma once

#include <QString>
#include <optional>

class QWidget;

namespace zelpack {

class FileDialogs {
  public:
    virtual ~FileDialogs() = default;
    // A file-system folder chosen by the user; nothing when cancelled.
    virtual std::optional<QString> BrowseForFolder(QWidget* owner) = 0;
    // Where to save the archive, starting from `proposed`; nothing when cancelled. The name is
    // taken as typed: no extension is added. Replacing an existing file is confirmed first.
    virtual std::optional<QString> GetSaveFileName(QWidget* owner, const QString& proposed) = 0;

    // The dialogs in use: the system's, unless a test installed its own.
    static FileDialogs& Current();
    // Installs `dialogs` (not owned; null: the system's again).
    static void Install(FileDialogs* dialogs);
};

}  // namespace zelpack
