// SPDX-License-Identifier: GPL-2.0-or-later
// The command line of tarnwick-camsim.
#pragma once

#include <span>
#include <string>
#include <variant>

#include "simulated_camera.h"

namespace tarnwick {

inline constexpr std::string_view kCamsimUsage =
    "usage: tarnwick-camsim [--port N] [--chip NAME] [--boot-version TEXT] [--flash FILE]\n"
    "                       [--ready-delay MS] [--reset-on-open yes|no] [--bps RATE] | --version | --help\n";

struct CamsimHelp {};
struct CamsimVersion {};

// The camera's options, a request for help or for the program's version, or
// the text of what is wrong.
using CamsimArguments = std::variant<CameraOptions, CamsimHelp, CamsimVersion, std::string>;

// args: the command line without the program name.
CamsimArguments parseCamsimArguments(std::span<const std::string> args);

}  // namespace tarnwick
