// The command line of tarnwick-camsim.
#pragma once

#include <span>
#include <string>
#include <variant>

#include "simulated_camera.h"

namespace tarnwick {

inline constexpr std::string_view kCamsimUsage =
    "usage: tarnwick-camsim [--port N] [--chip NAME] [--version TEXT] [--flash FILE] [--ready-delay MS] [--bps RATE]\n";

struct CamsimHelp {};

// The camera's options, a request for help, or the text of what is wrong.
using CamsimArguments = std::variant<CameraOptions, CamsimHelp, std::string>;

// args: the command line without the program name.
CamsimArguments parseCamsimArguments(std::span<const std::string> args);

}  // namespace tarnwick
