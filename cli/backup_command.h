// SPDX-License-Identifier: GPL-2.0-or-later
// The backup command: the camera's images read into a package file that the
// update commands restore.
//
//   backup OUT.xml [--item TYPENAME]... [--whole] [--force] [--port N|DEVICE]... [--bps B] [--json]
//
// The camera commands' dispatcher (target_commands.cpp) parses the options
// every camera command takes and hands the rest here. Runs on the session's
// thread.
#pragma once

#include <cstddef>
#include <filesystem>
#include <span>
#include <string>
#include <vector>

#include "command_report.h"
#include "run_recording.h"
#include "target_session.h"

namespace tarnwick {

struct BackupOptions {
    // The image types named with --item, as given.
    std::vector<std::string> typeNames;
    bool whole = false;
    bool force = false;
};

// Reads --item TYPENAME, --whole or --force at args[i], advancing i past its
// value; false when args[i] is none of them.
bool ParseBackupOption(std::span<const std::string> args, std::size_t& i, BackupOptions& options);

// Backs the camera up into file, says what became of each region and how the
// backup ended, and records the run; the exit status.
int RunBackup(TargetSession& session, const std::filesystem::path& file, const BackupOptions& options,
              const CommandRun& run, CommandReport& report);

}  // namespace tarnwick
