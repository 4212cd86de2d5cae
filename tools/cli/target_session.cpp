#include "target_session.h"

#include "terminal_text.h"

namespace tarnwick {
namespace {

// How long the session waits for a message before it looks for Ctrl+C again.
constexpr std::chrono::milliseconds kInterruptPoll{50};

constexpr std::string_view kCancelling = "Cancelling... (Ctrl+C again stops at once)";
constexpr std::string_view kStopping = "Stopping the link.";

}  // namespace

TargetSession::TargetSession(CommandSettings settings, const WorkerTimings& timings, CliStreams streams,
                             bool progressInPlace)
    : settings_(settings),
      streams_(streams),
      worker_(timings),
      progress_(streams.err, progressInPlace),
      console_(streams.err, streams.errIsTerminal),
      orchestrator_(worker_, port_, queue_, *this, *this) {}

TargetSession::~TargetSession() {
    if (worker_.isRunning()) {
        orchestrator_.stopLink();
    }
    progress_.breakLine();
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
            orchestrator_.handle(*message);
        }
    }
}

// Handles what is still queued, without waiting for more.
void TargetSession::drain() {
    while (std::optional<PostedMessage> message = queue_.takeNext(std::chrono::milliseconds(0))) {
        orchestrator_.handle(*message);
    }
}

void TargetSession::answerInterrupts() {
    while (interruptsAnswered_ < interrupts_.count()) {
        ++interruptsAnswered_;
        progress_.breakLine();
        if (interruptsAnswered_ == 1) {
            streams_.err << kCancelling << '\n';
            postCancel(queue_);
        } else if (interruptsAnswered_ == 2) {
            streams_.err << kStopping << '\n';
            orchestrator_.stopLink();
        }
    }
}

void TargetSession::printTarget() {
    progress_.breakLine();
    // The version text is whatever the camera sent.
    streams_.out << "Version:  " << printable(field(TargetField::Version), streams_.outIsTerminal) << '\n'
                 << "Platform: " << field(TargetField::Platform) << '\n'
                 << std::flush;
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
    case UpdateEnding::NoPackage:
        return kExitFailure;
    case UpdateEnding::None:
    case UpdateEnding::NotConnected:
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
    return orchestrator_.lastRunSucceeded().value_or(false) ? kExitSuccess : kExitJobFailed;
}

const std::string& TargetSession::field(TargetField field) const {
    return fields_[static_cast<std::size_t>(field)];
}

void TargetSession::showField(TargetField field, std::string_view text) {
    fields_[static_cast<std::size_t>(field)] = text;
    // The platform line comes last when the connection procedure has read
    // the camera; emptied fields mean the link has gone.
    if (field == TargetField::Platform && !text.empty()) {
        cameraAnswered_ = true;
        printTarget();
    }
}

void TargetSession::showProgress(const ProgressDisplay& progress) {
    ProgressDisplay shown = progress;
    if (progress.action == ProgressAction::SetStatus) {
        // Status lines name the image's file.
        shown.status = printable(progress.status, streams_.errIsTerminal);
        lastStatus_ = shown.status;
    }
    progress_.apply(shown);
}

std::string TargetSession::portErrorText(const CSerialException& error, std::uint32_t portNumber) {
    return error.text() + ": " + PortDescription(portNumber);
}

std::string TargetSession::interruptSummary() const {
    if (!cameraAnswered_) {
        return "tarnwick-cli: cancelled before the camera answered";
    }
    return "tarnwick-cli: cancelled while connected to the camera, during: " + lastStatus_;
}

void TargetSession::showMessage(std::string_view text, std::string_view caption, MessageIcon icon) {
    progress_.breakLine();
    console_.showMessage(text, caption, icon);
}

}  // namespace tarnwick
