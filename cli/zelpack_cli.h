// The command-line front end, callable in-process so that tests can drive it.
#pragma once

#include <iosfwd>

namespace zelpack {

// Runs one command line; returns the exit code: 0 success, 1 failure of the command, 2 usage.
int RunZelpack(int argc, const char* const* argv, std::ostream& out, std::ostream& err);

}  // namespace zelpack
