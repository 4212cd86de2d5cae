// SPDX-License-Identifier: GPL-2.0-or-later
#include <fcntl.h>
#include <unistd.h>

#include <csignal>
#include <iostream>
#include <string>
#include <vector>

#include "cli.h"

namespace {

// A closed standard stream would lend its number to the next file opened,
// the serial port among them, and the command's lines would go to the
// camera. /dev/full stands in for a closed output stream: nothing lands
// anywhere, and every write fails, so the output counts as lost.
void FillClosedStandardStreams() {
    for (const int fd : {STDIN_FILENO, STDOUT_FILENO, STDERR_FILENO}) {
        if (::fcntl(fd, F_GETFD) == -1) {
            // The lower numbers are open by now, so this one is the lowest free.
            ::open(fd == STDIN_FILENO ? "/dev/null" : "/dev/full", fd == STDIN_FILENO ? O_RDONLY : O_WRONLY);
        }
    }
}

}  // namespace

int main(int argc, char** argv) {
    FillClosedStandardStreams();
    // A reader that goes away must not end an update half-way: the write
    // fails instead, and the exit status says so.
    std::signal(SIGPIPE, SIG_IGN);
    const std::vector<std::string> args(argv + 1, argv + argc);
    return tarnwick::RunCli(args, tarnwick::CliStreams{std::cout, std::cerr, ::isatty(STDOUT_FILENO) == 1,
                                                       ::isatty(STDERR_FILENO) == 1});
}
