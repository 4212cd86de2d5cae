// SPDX-License-Identifier: GPL-2.0-or-later
// The main window's side of the engine, without any toolkit: connecting and
// disconnecting, the update sequence that "&Update camera..." runs from
// connection to disconnection, the single-item commands of the destination
// panel, and what the window does with every message the worker posts.
//
// Threads: every member runs on the front end's thread, the one that receives
// the worker's messages and passes each to handle(). The orchestrator talks to
// the window only through OrchestrationView and UserMessages, and to the
// worker only through its queue operations and events, so the Qt window and
// the command-line tool drive the same code.
//
// The item data of "&Update camera..." and Erase && Program is loaded on a
// thread of its own (ItemDataLoader) while the window waits disabled, with
// the progress window saying what is loaded and its Cancel ending the load.
//
// Errors: a port that cannot be probed or opened is shown with the text of
// PortRefusalText and the command is dropped; a line that fails or hangs up
// ends the link with one message naming the port; packages that cannot be
// loaded are shown, naming the item, and nothing is queued; failures of the
// jobs are the jobs' own failure texts, shown when the run has ended, the
// last one with what the job that failed leaves behind. Every command that
// runs ends with its outcome (OrchestrationView::showOutcome). Nothing here
// throws to the front end.
#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

#include "command_texts.h"
#include "item_data_loader.h"
#include "notices.h"
#include "orchestration_plan.h"
#include "package_model.h"
#include "region_readings.h"
#include "serial_port.h"
#include "user_messages.h"
#include "worker.h"

namespace tarnwick {

inline constexpr std::string_view kConnectCaption = "Connect...";
inline constexpr std::string_view kDisconnectCaption = "Disconnect...";

// What a command reads from the window when it starts: the port settings and
// the state of "Skip program verification".
struct CommandSettings {
    std::uint32_t comPort = 0;
    std::uint32_t comBps = 0;
    bool skipVerify = false;
    // A device path that stands in for comPort when not empty; the window
    // names ports by number only.
    std::filesystem::path comDevice{};
};

// One job of the last run a command queued, and how it ended; no result for
// a job the run did not reach. A job with an image carries the SHA-256 of
// the bytes it was given (empty otherwise), taken before the run's data is
// released, so that a record of the run can name what was programmed.
struct RunJobOutcome {
    PlannedJob job;
    std::optional<JobResult> result;
    std::string imageSha256;
};

// The names a record or a report gives a job's step and result: erase,
// write, setChecksum, verify, getChecksum, blankCheck; success, failure,
// commError, crcError, and notRun for a job the run did not reach.
std::string_view StepName(BatchStep step);
std::string_view ResultName(std::optional<JobResult> result);

// The main window's fields that show what the target reported.
enum class TargetField { Version, Platform, BlankCheck, Checksum1, Checksum2 };

class OrchestrationView {
public:
    virtual ~OrchestrationView() = default;

    // Read at the start of every command (the check boxes, the settings).
    virtual CommandSettings readSettings() = 0;
    // The package chosen in the window and its selected item; nullptr when
    // none. Asked afresh each time, as the selection may change in between.
    virtual Package* currentPackage() = 0;
    virtual PackageItem* selectedItem() = 0;
    // The platform line names the flash chip in the advanced view only.
    virtual bool advancedView() = 0;

    virtual void enableMainWindow(bool enabled) = 0;
    // "&Connect..." / "Disconnect..." and "&Update camera...".
    virtual void enableConnectButton(bool enabled) = 0;
    virtual void enableUpdateButton(bool enabled) = 0;
    virtual void setConnectCaption(std::string_view caption) = 0;
    virtual void showField(TargetField field, std::string_view text) = 0;
    // The progress window: show, hide, status line, bar.
    virtual void showProgress(const ProgressDisplay& progress) = 0;
    // The window recomputes every enable state from its selection and
    // connected().
    virtual void refreshControls() = 0;
    // How the last command ended, one line where the user sees it without a
    // click ("Camera updated."); empty when a command starts. A front end
    // that reports the ending itself (the command line) may ignore it.
    virtual void showOutcome(std::string_view /*text*/) {}
};

// What "&Update camera..." checks before it opens the port, in this order:
// an item this program can use, no image type listed twice, every image
// loaded and within its region. Shows the first refusal (a whole-file read
// shows its own) and returns false with no data loaded; true with every
// item's data loaded. The command line checks the package of its
// single-item commands the same way, so that they refuse alike.
bool LoadPackageForUpdate(Package& package, UserMessages& messages);

// The update sequence: idle -> loading -> connecting -> programming ->
// closing -> idle.
enum class UpdateState { Idle, Loading, Connecting, Programming, Closing };

// How the last update sequence went, once it left loading. Cancelled: during
// the load; LinkLost: the line failed while the jobs ran.
enum class UpdateEnding { None, NotConnected, NoPackage, Refused, Programmed, Cancelled, LinkLost };

// What a command did.
enum class CommandOutcome { Nothing, Refused, Started };

class UpdateOrchestrator {
public:
    // All five outlive the orchestrator. sink receives the worker's messages
    // and must bring them back to this thread, to handle().
    UpdateOrchestrator(Worker& worker, SerialPort& port, MessageSink& sink, OrchestrationView& view,
                       UserMessages& messages);

    // "&Connect..." / "Disconnect...".
    void connectOrDisconnect();
    // "&Update camera...": loads every item, then opens the port and
    // connects; the rest follows from the loader's and the worker's messages.
    // Started once the load runs.
    CommandOutcome startUpdate();
    // The destination panel's commands on the selected item.
    CommandOutcome erase();
    CommandOutcome eraseAndProgram();
    CommandOutcome updateInfo();

    // Set: the update sequence and Erase && Program take the data the caller
    // loaded into the items (LoadPackageForUpdate) instead of reading the
    // file again, so that several cameras are updated from one load. The
    // caller's copies of the items keep the bytes while this one releases.
    void useCallersData(bool callersData) { callersData_ = callersData; }

    // Every message the worker and the loader post, and MsgCancel of the
    // progress window.
    void handle(const PostedMessage& message);

    // Ends the link at once, without the closing commands: the worker is
    // stopped, the port closed, an update sequence dropped. For a front end
    // that must give up (a second interrupt, a link that hangs).
    void stopLink();
    // The exit path: the closing commands when connected, then stopLink().
    void endLink();

    [[nodiscard]] bool connected() const { return connected_; }
    // From the start of an update sequence until its jobs have run.
    [[nodiscard]] bool updateInProgress() const {
        return state_ == UpdateState::Loading || state_ == UpdateState::Connecting ||
               state_ == UpdateState::Programming;
    }
    [[nodiscard]] UpdateState updateState() const { return state_; }
    [[nodiscard]] UpdateEnding lastUpdateEnding() const { return ending_; }
    // Whether every job of the last run that a command queued ran and
    // succeeded, by the jobs' own results; nothing while no such run has
    // ended. A failure text does not fail a job that still succeeded.
    [[nodiscard]] std::optional<bool> lastRunSucceeded() const { return lastRunSucceeded_; }
    // A command's load or run is under way.
    [[nodiscard]] bool runPending() const { return queuedJobs_.has_value() || programTarget_.has_value(); }
    // The last "&Update camera..." or Erase && Program was refused after its
    // start: its data could not be loaded, or does not fit.
    [[nodiscard]] bool lastCommandRefused() const { return lastCommandRefused_; }
    // The last attempt to open the port was refused.
    [[nodiscard]] bool portRefused() const { return portRefused_; }
    // Each job of the last run that a command queued, once it has ended.
    [[nodiscard]] const std::vector<RunJobOutcome>& lastRunJobs() const { return lastRunJobs_; }
    // What the runs so far read about each region.
    [[nodiscard]] const RegionReadings& regionReadings() const { return readings_; }

private:
    struct SelectedItem {
        Package* package;
        PackageItem* item;
        const ImageType* type;
    };

    void connect(const CommandSettings& settings);
    void disconnect();
    void closeLink();
    // The progress window hidden and the main window enabled.
    void giveWindowBack();
    void openPort(const CommandSettings& settings);
    void showPortRefusal(const CSerialException& error, const CommandSettings& settings);
    void beginCommand(CommandKind command, std::string_view itemName);
    void startLoad(const Package& package, std::optional<std::size_t> only, std::string_view what);
    void cancelLoad();
    void onDataLoaded(const PostedMessage& message);
    void continueUpdateLoaded(LoadedItems& loaded);
    void continueProgramLoaded(LoadedItems& loaded);
    void queueProgramming(const SelectedItem& target);
    void connectForUpdate();
    // A command that ends before its run: the window back, its outcome, and
    // the messages of the load, then its own.
    void refuseAfterLoad(const Refusal& refusal, const std::vector<HeldMessage>& held);
    void endRun(const std::vector<JobResult>& results);

    std::optional<SelectedItem> selectedTarget();
    // Erase and Erase && Program: read the skip-verify box, find the selected
    // item, refuse it with its text when the camera cannot take it, and only
    // then start.
    CommandOutcome startOnWritableTarget(CommandKind command,
                                         const std::function<CommandOutcome(const SelectedItem&)>& start);
    // Shows the refusal, if any, as the command's outcome; true when there was one.
    bool refuse(const std::optional<Refusal>& refusal);

    void queueRun(const std::vector<PlannedJob>& jobs);
    void queueJob(const PlannedJob& job);

    void onInfo(const PostedMessage& message);
    void onLinkState(const PostedMessage& message);
    void onLineFailed(std::uint32_t error);
    void onJobsDone();
    void refreshLinkControls();
    void continueUpdateConnected(bool cameraAnswered);
    void endUpdate(UpdateEnding ending, bool disconnectAfter);
    void finishUpdateProgrammed();
    // The outcome of the run that has just ended, and its failure texts.
    void reportRunEnd(std::vector<std::string> failures);
    void showHeld(const std::vector<std::string>& failures);
    // Where a job of the last run works: the item it writes, or one that
    // another job of the run writes to the same region.
    std::string jobItemName(const PlannedJob& job) const;
    // The first job of the last run whose result was no success; nullptr
    // when there is none.
    const RunJobOutcome* firstFailedJob() const;

    Worker& worker_;
    SerialPort& port_;
    MessageSink& sink_;
    OrchestrationView& view_;
    UserMessages& messages_;

    ItemDataLoader loader_;

    bool connected_ = false;
    bool skipVerify_ = false;
    bool callersData_ = false;
    UpdateState state_ = UpdateState::Idle;
    UpdateEnding ending_ = UpdateEnding::None;
    // The port of the update sequence, read at its start and opened after the load.
    CommandSettings updateSettings_;
    // The package whose data the update sequence loads.
    const Package* updatePackage_ = nullptr;
    // The item whose data Erase && Program loads.
    std::optional<SelectedItem> programTarget_;
    // The port as described when it was opened: the device may be gone when
    // the link fails.
    std::string linkPort_;
    // The command that runs, for the texts of its end.
    CommandKind command_ = CommandKind::UpdateInfo;
    std::string commandItem_;
    bool cancelRequested_ = false;
    bool lastCommandRefused_ = false;
    bool portRefused_ = false;
    // The jobs of the pending command's run, and its failure texts so far.
    std::optional<std::vector<PlannedJob>> queuedJobs_;
    std::vector<std::string> heldFailures_;
    std::optional<bool> lastRunSucceeded_;
    std::vector<RunJobOutcome> lastRunJobs_;
    RegionReadings readings_;
};

}  // namespace tarnwick
