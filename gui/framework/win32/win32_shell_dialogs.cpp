// The shell's folder browser and the common save dialog.
#include <vector>

#include "gui/framework/shell_dialogs.h"
#include "gui/framework/win32/win32_windows.h"

namespace zelpack::framework {

namespace {

// Room for a long path, so that no proposal is cut short.
constexpr std::size_t kFileNameCapacity = 32768;

class Win32ShellDialogs final : public ShellDialogs {
  public:
    std::optional<std::u16string> BrowseForFolder(DialogWindow&) override {
        BROWSEINFOW browse{};
        browse.hwndOwner = GetActiveWindow();
        browse.ulFlags = BIF_RETURNONLYFSDIRS;
        PIDLIST_ABSOLUTE chosen = SHBrowseForFolderW(&browse);
        if (chosen == nullptr) {
            return std::nullopt;
        }
        wchar_t path[MAX_PATH] = {};
        const bool has_path = SHGetPathFromIDListW(chosen, path) != FALSE;
        CoTaskMemFree(chosen);
        if (!has_path) {
            return std::nullopt;
        }
        return win32::FromWide(path);
    }

    std::optional<std::u16string> GetSaveFileName(DialogWindow&,
                                                  const std::u16string& proposed) override {
        std::vector<wchar_t> name(std::max(kFileNameCapacity, proposed.size() + 1), L'\0');
        std::copy(proposed.begin(), proposed.end(), name.begin());
        OPENFILENAMEW dialog{};
        dialog.lStructSize = sizeof dialog;
        dialog.hwndOwner = GetActiveWindow();
        dialog.lpstrFilter = L"zip压缩文件(.zip)\0*.zip\0";
        dialog.lpstrFile = name.data();
        dialog.nMaxFile = static_cast<DWORD>(name.size());
        // No default extension: the name is used exactly as typed.
        dialog.Flags = OFN_HIDEREADONLY | OFN_OVERWRITEPROMPT | OFN_EXPLORER | OFN_ENABLESIZING;
        if (GetSaveFileNameW(&dialog) == FALSE) {
            return std::nullopt;
        }
        return win32::FromWide(name.data());
    }
};

}  // namespace

ShellDialogs& SystemShellDialogs() {
    static Win32ShellDialogs dialogs;
    return dialogs;
}

}  // namespace zelpack::framework
