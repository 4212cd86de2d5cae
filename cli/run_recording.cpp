// SPDX-License-Identifier: GPL-2.0-or-later
#include "run_recording.h"

#include "history_store.h"

namespace tarnwick {
namespace {

RunOutcome OutcomeOf(const TargetSession& session, int status) {
    if (status == kExitSuccess) {
        return RunOutcome::Succeeded;
    }
    return session.interrupted() ? RunOutcome::Cancelled : RunOutcome::Failed;
}

}  // namespace

void RecordRun(const CommandRun& run, const TargetSession& session, int status, CommandReport& report) {
    // A session's worker is new, so what it read came from this run's camera.
    const RunRecord record =
        CaptureRun(run.start, &session.target(), run.package, session.lastRunJobs(), OutcomeOf(session, status), status);
    if (const std::optional<std::string> failure = HistoryRecorder(run.historyFile).record(record)) {
        report.note("tarnwick-cli: " + *failure);
    }
}

}  // namespace tarnwick
