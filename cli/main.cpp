#include <iostream>

#include "cli/zelpack_cli.h"
#include "platform/file_stream.h"
#include "platform/process.h"

int main(int argc, char** argv) {
    const zelpack::platform::StandardStreams streams;
    zelpack::platform::Arguments arguments(argc, argv);
    return zelpack::RunZelpack(arguments.argc(), arguments.argv(), std::cout, std::cerr);
}
