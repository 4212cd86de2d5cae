// SPDX-License-Identifier: GPL-2.0-or-later
// Entry point of tarnwick-cli: picks the command named by the first argument.
//
// Runs on the calling thread; output goes only to the given streams.
#pragma once

#include <ostream>
#include <span>
#include <string>

namespace tarnwick {

// Exit statuses shared by every command.
inline constexpr int kExitSuccess = 0;
inline constexpr int kExitFailure = 1;
inline constexpr int kExitUsage = 2;
// The command did its work, but some of what it wrote was lost: a stream
// was closed, full, or a pipe whose reader had gone. A failure's own status
// comes first.
inline constexpr int kExitOutputLost = 6;

struct CliStreams {
    std::ostream& out;
    std::ostream& err;
    // Whether each stream reaches a terminal, where texts from files are
    // shown escaped (terminal_text.h).
    bool outIsTerminal = false;
    bool errIsTerminal = false;
};

// args: the command line without the program name. A write that fails
// stops nothing: the command runs to its end and the status tells.
int RunCli(std::span<const std::string> args, CliStreams streams);

}  // namespace tarnwick
