// zelpack-gui-bench FOLDER: how long the main dialog's list takes to fill with FOLDER's files
// (the walk and one row per file, as the folder browser's choice does), on Qt's platform of the
// moment. Prints "list fill: ROWS rows in SECONDS s".
#include <chrono>
#include <cstdio>
#include <filesystem>

#include "gui/app/main_dlg.h"
#include "gui/framework/application.h"

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: zelpack-gui-bench FOLDER\n");
        return 2;
    }
    zelpack::framework::Application application(argc, argv);
    zelpack::CMainDlg dialog;
    const std::u16string folder = std::filesystem::path(argv[1]).u16string();
    dialog.Post([&] {
        const auto start = std::chrono::steady_clock::now();
        dialog.file_list().ScanFolder(folder);
        const std::chrono::duration<double> took = std::chrono::steady_clock::now() - start;
        std::printf("list fill: %d rows in %.2f s\n", dialog.file_list().GetRowCount(),
                    took.count());
        dialog.EndDialog(0);
    });
    return dialog.DoModal();
}
