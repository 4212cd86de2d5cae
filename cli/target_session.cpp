// SPDX-License-Identifier: GPL-2.0-or-later
#include "target_session.h"

#include <csignal>
#include <cstring>

#include "console_messages.h"

namespace tarnwick {
namespace {

// How long the session waits for a message before it looks for Ctrl+C again.
constexpr std::chrono::milliseconds kInterruptPoll{50};

constexpr std::string_view kCancelling = "Cancelling... (Ctrl+C again stops at once)";
constexpr std::string_view kStopping = "Stopping the link.";

// The statuses scripts are told of are the ones shells report for each signal.
static_assert(kExitCancelled == kExitSignalled + SIGINT && kExitTerminated == kExitSignalled + SIGTERM &&
              kExitHungUp == kExitSignalled + SIGHUP);

}  // namespace

TargetSession::TargetSession(CommandSettings settings, const WorkerTimings& timings, CommandReport& report,
                             const InterruptCatcher& interrupts)
    : settings_(std::move(settings)),
      report_(report),
      worker_(timings),
      orchestrator_(worker_, port_, queue_, *this, *this),
      backup_(worker_, orchestrator_, *this, *this),
      interrupts_(interrupts) {}

TargetSession::~TargetSession() {
    if (worker_.isRunning()) {
        orchestrator_.stopLink();
    }
}

void TargetSession::select(Package* package, PackageItem* item) {
    package_ = package;
    item_ = item;
}

template <typename Done>
void TargetSession::pumpUntil(Done done) {
    while (!done()) {
        answerInterrupts();
        if (std::optional<PostedMessage> message = queue_.takeNext(kInterruptPoll)) {
            dispatch(*message);
        }
    }
}

// Handles what is still queued, without waiting for more.
void TargetSession::drain() {
    while (std::optional<PostedMessage> message = queue_.takeNext(std::chrono::milliseconds(0))) {
        dispatch(*message);
    }
}

void TargetSession::dispatch(const PostedMessage& message) {
    orchestrator_.handle(message);
    backup_.handle(message);
}

void TargetSession::answerInterrupts() {
    while (interruptsAnswered_ < interrupts_.count()) {
        ++interruptsAnswered_;
        if (interruptsAnswered_ == 1) {
            report_.note(kCancelling);
            postCancel(queue_);
        } else if (interruptsAnswered_ == 2) {
            report_.note(kStopping);
            orchestrator_.stopLink();
        }
    }
}

bool TargetSession::connect() {
    orchestrator_.connectOrDisconnect();
    pumpUntil([this] { return orchestrator_.connected() || !worker_.isRunning(); });
    return orchestrator_.connected();
}

void TargetSession::disconnect() {
    orchestrator_.endLink();
    drain();
}

int TargetSession::update() {
    const CommandOutcome outcome = orchestrator_.startUpdate();
    if (outcome == CommandOutcome::Refused) {
        return kExitPackageRefused;
    }
    if (outcome == CommandOutcome::Nothing) {
        drain();
        return kExitNotConnected;
    }
    pumpUntil([this] { return orchestrator_.updateState() == UpdateState::Idle && !worker_.isRunning(); });
    drain();
    switch (orchestrator_.lastUpdateEnding()) {
    case UpdateEnding::Programmed:
        return orchestrator_.lastRunSucceeded().value_or(false) ? kExitSuccess : kExitJobFailed;
    case UpdateEnding::Refused:
        return kExitPackageRefused;
    case UpdateEnding::LinkLost:
        return kExitJobFailed;
    case UpdateEnding::NoPackage:
        return kExitFailure;
    case UpdateEnding::None:
    case UpdateEnding::NotConnected:
    case UpdateEnding::Cancelled:
        break;
    }
    return kExitNotConnected;
}

int TargetSession::runItemCommand(CommandOutcome (UpdateOrchestrator::*command)()) {
    const CommandOutcome outcome = (orchestrator_.*command)();
    if (outcome == CommandOutcome::Refused) {
        return kExitPackageRefused;
    }
    if (outcome == CommandOutcome::Nothing) {
        return kExitFailure;
    }
    pumpUntil([this] { return !orchestrator_.runPending(); });
    if (orchestrator_.lastCommandRefused()) {
        return kExitPackageRefused;
    }
    return orchestrator_.lastRunSucceeded().value_or(false) ? kExitSuccess : kExitJobFailed;
}

BackupEnding TargetSession::backUp(BackupRequest request) {
    if (backup_.start(std::move(request)) == CommandOutcome::Started) {
        pumpUntil([this] { return !backup_.running(); });
    }
    drain();
    return backup_.ending();
}

const std::string& TargetSession::field(TargetField field) const {
    return fields_[static_cast<std::size_t>(field)];
}

void TargetSession::showField(TargetField field, std::string_view text) {
    fields_[static_cast<std::size_t>(field)] = text;
    if (field == TargetField::Version && !text.empty()) {
        answeredAt_ = std::chrono::system_clock::now();
    }
    // The platform comes last when the connection procedure has read the camera.
    if (field == TargetField::Platform && !text.empty()) {
        cameraAnswered_ = true;
    }
    report_.field(field, text);
}

void TargetSession::showProgress(const ProgressDisplay& progress) {
    if (progress.action == ProgressAction::SetStatus) {
        lastStatus_ = progress.status;
    }
    report_.progress(progress);
}

std::string TargetSession::interruptSummary() const {
    const char* name = ::sigabbrev_np(interrupts_.first());
    const std::string cancelled = "tarnwick-cli: cancelled by SIG" + std::string(name != nullptr ? name : "?");
    if (!cameraAnswered_) {
        return cancelled + " before the camera answered";
    }
    return cancelled + " while connected to the camera, during: " + lastStatus_;
}

void TargetSession::showMessage(std::string_view text, std::string_view caption, MessageIcon) {
    report_.message(text, caption);
}

}  // namespace tarnwick
