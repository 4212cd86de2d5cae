// SPDX-License-Identifier: GPL-2.0-or-later
// The commands of tarnwick-cli, one function each, registered in cli.cpp.
//
// Each takes the arguments after its own name and returns an exit status of
// cli.h. Results go to out, errors to err.
#pragma once

#include <cstdint>
#include <ostream>
#include <span>
#include <string>
#include <string_view>

#include "cli.h"
#include "package_model.h"

namespace tarnwick {

// inspect PACKAGE.xml [--json] [--extract DIR]
int RunInspect(std::span<const std::string> args, CliStreams streams);

// inspect --list LIST.xml: every package of a package list file; any other
// inspect arguments go to RunInspect.
int RunInspectOrList(std::span<const std::string> args, CliStreams streams);

// identify FIRMWARE-FILE
int RunIdentify(std::span<const std::string> args, CliStreams streams);

// history [--since DATE] [--port P] [--camera TEXT] [--failed] [--json | --csv]
// history --show ID [--json]
inline constexpr std::string_view kHistoryUsage =
    "history ([--since DATE] [--port N|DEVICE] [--camera TEXT] [--failed] [--json | --csv] | --show ID [--json])";
int RunHistory(std::span<const std::string> args, CliStreams streams);

// The commands that talk to a camera (RunTargetCommand, target_commands.h). The port is a
// number or a device path; without --port the settings' port, without --bps
// the settings' rate when the port takes it, else kCommandLineBps.
inline constexpr std::string_view kPortsUsage = "ports";
inline constexpr std::string_view kInfoUsage = "info [--port N|DEVICE] [--bps B] [--json]";
inline constexpr std::string_view kUpdateUsage =
    "update PACKAGE.xml [--skip-verify] [--port N|DEVICE]... [--bps B] [--json]";
inline constexpr std::string_view kProgramUsage =
    "program PACKAGE.xml --item TYPENAME [--skip-verify] [--port N|DEVICE]... [--bps B] [--json]";
inline constexpr std::string_view kEraseUsage =
    "erase PACKAGE.xml --item TYPENAME [--port N|DEVICE] [--bps B] [--json]";
inline constexpr std::string_view kCheckUsage =
    "check PACKAGE.xml --item TYPENAME [--port N|DEVICE] [--bps B] [--json]";
inline constexpr std::string_view kStationUsage =
    "station PACKAGE.xml (--port N|DEVICE... | --all-ports) [--skip-verify] [--bps B] [--json]";
inline constexpr std::string_view kBackupUsage =
    "backup OUT.xml [--item TYPENAME]... [--whole] [--force] [--port N|DEVICE]... [--bps B] [--json]";

// How the commands show a package and a camera type, so that they read alike.
// Names from the file are escaped when out is a terminal.
void PrintPackageText(const Package& package, std::ostream& out, bool toTerminal);
// The id with the model's name: "1 (Corvel1b)"; the id alone for an unknown one.
std::string CameraTypeText(std::uint32_t cameraType);

}  // namespace tarnwick
