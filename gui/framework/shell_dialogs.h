// The shell's folder browser and save dialog, behind a seam so that tests can answer them.
#pragma once

#include <optional>
#include <string>

namespace zelpack::framework {

class DialogWindow;

class ShellDialogs {
  public:
    virtual ~ShellDialogs() = default;
    // A file-system folder chosen by the user; nothing when cancelled.
    virtual std::optional<std::u16string> BrowseForFolder(DialogWindow& owner) = 0;
    // Where to save the archive, starting from `proposed`; nothing when cancelled. The name is
    // taken as typed: no extension is added. Replacing an existing file is confirmed first.
    virtual std::optional<std::u16string> GetSaveFileName(DialogWindow& owner,
                                                          const std::u16string& proposed) = 0;

    // The dialogs in use: the system's, unless a test installed its own.
    static ShellDialogs& Current();
    // Installs `dialogs` (not owned; null: the system's again).
    static void Install(ShellDialogs* dialogs);
};

// The window system's own dialogs (defined by the back end).
ShellDialogs& SystemShellDialogs();

}  // namespace zelpack::framework
