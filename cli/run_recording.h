// SPDX-License-Identifier: GPL-2.0-or-later
// The one place where a camera command's run is recorded in the history:
// when the command has ended, from the session's engine data.
//
// On the command's thread, after the session has closed the link.
#pragma once

#include <filesystem>

#include "command_report.h"
#include "package_model.h"
#include "run_capture.h"
#include "target_session.h"

namespace tarnwick {

// What the command knew of its run when it started.
struct CommandRun {
    RunStart start;
    // The package the command read; nullptr for none.
    const Package* package = nullptr;
    // Empty when there is no folder for the history.
    std::filesystem::path historyFile;
};

// Records the run ended with that exit status; tells the report, as a note
// before the outcome, when the history could not take it. The status stands.
void RecordRun(const CommandRun& run, const TargetSession& session, int status, CommandReport& report);

}  // namespace tarnwick
