#include "gui/framework/shell_dialogs.h"

namespace zelpack::framework {

namespace {

ShellDialogs* installed = nullptr;

}  // namespace

ShellDialogs& ShellDialogs::Current() {
    return installed != nullptr ? *installed : SystemShellDialogs();
}

void ShellDialogs::Install(ShellDialogs* dialogs) {
    installed = dialogs;
}

}  // namespace zelpack::framework
