// SPDX-License-Identifier: GPL-2.0-or-later
#include "run_capture.h"

#include <algorithm>

#include "notices.h"
#include "port_details.h"
#include "serial_port.h"
#include "sha256.h"

namespace tarnwick {
namespace {

void CapturePort(const CommandSettings& settings, RunRecord& run) {
    std::optional<std::filesystem::path> device = settings.comDevice;
    if (settings.comDevice.empty()) {
        run.port = "COM" + std::to_string(settings.comPort);
        device = portDevice(static_cast<int>(settings.comPort));
    } else {
        run.port = settings.comDevice.string();
    }
    if (device) {
        std::error_code ignored;
        run.device = std::filesystem::weakly_canonical(*device, ignored).string();
        run.adapterSerial = describePortDevice(*device).serialNumber;
    }
}

void CaptureCamera(const TargetInfo& target, RunRecord& run) {
    run.bootCode = target.versionText;
    if (target.flash.flashId() != 0) {
        run.flashChip = std::string(target.flash.vendorName()) + " - " + std::string(target.flash.chipName());
        run.family = platformName(target.flash.platform());
    }
}

void CapturePackage(const Package& package, RunRecord& run) {
    run.packageName = package.name();
    if (!package.isUserBuilt()) {
        // The run may have named it relative to a folder nobody remembers.
        std::error_code ignored;
        run.packagePath = std::filesystem::absolute(package.path(), ignored).string();
        // A piece at a time: several cameras' runs may end at once.
        run.packageSha256 = FileSha256Hex(package.path()).value_or("");
    }
}

void CaptureJobs(const std::vector<RunJobOutcome>& jobs, RunRecord& run) {
    for (const RunJobOutcome& outcome : jobs) {
        const PackageItem* item = outcome.job.item;
        run.jobs.push_back({std::string(StepName(outcome.job.step)), outcome.job.start, outcome.job.length,
                            item != nullptr ? item->typeName : std::string(), std::string(ResultName(outcome.result))});
        if (item == nullptr || outcome.imageSha256.empty()) {
            continue;
        }
        ImageRecord image{item->typeName, FormatVersion(item->version), outcome.imageSha256};
        if (std::ranges::find(run.images, image) == run.images.end()) {
            run.images.push_back(std::move(image));
        }
    }
}

}  // namespace

HistoryTime HistoryNow() { return std::chrono::time_point_cast<std::chrono::milliseconds>(HistoryClock::now()); }

RunRecord CaptureRun(const RunStart& start, const TargetInfo* target, const Package* package,
                     const std::vector<RunJobOutcome>& jobs, RunOutcome outcome, std::optional<int> exitStatus) {
    RunRecord run;
    run.started = start.started;
    run.ended = HistoryNow();
    run.frontEnd = start.frontEnd;
    run.command = start.command;
    CapturePort(start.settings, run);
    if (target != nullptr) {
        CaptureCamera(*target, run);
    }
    if (package != nullptr) {
        CapturePackage(*package, run);
    }
    CaptureJobs(jobs, run);
    run.outcome = outcome;
    run.exitStatus = exitStatus;
    return run;
}

}  // namespace tarnwick
