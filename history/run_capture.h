// SPDX-License-Identifier: GPL-2.0-or-later
// The record of a run, made from what the engine knows when the run has
// ended: the jobs with their results and image digests, what the camera
// reported, the package and the port. Every front end records through this
// one function, so that a run reads the same whoever ran it.
//
// Call on the front end's thread after the run, while the worker is idle.
// Reads the port's sysfs entries and the package file; what cannot be read
// stays empty.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "package_model.h"
#include "run_record.h"
#include "target_info.h"
#include "update_orchestrator.h"

namespace tarnwick {

// What the front end knew when the run started.
struct RunStart {
    std::string frontEnd;
    std::string command;
    CommandSettings settings;
    HistoryTime started{};
};

// Now, as the history keeps times.
HistoryTime HistoryNow();

// target: nothing when the camera never answered in this run (the worker
// keeps what an earlier connection read). package: nothing when the run had
// none; its file, when it has one, is read for its digest.
RunRecord CaptureRun(const RunStart& start, const TargetInfo* target, const Package* package,
                     const std::vector<RunJobOutcome>& jobs, RunOutcome outcome, std::optional<int> exitStatus);

}  // namespace tarnwick
