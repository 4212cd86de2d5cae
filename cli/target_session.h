// SPDX-License-Identifier: GPL-2.0-or-later
// The command line's stand-in for the main window while it works on a
// camera: it owns the port, the worker and the orchestration, receives the
// worker's messages on the calling thread, hands the progress, the target's
// fields and the system's message texts to the command's report, and turns
// Ctrl+C, SIGTERM and SIGHUP into the progress window's Cancel (a second
// one stops the worker).
//
// One session per camera, on one thread; several cameras have a session
// each, on threads of their own, and share the command's interrupt catcher.
#pragma once

#include <array>
#include <chrono>
#include <optional>
#include <string>

#include "camera_backup.h"
#include "command_report.h"
#include "interrupt_catcher.h"
#include "orchestration_queue.h"
#include "serial_port.h"
#include "update_orchestrator.h"
#include "worker.h"

namespace tarnwick {

// Exit statuses of the commands that talk to a camera, besides cli.h's.
inline constexpr int kExitNotConnected = 3;
inline constexpr int kExitPackageRefused = 4;
inline constexpr int kExitJobFailed = 5;
// A signal ended the command before it succeeded, with the status shells
// report for it, 128 + its number: Ctrl+C (SIGINT), SIGTERM, SIGHUP.
inline constexpr int kExitSignalled = 128;
inline constexpr int kExitCancelled = 130;
inline constexpr int kExitTerminated = 143;
inline constexpr int kExitHungUp = 129;

class TargetSession final : public OrchestrationView, public UserMessages {
public:
    // report and interrupts outlive the session.
    TargetSession(CommandSettings settings, const WorkerTimings& timings, CommandReport& report,
                  const InterruptCatcher& interrupts);
    ~TargetSession() override;
    TargetSession(const TargetSession&) = delete;
    TargetSession& operator=(const TargetSession&) = delete;

    // What the commands act on; both stay owned by the caller.
    void select(Package* package, PackageItem* item);
    // The caller has loaded the package's data and shares it with other
    // sessions: the commands do not read the file again.
    void useCallersData() { orchestrator_.useCallersData(true); }

    // Connects as the Connect button does; true once connected.
    bool connect();
    // Ends the link with the closing commands, as the window's exit does.
    void disconnect();

    // The whole update sequence; its exit status.
    int update();
    // One of the destination panel's commands on the connected camera, run
    // to its end; its exit status.
    int runItemCommand(CommandOutcome (UpdateOrchestrator::*command)());
    // A whole backup, from the connection to the written file; how it ended.
    BackupEnding backUp(BackupRequest request);
    [[nodiscard]] const std::vector<BackupRegion>& backupRegions() const { return backup_.regions(); }

    [[nodiscard]] const std::string& field(TargetField field) const;
    // The connection procedure read the camera during the session.
    [[nodiscard]] bool cameraAnswered() const { return cameraAnswered_; }
    // When the camera's version text arrived; the session's start before.
    [[nodiscard]] std::chrono::system_clock::time_point answeredAt() const { return answeredAt_; }
    // The port could not be opened.
    [[nodiscard]] bool portRefused() const { return orchestrator_.portRefused(); }
    // Ctrl+C was pressed, or SIGTERM or SIGHUP came, during the session.
    [[nodiscard]] bool interrupted() const { return interruptsAnswered_ > 0; }
    // The exit status of a command the first interrupt cut short.
    [[nodiscard]] int interruptStatus() const { return kExitSignalled + interrupts_.first(); }
    // What the last line says after an interrupt: its signal, whether the
    // camera had answered, and the step the interrupt cut short.
    [[nodiscard]] std::string interruptSummary() const;
    [[nodiscard]] const TargetInfo& target() const { return worker_.targetInfo(); }
    // Each job of the last run a command queued.
    [[nodiscard]] const std::vector<RunJobOutcome>& lastRunJobs() const { return orchestrator_.lastRunJobs(); }

    // OrchestrationView
    CommandSettings readSettings() override { return settings_; }
    Package* currentPackage() override { return package_; }
    PackageItem* selectedItem() override { return item_; }
    bool advancedView() override { return true; }
    void enableMainWindow(bool) override {}
    void enableConnectButton(bool) override {}
    void enableUpdateButton(bool) override {}
    void setConnectCaption(std::string_view) override {}
    void showField(TargetField field, std::string_view text) override;
    void showProgress(const ProgressDisplay& progress) override;
    void refreshControls() override {}

    // UserMessages: to the report.
    void showMessage(std::string_view text, std::string_view caption, MessageIcon icon) override;

private:
    template <typename Done>
    void pumpUntil(Done done);
    void drain();
    void dispatch(const PostedMessage& message);
    void answerInterrupts();

    CommandSettings settings_;
    CommandReport& report_;
    // The worker's thread talks through the port and posts to the queue, so
    // both outlive it.
    SerialPort port_;
    MessageQueue queue_;
    Worker worker_;
    UpdateOrchestrator orchestrator_;
    CameraBackup backup_;
    Package* package_ = nullptr;
    PackageItem* item_ = nullptr;
    std::array<std::string, 5> fields_;
    const InterruptCatcher& interrupts_;
    int interruptsAnswered_ = 0;
    bool cameraAnswered_ = false;
    std::chrono::system_clock::time_point answeredAt_ = std::chrono::system_clock::now();
    std::string lastStatus_;
};

}  // namespace tarnwick
