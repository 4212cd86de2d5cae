// SPDX-License-Identifier: GPL-2.0-or-later
#include "connection.h"

#include <dlfcn.h>
#include <sys/ioctl.h>

#include <gtest/gtest.h>

#include <cerrno>
#include <cstdarg>
#include <utility>

#include "fake_frame_link.h"
#include "pty_peer.h"
#include "simulated_camera.h"

namespace {

// A pseudo-terminal carries no break, so the tests watch the port's break
// requests on their way to the system. Only the test's own thread holds or
// releases a break.
std::vector<unsigned long> breakLog;

}  // namespace

extern "C" int ioctl(int fd, unsigned long request, ...) noexcept {
    va_list arguments;
    va_start(arguments, request);
    void* argument = va_arg(arguments, void*);
    va_end(arguments);
    if (request == TIOCSBRK || request == TIOCCBRK) {
        breakLog.push_back(request);
    }
    static const auto system = reinterpret_cast<int (*)(int, unsigned long, ...)>(::dlsym(RTLD_NEXT, "ioctl"));
    return system(fd, request, argument);
}

namespace tarnwick {
namespace {

using namespace std::chrono_literals;
using Lines = std::vector<std::string>;

const std::vector<unsigned long> kHeldAndReleased{TIOCSBRK, TIOCCBRK};
const Lines kWaitingStart{"MsgProgress 1 0x0", "MsgProgress 4 \"Reset camera to establish a connection...\"",
                          "MsgProgress 6 0x640000", "MsgProgress 7 0x0"};
const Lines kNotConnectedEnd{"MsgProgress 2 0x0", "MsgLinkState 1 0"};
const std::string kCycleStep = "MsgProgress 8 0x0";

Lines operator+(Lines first, const Lines& second) {
    first.insert(first.end(), second.begin(), second.end());
    return first;
}

Lines lastOf(const Lines& lines, std::size_t count) {
    return {lines.end() - static_cast<std::ptrdiff_t>(std::min(count, lines.size())), lines.end()};
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

// The target behind a pseudo-terminal whose far end the test writes, with
// a scripted link for the commands.
class ConnectionTest : public ::testing::Test {
protected:
    // The real read timeouts, so that bytes on their way are never missed;
    // only the pauses are short.
    ConnectionTest() {
        timings.cyclePause = 1ms;
        timings.readyPause = 1ms;
        port.open(240, 115200);
        breakLog.clear();
    }

    bool connect(BootCommands& with) { return connectToTarget({port, with, target, sink, quit, cancel}, timings); }
    bool connect() { return connect(commands); }
    static std::vector<unsigned long> takeBreakLog() { return std::exchange(breakLog, {}); }

    testing::TemporaryPortFolder folder;
    testing::PtyPeer peer{folder, 240};
    SerialPort port;
    Event quit{Event::Reset::Manual};
    Event cancel{Event::Reset::Auto};
    TargetInfo target;
    RecordingSink sink;
    ConnectTimings timings;
    FakeFrameLink link;
    BootCommands commands{link, target, sink};
};

TEST_F(ConnectionTest, OtherBytesBeforeTheReadyByteCostACycleEachThenTheTargetIsRead) {
    peer.send({0x00, 0x41, kNak, kReadyByte});
    link.answer({'B', 'L', 'S', ' ', 'v', '2', '.', '1', '1'});
    link.answer({0x5F, 0x04});
    EXPECT_TRUE(connect());
    EXPECT_TRUE(target.connected);
    EXPECT_EQ(target.bootVersion, 211);
    EXPECT_EQ(target.flash.flashId(), 0x045F);
    EXPECT_EQ(sink.descriptions(),
              (kWaitingStart + Lines(3, kCycleStep) +
               Lines{"MsgProgress 4 \"Read target version information...\"", "MsgInfo 4 0x0",
                     "MsgProgress 4 \"Read target FLASH identifier...\"", "MsgInfo 5 0x0", "MsgProgress 2 0x0",
                     "MsgLinkState 1 1"}));
    EXPECT_EQ(takeBreakLog(), (std::vector<unsigned long>{TIOCSBRK, TIOCCBRK, TIOCCBRK})) << "released at the end too";
}

TEST_F(ConnectionTest, FailedVersionReadStillReadsTheFlashIdentity) {
    peer.send({kReadyByte});
    link.fail(LinkResult::CrcError);
    link.answer({0x5F, 0x04});
    EXPECT_FALSE(connect());
    EXPECT_EQ(target.flash.flashId(), 0x045F);
    EXPECT_EQ(lastOf(sink.descriptions(), 5),
              (Lines{"MsgInfo 4 0x3", "MsgProgress 4 \"Read target FLASH identifier...\"", "MsgInfo 5 0x0"} +
               kNotConnectedEnd));
}

// Seen before the first read, so the ready byte waits unread.
TEST_F(ConnectionTest, CancelAndQuitAreSeenBeforeTheNextReadAndOnlyTheCancelIsConsumed) {
    for (Event* stop : {&cancel, &quit}) {
        peer.send({kReadyByte});
        stop->set();
        EXPECT_FALSE(connect());
        EXPECT_FALSE(cancel.isSet());
        EXPECT_EQ(quit.isSet(), stop == &quit);
        EXPECT_EQ(sink.descriptions(), kWaitingStart + kNotConnectedEnd);
        sink.take();
        EXPECT_EQ(takeBreakLog(), kHeldAndReleased);
        EXPECT_TRUE(link.requests.empty());
        std::uint8_t byte = 0;
        EXPECT_EQ(port.read(std::span(&byte, 1)), 1u);
        EXPECT_EQ(byte, kReadyByte);
    }
}

TEST_F(ConnectionTest, HundredSilentCyclesGiveUp) {
    port.setTimeouts({1, 2, 3, 7, 9});
    timings.readMultiplierMs = 1;
    timings.readConstantMs = 2;
    EXPECT_FALSE(connect());
    EXPECT_EQ(sink.descriptions(),
              (kWaitingStart + Lines(100, kCycleStep) + Lines{"MsgProgress 2 0x0", "MsgLinkState 3 0"}));
    EXPECT_EQ(takeBreakLog(), kHeldAndReleased);
    EXPECT_EQ(port.getTimeouts(), (CommTimeouts{250, 1, 2, 7, 9}));
}

TEST_F(ConnectionTest, PortFailureIsReportedWithItsErrorAndEndsTheProcedure) {
    CameraOptions options;
    options.readyDelay = 10ms;
    SimulatedCamera camera(options);
    camera.scheduleFault({.kind = FaultKind::HangUp, .command = CommandId{1, 0x01}});
    port.close();
    port.open(camera.portNumber(), 115200);
    SerialFrameLink serial{port, quit, FrameTimings{10ms}};
    BootCommands cameraCommands{serial, target, sink};
    EXPECT_FALSE(connect(cameraCommands));
    EXPECT_EQ(lastOf(sink.descriptions(), 2), (Lines{"MsgProgress 2 0x0", "MsgLinkState 2 " + std::to_string(EIO)}));
    EXPECT_EQ(std::ranges::count(sink.descriptions(), "MsgProgress 4 \"Read target FLASH identifier...\""), 0)
        << "the flash identity is not asked for on a failed line";
    EXPECT_EQ(takeBreakLog(), (std::vector<unsigned long>{TIOCSBRK, TIOCCBRK, TIOCCBRK}));
}

}  // namespace
}  // namespace tarnwick
