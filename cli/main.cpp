#include <iostream>

#include "cli/zelpack_cli.h"
#include "platform/file_stream.h"
#include "platform/process.h"

int main(int argc, char** argv) {
    // A closed standard output (`zelpack list | head`) is a write failure, reported as such.
    zelpack::platform::IgnoreBrokenPipes();
    const zelpack::platform::StandardStreams streams;
    zelpack::platform::Arguments arguments(argc, argv);
    return zelpack::RunZelpack(arguments.argc(), arguments.argv(), std::cout, std::cerr);
}
