// SPDX-License-Identifier: GPL-2.0-or-later
#include "update_orchestrator.h"

#include <algorithm>
#include <cerrno>
#include <filesystem>
#include <functional>
#include <string>

#include "package_file.h"
#include "sha256.h"

namespace tarnwick {
namespace {

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

}  // namespace

bool LoadPackageForUpdate(Package& package, UserMessages& messages) {
    if (ShowRefusal(messages, NoUsableItemRefusal(package)) || ShowRefusal(messages, RepeatedTypeRefusal(package))) {
        return false;
    }
    try {
        if (!LoadAllItemData(package, messages)) {
            return false;
        }
    } catch (const PackageDataError& error) {
        // The load released every item's data again.
        messages.showMessage(DoProgramFailedText(error.what()), kProgramCaption, MessageIcon::Error);
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
    : worker_(worker), port_(port), sink_(sink), view_(view), messages_(messages) {}

void UpdateOrchestrator::connectOrDisconnect() {
    const CommandSettings settings = view_.readSettings();
    skipVerify_ = settings.skipVerify;
    view_.enableConnectButton(false);
    try {
        probePort(settings);
        if (connected_) {
            disconnect();
        } else {
            connect(settings);
        }
    } catch (const CSerialException& error) {
        showSerialError(error, settings.comPort);
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
    worker_.requestConnect();
}

void UpdateOrchestrator::disconnect() {
    worker_.disconnect();
    worker_.stop();
    port_.close();
}

void UpdateOrchestrator::openPort(const CommandSettings& settings) {
    port_.close();
    if (settings.comDevice.empty()) {
        port_.open(static_cast<int>(settings.comPort), settings.comBps);
    } else {
        port_.openDevice(settings.comDevice, settings.comBps);
    }
}

void UpdateOrchestrator::showSerialError(const CSerialException& error, std::uint32_t portNumber) {
    messages_.showMessage(view_.portErrorText(error, portNumber), kProgramCaption, MessageIcon::None);
}

CommandOutcome UpdateOrchestrator::startUpdate() {
    const CommandSettings settings = view_.readSettings();
    skipVerify_ = settings.skipVerify;
    Package* package = view_.currentPackage();
    if (package == nullptr || worker_.isRunning()) {
        return CommandOutcome::Nothing;
    }
    if (!callersData_ && !LoadPackageForUpdate(*package, messages_)) {
        return CommandOutcome::Refused;
    }
    return startUpdateWithLoadedData(settings);
}

CommandOutcome UpdateOrchestrator::startUpdateWithLoadedData(const CommandSettings& settings) {
    view_.enableUpdateButton(false);
    try {
        openPort(settings);
        if (worker_.start(sink_, port_)) {
            worker_.requestConnect();
            state_ = UpdateState::Connecting;
            ending_ = UpdateEnding::None;
            view_.enableMainWindow(false);
            return CommandOutcome::Started;
        }
        port_.close();
    } catch (const CSerialException& error) {
        showSerialError(error, settings.comPort);
    }
    state_ = UpdateState::Idle;
    view_.enableUpdateButton(true);
    if (Package* package = view_.currentPackage()) {
        package->ReleaseAllData();
    }
    return CommandOutcome::Nothing;
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
    const std::function<CommandOutcome(const SelectedItem&)>& start) {
    skipVerify_ = view_.readSettings().skipVerify;
    const std::optional<SelectedItem> target = selectedTarget();
    if (!target) {
        return CommandOutcome::Nothing;
    }
    const TargetInfo& info = worker_.targetInfo();
    const std::optional<std::string> refusal = SingleItemRefusal(*target->type, RunningBootVersion(info), info.flash);
    if (refusal) {
        messages_.showMessage(*refusal, kProgramCaption, MessageIcon::Error);
        return CommandOutcome::Refused;
    }
    if (showRefusal(RepeatedTypeRefusal(*target->package))) {
        return CommandOutcome::Refused;
    }
    return start(*target);
}

CommandOutcome UpdateOrchestrator::erase() {
    return startOnWritableTarget([this](const SelectedItem& target) {
        queueRun(EraseBatch(*target.type));
        return CommandOutcome::Started;
    });
}

CommandOutcome UpdateOrchestrator::eraseAndProgram() {
    return startOnWritableTarget([this](const SelectedItem& target) {
        if (!loadSelectedData(target)) {
            return CommandOutcome::Refused;
        }
        if (showRefusal(OversizedImageRefusal(*target.item))) {
            target.item->releaseData();
            return CommandOutcome::Refused;
        }
        const std::uint32_t bootVersion = RunningBootVersion(worker_.targetInfo());
        queueRun(ProgrammingBatch(*target.type, *target.item, bootVersion, skipVerify_));
        return CommandOutcome::Started;
    });
}

bool UpdateOrchestrator::loadSelectedData(const SelectedItem& target) {
    if (callersData_) {
        return target.item->hasData();
    }
    try {
        const LoadResult result = LoadItemData(*target.package, target.item, messages_);
        if (result != LoadResult::Loaded) {
            messages_.showMessage(CantLoadPackageText(static_cast<std::uint32_t>(result)), kProgramCaption,
                                  MessageIcon::Error);
            return false;
        }
    } catch (const PackageDataError& error) {
        messages_.showMessage(DoProgramFailedText(error.what()), kProgramCaption, MessageIcon::Error);
        return false;
    }
    return true;
}

bool UpdateOrchestrator::showRefusal(const std::optional<std::string>& refusal) {
    return ShowRefusal(messages_, refusal);
}

CommandOutcome UpdateOrchestrator::updateInfo() {
    const std::optional<SelectedItem> target = selectedTarget();
    if (!target) {
        return CommandOutcome::Nothing;
    }
    queueRun(InfoBatch(*target->type));
    return CommandOutcome::Started;
}

void UpdateOrchestrator::queueRun(const std::vector<PlannedJob>& jobs) {
    queuedJobs_ = jobs;
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
        worker_.cancel();
        break;
    case Message::MsgLinkState:
        onLinkState(message);
        break;
    }
}

void UpdateOrchestrator::onInfo(const PostedMessage& message) {
    const Notice* notice = message.notice.get();
    const TargetInfo& target = worker_.targetInfo();
    const InfoDisplay display =
        interpretInfo(message.code, notice, DisplayContext{target.versionText, target.flash, view_.advancedView()});
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
        messages_.showMessage(display.text, "", MessageIcon::None);
        break;
    }
}

void UpdateOrchestrator::onLinkState(const PostedMessage& message) {
    const bool reportsLink = message.code == 1;
    if (reportsLink) {
        connected_ = message.value != 0;
    }
    if (!reportsLink || message.value == 0) {
        worker_.stop();
        port_.close();
        connected_ = false;
    }
    view_.refreshControls();
    refreshLinkControls();
    if (state_ == UpdateState::Connecting) {
        continueUpdateConnected();
    } else if (state_ == UpdateState::Closing && !connected_) {
        state_ = UpdateState::Idle;
    }
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

void UpdateOrchestrator::continueUpdateConnected() {
    if (!connected_) {
        endUpdate(UpdateEnding::NotConnected, false);
        return;
    }
    Package* package = view_.currentPackage();
    if (package == nullptr) {
        endUpdate(UpdateEnding::NoPackage, true);
        return;
    }
    const TargetPlatform platform = worker_.targetInfo().flash.platform();
    if (!PackageSuits(*package, platform)) {
        messages_.showMessage(UnsuitablePackageText(platform), kProgramCaption, MessageIcon::Exclamation);
        endUpdate(UpdateEnding::Refused, true);
        return;
    }
    const std::vector<PlannedJob> jobs =
        UpdateBatch(*package, RunningBootVersion(worker_.targetInfo()), skipVerify_);
    state_ = UpdateState::Programming;
    queueRun(jobs);
}

void UpdateOrchestrator::endUpdate(UpdateEnding ending, bool closeLink) {
    ending_ = ending;
    state_ = closeLink ? UpdateState::Closing : UpdateState::Idle;
    if (Package* package = view_.currentPackage()) {
        package->ReleaseAllData();
    }
    view_.enableMainWindow(true);
    if (closeLink) {
        worker_.disconnect();
    }
}

void UpdateOrchestrator::onJobsDone() {
    if (queuedJobs_) {
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

void UpdateOrchestrator::finishUpdateProgrammed() {
    ending_ = UpdateEnding::Programmed;
    state_ = UpdateState::Closing;
    worker_.disconnect();
}

void UpdateOrchestrator::stopLink() {
    worker_.stop();
    port_.close();
    connected_ = false;
    if (queuedJobs_) {
        // The run was cut short: whatever it did, it did not finish.
        endRun({});
        lastRunSucceeded_ = false;
    }
    if (state_ == UpdateState::Connecting) {
        ending_ = UpdateEnding::NotConnected;
    }
    if (state_ != UpdateState::Idle) {
        state_ = UpdateState::Idle;
        if (Package* package = view_.currentPackage()) {
            package->ReleaseAllData();
        }
    }
    view_.enableMainWindow(true);
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
