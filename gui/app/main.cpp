// zelpack-gui [FOLDER | --version]: the desktop program. Its exit code is the main dialog's end
// code.
#include <atomic>
#include <iostream>
#include <string>
#include <string_view>
#include <utility>

#include "gui/app/main_dlg.h"
#include "gui/framework/application.h"
#include "platform/file_stream.h"
#include "platform/process.h"
#include "platform/text.h"
#include "resources/version.h"

int main(int argc, char** argv) {
    zelpack::platform::Arguments arguments(argc, argv);
    if (arguments.argc() == 2 && std::string_view(arguments.argv()[1]) == "--version") {
        zelpack::platform::UseParentConsole();
        const zelpack::platform::StandardStreams streams;
        std::cout << zelpack::VersionText("zelpack-gui") << '\n' << std::flush;
        return 0;
    }
    // Qt takes its own options (-platform...) out of argv here; what is left is the program's.
    zelpack::framework::Application application(argc, argv);
    // A signal that would end the program (SIGTERM, SIGHUP...) first cancels a packing run, which
    // removes its temporary files; the main dialog looks for it (the flag itself is not needed).
    std::atomic<bool> interrupted{false};
    static_cast<void>(zelpack::platform::CancelOnInterrupt(interrupted));
    // The folder a file manager or the command line hands over. A file manager given several
    // starts the program once for each (%f), so anything after the first is left alone.
    zelpack::platform::Arguments program_arguments(argc, argv);
    std::u16string folder;
    if (program_arguments.argc() > 1) {
        folder = zelpack::platform::FromNative(program_arguments.argv()[1]);
    }
    zelpack::CMainDlg dialog(std::move(folder));
    return dialog.DoModal();
}
