// zelpack-gui: the desktop program. Its exit code is the main dialog's end code.
#include <QApplication>

#include "app/main_dlg.h"

int main(int argc, char** argv) {
    QApplication application(argc, argv);
    zelpack::CMainDlg dialog;
    return dialog.DoModal();
}
