// zelpack-gui: the desktop program. Its exit code is the main dialog's end code.
#include <atomic>

#include "gui/app/main_dlg.h"
#include "gui/framework/application.h"
#include "platform/process.h"

int main(int argc, char** argv) {
    zelpack::framework::Application application(argc, argv);
    // A signal that would end the program (SIGTERM, SIGHUP...) first cancels a packing run, which
    // removes its temporary files; the main dialog looks for it (the flag itself is not needed).
    std::atomic<bool> interrupted{false};
    static_cast<void>(zelpack::platform::CancelOnInterrupt(interrupted));
    zelpack::CMainDlg dialog;
    return dialog.DoModal();
}
