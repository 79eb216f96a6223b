// Exit codes of the command-line programs, and the argument parsing they share.
#pragma once

#include <CLI/CLI.hpp>
#include <iostream>
#include <optional>

#include "resources/version.h"

namespace zelpack {

inline constexpr int kExitSuccess = 0;
inline constexpr int kExitFailure = 1;
inline constexpr int kExitUsage = 2;
// A run stopped by a signal ends with platform::ExitStatusOf it, 128 + its number as shells report
// it; Windows has the two of Ctrl+C and Ctrl+Break.
inline constexpr int kExitHangup = 129;
inline constexpr int kExitInterrupted = 130;
inline constexpr int kExitQuit = 131;
inline constexpr int kExitUser1 = 138;
inline constexpr int kExitUser2 = 140;
inline constexpr int kExitAlarm = 142;
inline constexpr int kExitTerminated = 143;

// Parses the command line of a diagnostic tool, which also takes --version. The exit code when
// the program should end at once (help or version printed: 0; a usage error, printed on standard
// error: 2); nothing otherwise.
inline std::optional<int> ParseToolArguments(CLI::App& app, int argc, char** argv) {
    app.set_version_flag("--version", VersionText(app.get_name()), "显示版本并退出");
    try {
        app.parse(argc, argv);
    } catch (const CLI::CallForHelp&) {
        std::cout << app.help();
        return kExitSuccess;
    } catch (const CLI::CallForVersion& version) {
        std::cout << version.what() << '\n';
        return kExitSuccess;
    } catch (const CLI::ParseError& error) {
        std::cerr << error.what() << '\n';
        return kExitUsage;
    }
    return std::nullopt;
}

}  // namespace zelpack
