#include <iostream>

#include "cli/zelpack_cli.h"
#include "platform/file_stream.h"

int main(int argc, char** argv) {
    // Standard output goes through a buffer that keeps the reason of a failed write.
    zelpack::platform::Result<zelpack::platform::File> stdout_file =
        zelpack::platform::File::StandardOutput();
    if (!stdout_file) {
        return zelpack::RunZelpack(argc, argv, std::cout, std::cerr);
    }
    zelpack::platform::FileOutputBuffer buffer(std::move(*stdout_file));
    std::ostream out(&buffer);
    return zelpack::RunZelpack(argc, argv, out, std::cerr);
}
