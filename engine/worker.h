// SPDX-License-Identifier: GPL-2.0-or-later
// The background thread that owns the serial line while a camera is
// connected, its job queue, and what the target reported.
//
// The front end (one thread, "the user interface thread" below) starts the
// worker with a MessageSink and an open SerialPort, asks it to connect or to
// run the queued jobs, and learns everything through the messages the worker
// posts to the sink. The worker never touches a window and never waits for
// the receiver.
//
// Threads: every public member is called on the user interface thread. The
// worker thread alone writes TargetInfo; the front end reads it in answer to a
// notice posted after the write, or while the worker is idle. The front end
// fills the queue while no job run is in progress and signals after the last
// job of a batch; jobs queued during a run are run by it or dropped with it.
//
// Errors: a job's failure is reported by the job's own failure notice
// (MsgInfo 17). A port that refuses during a job run, or hangs up while a
// camera is connected, ends the link: the worker posts MsgLinkState
// (LineFailed, error) once, before the run's end messages, and the front end
// stops it. Nothing here throws to the caller, except that a failure to
// allocate (an event, the queue) is fatal.
#pragma once

#include <chrono>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "connection.h"
#include "event.h"
#include "flash_operations.h"
#include "frame_link.h"
#include "notices.h"
#include "package_model.h"
#include "serial_port.h"
#include "target_info.h"

namespace tarnwick {

// What a job runs. The front end queues 5 to 8, 12 to 14 and 17 to 19; the
// others are accepted for completeness. Numbers 3, 9, 10, 16 and above 19
// name nothing.
enum class JobKind : std::uint32_t {
    ReadVersionInfo = 1,
    ConnectToTarget = 2,
    ReadFlashId = 4,
    EraseRegion = 5,
    EraseChip = 6,
    ProgramRegion = 7,
    VerifyRegion = 8,
    ReadInfoBlock = 11,
    BlankCheck = 12,
    GetSectorCrc = 13,
    SetSectorCrc = 14,
    TextQuery = 15,
    CloseSessionFirst = 17,
    CloseSessionSecond = 18,
    ReadRegion = 19,
};

// One queued target operation.
struct Job {
    JobKind kind = JobKind::BlankCheck;
    std::uint32_t start = 0;
    std::uint32_t length = 0;
    // The image of kinds 7 and 8. Not owned: the package keeps the item, and
    // it must not change until the run has ended.
    const PackageItem* item = nullptr;
    // The text of kind 15.
    std::string text;
    // Where kind 19 puts what it read. Not owned: the front end keeps it
    // until the run has ended.
    RegionCopy* copy = nullptr;
};

// Pending jobs, in order. Safe to use from both threads.
class JobQueue {
public:
    void append(Job job);
    // The first job, removed from the queue; nothing when the queue is empty.
    std::optional<Job> takeFirst();
    void clear();
    [[nodiscard]] bool empty() const;
    [[nodiscard]] std::size_t size() const;

private:
    mutable std::mutex mutex_;
    std::deque<Job> jobs_;
};

// The waits of the worker and of the link it drives; tests shorten them.
struct WorkerTimings {
    FrameTimings frame;
    ConnectTimings connect;
    // In the disconnect sequence, after the closing jobs are signalled.
    std::chrono::milliseconds disconnectPause{5};
    // Longest wait of the disconnect sequence for the closing jobs to end.
    std::chrono::milliseconds disconnectWait{2000};
    // How often an idle worker looks whether a connected camera's line has
    // hung up, so that an unplugged adapter is noticed before the next command.
    std::chrono::milliseconds lineCheck{250};
};

inline constexpr std::string_view kCantStartWorker = "Can't start worker thread...";

class Worker {
public:
    // The events exist from here on, all unset; the queue is empty.
    explicit Worker(WorkerTimings timings = {});
    // Stops a running thread; queued jobs are dropped.
    ~Worker();
    Worker(const Worker&) = delete;
    Worker& operator=(const Worker&) = delete;

    // Starts the thread that will post to sink and talk through port; both
    // must outlive the thread (until stop). False, with nothing changed, when
    // a thread already runs; false after posting kCantStartWorker as a
    // failure notice when the thread cannot be made.
    bool start(MessageSink& sink, SerialPort& port);
    // Sets eventQuit, interrupts the port's waits and waits, without a time
    // limit, until the thread has ended (the running operation returns at its
    // next stop poll, the transport at once); clears the connected flag and
    // drops queued jobs. Nothing happens when no thread runs.
    void stop();
    [[nodiscard]] bool isRunning() const { return thread_.joinable(); }
    // The number of the running thread, which marks every message it posts
    // (PostedMessage::link); 0 while none runs. Each start takes a new one,
    // so whatever a stopped thread posted can be told apart.
    [[nodiscard]] std::uint32_t link() const;

    // Sets eventConnect: the thread runs the connection procedure.
    void requestConnect();
    // Sets eventRunJobs: the thread runs the queued jobs.
    void requestJobRun();
    // Sets eventCancel: the operation that polls it next ends.
    void cancel();

    // Queues the two closing commands (signalling after the second), pauses
    // briefly, and waits a limited time for the run to end. True when it
    // ended in time; false at once, with nothing queued, when no thread runs.
    bool disconnect();

    // Each appends one job and, when signal is true, sets eventRunJobs after.
    // Erase is a chip erase exactly when length equals the detected chip's
    // size (never while no chip is detected), a sector erase otherwise.
    void queueErase(std::uint32_t start, std::uint32_t length, bool signal);
    void queueWrite(std::uint32_t start, std::uint32_t length, const PackageItem& item, bool signal);
    void queueVerify(std::uint32_t start, std::uint32_t length, const PackageItem& item, bool signal);
    void queueBlankCheck(std::uint32_t start, std::uint32_t length, bool signal);
    void queueGetChecksum(std::uint32_t start, std::uint32_t length, bool signal);
    void queueSetChecksum(std::uint32_t start, std::uint32_t length, bool signal);
    void queueRead(std::uint32_t start, std::uint32_t length, RegionCopy& copy, bool signal);
    // Any job, after those queued.
    void queue(Job job, bool signal);

    [[nodiscard]] const JobQueue& jobs() const { return jobQueue_; }
    [[nodiscard]] const TargetInfo& targetInfo() const { return targetInfo_; }
    // The result of each job the last run reached, in order: written before
    // its MsgJobsDone (or its MsgLinkState LineFailed) is posted and read in
    // answer to it. A job's failure texts do not decide its result; a run
    // that ended early lacks the rest.
    [[nodiscard]] const std::vector<JobResult>& lastRunResults() const { return lastRunResults_; }

private:
    class Session;

    void threadProcedure();
    void runJobs();
    void watchLine();

    WorkerTimings timings_;
    Event eventQuit_{Event::Reset::Manual};
    Event eventThreadEnded_{Event::Reset::Auto};
    Event eventConnect_{Event::Reset::Auto};
    Event eventRunJobs_{Event::Reset::Auto};
    Event eventCancel_{Event::Reset::Auto};
    Event eventJobsDone_{Event::Reset::Auto};
    JobQueue jobQueue_;
    TargetInfo targetInfo_;
    std::vector<JobResult> lastRunResults_;
    std::uint32_t links_ = 0;
    // The link, the commands and the sink of the running thread.
    std::unique_ptr<Session> session_;
    std::thread thread_;
};

}  // namespace tarnwick
