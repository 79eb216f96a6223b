// `zelpack pack`: turns the command line into a packing request and shows its plan and report
// (text, or one JSON document), as the packager makes them.
#pragma once

#include <iosfwd>
#include <string>
#include <vector>

namespace zelpack {

struct PackCommand {
    std::string folder;
    std::string archive;  // empty: FOLDER/NAME.zip
    bool force = false;
    bool all = false;
    bool no_ignore_file = false;  // the folder's .zelpackignore is not read
    // Each pattern with whether it ticks (true) or unticks, in command-line order.
    std::vector<std::pair<bool, std::string>> patterns;
    bool dry_run = false;
    bool quiet = false;   // warnings and errors only
    bool json = false;    // the result as one JSON document on standard output
    bool strict = false;  // a warning fails the run before anything is written
    // Threads compressing at the same time; 0: one per core.
    unsigned jobs = 0;
};

// Exit code: 0 packed, 1 failed, 130 interrupted (Ctrl+C), 143 terminated (SIGTERM).
// `show_progress` draws progress on `err`.
int RunPack(const PackCommand& command, std::ostream& out, std::ostream& err, bool show_progress);

}  // namespace zelpack
