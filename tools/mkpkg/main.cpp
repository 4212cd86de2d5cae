// SPDX-License-Identifier: GPL-2.0-or-later
#include <iostream>
#include <string>
#include <vector>

#include "mkpkg_command.h"

int main(int argc, char** argv) {
    const std::vector<std::string> args(argv + 1, argv + argc);
    return tarnwick::RunMkpkg(args, std::cout, std::cerr);
}
