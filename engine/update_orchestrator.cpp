// SPDX-License-Identifier: GPL-2.0-or-later
#include "update_orchestrator.h"

#include <algorithm>
#include <cerrno>
#include <filesystem>
#include <functional>
#include <string>
#include <utility>

#include "package_file.h"
#include "sha256.h"
#include "port_texts.h"

namespace tarnwick {
namespace {

constexpr std::string_view kLoadingStatus = "Loading %s...";
constexpr std::string_view kNoConnection = "no connection to the camera";
constexpr std::string_view kNothingWritten = "Nothing was written.";

// Answers whether the port exists, as asking the system for its default
// configuration would; a port that names no device raises like open does.
void probePort(const CommandSettings& settings) {
    const std::optional<std::filesystem::path> device =
        settings.comDevice.empty() ? portDevice(static_cast<int>(settings.comPort)) : settings.comDevice;
    std::error_code error;
    if (!device || !std::filesystem::exists(*device, error)) {
        throw CSerialException(ENOENT);
    }
}

// The digest of the job's image, taken once per image of the run.
std::string ImageSha256(const PlannedJob& job, const std::vector<RunJobOutcome>& earlier) {
    if (job.item == nullptr || !job.item->hasData()) {
        return {};
    }
    const auto same = std::ranges::find(earlier, job.item, [](const RunJobOutcome& outcome) { return outcome.job.item; });
    return same != earlier.end() ? same->imageSha256 : Sha256Hex(job.item->data());
}

// Shows the refusal, if any; true when there was one.
bool ShowRefusal(UserMessages& messages, const std::optional<std::string>& refusal) {
    if (refusal) {
        messages.showMessage(*refusal, kProgramCaption, MessageIcon::Exclamation);
    }
    return refusal.has_value();
}

std::string_view firstLine(std::string_view text) {
    return text.substr(0, text.find('\n'));
}

std::string loadingStatus(std::string_view what) {
    std::string status(kLoadingStatus);
    return status.replace(status.find("%s"), 2, what);
}

}  // namespace

bool LoadPackageForUpdate(Package& package, UserMessages& messages) {
    if (ShowRefusal(messages, NoUsableItemRefusal(package)) || ShowRefusal(messages, RepeatedTypeRefusal(package))) {
        return false;
    }
    if (const std::optional<ItemLoadFailure> failure = LoadEveryItemData(package, messages)) {
        const Refusal refusal = LoadRefusal(CommandKind::Update, package, *failure);
        messages.showMessage(refusal.text, kProgramCaption, refusal.icon);
        return false;
    }
    if (ShowRefusal(messages, OversizedImageRefusal(package))) {
        package.ReleaseAllData();
        return false;
    }
    return true;
}

std::string_view StepName(BatchStep step) {
    switch (step) {
    case BatchStep::Erase: return "erase";
    case BatchStep::Write: return "write";
    case BatchStep::SetChecksum: return "setChecksum";
    case BatchStep::Verify: return "verify";
    case BatchStep::GetChecksum: return "getChecksum";
    case BatchStep::BlankCheck: return "blankCheck";
    }
    return "";
}

std::string_view ResultName(std::optional<JobResult> result) {
    if (!result) {
        return "notRun";
    }
    switch (*result) {
    case JobResult::Success: return "success";
    case JobResult::Failure: return "failure";
    case JobResult::CommError: return "commError";
    case JobResult::CrcError: return "crcError";
    }
    return "";
}

UpdateOrchestrator::UpdateOrchestrator(Worker& worker, SerialPort& port, MessageSink& sink,
                                       OrchestrationView& view, UserMessages& messages)
    : worker_(worker), port_(port), sink_(sink), view_(view), messages_(messages), loader_(sink) {}

void UpdateOrchestrator::connectOrDisconnect() {
    const CommandSettings settings = view_.readSettings();
    skipVerify_ = settings.skipVerify;
    view_.enableConnectButton(false);
    if (connected_) {
        // Ends the link whatever became of the port: a camera that is gone
        // must not keep the window connected.
        disconnect();
        view_.refreshControls();
        return;
    }
    view_.showOutcome("");
    try {
        probePort(settings);
        connect(settings);
    } catch (const CSerialException& error) {
        showPortRefusal(error, settings);
        view_.enableConnectButton(true);
    }
    view_.refreshControls();
}

void UpdateOrchestrator::connect(const CommandSettings& settings) {
    if (worker_.isRunning()) {
        // Still connecting, or the link is closing: the outcome will arrive.
        return;
    }
    openPort(settings);
    if (!worker_.start(sink_, port_)) {
        port_.close();
        view_.enableConnectButton(true);
        return;
    }
    cancelRequested_ = false;
    worker_.requestConnect();
}

void UpdateOrchestrator::disconnect() {
    worker_.disconnect();
    closeLink();
    refreshLinkControls();
}

// What the stopped thread posted meanwhile is dropped (handle), its end of
// a run included, so the window is given back here.
void UpdateOrchestrator::closeLink() {
    worker_.stop();
    port_.close();
    connected_ = false;
    giveWindowBack();
}

void UpdateOrchestrator::giveWindowBack() {
    view_.showProgress({ProgressAction::Hide, {}, 0, 0, 0});
    view_.enableMainWindow(true);
}

void UpdateOrchestrator::openPort(const CommandSettings& settings) {
    port_.close();
    linkPort_ = ChosenPortDescription(settings.comPort, settings.comDevice);
    // Stays set when the port refuses and the open throws.
    portRefused_ = true;
    if (settings.comDevice.empty()) {
        port_.open(static_cast<int>(settings.comPort), settings.comBps);
    } else {
        port_.openDevice(settings.comDevice, settings.comBps);
    }
    portRefused_ = false;
}

void UpdateOrchestrator::showPortRefusal(const CSerialException& error, const CommandSettings& settings) {
    messages_.showMessage(PortRefusalText(error, settings.comPort, settings.comDevice, settings.comBps),
                          kProgramCaption, MessageIcon::None);
}

void UpdateOrchestrator::beginCommand(CommandKind command, std::string_view itemName) {
    command_ = command;
    commandItem_ = itemName;
    cancelRequested_ = false;
    lastCommandRefused_ = false;
    view_.showOutcome("");
}

bool UpdateOrchestrator::refuse(const std::optional<Refusal>& refusal) {
    if (!refusal) {
        return false;
    }
    view_.showOutcome(OutcomeText(command_, commandItem_, RunEnd::Failed, firstLine(refusal->text)));
    messages_.showMessage(refusal->text, kProgramCaption, refusal->icon);
    return true;
}

// The window waits disabled, with the progress window telling what is
// loaded and its Cancel ready to stop it.
void UpdateOrchestrator::startLoad(const Package& package, std::optional<std::size_t> only, std::string_view what) {
    view_.enableMainWindow(false);
    view_.showProgress({ProgressAction::Show, {}, 0, 0, 0});
    view_.showProgress({ProgressAction::SetStatus, loadingStatus(what), 0, 0, 0});
    loader_.start(package, only);
}

void UpdateOrchestrator::cancelLoad() {
    loader_.abandon();
    programTarget_.reset();
    if (state_ == UpdateState::Loading) {
        state_ = UpdateState::Idle;
        ending_ = UpdateEnding::Cancelled;
    }
    giveWindowBack();
    view_.refreshControls();
    view_.showOutcome(OutcomeText(command_, commandItem_, RunEnd::Cancelled, kNothingWritten));
}

CommandOutcome UpdateOrchestrator::startUpdate() {
    const CommandSettings settings = view_.readSettings();
    skipVerify_ = settings.skipVerify;
    Package* package = view_.currentPackage();
    if (package == nullptr || worker_.isRunning() || loader_.loading()) {
        return CommandOutcome::Nothing;
    }
    beginCommand(CommandKind::Update, "");
    std::optional<std::string> refusal = NoUsableItemRefusal(*package);
    if (!refusal) {
        refusal = RepeatedTypeRefusal(*package);
    }
    if (refusal) {
        ending_ = UpdateEnding::Refused;
        refuse(Refusal{*refusal, MessageIcon::Exclamation});
        return CommandOutcome::Refused;
    }
    updateSettings_ = settings;
    updatePackage_ = package;
    ending_ = UpdateEnding::None;
    if (callersData_) {
        connectForUpdate();
        return CommandOutcome::Started;
    }
    state_ = UpdateState::Loading;
    startLoad(*package, std::nullopt, package->name());
    return CommandOutcome::Started;
}

void UpdateOrchestrator::onDataLoaded(const PostedMessage& message) {
    std::optional<LoadedItems> loaded = loader_.finish(message.code);
    if (!loaded) {
        return;
    }
    if (state_ == UpdateState::Loading) {
        continueUpdateLoaded(*loaded);
    } else if (programTarget_) {
        continueProgramLoaded(*loaded);
    }
}

void UpdateOrchestrator::refuseAfterLoad(const Refusal& refusal, const std::vector<HeldMessage>& held) {
    lastCommandRefused_ = true;
    giveWindowBack();
    view_.refreshControls();
    for (const HeldMessage& message : held) {
        messages_.showMessage(message.text, message.caption, message.icon);
    }
    refuse(refusal);
}

void UpdateOrchestrator::continueUpdateLoaded(LoadedItems& loaded) {
    Package* package = view_.currentPackage();
    state_ = UpdateState::Idle;
    if (package == nullptr || package != updatePackage_) {
        ending_ = UpdateEnding::NoPackage;
        giveWindowBack();
        return;
    }
    ending_ = UpdateEnding::Refused;
    if (loaded.failure) {
        refuseAfterLoad(LoadRefusal(CommandKind::Update, *package, *loaded.failure), loaded.messages);
        return;
    }
    loaded.applyTo(*package);
    if (const std::optional<std::string> oversized = OversizedImageRefusal(*package)) {
        package->ReleaseAllData();
        refuseAfterLoad({*oversized, MessageIcon::Exclamation}, loaded.messages);
        return;
    }
    ending_ = UpdateEnding::None;
    connectForUpdate();
}

void UpdateOrchestrator::connectForUpdate() {
    view_.enableUpdateButton(false);
    std::optional<Refusal> refusal;
    try {
        openPort(updateSettings_);
        if (worker_.start(sink_, port_)) {
            worker_.requestConnect();
            state_ = UpdateState::Connecting;
            return;
        }
        // The worker has posted why.
        port_.close();
    } catch (const CSerialException& error) {
        refusal = Refusal{PortRefusalText(error, updateSettings_.comPort, updateSettings_.comDevice,
                                          updateSettings_.comBps),
                          MessageIcon::None};
    }
    ending_ = UpdateEnding::NotConnected;
    if (Package* package = view_.currentPackage()) {
        package->ReleaseAllData();
    }
    giveWindowBack();
    view_.enableUpdateButton(true);
    if (!refuse(refusal)) {
        view_.showOutcome(OutcomeText(command_, commandItem_, RunEnd::Failed, kNoConnection));
    }
}

std::optional<UpdateOrchestrator::SelectedItem> UpdateOrchestrator::selectedTarget() {
    Package* package = view_.currentPackage();
    PackageItem* item = view_.selectedItem();
    if (package == nullptr || item == nullptr || !connected_) {
        return std::nullopt;
    }
    // A type without a flash region is as good as none: nothing may be
    // asked, erased or written there.
    const ImageType* type = FindImageType(item->typeGuid);
    if (type == nullptr || !HasFlashRegion(*type)) {
        return std::nullopt;
    }
    return SelectedItem{package, item, type};
}

CommandOutcome UpdateOrchestrator::startOnWritableTarget(
    CommandKind command, const std::function<CommandOutcome(const SelectedItem&)>& start) {
    skipVerify_ = view_.readSettings().skipVerify;
    const std::optional<SelectedItem> target = selectedTarget();
    if (!target || runPending()) {
        return CommandOutcome::Nothing;
    }
    beginCommand(command, target->item->typeName);
    const TargetInfo& info = worker_.targetInfo();
    if (const std::optional<std::string> refusal =
            SingleItemRefusal(*target->type, RunningBootVersion(info), info.flash)) {
        refuse(Refusal{*refusal + '\n' + NothingDoneText(target->item->typeName), MessageIcon::Error});
        return CommandOutcome::Refused;
    }
    if (const std::optional<std::string> twice = RepeatedTypeRefusal(*target->package)) {
        refuse(Refusal{*twice, MessageIcon::Exclamation});
        return CommandOutcome::Refused;
    }
    return start(*target);
}

CommandOutcome UpdateOrchestrator::erase() {
    return startOnWritableTarget(CommandKind::Erase, [this](const SelectedItem& target) {
        queueRun(EraseBatch(*target.type));
        return CommandOutcome::Started;
    });
}

CommandOutcome UpdateOrchestrator::eraseAndProgram() {
    return startOnWritableTarget(CommandKind::EraseAndProgram, [this](const SelectedItem& target) {
        if (callersData_) {
            queueProgramming(target);
            return CommandOutcome::Started;
        }
        programTarget_ = target;
        const auto position = static_cast<std::size_t>(target.item - target.package->items().data());
        startLoad(*target.package, position, target.item->typeName);
        return CommandOutcome::Started;
    });
}

void UpdateOrchestrator::continueProgramLoaded(LoadedItems& loaded) {
    const SelectedItem target = *std::exchange(programTarget_, std::nullopt);
    if (view_.currentPackage() != target.package || !connected_) {
        giveWindowBack();
        return;
    }
    if (loaded.failure) {
        refuseAfterLoad(LoadRefusal(CommandKind::EraseAndProgram, *target.package, *loaded.failure), loaded.messages);
        return;
    }
    loaded.applyTo(*target.package);
    if (const std::optional<std::string> oversized = OversizedImageRefusal(*target.item)) {
        target.item->releaseData();
        refuseAfterLoad({*oversized, MessageIcon::Exclamation}, loaded.messages);
        return;
    }
    queueProgramming(target);
}

void UpdateOrchestrator::queueProgramming(const SelectedItem& target) {
    const std::uint32_t bootVersion = RunningBootVersion(worker_.targetInfo());
    queueRun(ProgrammingBatch(*target.type, *target.item, bootVersion, skipVerify_));
}

CommandOutcome UpdateOrchestrator::updateInfo() {
    const std::optional<SelectedItem> target = selectedTarget();
    if (!target || runPending()) {
        return CommandOutcome::Nothing;
    }
    command_ = CommandKind::UpdateInfo;
    commandItem_ = target->item->typeName;
    queueRun(InfoBatch(*target->type));
    return CommandOutcome::Started;
}

void UpdateOrchestrator::queueRun(const std::vector<PlannedJob>& jobs) {
    queuedJobs_ = jobs;
    readings_.startRun(jobs);
    heldFailures_.clear();
    // The run forgets a cancel from before it, and so does its outcome.
    cancelRequested_ = false;
    for (const PlannedJob& job : jobs) {
        queueJob(job);
    }
    // Also for no jobs: an empty run still shows and hides the progress and
    // ends with MsgJobsDone, which the update sequence waits for.
    worker_.requestJobRun();
}

void UpdateOrchestrator::queueJob(const PlannedJob& job) {
    constexpr bool signal = false;
    switch (job.step) {
    case BatchStep::Erase:
        worker_.queueErase(job.start, job.length, signal);
        break;
    case BatchStep::Write:
        worker_.queueWrite(job.start, job.length, *job.item, signal);
        break;
    case BatchStep::SetChecksum:
        worker_.queueSetChecksum(job.start, job.length, signal);
        break;
    case BatchStep::Verify:
        worker_.queueVerify(job.start, job.length, *job.item, signal);
        break;
    case BatchStep::GetChecksum:
        worker_.queueGetChecksum(job.start, job.length, signal);
        break;
    case BatchStep::BlankCheck:
        worker_.queueBlankCheck(job.start, job.length, signal);
        break;
    }
}

void UpdateOrchestrator::handle(const PostedMessage& message) {
    // A thread that has been stopped had its end handled then; what it
    // posted before it ended must not touch the link that followed it.
    if (message.link != 0 && message.link != worker_.link()) {
        return;
    }
    switch (message.message) {
    case Message::MsgInfo:
        onInfo(message);
        break;
    case Message::MsgProgress:
        view_.showProgress(interpretProgress(message.code, message.notice.get()));
        break;
    case Message::MsgJobsDone:
        onJobsDone();
        break;
    case Message::MsgCancel:
        if (loader_.loading()) {
            cancelLoad();
        } else {
            cancelRequested_ = true;
            worker_.cancel();
        }
        break;
    case Message::MsgLinkState:
        onLinkState(message);
        break;
    case Message::MsgDataLoaded:
        onDataLoaded(message);
        break;
    }
}

void UpdateOrchestrator::onInfo(const PostedMessage& message) {
    const Notice* notice = message.notice.get();
    const TargetInfo& target = worker_.targetInfo();
    const InfoDisplay display =
        interpretInfo(message.code, notice, DisplayContext{target.versionText, target.flash, view_.advancedView()});
    readings_.record(static_cast<InfoCode>(message.code), display.text);
    switch (display.action) {
    case InfoAction::None:
        break;
    case InfoAction::EnableWindow:
        if (!updateInProgress()) {
            view_.enableMainWindow(true);
        }
        break;
    case InfoAction::DisableWindow:
        view_.enableMainWindow(false);
        break;
    case InfoAction::ShowVersion:
        view_.showField(TargetField::Version, display.text);
        break;
    case InfoAction::ShowPlatform:
        view_.showField(TargetField::Platform, display.text);
        break;
    case InfoAction::ShowBlankCheck:
        view_.showField(TargetField::BlankCheck, display.text);
        break;
    case InfoAction::ShowChecksum1:
        view_.showField(TargetField::Checksum1, display.text);
        break;
    case InfoAction::ShowChecksum2:
        view_.showField(TargetField::Checksum2, display.text);
        break;
    case InfoAction::ShowFailure:
        // A run's failures are shown once it has ended, when it is known
        // which job they stopped.
        if (queuedJobs_) {
            heldFailures_.push_back(display.text);
        } else {
            messages_.showMessage(display.text, "", MessageIcon::None);
        }
        break;
    }
}

void UpdateOrchestrator::onLinkState(const PostedMessage& message) {
    const auto code = static_cast<LinkStateCode>(message.code);
    if (code == LinkStateCode::LineFailed) {
        onLineFailed(static_cast<std::uint32_t>(message.value));
        return;
    }
    const bool reportsLink = code == LinkStateCode::Reported;
    if (reportsLink) {
        connected_ = message.value != 0;
    }
    if (!reportsLink || message.value == 0) {
        closeLink();
    }
    view_.refreshControls();
    refreshLinkControls();
    const bool answered = code != LinkStateCode::NoAnswer;
    if (state_ == UpdateState::Connecting) {
        continueUpdateConnected(answered);
    } else if (state_ == UpdateState::Closing && !connected_) {
        state_ = UpdateState::Idle;
    } else if (!answered) {
        view_.showOutcome(firstLine(NoAnswerText(linkPort_)));
    }
    if (!answered) {
        messages_.showMessage(NoAnswerText(linkPort_), kProgramCaption, MessageIcon::Exclamation);
    }
}

// The camera went away, or the port refused: the link ends as a fresh start
// would find it, and one message says so, unless the link was closing anyway.
void UpdateOrchestrator::onLineFailed(std::uint32_t error) {
    const bool commandCut = runPending() || state_ == UpdateState::Connecting || state_ == UpdateState::Programming;
    if (programTarget_) {
        // The item's data has nowhere to go.
        loader_.abandon();
        programTarget_.reset();
    }
    closeLink();
    std::string text = LinkLostText(linkPort_, CSerialException(error).text());
    std::vector<std::string> failures = std::exchange(heldFailures_, {});
    if (queuedJobs_) {
        // The worker has ended, so its results are complete.
        endRun(worker_.lastRunResults());
        if (const RunJobOutcome* cut = firstFailedJob()) {
            if (const std::string line = FailedJobText(command_, cut->job, jobItemName(cut->job)); !line.empty()) {
                text += '\n' + line;
            }
        }
    }
    const bool closing = state_ == UpdateState::Closing;
    if (state_ != UpdateState::Idle) {
        if (!closing) {
            ending_ = state_ == UpdateState::Connecting ? UpdateEnding::NotConnected : UpdateEnding::LinkLost;
        }
        state_ = UpdateState::Idle;
        if (Package* package = view_.currentPackage()) {
            package->ReleaseAllData();
        }
    }
    refreshLinkControls();
    view_.refreshControls();
    if (closing) {
        return;
    }
    view_.showOutcome(commandCut ? OutcomeText(command_, commandItem_, RunEnd::Failed, firstLine(text))
                                 : std::string(firstLine(text)));
    showHeld(failures);
    messages_.showMessage(text, kProgramCaption, MessageIcon::Error);
}

void UpdateOrchestrator::refreshLinkControls() {
    view_.enableConnectButton(true);
    if (connected_) {
        view_.enableUpdateButton(false);
        view_.setConnectCaption(kDisconnectCaption);
    } else {
        view_.enableUpdateButton(true);
        view_.setConnectCaption(kConnectCaption);
        view_.showField(TargetField::Version, "");
        view_.showField(TargetField::Platform, "");
    }
}

void UpdateOrchestrator::continueUpdateConnected(bool cameraAnswered) {
    if (!connected_) {
        endUpdate(UpdateEnding::NotConnected, false);
        if (cancelRequested_) {
            view_.showOutcome(OutcomeText(command_, commandItem_, RunEnd::Cancelled, kNothingWritten));
        } else {
            const std::string reason = cameraAnswered ? std::string(kNoConnection) : NoAnswerText(linkPort_);
            view_.showOutcome(OutcomeText(command_, commandItem_, RunEnd::Failed, firstLine(reason)));
        }
        return;
    }
    Package* package = view_.currentPackage();
    if (package == nullptr) {
        endUpdate(UpdateEnding::NoPackage, true);
        view_.showOutcome(OutcomeText(command_, commandItem_, RunEnd::Failed, {}));
        return;
    }
    const TargetPlatform platform = worker_.targetInfo().flash.platform();
    if (!PackageSuits(*package, platform)) {
        const std::string text = std::string(UnsuitablePackageText(platform)) + '\n' +
                                 UnsuitableItemText(*package, platform);
        endUpdate(UpdateEnding::Refused, true);
        refuse(Refusal{text, MessageIcon::Exclamation});
        return;
    }
    const std::vector<PlannedJob> jobs =
        UpdateBatch(*package, RunningBootVersion(worker_.targetInfo()), skipVerify_);
    state_ = UpdateState::Programming;
    queueRun(jobs);
}

void UpdateOrchestrator::endUpdate(UpdateEnding ending, bool disconnectAfter) {
    ending_ = ending;
    state_ = disconnectAfter ? UpdateState::Closing : UpdateState::Idle;
    if (Package* package = view_.currentPackage()) {
        package->ReleaseAllData();
    }
    view_.enableMainWindow(true);
    if (disconnectAfter) {
        worker_.disconnect();
    }
}

void UpdateOrchestrator::onJobsDone() {
    std::vector<std::string> failures = std::exchange(heldFailures_, {});
    const bool ranCommand = queuedJobs_.has_value();
    if (ranCommand) {
        endRun(worker_.lastRunResults());
    }
    if (Package* package = view_.currentPackage()) {
        package->ReleaseAllData();
    }
    view_.refreshControls();
    refreshLinkControls();
    if (state_ == UpdateState::Programming) {
        finishUpdateProgrammed();
    }
    if (ranCommand) {
        reportRunEnd(std::move(failures));
    } else {
        showHeld(failures);
    }
}

// Pairs the pending run's jobs with the results of those it reached. The
// items still hold the data the run was given.
void UpdateOrchestrator::endRun(const std::vector<JobResult>& results) {
    lastRunJobs_.clear();
    for (std::size_t index = 0; index < queuedJobs_->size(); ++index) {
        const PlannedJob& job = (*queuedJobs_)[index];
        lastRunJobs_.push_back({job, index < results.size() ? std::optional(results[index]) : std::nullopt,
                                ImageSha256(job, lastRunJobs_)});
    }
    lastRunSucceeded_ = std::ranges::all_of(lastRunJobs_, [](const RunJobOutcome& outcome) {
        return outcome.result == JobResult::Success;
    });
    queuedJobs_.reset();
}

std::string UpdateOrchestrator::jobItemName(const PlannedJob& job) const {
    const auto writer = std::ranges::find_if(lastRunJobs_, [&job](const RunJobOutcome& outcome) {
        return outcome.job.item != nullptr && outcome.job.start == job.start;
    });
    if (writer != lastRunJobs_.end()) {
        return writer->job.item->typeName;
    }
    return commandItem_.empty() ? "the region" : commandItem_;
}

const RunJobOutcome* UpdateOrchestrator::firstFailedJob() const {
    const auto failed = std::ranges::find_if(lastRunJobs_, [](const RunJobOutcome& outcome) {
        return outcome.result.has_value() && outcome.result != JobResult::Success;
    });
    return failed != lastRunJobs_.end() ? &*failed : nullptr;
}

void UpdateOrchestrator::reportRunEnd(std::vector<std::string> failures) {
    const RunJobOutcome* failed = firstFailedJob();
    if (lastRunSucceeded_ == true) {
        if (command_ != CommandKind::UpdateInfo) {
            view_.showOutcome(OutcomeText(command_, commandItem_, RunEnd::Succeeded, {}));
        }
    } else if (cancelRequested_) {
        const std::string unfinished =
            failed != nullptr ? UnfinishedJobText(failed->job, jobItemName(failed->job)) : std::string();
        view_.showOutcome(OutcomeText(command_, commandItem_, RunEnd::Cancelled, unfinished));
    } else {
        const std::string line =
            failed != nullptr ? FailedJobText(command_, failed->job, jobItemName(failed->job)) : std::string();
        if (!line.empty()) {
            if (failures.empty()) {
                failures.push_back(line);
            } else {
                failures.back() += '\n' + line;
            }
        }
        const std::string_view reason = failures.empty() ? std::string_view() : firstLine(failures.front());
        view_.showOutcome(OutcomeText(command_, commandItem_, RunEnd::Failed, reason));
    }
    showHeld(failures);
}

void UpdateOrchestrator::showHeld(const std::vector<std::string>& failures) {
    for (const std::string& text : failures) {
        messages_.showMessage(text, "", MessageIcon::None);
    }
}

void UpdateOrchestrator::finishUpdateProgrammed() {
    ending_ = UpdateEnding::Programmed;
    state_ = UpdateState::Closing;
    worker_.disconnect();
}

void UpdateOrchestrator::stopLink() {
    loader_.abandon();
    programTarget_.reset();
    closeLink();
    showHeld(std::exchange(heldFailures_, {}));
    if (queuedJobs_) {
        // The run was cut short: whatever it did, it did not finish.
        endRun({});
        lastRunSucceeded_ = false;
    }
    if (state_ == UpdateState::Loading || state_ == UpdateState::Connecting) {
        ending_ = UpdateEnding::NotConnected;
    }
    if (state_ != UpdateState::Idle) {
        state_ = UpdateState::Idle;
        if (Package* package = view_.currentPackage()) {
            package->ReleaseAllData();
        }
    }
    view_.refreshControls();
    refreshLinkControls();
}

void UpdateOrchestrator::endLink() {
    if (connected_) {
        worker_.disconnect();
    }
    stopLink();
}

}  // namespace tarnwick
