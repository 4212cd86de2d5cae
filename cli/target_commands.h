// SPDX-License-Identifier: GPL-2.0-or-later
// The commands that talk to a camera: ports, info, update, program, erase,
// check and backup. Each runs the same orchestration and worker as the window.
//
// The dispatcher runs them with the defaults below; tests shorten the waits
// and name their own settings file.
#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "cli.h"
#include "worker.h"

namespace tarnwick {

struct TargetEnvironment {
    WorkerTimings timings;
    // Where the port and bit rate come from unless --port and --bps are given.
    std::filesystem::path settingsFile;
    // Redraw the progress in place; nothing: when the error stream is a terminal.
    std::optional<bool> progressInPlace;
    // Where each run is recorded; empty when there is no folder for it.
    std::filesystem::path historyFile;
};

TargetEnvironment DefaultTargetEnvironment();

// A port named on the command line: by its number, as "COM<n>", or by the
// path of its device; nothing for any other text.
struct PortArgument {
    std::optional<std::uint32_t> number;
    std::filesystem::path device;
};
std::optional<PortArgument> ParsePort(std::string_view text);

// name: one of the seven commands; args: what follows it.
int RunTargetCommand(std::string_view name, std::span<const std::string> args, CliStreams streams,
                     const TargetEnvironment& environment);

}  // namespace tarnwick
