// SPDX-License-Identifier: GPL-2.0-or-later
#include "simulated_camera.h"

#include <poll.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <condition_variable>
#include <iostream>
#include <mutex>
#include <thread>

#include "boot_code.h"
#include "boot_protocol.h"
#include "file_io.h"
#include "line_schedule.h"
#include "pseudo_terminal.h"
#include "request_reader.h"
#include "serial_port.h"

namespace tarnwick {
namespace {

using Clock = std::chrono::steady_clock;
using namespace std::chrono_literals;

constexpr int kFirstAutomaticPort = 200;
// Stray bytes that stand for line noise; never STX.
constexpr std::uint8_t kNoiseByte = 0x55;
constexpr std::uint16_t kDefaultOverlongLength = 0xFFFF;
// How often the camera looks for a host, besides being woken by its open.
constexpr auto kHostPoll = 20ms;
// A partial frame older than this is dropped; the host has given up on it.
constexpr auto kFrameGap = 1s;
constexpr auto kIdleWait = 50ms;
// A reply that cannot go out by then is dropped: the host stopped reading.
constexpr auto kWriteLimit = 5s;
// A paced line hands bytes on in steps of about this much line time, as a
// UART's FIFO or a USB adapter's frames do, so that neither end wakes for
// every byte; the last byte of a run still crosses on time.
constexpr auto kPaceStep = 2ms;

bool has(const std::vector<Fault>& faults, FaultKind kind) {
    return std::ranges::any_of(faults, [kind](const Fault& fault) { return fault.kind == kind; });
}

std::uint32_t amountOf(const std::vector<Fault>& faults, FaultKind kind) {
    std::uint32_t total = 0;
    for (const Fault& fault : faults) {
        if (fault.kind == kind) {
            total += fault.amount;
        }
    }
    return total;
}

std::chrono::milliseconds delayOf(const std::vector<Fault>& faults) {
    std::chrono::milliseconds total{0};
    for (const Fault& fault : faults) {
        if (fault.kind == FaultKind::DelayReply) {
            total += fault.delay;
        }
    }
    return total;
}

void appendLe(std::vector<std::uint8_t>& out, std::uint32_t value, std::size_t size) {
    for (std::size_t index = 0; index < size; ++index) {
        out.push_back(static_cast<std::uint8_t>(value >> (8 * index)));
    }
}

// The reply on the line, with the faults that change its bytes.
std::vector<std::uint8_t> encodeReply(const FrameBuffer& reply, const std::vector<Fault>& faults) {
    std::vector<std::uint8_t> out(amountOf(faults, FaultKind::NoiseBeforeStx), kNoiseByte);
    out.push_back(kStx);
    const auto body = reply.body();
    out.insert(out.end(), body.begin(), body.begin() + 2);
    std::uint32_t length = reply.length();
    if (has(faults, FaultKind::OverlongLength)) {
        const std::uint32_t amount = amountOf(faults, FaultKind::OverlongLength);
        length = amount == 0 ? kDefaultOverlongLength : amount;
    }
    appendLe(out, length, 2);
    out.insert(out.end(), body.begin() + kFrameHeaderSize, body.end());
    appendLe(out, reply.bodyCrc() ^ (has(faults, FaultKind::WrongReplyCrc) ? 1U : 0U), 4);
    if (!has(faults, FaultKind::MissingEtx)) {
        out.push_back(kEtx);
    }
    return out;
}

struct ScheduledFault {
    Fault fault;
    std::uint32_t seen = 0;
    std::uint32_t struck = 0;
};

}  // namespace

RequestHandler echoHandler() {
    return [](const FrameBuffer& request) { return std::optional<FrameBuffer>(request); };
}

RequestHandler fixedReplyHandler(std::vector<std::uint8_t> payload) {
    payload.resize(std::min(payload.size(), kFramePayloadCapacity));
    return [payload = std::move(payload)](const FrameBuffer& request) {
        FrameBuffer reply;
        reply.setHeader(request.command(), request.group(), static_cast<std::uint16_t>(payload.size()));
        std::ranges::copy(payload, reply.payload().begin());
        return std::optional<FrameBuffer>(reply);
    };
}

class SimulatedCamera::Impl {
public:
    explicit Impl(CameraOptions options);
    Impl(const Impl&) = delete;
    Impl& operator=(const Impl&) = delete;
    ~Impl();

    int portNumber() const { return alias_.number(); }
    std::filesystem::path devicePath() const;
    std::filesystem::path aliasPath() const { return alias_.path(); }
    void resetCamera();
    void setHandler(RequestHandler handler);
    std::uint32_t flashSize() const;
    std::vector<std::uint8_t> flash(std::uint32_t address, std::uint32_t count) const;
    void presetFlash(std::uint32_t address, std::span<const std::uint8_t> bytes);
    std::error_code saveFlash(const std::optional<std::filesystem::path>& path) const;
    void scheduleFault(const Fault& fault);
    void clearFaults();
    std::vector<ObservedRequest> requests() const;
    std::vector<std::uint8_t> hostAnswers() const;
    CameraCounters counters() const;
    void clearLog();
    bool waitForRequests(std::size_t count, std::chrono::milliseconds timeout) const;
    bool waitForHostAnswers(std::size_t count, std::chrono::milliseconds timeout) const;

private:
    // What the camera does with one good request.
    enum class Response { Silent, Reject, Reply };

    void loadFlash(const std::filesystem::path& path);
    void serve();
    void serveLine();
    void waitForActivity(Clock::duration timeout);
    void noteHostOpened();
    void noteHostGone();
    void sendReady();
    void sendReadyUnlessSpokenTo();
    void receive(std::span<const std::uint8_t> bytes);
    void handleBytes(std::span<const std::uint8_t> bytes);
    void handleByte(std::uint8_t byte);
    void serveRequest(const ReceivedFrame& received);
    void logRequest(const ReceivedFrame& received);
    std::vector<Fault> strikeFaults(CommandId command);
    Response respond(const FrameBuffer& request, const std::vector<Fault>& faults, FrameBuffer& reply);
    void reject();
    bool send(std::span<const std::uint8_t> bytes);
    template <typename Pass>
    bool pace(LineSchedule& schedule, std::span<const std::uint8_t> bytes, Pass pass);
    bool sleepUntil(Clock::time_point when);
    void hangUp(std::span<const std::uint8_t> reply);
    void countSkipped();
    template <typename Change>
    void updateLog(Change change);

    const CameraOptions options_;
    mutable std::mutex mutex_;
    mutable std::condition_variable logChanged_;
    BootCode bootCode_;
    RequestHandler handler_;
    std::vector<ScheduledFault> faults_;
    std::vector<ObservedRequest> requests_;
    std::vector<std::uint8_t> hostAnswers_;
    CameraCounters counters_;
    std::filesystem::path devicePath_;

    // Used by the serving thread only, once it runs.
    PseudoTerminal line_;
    std::size_t lineGeneration_ = 0;
    PortAlias alias_;
    RequestReader reader_;
    bool hostWasPresent_ = false;
    bool awaitingAnswer_ = false;
    std::optional<Clock::time_point> readyAt_;
    Clock::time_point lastByteAt_ = Clock::now();
    LineSchedule fromHost_;
    LineSchedule toHost_;

    WakeSignal stop_;
    WakeSignal wake_;
    std::atomic<bool> stopping_{false};
    std::atomic<bool> resetRequested_{false};
    std::thread thread_;
};

SimulatedCamera::Impl::Impl(CameraOptions options)
    : options_(std::move(options)),
      bootCode_(options_.chip, options_.versionText),
      line_(),
      alias_(portFolder(), options_.portNumber, line_.slavePath(), kFirstAutomaticPort),
      fromHost_(options_.bitsPerSecond),
      toHost_(options_.bitsPerSecond) {
    devicePath_ = line_.slavePath();
    if (options_.flashFile) {
        loadFlash(*options_.flashFile);
    }
    thread_ = std::thread([this] { serve(); });
}

SimulatedCamera::Impl::~Impl() {
    stopping_ = true;
    stop_.signal();
    thread_.join();
}

void SimulatedCamera::Impl::loadFlash(const std::filesystem::path& path) {
    std::error_code missing;
    if (!std::filesystem::exists(path, missing)) {
        return;
    }
    const auto contents = ReadBinaryFile(path, bootCode_.flash().size());
    if (!contents.ok()) {
        throw std::system_error(contents.error, path.string());
    }
    bootCode_.flash().preset(0, contents.bytes);
}

std::filesystem::path SimulatedCamera::Impl::devicePath() const {
    const std::lock_guard lock(mutex_);
    return devicePath_;
}

void SimulatedCamera::Impl::resetCamera() {
    resetRequested_ = true;
    wake_.signal();
}

void SimulatedCamera::Impl::setHandler(RequestHandler handler) {
    const std::lock_guard lock(mutex_);
    handler_ = std::move(handler);
}

std::uint32_t SimulatedCamera::Impl::flashSize() const {
    const std::lock_guard lock(mutex_);
    return bootCode_.flash().size();
}

std::vector<std::uint8_t> SimulatedCamera::Impl::flash(std::uint32_t address, std::uint32_t count) const {
    const std::lock_guard lock(mutex_);
    const auto bytes = bootCode_.flash().read(address, count);
    return {bytes.begin(), bytes.end()};
}

void SimulatedCamera::Impl::presetFlash(std::uint32_t address, std::span<const std::uint8_t> bytes) {
    const std::lock_guard lock(mutex_);
    bootCode_.flash().preset(address, bytes);
}

std::error_code SimulatedCamera::Impl::saveFlash(const std::optional<std::filesystem::path>& path) const {
    const auto target = path ? path : options_.flashFile;
    if (!target) {
        return std::make_error_code(std::errc::invalid_argument);
    }
    std::vector<std::uint8_t> contents;
    {
        const std::lock_guard lock(mutex_);
        const auto bytes = bootCode_.flash().read(0, bootCode_.flash().size());
        contents.assign(bytes.begin(), bytes.end());
    }
    return ReplaceFile(*target, contents);
}

void SimulatedCamera::Impl::scheduleFault(const Fault& fault) {
    const std::lock_guard lock(mutex_);
    faults_.push_back(ScheduledFault{fault});
}

void SimulatedCamera::Impl::clearFaults() {
    const std::lock_guard lock(mutex_);
    faults_.clear();
}

std::vector<ObservedRequest> SimulatedCamera::Impl::requests() const {
    const std::lock_guard lock(mutex_);
    return requests_;
}

std::vector<std::uint8_t> SimulatedCamera::Impl::hostAnswers() const {
    const std::lock_guard lock(mutex_);
    return hostAnswers_;
}

CameraCounters SimulatedCamera::Impl::counters() const {
    const std::lock_guard lock(mutex_);
    return counters_;
}

void SimulatedCamera::Impl::clearLog() {
    const std::lock_guard lock(mutex_);
    requests_.clear();
    hostAnswers_.clear();
    counters_ = {};
}

bool SimulatedCamera::Impl::waitForRequests(std::size_t count, std::chrono::milliseconds timeout) const {
    std::unique_lock lock(mutex_);
    return logChanged_.wait_for(lock, timeout, [&] { return requests_.size() >= count; });
}

bool SimulatedCamera::Impl::waitForHostAnswers(std::size_t count, std::chrono::milliseconds timeout) const {
    std::unique_lock lock(mutex_);
    return logChanged_.wait_for(lock, timeout, [&] { return hostAnswers_.size() >= count; });
}

template <typename Change>
void SimulatedCamera::Impl::updateLog(Change change) {
    {
        const std::lock_guard lock(mutex_);
        change();
    }
    logChanged_.notify_all();
}

void SimulatedCamera::Impl::serve() {
    try {
        serveLine();
    } catch (const std::exception& error) {
        // Nothing in a test may end the process from this thread; the host
        // sees a camera that has gone silent.
        std::cerr << "simulated camera stopped: " << error.what() << '\n';
    }
}

void SimulatedCamera::Impl::serveLine() {
    std::array<std::uint8_t, 4096> buffer{};
    while (!stopping_) {
        const bool reopened = line_.takeReopen();
        if (!line_.hostPresent()) {
            noteHostGone();
            waitForActivity(kHostPoll);
            continue;
        }
        if (!hostWasPresent_ || reopened) {
            noteHostOpened();
        }
        if (resetRequested_.exchange(false)) {
            sendReady();
        } else if (readyAt_ && Clock::now() >= *readyAt_) {
            sendReadyUnlessSpokenTo();
        }
        const std::size_t count = line_.readAvailable(buffer);
        if (count > 0) {
            receive(std::span(buffer).first(count));
            continue;
        }
        if (reader_.inFrame() && Clock::now() - lastByteAt_ > kFrameGap) {
            reader_.abandon();
            countSkipped();
        }
        waitForActivity(readyAt_ ? std::max<Clock::duration>(*readyAt_ - Clock::now(), 0ms) : kIdleWait);
    }
}

void SimulatedCamera::Impl::waitForActivity(Clock::duration timeout) {
    std::array<pollfd, 4> watch{{{line_.fd(), POLLIN, 0},
                                 {line_.openEventsFd(), POLLIN, 0},
                                 {stop_.fd(), POLLIN, 0},
                                 {wake_.fd(), POLLIN, 0}}};
    const auto milliseconds = std::chrono::ceil<std::chrono::milliseconds>(timeout).count();
    // Without a host the master reports a hang-up at once; wait on the signals only.
    const std::size_t first = hostWasPresent_ ? 0 : 1;
    ::poll(watch.data() + first, watch.size() - first, static_cast<int>(milliseconds));
    wake_.drain();
    if (resetRequested_ && !hostWasPresent_) {
        // Nobody listens: the boot code restarts without a ready byte.
        resetRequested_ = false;
        const std::lock_guard lock(mutex_);
        bootCode_.reset();
    }
}

void SimulatedCamera::Impl::noteHostOpened() {
    hostWasPresent_ = true;
    awaitingAnswer_ = false;
    reader_.abandon();
    countSkipped();
    if (options_.resetOnOpen) {
        readyAt_ = Clock::now() + options_.readyDelay;
    }
    updateLog([&] { ++counters_.hostOpens; });
}

void SimulatedCamera::Impl::noteHostGone() {
    if (!hostWasPresent_) {
        return;
    }
    hostWasPresent_ = false;
    awaitingAnswer_ = false;
    readyAt_.reset();
    line_.discardUnread();
    reader_.abandon();
    countSkipped();
}

void SimulatedCamera::Impl::sendReadyUnlessSpokenTo() {
    if (line_.inputPending()) {
        // A request is on its way: the host talks to a boot code that has
        // started, and a ready byte now would stand where it expects the
        // acknowledgement.
        readyAt_.reset();
        return;
    }
    sendReady();
}

void SimulatedCamera::Impl::sendReady() {
    readyAt_.reset();
    {
        const std::lock_guard lock(mutex_);
        bootCode_.reset();
    }
    // Counted first: a host that has read the byte sees it counted.
    updateLog([&] { ++counters_.readyBytes; });
    send(std::array{kReadyByte});
}

// What the host wrote reaches the receiver as it would cross the line.
void SimulatedCamera::Impl::receive(std::span<const std::uint8_t> bytes) {
    updateLog([&] { counters_.bytesFromHost += bytes.size(); });
    const std::size_t line = lineGeneration_;
    pace(fromHost_, bytes, [&](std::span<const std::uint8_t> crossed) {
        handleBytes(crossed);
        return lineGeneration_ == line;
    });
    lastByteAt_ = Clock::now();
}

void SimulatedCamera::Impl::handleBytes(std::span<const std::uint8_t> bytes) {
    const std::size_t line = lineGeneration_;
    for (const std::uint8_t byte : bytes) {
        handleByte(byte);
        if (lineGeneration_ != line) {
            // Hung up: what was read came from the line that is gone.
            return;
        }
    }
}

void SimulatedCamera::Impl::handleByte(std::uint8_t byte) {
    if (awaitingAnswer_ && !reader_.inFrame() && byte != kStx) {
        awaitingAnswer_ = false;
        updateLog([&] { hostAnswers_.push_back(byte); });
        return;
    }
    awaitingAnswer_ = false;
    auto received = reader_.feed(byte);
    countSkipped();
    if (received) {
        serveRequest(*received);
    }
}

void SimulatedCamera::Impl::countSkipped() {
    const std::size_t skipped = reader_.takeSkipped();
    if (skipped > 0) {
        updateLog([&] { counters_.skippedBytes += skipped; });
    }
}

void SimulatedCamera::Impl::serveRequest(const ReceivedFrame& received) {
    // A boot code that is spoken to has started already.
    readyAt_.reset();
    logRequest(received);
    if (!received.crcGood) {
        reject();
        return;
    }
    const std::vector<Fault> faults = strikeFaults({received.frame.group(), received.frame.command()});
    FrameBuffer reply;
    switch (respond(received.frame, faults, reply)) {
    case Response::Silent:
        return;
    case Response::Reject:
        reject();
        return;
    case Response::Reply:
        break;
    }
    if (!send(std::array{kAck})) {
        return;
    }
    const auto delay = delayOf(faults);
    if (delay > 0ms) {
        pollfd watch{stop_.fd(), POLLIN, 0};
        ::poll(&watch, 1, static_cast<int>(delay.count()));
    }
    const std::vector<std::uint8_t> bytes = encodeReply(reply, faults);
    if (has(faults, FaultKind::HangUp)) {
        hangUp(bytes);
        return;
    }
    updateLog([&] { ++counters_.replies; });
    awaitingAnswer_ = send(bytes);
}

void SimulatedCamera::Impl::logRequest(const ReceivedFrame& received) {
    updateLog([&] {
        requests_.push_back(
            ObservedRequest{received.raw, received.crcGood, {received.frame.group(), received.frame.command()}});
        ++counters_.requests;
    });
}

std::vector<Fault> SimulatedCamera::Impl::strikeFaults(CommandId command) {
    const std::lock_guard lock(mutex_);
    std::vector<Fault> struck;
    for (ScheduledFault& scheduled : faults_) {
        if (scheduled.fault.command && *scheduled.fault.command != command) {
            continue;
        }
        ++scheduled.seen;
        if (scheduled.seen >= scheduled.fault.frame) {
            struck.push_back(scheduled.fault);
            ++scheduled.struck;
        }
    }
    std::erase_if(faults_, [](const ScheduledFault& scheduled) {
        return scheduled.fault.times != 0 && scheduled.struck >= scheduled.fault.times;
    });
    return struck;
}

SimulatedCamera::Impl::Response SimulatedCamera::Impl::respond(const FrameBuffer& request,
                                                               const std::vector<Fault>& faults,
                                                               FrameBuffer& reply) {
    if (has(faults, FaultKind::Silence)) {
        return Response::Silent;
    }
    if (has(faults, FaultKind::CanInsteadOfAck)) {
        return Response::Reject;
    }
    const std::lock_guard lock(mutex_);
    std::optional<FrameBuffer> answer;
    if (handler_) {
        answer = handler_(request);
    } else if (bootCode_.handedOver()) {
        // The firmware runs and does not speak the boot code's protocol.
        return Response::Silent;
    } else {
        answer = bootCode_.answer(request, Shortfalls{amountOf(faults, FaultKind::EraseFewer),
                                                      amountOf(faults, FaultKind::WriteFewer)});
    }
    if (!answer) {
        return Response::Reject;
    }
    reply = *answer;
    return Response::Reply;
}

void SimulatedCamera::Impl::reject() {
    updateLog([&] { ++counters_.rejected; });
    send(std::array{kCan});
}

bool SimulatedCamera::Impl::send(std::span<const std::uint8_t> bytes) {
    const Clock::time_point deadline = Clock::now() + toHost_.durationOf(bytes.size()) + kWriteLimit;
    return pace(toHost_, bytes, [&](std::span<const std::uint8_t> crossed) {
        if (!line_.writeAll(crossed, deadline, stop_)) {
            return false;
        }
        updateLog([&] { counters_.bytesToHost += crossed.size(); });
        return true;
    });
}

// Passes the bytes on as they cross the line: all at once when it is not
// paced. False when the camera stops or `pass` takes no more.
template <typename Pass>
bool SimulatedCamera::Impl::pace(LineSchedule& schedule, std::span<const std::uint8_t> bytes, Pass pass) {
    if (!schedule.paced()) {
        return pass(bytes);
    }
    const Clock::time_point start = schedule.enqueue(bytes.size(), Clock::now());
    const Clock::time_point last = start + schedule.durationOf(bytes.size());
    std::size_t passed = 0;
    while (passed < bytes.size()) {
        const std::size_t crossed = std::min(schedule.crossedBy(start, Clock::now()), bytes.size());
        if (crossed > passed) {
            if (!pass(bytes.subspan(passed, crossed - passed))) {
                return false;
            }
            passed = crossed;
            continue;
        }
        const Clock::time_point next = start + schedule.durationOf(passed + 1);
        if (!sleepUntil(std::min(last, std::max(next, Clock::now() + kPaceStep)))) {
            return false;
        }
    }
    return true;
}

// False when the camera is being stopped.
bool SimulatedCamera::Impl::sleepUntil(Clock::time_point when) {
    const auto left = std::chrono::duration_cast<std::chrono::nanoseconds>(when - Clock::now()).count();
    if (left > 0) {
        constexpr long kNanosecondsPerSecond = 1'000'000'000;
        const timespec wait{static_cast<time_t>(left / kNanosecondsPerSecond),
                            static_cast<long>(left % kNanosecondsPerSecond)};
        pollfd watch{stop_.fd(), POLLIN, 0};
        ::ppoll(&watch, 1, &wait, nullptr);
    }
    return !stopping_;
}

void SimulatedCamera::Impl::hangUp(std::span<const std::uint8_t> reply) {
    send(reply.first(reply.size() / 2));
    // The alias leads to a fresh line before the old one closes, so a host
    // that sees the hang-up can open the port again at once.
    PseudoTerminal fresh;
    alias_.retarget(fresh.slavePath());
    updateLog([&] {
        devicePath_ = fresh.slavePath();
        ++counters_.hangUps;
        ++counters_.replies;
    });
    // Replacing the pseudo-terminal closes the old master: the host's end
    // sees the hang-up.
    line_ = std::move(fresh);
    ++lineGeneration_;
    // Nothing that was under way crosses the fresh line.
    fromHost_ = LineSchedule(options_.bitsPerSecond);
    toHost_ = LineSchedule(options_.bitsPerSecond);
    hostWasPresent_ = false;
    awaitingAnswer_ = false;
    readyAt_.reset();
    reader_.abandon();
    reader_.takeSkipped();
}

SimulatedCamera::SimulatedCamera(CameraOptions options) : impl_(std::make_unique<Impl>(std::move(options))) {}
SimulatedCamera::~SimulatedCamera() = default;

int SimulatedCamera::portNumber() const { return impl_->portNumber(); }
std::filesystem::path SimulatedCamera::devicePath() const { return impl_->devicePath(); }
std::filesystem::path SimulatedCamera::aliasPath() const { return impl_->aliasPath(); }
void SimulatedCamera::resetCamera() { impl_->resetCamera(); }
void SimulatedCamera::setHandler(RequestHandler handler) { impl_->setHandler(std::move(handler)); }
std::uint32_t SimulatedCamera::flashSize() const { return impl_->flashSize(); }
std::vector<std::uint8_t> SimulatedCamera::flash(std::uint32_t address, std::uint32_t count) const {
    return impl_->flash(address, count);
}
void SimulatedCamera::presetFlash(std::uint32_t address, std::span<const std::uint8_t> bytes) {
    impl_->presetFlash(address, bytes);
}
std::error_code SimulatedCamera::saveFlash(std::optional<std::filesystem::path> path) const {
    return impl_->saveFlash(path);
}
void SimulatedCamera::scheduleFault(const Fault& fault) { impl_->scheduleFault(fault); }
void SimulatedCamera::clearFaults() { impl_->clearFaults(); }
std::vector<ObservedRequest> SimulatedCamera::requests() const { return impl_->requests(); }
std::vector<std::uint8_t> SimulatedCamera::hostAnswers() const { return impl_->hostAnswers(); }
CameraCounters SimulatedCamera::counters() const { return impl_->counters(); }
void SimulatedCamera::clearLog() { impl_->clearLog(); }
bool SimulatedCamera::waitForRequests(std::size_t count, std::chrono::milliseconds timeout) const {
    return impl_->waitForRequests(count, timeout);
}
bool SimulatedCamera::waitForHostAnswers(std::size_t count, std::chrono::milliseconds timeout) const {
    return impl_->waitForHostAnswers(count, timeout);
}

}  // namespace tarnwick
