#include <iostream>

#include "cli/zelpack_cli.h"

int main(int argc, char** argv) {
    return zelpack::RunZelpack(argc, argv, std::cout, std::cerr);
}
