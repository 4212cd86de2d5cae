// SPDX-License-Identifier: GPL-2.0-or-later
// The worker thread against the simulated camera: connecting, job runs with
// their notices and their stop rule, cancel, stop and the disconnect sequence.
#include "worker.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cerrno>

#include "camera_fixture.h"

namespace tarnwick {
namespace {

using namespace std::chrono_literals;
using ::testing::Contains;

constexpr auto kLongEnough = 20s;

const WorkerTimings kQuickWorker{.frame = {.failurePause = 5ms}, .connect = {.cyclePause = 10ms, .readyPause = 10ms}};

const Lines kRunEnd{"MsgInfo 1 0x0", "MsgProgress 2 0x0", "MsgJobsDone 0 0"};

class WorkerTest : public CameraTest {
protected:
    static constexpr std::uint32_t kStart = 0x10000;
    static constexpr std::uint32_t kRegion = 0x10000;

    void connect() {
        ASSERT_TRUE(worker.start(sink, port));
        worker.requestConnect();
        ASSERT_TRUE(sink.waitFor(Message::MsgLinkState, kLongEnough));
        ASSERT_TRUE(worker.targetInfo().connected);
        sink.take();
        camera.clearLog();
    }

    void runJobs() {
        worker.requestJobRun();
        ASSERT_TRUE(sink.waitFor(Message::MsgJobsDone, kLongEnough));
    }

    Lines lastLines(std::size_t count) const { return lastOf(sink.descriptions(), count); }

    Worker worker{kQuickWorker};
};

TEST(WorkerTimingsTest, DefaultsAreTheRealWaits) {
    const WorkerTimings timings;
    EXPECT_EQ(timings.disconnectPause, 5ms);
    EXPECT_EQ(timings.disconnectWait, 2000ms);
    EXPECT_EQ(timings.frame.failurePause, FrameTimings{}.failurePause);
    EXPECT_EQ(timings.connect.cyclePause, ConnectTimings{}.cyclePause);
}

TEST_F(WorkerTest, AConnectIsServedBeforeAPendingRunAndASecondStartIsRefused) {
    worker.requestJobRun();
    worker.requestConnect();
    ASSERT_TRUE(worker.start(sink, port));
    SerialPort other;
    RecordingSink otherSink;
    EXPECT_FALSE(worker.start(otherSink, other));
    ASSERT_TRUE(sink.waitFor(Message::MsgJobsDone, kLongEnough));
    EXPECT_EQ(sink.descriptions().at(1), "MsgProgress 4 \"Reset camera to establish a connection...\"");
    // An empty run still shows and hides the progress.
    EXPECT_EQ(lastLines(6), (Lines{"MsgLinkState 1 1", "MsgProgress 1 0x0", "MsgInfo 2 0x0", "MsgInfo 1 0x0",
                                   "MsgProgress 2 0x0", "MsgJobsDone 0 0"}));
    EXPECT_TRUE(otherSink.descriptions().empty()) << "the running thread keeps its own port and sink";
}

TEST_F(WorkerTest, ACancelBeforeTheRunIsForgottenAndAStopDropsTheQueuedJobs) {
    connect();
    worker.cancel();
    worker.queueErase(kStart, kRegion, false);
    runJobs();
    EXPECT_EQ(requestsOf(camera, kEraseSectors).size(), 1u);

    worker.queueErase(kStart, kRegion, false);
    worker.stop();
    EXPECT_FALSE(worker.targetInfo().connected);
    EXPECT_TRUE(worker.jobs().empty()) << "jobs of an ended connection are dropped";
}

TEST_F(WorkerTest, ARejectedEraseLetsTheRunGoOnAndAFailedWriteEndsIt) {
    camera.scheduleFault({.kind = FaultKind::CanInsteadOfAck, .command = commandOf(kEraseSectors), .times = 2});
    camera.scheduleFault({.kind = FaultKind::WriteFewer, .command = commandOf(kWriteData), .amount = 1});
    const PackageItem item = imageItem(patternImage(5000));
    connect();
    worker.queueErase(kStart, kRegion, false);
    worker.queueWrite(kStart, kRegion, item, false);
    worker.queueVerify(kStart, kRegion, item, false);
    runJobs();

    EXPECT_EQ(failureTexts(sink),
              (Lines{"\"Sector erase failed - CRC error\"", "\"Timeout after 4087 bytes written\""}));
    EXPECT_TRUE(requestsOf(camera, kReadData).empty());
    EXPECT_TRUE(worker.jobs().empty());
    EXPECT_EQ(lastLines(3), kRunEnd);
}

TEST_F(WorkerTest, AStopDuringAWriteEndsTheRunWithoutWaitingOutTheCamera) {
    camera.scheduleFault({.kind = FaultKind::Silence, .command = commandOf(kWriteData), .times = 0});
    const PackageItem item = imageItem(patternImage(10000));
    connect();
    worker.queueWrite(kStart, kRegion, item, true);
    ASSERT_TRUE(camera.waitForRequests(2, kLongEnough));
    const auto before = std::chrono::steady_clock::now();
    worker.stop();
    // The write's reply timeout alone is ten seconds.
    EXPECT_LT(std::chrono::steady_clock::now() - before, 5s);
    EXPECT_EQ(failureTexts(sink), Lines{"\"Sector write failed - communication error\""});
    EXPECT_EQ(lastLines(2), (Lines{"MsgJobsDone 0 0", "MsgLinkState 1 0"}));
    EXPECT_FALSE(worker.isRunning());
    EXPECT_FALSE(worker.targetInfo().connected);
}

TEST_F(WorkerTest, TheDisconnectSequenceSendsBothClosingCommands) {
    EXPECT_FALSE(worker.disconnect()) << "nothing to close without a thread";

    // A disconnect answering the end of a run must still wait for the closing
    // run, which the camera answers slowly here.
    connect();
    camera.scheduleFault({.kind = FaultKind::DelayReply, .command = commandOf(kCloseSessionFirst), .delay = 200ms});
    runJobs();
    sink.take();
    EXPECT_TRUE(worker.disconnect());
    EXPECT_THAT(sink.descriptions(), Contains("MsgLinkState 1 0")) << "the closing run ended before the wait";
    EXPECT_EQ(requestsOf(camera, kCloseSessionFirst).size(), 1u);
    EXPECT_GE(requestsOf(camera, kCloseSessionSecond).size(), 1u);
    ASSERT_TRUE(sink.waitFor(Message::MsgJobsDone, kLongEnough));
    EXPECT_EQ(lastLines(3), kRunEnd) << "its end is announced just after the wait";
}

TEST_F(WorkerTest, APortThatFailsDuringARunEndsTheLinkBeforeTheRunEnds) {
    camera.scheduleFault({.kind = FaultKind::HangUp, .command = commandOf(kBlankCheck)});
    connect();
    worker.queueBlankCheck(kStart, kRegion, false);
    worker.queueGetChecksum(kStart, kRegion, false);
    runJobs();

    EXPECT_TRUE(failureTexts(sink).empty()) << "the front end names the port instead";
    EXPECT_EQ(lastLines(4), (Lines{"MsgLinkState 2 " + std::to_string(EIO), "MsgInfo 1 0x0", "MsgProgress 2 0x0",
                                   "MsgJobsDone 0 0"}));
    EXPECT_EQ(worker.lastRunResults(), std::vector{JobResult::CommError});
    EXPECT_FALSE(worker.targetInfo().connected);
}

}  // namespace
}  // namespace tarnwick
