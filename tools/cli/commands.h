// The commands of tarnwick-cli, one function each, registered in cli.cpp.
//
// Each takes the arguments after its own name and returns an exit status of
// cli.h. Results go to out, errors to err.
#pragma once

#include <span>
#include <string>

#include "cli.h"

namespace tarnwick {

// inspect PACKAGE.xml [--json] [--extract DIR]
int RunInspect(std::span<const std::string> args, CliStreams streams);

}  // namespace tarnwick
