// zelpack-gui [FOLDER]: the desktop program. Its exit code is the main dialog's end code.
#include <atomic>
#include <string>
#include <utility>

#include "gui/app/main_dlg.h"
#include "gui/framework/application.h"
#include "platform/process.h"
#include "platform/text.h"

int main(int argc, char** argv) {
    // Qt takes its own options (-platform...) out of argv here; what is left is the program's.
    zelpack::framework::Application application(argc, argv);
    // A signal that would end the program (SIGTERM, SIGHUP...) first cancels a packing run, which
    // removes its temporary files; the main dialog looks for it (the flag itself is not needed).
    std::atomic<bool> interrupted{false};
    static_cast<void>(zelpack::platform::CancelOnInterrupt(interrupted));
    // The folder a file manager or the command line hands over. A file manager given several
    // starts the program once for each (%f), so anything after the first is left alone.
    zelpack::platform::Arguments arguments(argc, argv);
    std::u16string folder;
    if (arguments.argc() > 1) {
        folder = zelpack::platform::FromNative(arguments.argv()[1]);
    }
    zelpack::CMainDlg dialog(std::move(folder));
    return dialog.DoModal();
}
