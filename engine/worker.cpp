// SPDX-License-Identifier: GPL-2.0-or-later
#include "worker.h"

#include <array>
#include <cerrno>
#include <system_error>
#include <utility>

#include "boot_commands.h"
#include "flash_operations.h"

namespace tarnwick {

void JobQueue::append(Job job) {
    std::lock_guard lock(mutex_);
    jobs_.push_back(std::move(job));
}

std::optional<Job> JobQueue::takeFirst() {
    std::lock_guard lock(mutex_);
    if (jobs_.empty()) {
        return std::nullopt;
    }
    Job first = std::move(jobs_.front());
    jobs_.pop_front();
    return first;
}

void JobQueue::clear() {
    std::lock_guard lock(mutex_);
    jobs_.clear();
}

bool JobQueue::empty() const {
    std::lock_guard lock(mutex_);
    return jobs_.empty();
}

std::size_t JobQueue::size() const {
    std::lock_guard lock(mutex_);
    return jobs_.size();
}

// Marks what one thread posts with its number.
class LinkSink final : public MessageSink {
public:
    LinkSink(MessageSink& target, std::uint32_t link) : target_(target), link_(link) {}
    void post(PostedMessage message) override {
        message.link = link_;
        target_.post(std::move(message));
    }
    [[nodiscard]] std::uint32_t link() const { return link_; }

private:
    MessageSink& target_;
    std::uint32_t link_;
};

// What the thread talks through, made before it starts and dropped after it
// has ended.
class Worker::Session {
public:
    Session(Worker& worker, MessageSink& target, std::uint32_t number, SerialPort& port)
        : sink(target, number),
          port(port),
          link(port, worker.eventQuit_, worker.timings_.frame),
          commands(link, worker.targetInfo_, sink),
          flash{link, worker.targetInfo_, sink, worker.eventQuit_, worker.eventCancel_},
          connection{port, commands, worker.targetInfo_, sink, worker.eventQuit_, worker.eventCancel_} {}

    LinkSink sink;
    SerialPort& port;
    SerialFrameLink link;
    BootCommands commands;
    FlashParts flash;
    ConnectionParts connection;
};

namespace {

// What the operations of a job run need.
struct JobParts {
    MessageSink& sink;
    BootCommands& commands;
    const FlashParts& flash;
    const ConnectionParts& connection;
    const ConnectTimings& connectTimings;
};

// False when the port refused; the failure that killed the line has already
// been shown by the job that met it first.
template <typename Command>
bool closeQuietly(Command command) {
    try {
        command();
        return true;
    } catch (const CSerialException&) {
        return false;
    }
}

// Runs one job's operation; its result decides whether the run goes on.
JobResult runJob(const Job& job, const JobParts& parts) {
    BootCommands& commands = parts.commands;
    const FlashParts& flash = parts.flash;
    switch (job.kind) {
    case JobKind::ReadVersionInfo:
        return jobResultOf(commands.readVersionInfo());
    case JobKind::ConnectToTarget:
        return connectToTarget(parts.connection, parts.connectTimings) ? JobResult::Success : JobResult::Failure;
    case JobKind::ReadFlashId:
        return jobResultOf(commands.readFlashId());
    case JobKind::EraseRegion:
        return eraseRegion(flash, job.start, job.length);
    case JobKind::EraseChip:
        return jobResultOf(commands.eraseChip(job.start, job.length));
    case JobKind::ProgramRegion:
        return programRegion(flash, job.start, job.length, job.item);
    case JobKind::VerifyRegion:
        return verifyRegion(flash, job.start, job.length, job.item);
    case JobKind::ReadRegion:
        return readRegion(flash, job.start, job.length, job.copy);
    case JobKind::ReadInfoBlock:
        return jobResultOf(commands.readInfoBlock(job.start, job.length));
    case JobKind::BlankCheck:
        return jobResultOf(commands.blankCheck(job.start, job.length));
    case JobKind::GetSectorCrc:
        return jobResultOf(commands.getSectorCrc(job.start, job.length));
    case JobKind::SetSectorCrc:
        return jobResultOf(commands.setSectorCrc(job.start, job.length));
    case JobKind::TextQuery:
        return jobResultOf(commands.textQuery(job.start, job.length, job.text));
    // The camera is treated as gone whatever the closing commands meet, a
    // line that died with it included: the link must end all the same.
    case JobKind::CloseSessionFirst:
        closeQuietly([&commands] { commands.closeSessionFirst(); });
        return JobResult::Success;
    case JobKind::CloseSessionSecond:
        if (!closeQuietly([&commands] { commands.closeSessionSecond(); })) {
            postLinkState(parts.sink, false);
        }
        return JobResult::Success;
    }
    // A number that names no kind runs nothing.
    return JobResult::Success;
}

Job regionJob(JobKind kind, std::uint32_t start = 0, std::uint32_t length = 0, const PackageItem* item = nullptr) {
    Job job;
    job.kind = kind;
    job.start = start;
    job.length = length;
    job.item = item;
    return job;
}

}  // namespace

Worker::Worker(WorkerTimings timings) : timings_(timings) {}

Worker::~Worker() { stop(); }

bool Worker::start(MessageSink& sink, SerialPort& port) {
    if (isRunning()) {
        return false;
    }
    session_ = std::make_unique<Session>(*this, sink, ++links_, port);
    try {
        thread_ = std::thread(&Worker::threadProcedure, this);
    } catch (const std::system_error&) {
        session_.reset();
        postInfo(sink, InfoCode::Failure, std::string(kCantStartWorker));
        return false;
    }
    return true;
}

void Worker::stop() {
    if (!isRunning()) {
        return;
    }
    eventQuit_.set();
    // Without this the thread would first wait out the reply timeouts of a
    // camera that no longer answers.
    session_->port.interrupt();
    eventThreadEnded_.wait();
    thread_.join();
    session_->port.clearInterrupt();
    session_.reset();
    targetInfo_.connected = false;
    // Jobs left behind would otherwise run first in the next connection.
    jobQueue_.clear();
}

std::uint32_t Worker::link() const {
    return session_ != nullptr ? session_->sink.link() : 0;
}

void Worker::requestConnect() { eventConnect_.set(); }

void Worker::requestJobRun() {
    // No run is in progress while the front end queues, so this is the
    // moment to forget the last run's results: a run the worker never starts
    // (the link failed first) must not report another's.
    lastRunResults_.clear();
    eventRunJobs_.set();
}

void Worker::cancel() { eventCancel_.set(); }

bool Worker::disconnect() {
    // Without a thread the closing jobs would wait for the next connection.
    if (!isRunning()) {
        return false;
    }
    // Only the end of the run that closes the session may end the wait, not
    // one left set by an earlier run.
    eventJobsDone_.reset();
    queue(regionJob(JobKind::CloseSessionFirst), false);
    queue(regionJob(JobKind::CloseSessionSecond), true);
    std::this_thread::sleep_for(timings_.disconnectPause);
    return eventJobsDone_.wait(timings_.disconnectWait);
}

void Worker::queueErase(std::uint32_t start, std::uint32_t length, bool signal) {
    const std::uint32_t chipSize = targetInfo_.flash.chipSize();
    const JobKind kind = chipSize != 0 && length == chipSize ? JobKind::EraseChip : JobKind::EraseRegion;
    queue(regionJob(kind, start, length), signal);
}

void Worker::queueWrite(std::uint32_t start, std::uint32_t length, const PackageItem& item, bool signal) {
    queue(regionJob(JobKind::ProgramRegion, start, length, &item), signal);
}

void Worker::queueVerify(std::uint32_t start, std::uint32_t length, const PackageItem& item, bool signal) {
    queue(regionJob(JobKind::VerifyRegion, start, length, &item), signal);
}

void Worker::queueBlankCheck(std::uint32_t start, std::uint32_t length, bool signal) {
    queue(regionJob(JobKind::BlankCheck, start, length), signal);
}

void Worker::queueGetChecksum(std::uint32_t start, std::uint32_t length, bool signal) {
    queue(regionJob(JobKind::GetSectorCrc, start, length), signal);
}

void Worker::queueSetChecksum(std::uint32_t start, std::uint32_t length, bool signal) {
    queue(regionJob(JobKind::SetSectorCrc, start, length), signal);
}

void Worker::queueRead(std::uint32_t start, std::uint32_t length, RegionCopy& copy, bool signal) {
    Job job = regionJob(JobKind::ReadRegion, start, length);
    job.copy = &copy;
    queue(std::move(job), signal);
}

void Worker::queue(Job job, bool signal) {
    jobQueue_.append(std::move(job));
    if (signal) {
        requestJobRun();
    }
}

void Worker::threadProcedure() {
    // The order is the priority: a quit wins over everything pending.
    const std::array<Event*, 3> events{&eventQuit_, &eventConnect_, &eventRunJobs_};
    for (;;) {
        const std::optional<std::size_t> which = Event::waitAny(events, timings_.lineCheck);
        if (!which) {
            watchLine();
            continue;
        }
        if (*which == 0) {
            break;
        }
        if (*which == 1) {
            connectToTarget(session_->connection, timings_.connect);
        } else {
            runJobs();
        }
    }
    postLinkState(session_->sink, false);
    eventQuit_.reset();
    eventThreadEnded_.set();
}

// A camera that ends, or an adapter pulled out, hangs the line up at once;
// reported once, as a refused read would be.
void Worker::watchLine() {
    if (targetInfo_.connected && session_->port.lineDropped()) {
        targetInfo_.connected = false;
        postLineFailed(session_->sink, EIO);
    }
}

void Worker::runJobs() {
    MessageSink& sink = session_->sink;
    eventJobsDone_.reset();
    // A cancel pressed before the run is forgotten.
    eventCancel_.reset();
    postProgress(sink, ProgressCode::Show, 0);
    postInfo(sink, InfoCode::DisableWindow, 0);

    const JobParts parts{sink, session_->commands, session_->flash, session_->connection, timings_.connect};
    std::optional<std::uint32_t> lineError;
    while (const auto job = jobQueue_.takeFirst()) {
        JobResult result = JobResult::CommError;
        try {
            result = runJob(*job, parts);
        } catch (const CSerialException& error) {
            lineError = error.error();
        }
        lastRunResults_.push_back(result);
        if (lineError || endsJobRun(result)) {
            break;
        }
    }
    jobQueue_.clear();
    if (lineError) {
        // The port refused: nothing more can reach the camera on this line.
        targetInfo_.connected = false;
        postLineFailed(sink, *lineError);
    }

    postInfo(sink, InfoCode::EnableWindow, 0);
    postProgress(sink, ProgressCode::Hide, 0);
    // Set before the message goes out: a receiver that answers MsgJobsDone
    // with the disconnect sequence must not find this run's event still to come.
    eventJobsDone_.set();
    postJobsDone(sink);
}

}  // namespace tarnwick
