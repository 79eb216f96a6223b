// zelpack-gui-bench FOLDER: how long the main dialog's list takes to fill with FOLDER's files
// (the walk and one row per file, as the folder browser's choice does), on Qt's platform of the
// moment, at once and in the pieces the dialog fills between serving its user.
#include <algorithm>
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
    using Clock = std::chrono::steady_clock;
    using Seconds = std::chrono::duration<double>;
    zelpack::framework::Application application(argc, argv);
    zelpack::CMainDlg dialog;
    const std::u16string folder = std::filesystem::path(argv[1]).u16string();
    dialog.Post([&] {
        zelpack::PackageFileList& list = dialog.file_list();
        auto start = Clock::now();
        list.ScanFolder(folder);
        const Seconds whole = Clock::now() - start;

        // A piece is a time the dialog cannot answer its user; the first also empties the rows
        // of the scan before, the whole folder here.
        constexpr int kRows = zelpack::CMainDlg::kDefaultScanStepRows;
        start = Clock::now();
        bool more = list.BeginScan(folder, kRows);
        const Seconds first = Clock::now() - start;
        Seconds pieces = first;
        Seconds longest{0};
        while (more) {
            const auto piece_start = Clock::now();
            more = list.ContinueScan(kRows);
            const Seconds piece = Clock::now() - piece_start;
            pieces += piece;
            longest = std::max(longest, piece);
        }
        std::printf(
            "list fill: %d rows in %.2f s; in pieces of %d rows: %.2f s, the first "
            "(emptying the rows before) %.0f ms, the longest after it %.0f ms\n",
            list.GetRowCount(), whole.count(), kRows, pieces.count(), first.count() * 1000,
            longest.count() * 1000);
        dialog.EndDialog(0);
    });
    return dialog.DoModal();
}
