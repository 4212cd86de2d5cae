// SPDX-License-Identifier: GPL-2.0-or-later
#include <unistd.h>

#include <iostream>
#include <string>
#include <vector>

#include "cli.h"

int main(int argc, char** argv) {
    const std::vector<std::string> args(argv + 1, argv + argc);
    return tarnwick::RunCli(args, tarnwick::CliStreams{std::cout, std::cerr, ::isatty(STDOUT_FILENO) == 1,
                                                       ::isatty(STDERR_FILENO) == 1});
}
