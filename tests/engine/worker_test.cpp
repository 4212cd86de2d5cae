// The worker thread against the simulated camera: connecting, job runs with
// their notices and their stop rule, cancel, stop and the disconnect sequence.
#include "worker.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdint>
#include <string>
#include <vector>

#include "boot_commands.h"
#include "camera_fixture.h"
#include "catalogues.h"

namespace tarnwick {
namespace {

using namespace std::chrono_literals;
using ::testing::Contains;

constexpr auto kLongEnough = 20s;

const WorkerTimings kQuickWorker{.frame = {.failurePause = 5ms}, .connect = {.cyclePause = 10ms, .readyPause = 10ms}};

const std::vector<std::string> kRunEnd{"MsgInfo 1 0x0", "MsgProgress 2 0x0", "MsgJobsDone 0 0"};

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

    std::vector<std::string> lastLines(std::size_t count) const {
        const auto lines = sink.descriptions();
        return {lines.end() - static_cast<std::ptrdiff_t>(std::min(count, lines.size())), lines.end()};
    }

    Worker worker{kQuickWorker};
};

TEST(WorkerTimingsTest, DefaultsAreTheRealWaits) {
    const WorkerTimings timings;
    EXPECT_EQ(timings.disconnectPause, 5ms);
    EXPECT_EQ(timings.disconnectWait, 2000ms);
    EXPECT_EQ(timings.frame.failurePause, 600ms);
    EXPECT_EQ(timings.connect.maxCycles, 100u);
    EXPECT_EQ(timings.connect.cyclePause, 500ms);
    EXPECT_EQ(timings.connect.readyPause, 500ms);
}

TEST_F(WorkerTest, AnEmptyRunStillShowsAndHidesProgressAndASecondStartIsRefused) {
    ASSERT_TRUE(worker.start(sink, port));
    SerialPort other;
    RecordingSink otherSink;
    EXPECT_FALSE(worker.start(otherSink, other));
    runJobs();
    EXPECT_EQ(sink.descriptions(), (std::vector<std::string>{"MsgProgress 1 0x0", "MsgInfo 2 0x0", "MsgInfo 1 0x0",
                                                             "MsgProgress 2 0x0", "MsgJobsDone 0 0"}));

    // The running thread keeps its own port and sink.
    worker.requestConnect();
    ASSERT_TRUE(sink.waitFor(Message::MsgLinkState, kLongEnough));
    EXPECT_TRUE(worker.targetInfo().connected);
    EXPECT_TRUE(otherSink.descriptions().empty());
}

TEST_F(WorkerTest, AConnectRequestIsServedBeforeAPendingRun) {
    worker.requestJobRun();
    worker.requestConnect();
    ASSERT_TRUE(worker.start(sink, port));
    ASSERT_TRUE(sink.waitFor(Message::MsgJobsDone, kLongEnough));
    const auto lines = sink.descriptions();
    ASSERT_GE(lines.size(), 2u);
    EXPECT_EQ(lines[1], "MsgProgress 4 \"Reset camera to establish a connection...\"");
    EXPECT_EQ(lines.back(), "MsgJobsDone 0 0");
}

TEST_F(WorkerTest, EraseOfTheWholeDetectedChipBecomesAChipErase) {
    connect();
    worker.queueErase(0, camera.flashSize(), false);
    worker.queueErase(kStart, 0xF0000, false);
    runJobs();
    EXPECT_EQ(requestsOf(camera, kEraseChip).size(), 1u);
    EXPECT_EQ(requestsOf(camera, kEraseSectors).size(), 1u);

    worker.queueErase(kStart, 0xF0000, false);
    worker.stop();
    EXPECT_FALSE(worker.targetInfo().connected);
    EXPECT_TRUE(worker.jobs().empty()) << "jobs of an ended connection are dropped";
}

TEST_F(WorkerTest, AFullMicrocontrollerImageIsProgrammedAndVerified) {
    const ImageType& type = ImageTypes()[1];
    ASSERT_EQ(type.name, "Corvel::uC");
    ASSERT_EQ(type.regionSize, 983040u);
    // The largest image that leaves room for the length word.
    const std::vector<std::uint8_t> image = patternImage(type.regionSize - 8);
    camera.presetFlash(type.startAddress, std::vector<std::uint8_t>(type.regionSize, 0x5A));
    const PackageItem item = imageItem(image);

    connect();
    worker.queueErase(type.startAddress, type.regionSize, false);
    worker.queueWrite(type.startAddress, type.regionSize, item, false);
    worker.queueSetChecksum(type.startAddress, type.regionSize, false);
    worker.queueVerify(type.startAddress, type.regionSize, item, false);
    worker.queueGetChecksum(type.startAddress, type.regionSize, false);
    worker.queueBlankCheck(type.startAddress, type.regionSize, true);
    ASSERT_TRUE(sink.waitFor(Message::MsgJobsDone, kLongEnough));

    EXPECT_TRUE(failureTexts(sink).empty());
    EXPECT_THAT(sink.descriptions(), ::testing::IsSupersetOf({"MsgInfo 11 0x1", "MsgInfo 12 0x1", "MsgInfo 6 0x101"}));
    EXPECT_EQ(camera.flash(type.startAddress, type.regionSize - 8), image);
    EXPECT_EQ(camera.flash(type.startAddress + type.regionSize - 8, 8),
              (std::vector<std::uint8_t>{0xF8, 0xFF, 0x0E, 0x00, 0xFF, 0xFF, 0xFF, 0xFF}));
    EXPECT_EQ(requestsOf(camera, kReadData).size(), 241u);
}

TEST_F(WorkerTest, AFailedWriteEndsTheRunAndDropsTheVerify) {
    camera.scheduleFault({.kind = FaultKind::WriteFewer, .command = commandOf(kWriteData), .amount = 1});
    const PackageItem item = imageItem(patternImage(5000));
    connect();
    worker.queueErase(kStart, kRegion, false);
    worker.queueWrite(kStart, kRegion, item, false);
    worker.queueVerify(kStart, kRegion, item, false);
    runJobs();

    EXPECT_EQ(failureTexts(sink), std::vector<std::string>{"\"Timeout after 4087 bytes written\""});
    EXPECT_TRUE(requestsOf(camera, kReadData).empty());
    EXPECT_TRUE(worker.jobs().empty());
    EXPECT_EQ(lastLines(3), kRunEnd);
}

TEST_F(WorkerTest, ARejectedEraseLetsTheRunGoOn) {
    camera.scheduleFault({.kind = FaultKind::CanInsteadOfAck, .command = commandOf(kEraseSectors), .times = 2});
    connect();
    worker.queueErase(kStart, kRegion, false);
    worker.queueBlankCheck(kStart, kRegion, false);
    runJobs();

    EXPECT_EQ(failureTexts(sink), std::vector<std::string>{"\"Sector erase failed - CRC error\""});
    EXPECT_THAT(sink.descriptions(), Contains("MsgInfo 6 0x1"));
}

TEST_F(WorkerTest, ACancelBeforeTheRunIsForgotten) {
    const PackageItem item = imageItem(patternImage(10000));
    connect();
    worker.cancel();
    worker.queueErase(kStart, kRegion, false);
    worker.queueWrite(kStart, kRegion, item, false);
    worker.queueVerify(kStart, kRegion, item, false);
    runJobs();

    EXPECT_TRUE(failureTexts(sink).empty());
    EXPECT_EQ(requestsOf(camera, kEraseSectors).size(), 1u);
    EXPECT_THAT(sink.descriptions(), Contains("MsgInfo 12 0x1"));
}

TEST_F(WorkerTest, ACancelDuringProgrammingWritesNoLengthWordAndNoText) {
    camera.scheduleFault({.kind = FaultKind::DelayReply, .command = commandOf(kWriteData), .delay = 300ms});
    const PackageItem item = imageItem(patternImage(10000));
    connect();
    worker.queueWrite(kStart, kRegion, item, false);
    worker.queueVerify(kStart, kRegion, item, true);
    // The blank check and the first block, counted from the end of connect().
    ASSERT_TRUE(camera.waitForRequests(2, kLongEnough));
    worker.cancel();
    ASSERT_TRUE(sink.waitFor(Message::MsgJobsDone, kLongEnough));

    EXPECT_TRUE(failureTexts(sink).empty());
    EXPECT_EQ(requestsOf(camera, kWriteData).size(), 1u);
    EXPECT_EQ(camera.flash(kStart + kRegion - 8, 4), std::vector<std::uint8_t>(4, 0xFF));
    EXPECT_TRUE(requestsOf(camera, kReadData).empty()) << "the failed job ends the run";
}

TEST_F(WorkerTest, AStopDuringAWriteEndsTheRunBeforeTheLinkGoesDown) {
    camera.scheduleFault({.kind = FaultKind::DelayReply, .command = commandOf(kWriteData), .delay = 500ms});
    const PackageItem item = imageItem(patternImage(10000));
    connect();
    worker.queueWrite(kStart, kRegion, item, true);
    ASSERT_TRUE(camera.waitForRequests(2, kLongEnough));
    worker.stop();

    EXPECT_EQ(failureTexts(sink), std::vector<std::string>{"\"Sector write failed - communication error\""});
    EXPECT_EQ(lastLines(2), (std::vector<std::string>{"MsgJobsDone 0 0", "MsgLinkState 1 0"}));
    EXPECT_FALSE(worker.isRunning());
    EXPECT_FALSE(worker.targetInfo().connected);
}

TEST_F(WorkerTest, AStopDoesNotWaitOutACameraThatStoppedAnswering) {
    camera.scheduleFault({.kind = FaultKind::Silence, .command = commandOf(kWriteData), .times = 0});
    const PackageItem item = imageItem(patternImage(10000));
    connect();
    worker.queueWrite(kStart, kRegion, item, true);
    ASSERT_TRUE(camera.waitForRequests(2, kLongEnough));
    const auto before = std::chrono::steady_clock::now();
    worker.stop();
    // Three attempts with the write's reply timeout would take half a minute.
    EXPECT_LT(std::chrono::steady_clock::now() - before, 5s);
    EXPECT_EQ(lastLines(1), std::vector<std::string>{"MsgLinkState 1 0"});
}

TEST_F(WorkerTest, TheDisconnectSequenceSendsBothClosingCommands) {
    EXPECT_FALSE(worker.disconnect()) << "nothing to close without a thread";
    EXPECT_TRUE(worker.jobs().empty());

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
    // Its end is announced just after the wait ends.
    ASSERT_TRUE(sink.waitFor(Message::MsgJobsDone, kLongEnough));
    EXPECT_EQ(lastLines(3), kRunEnd);
}

TEST_F(WorkerTest, APortThatFailsDuringARunIsReportedAndEndsIt) {
    camera.scheduleFault({.kind = FaultKind::HangUp, .command = commandOf(kBlankCheck)});
    connect();
    worker.queueBlankCheck(kStart, kRegion, false);
    worker.queueGetChecksum(kStart, kRegion, false);
    runJobs();

    EXPECT_EQ(failureTexts(sink), std::vector<std::string>{'"' + CSerialException(EIO).text() + '"'});
    EXPECT_THAT(sink.descriptions(), ::testing::Not(Contains("MsgProgress 4 \"Get sector CRC...\"")));
    EXPECT_EQ(lastLines(3), kRunEnd);
}

}  // namespace
}  // namespace tarnwick
