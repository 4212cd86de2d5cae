#include "connection.h"

#include <dlfcn.h>
#include <sys/ioctl.h>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <cstdarg>
#include <memory>
#include <mutex>
#include <thread>
#include <utility>
#include <vector>

#include "fake_frame_link.h"
#include "pty_peer.h"
#include "simulated_camera.h"

namespace {

// A pseudo-terminal carries no break, so the tests watch the port's break
// requests on their way to the system.
std::mutex breakLogMutex;
std::vector<unsigned long> breakLog;

std::vector<unsigned long> takeBreakLog() {
    std::lock_guard lock(breakLogMutex);
    return std::exchange(breakLog, {});
}

}  // namespace

extern "C" int ioctl(int fd, unsigned long request, ...) noexcept {
    va_list arguments;
    va_start(arguments, request);
    void* argument = va_arg(arguments, void*);
    va_end(arguments);
    if (request == TIOCSBRK || request == TIOCCBRK) {
        std::lock_guard lock(breakLogMutex);
        breakLog.push_back(request);
    }
    using SystemIoctl = int (*)(int, unsigned long, ...);
    static const auto system = reinterpret_cast<SystemIoctl>(::dlsym(RTLD_NEXT, "ioctl"));
    return system(fd, request, argument);
}

namespace tarnwick {
namespace {

using namespace std::chrono_literals;
using ::testing::ElementsAre;

constexpr std::uint32_t kBitRate = 115200;
constexpr int kPeerPort = 240;
const std::vector<unsigned long> kHeldAndReleased{TIOCSBRK, TIOCCBRK};
const std::vector<unsigned long> kReleasedAfterReadyAndAtEnd{TIOCSBRK, TIOCCBRK, TIOCCBRK};

// The real read timeouts, so that bytes on their way are never missed; only
// the pauses are short.
ConnectTimings quickTimings() {
    ConnectTimings timings;
    timings.cyclePause = 1ms;
    timings.readyPause = 1ms;
    return timings;
}

// Also short reads, for runs that wait through every cycle.
ConnectTimings silentTimings() {
    ConnectTimings timings = quickTimings();
    timings.readMultiplierMs = 1;
    timings.readConstantMs = 2;
    return timings;
}

std::size_t countOf(const std::vector<std::string>& lines, std::string_view line) {
    return static_cast<std::size_t>(std::ranges::count(lines, line));
}

std::vector<std::string> lastTwo(const std::vector<std::string>& lines) {
    return {lines.end() - std::min<std::size_t>(2, lines.size()), lines.end()};
}

const std::vector<std::string> kNotConnectedEnd{"MsgProgress 2 0x0", "MsgLinkState 1 0"};

std::vector<std::string> waitingStart() {
    return {"MsgProgress 1 0x0", "MsgProgress 4 \"Reset camera to establish a connection...\"",
            "MsgProgress 6 0x640000", "MsgProgress 7 0x0"};
}

std::vector<std::string> concatenated(std::vector<std::string> first, const std::vector<std::string>& second) {
    first.insert(first.end(), second.begin(), second.end());
    return first;
}

TEST(ConnectTimingsDefaults, AreTheBootCodesWaits) {
    const ConnectTimings timings;
    EXPECT_EQ(timings.readIntervalMs, 250u);
    EXPECT_EQ(timings.readMultiplierMs, 100u);
    EXPECT_EQ(timings.readConstantMs, 100u);
    EXPECT_EQ(timings.maxCycles, 100u);
    EXPECT_EQ(timings.cyclePause, 500ms);
    EXPECT_EQ(timings.readyPause, 500ms);
    EXPECT_EQ(kReadyByte, 0x16);
}

// The procedure's own parts, shared by the fixtures below.
class ConnectionBase : public ::testing::Test {
protected:
    ConnectionBase() { takeBreakLog(); }

    bool connect() { return connectToTarget({port, commands(), target, sink, quit, cancel}, timings); }
    virtual BootCommands& commands() = 0;

    testing::TemporaryPortFolder folder;
    SerialPort port;
    Event quit{Event::Reset::Manual};
    Event cancel{Event::Reset::Auto};
    TargetInfo target;
    RecordingSink sink;
    ConnectTimings timings = quickTimings();
};

class ConnectionTest : public ConnectionBase {
protected:
    ~ConnectionTest() override { port.close(); }

    void startCamera(std::chrono::milliseconds readyDelay) {
        CameraOptions options;
        options.readyDelay = readyDelay;
        camera = std::make_unique<SimulatedCamera>(options);
        port.open(camera->portNumber(), kBitRate);
    }

    // Starts the camera and waits until its ready byte is on the line.
    void startResetCamera() {
        startCamera(10ms);
        for (int tries = 0; tries < 500 && camera->counters().readyBytes == 0; ++tries) {
            std::this_thread::sleep_for(10ms);
        }
        ASSERT_EQ(camera->counters().readyBytes, 1u);
    }

    BootCommands& commands() override { return bootCommands; }

    std::unique_ptr<SimulatedCamera> camera;
    SerialFrameLink link{port, quit, FrameTimings{10ms}};
    BootCommands bootCommands{link, target, sink};
};

TEST_F(ConnectionTest, ReadyByteInTheFirstCycleConnects) {
    startResetCamera();
    EXPECT_TRUE(connect());
    EXPECT_TRUE(target.connected);
    EXPECT_EQ(target.versionText, "BLS v2.11 (sim)");
    EXPECT_EQ(target.bootVersion, 211);
    EXPECT_EQ(target.flash.flashId(), 0x045F);
    EXPECT_EQ(sink.descriptions(),
              concatenated(waitingStart(), {"MsgProgress 4 \"Read target version information...\"", "MsgInfo 4 0x0",
                                            "MsgProgress 4 \"Read target FLASH identifier...\"", "MsgInfo 5 0x0",
                                            "MsgProgress 2 0x0", "MsgLinkState 1 1"}));
    EXPECT_EQ(takeBreakLog(), kReleasedAfterReadyAndAtEnd);
}

TEST_F(ConnectionTest, FailedVersionReadStillReadsTheFlashIdentity) {
    startResetCamera();
    camera->scheduleFault({.kind = FaultKind::CanInsteadOfAck, .command = CommandId{1, 0x01}, .times = 2});
    EXPECT_FALSE(connect());
    EXPECT_FALSE(target.connected);
    EXPECT_EQ(target.flash.flashId(), 0x045F);
    const auto lines = sink.descriptions();
    const auto version = std::ranges::find(lines, "MsgInfo 4 0x3");
    ASSERT_NE(version, lines.end());
    EXPECT_EQ(std::vector<std::string>(version, lines.end()),
              concatenated({"MsgInfo 4 0x3", "MsgProgress 4 \"Read target FLASH identifier...\"", "MsgInfo 5 0x0"},
                           kNotConnectedEnd));
}

TEST_F(ConnectionTest, CancelIsSeenBeforeTheNextRead) {
    startResetCamera();
    cancel.set();
    EXPECT_FALSE(connect());
    EXPECT_FALSE(cancel.isSet());  // consumed by the procedure
    EXPECT_EQ(sink.descriptions(), concatenated(waitingStart(), kNotConnectedEnd));
    EXPECT_EQ(takeBreakLog(), kHeldAndReleased);
    // The ready byte was never read.
    std::uint8_t byte = 0;
    EXPECT_EQ(port.read(std::span(&byte, 1)), 1u);
    EXPECT_EQ(byte, kReadyByte);
}

TEST_F(ConnectionTest, QuitIsSeenBeforeTheNextReadAndStaysSet) {
    startResetCamera();
    quit.set();
    EXPECT_FALSE(connect());
    EXPECT_TRUE(quit.isSet());
    EXPECT_EQ(sink.descriptions(), concatenated(waitingStart(), kNotConnectedEnd));
    EXPECT_TRUE(camera->requests().empty());
}

TEST_F(ConnectionTest, CancelWhileWaitingEndsTheWait) {
    startCamera(1h);
    target.connected = true;
    std::thread user([this] {
        for (int tries = 0; tries < 10000 && countOf(sink.descriptions(), "MsgProgress 8 0x0") < 2; ++tries) {
            std::this_thread::sleep_for(1ms);
        }
        cancel.set();
    });
    const bool connected = connect();
    user.join();
    EXPECT_FALSE(connected);
    EXPECT_FALSE(target.connected);
    const auto lines = sink.descriptions();
    EXPECT_LT(countOf(lines, "MsgProgress 8 0x0"), 100u);
    EXPECT_EQ(lastTwo(lines), kNotConnectedEnd);
    EXPECT_EQ(takeBreakLog(), kHeldAndReleased);
}

TEST_F(ConnectionTest, HundredSilentCyclesGiveUp) {
    startCamera(1h);
    port.setTimeouts({1, 2, 3, 7, 9});
    timings = silentTimings();
    EXPECT_FALSE(connect());
    const auto lines = sink.descriptions();
    EXPECT_EQ(countOf(lines, "MsgProgress 8 0x0"), 100u);
    EXPECT_EQ(lines.size(), waitingStart().size() + 100 + 2);
    EXPECT_EQ(lastTwo(lines), kNotConnectedEnd);
    EXPECT_EQ(takeBreakLog(), kHeldAndReleased);
    EXPECT_EQ(port.getTimeouts(), (CommTimeouts{250, 1, 2, 7, 9}));
}

TEST_F(ConnectionTest, PortFailureIsReportedWithTheSystemText) {
    startResetCamera();
    camera->scheduleFault({.kind = FaultKind::HangUp, .command = CommandId{1, 0x01}});
    EXPECT_FALSE(connect());
    EXPECT_FALSE(target.connected);
    const auto lines = sink.descriptions();
    const std::string failure = "MsgInfo 17 \"" + CSerialException(EIO).text() + '"';
    EXPECT_EQ(std::vector<std::string>(lines.end() - 3, lines.end()), concatenated({failure}, kNotConnectedEnd));
    // The flash identity is not asked for on a failed line.
    EXPECT_EQ(countOf(lines, "MsgProgress 4 \"Read target FLASH identifier...\""), 0u);
    const auto breaks = takeBreakLog();
    ASSERT_FALSE(breaks.empty());
    EXPECT_EQ(breaks.back(), TIOCCBRK);
}

TEST_F(ConnectionTest, ClosedPortShowsAndHidesTheWindowOnly) {
    target.connected = true;
    EXPECT_FALSE(connect());
    EXPECT_FALSE(target.connected);
    EXPECT_THAT(sink.descriptions(),
                ElementsAre("MsgProgress 1 0x0", "MsgProgress 4 \"Reset camera to establish a connection...\"",
                            "MsgProgress 2 0x0", "MsgLinkState 1 0"));
    EXPECT_TRUE(takeBreakLog().empty());
}

// A line driven byte by byte, for what the camera never sends.
class ConnectionOverPeerTest : public ConnectionBase {
protected:
    ConnectionOverPeerTest() { port.open(kPeerPort, kBitRate); }
    ~ConnectionOverPeerTest() override { port.close(); }

    BootCommands& commands() override { return bootCommands; }

    testing::PtyPeer peer{folder, kPeerPort};
    FakeFrameLink link;
    BootCommands bootCommands{link, target, sink};
};

TEST_F(ConnectionOverPeerTest, OtherBytesBeforeTheReadyByteCostACycleEach) {
    peer.send({0x00, 0x41, kNak, kReadyByte});
    link.answer({'B', 'L', 'S', ' ', 'v', '2', '.', '0', '1'});
    link.answer({0x5F, 0x04});
    EXPECT_TRUE(connect());
    const auto lines = sink.descriptions();
    EXPECT_EQ(countOf(lines, "MsgProgress 8 0x0"), 3u);
    EXPECT_EQ(target.bootVersion, 201);
    ASSERT_EQ(link.requests.size(), 2u);
    EXPECT_EQ(link.requests[0].frame.group(), static_cast<std::uint8_t>(CommandGroup::Boot));
    EXPECT_EQ(link.requests[1].frame.group(), static_cast<std::uint8_t>(CommandGroup::Flash));
    EXPECT_EQ(lastTwo(lines), (std::vector<std::string>{"MsgProgress 2 0x0", "MsgLinkState 1 1"}));
    EXPECT_EQ(takeBreakLog(), kReleasedAfterReadyAndAtEnd);
}

}  // namespace
}  // namespace tarnwick
