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
// Errors: a port that cannot be probed or opened is shown with the system's
// text and the command is dropped; packages that cannot be loaded are shown
// and nothing is queued; failures of the jobs are the jobs' own failure
// notices. Nothing here throws to the front end.
#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

#include "notices.h"
#include "orchestration_plan.h"
#include "package_model.h"
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
    // What is shown when the port refuses; by default the system's text as
    // it stands. A front end may name the port.
    virtual std::string portErrorText(const CSerialException& error, std::uint32_t /*portNumber*/) {
        return error.text();
    }
};

// What "&Update camera..." checks before it opens the port, in this order:
// an item this program can use, no image type listed twice, every image
// loaded and within its region. Shows the first refusal (a whole-file read
// shows its own) and returns false with no data loaded; true with every
// item's data loaded. The command line checks the package of its
// single-item commands the same way, so that they refuse alike.
bool LoadPackageForUpdate(Package& package, UserMessages& messages);

// The update sequence: idle -> connecting -> programming -> closing -> idle.
enum class UpdateState { Idle, Connecting, Programming, Closing };

// How the last update sequence went, once it left connecting.
enum class UpdateEnding { None, NotConnected, NoPackage, Refused, Programmed };

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
    // "&Update camera...": loads every item, opens the port, connects; the
    // rest follows from the worker's messages. Started when connecting.
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

    // Every message the worker posts, and MsgCancel of the progress window.
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
        return state_ == UpdateState::Connecting || state_ == UpdateState::Programming;
    }
    [[nodiscard]] UpdateState updateState() const { return state_; }
    [[nodiscard]] UpdateEnding lastUpdateEnding() const { return ending_; }
    // Whether every job of the last run that a command queued ran and
    // succeeded, by the jobs' own results; nothing while no such run has
    // ended. A failure text does not fail a job that still succeeded.
    [[nodiscard]] std::optional<bool> lastRunSucceeded() const { return lastRunSucceeded_; }
    // A command's run is queued and has not ended yet.
    [[nodiscard]] bool runPending() const { return queuedJobs_.has_value(); }
    // Each job of the last run that a command queued, once it has ended.
    [[nodiscard]] const std::vector<RunJobOutcome>& lastRunJobs() const { return lastRunJobs_; }

private:
    void connect(const CommandSettings& settings);
    void disconnect();
    void openPort(const CommandSettings& settings);
    CommandOutcome startUpdateWithLoadedData(const CommandSettings& settings);
    void showSerialError(const CSerialException& error, std::uint32_t portNumber);
    void endRun(const std::vector<JobResult>& results);

    struct SelectedItem {
        Package* package;
        PackageItem* item;
        const ImageType* type;
    };
    std::optional<SelectedItem> selectedTarget();
    // Erase and Erase && Program: read the skip-verify box, find the selected
    // item, refuse it with its text when the camera cannot take it, and only
    // then start.
    CommandOutcome startOnWritableTarget(const std::function<CommandOutcome(const SelectedItem&)>& start);
    // Shows why when the item's data cannot be loaded.
    bool loadSelectedData(const SelectedItem& target);
    // Shows the refusal, if any; true when there was one.
    bool showRefusal(const std::optional<std::string>& refusal);

    void queueRun(const std::vector<PlannedJob>& jobs);
    void queueJob(const PlannedJob& job);

    void onInfo(const PostedMessage& message);
    void onLinkState(const PostedMessage& message);
    void onJobsDone();
    void refreshLinkControls();
    void continueUpdateConnected();
    void endUpdate(UpdateEnding ending, bool closeLink);
    void finishUpdateProgrammed();

    Worker& worker_;
    SerialPort& port_;
    MessageSink& sink_;
    OrchestrationView& view_;
    UserMessages& messages_;

    bool connected_ = false;
    bool skipVerify_ = false;
    bool callersData_ = false;
    UpdateState state_ = UpdateState::Idle;
    UpdateEnding ending_ = UpdateEnding::None;
    // The jobs of the pending command's run.
    std::optional<std::vector<PlannedJob>> queuedJobs_;
    std::optional<bool> lastRunSucceeded_;
    std::vector<RunJobOutcome> lastRunJobs_;
};

}  // namespace tarnwick
