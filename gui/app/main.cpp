// zelpack-gui: the desktop program. Its exit code is the main dialog's end code.
#include "gui/app/main_dlg.h"
#include "gui/framework/application.h"

int main(int argc, char** argv) {
    zelpack::framework::Application application(argc, argv);
    zelpack::CMainDlg dialog;
    return dialog.DoModal();
}
