// SPDX-License-Identifier: GPL-2.0-or-later
// The region operations over the real transport against the simulated
// camera: the requests they send, what ends up in its flash, their notices,
// their stop polls, and the failures the camera's faults provoke.
#include "flash_operations.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <functional>

#include "camera_fixture.h"

namespace tarnwick {
namespace {

using namespace std::chrono_literals;
using Bytes = std::vector<std::uint8_t>;

// Between the operations and the transport: keeps the reply timeouts asked
// for but caps them, so that a silent camera does not hold a test for the
// full wait, and lets a test act on each reply (numbered from 1).
class ObservedLink final : public FrameLink {
public:
    explicit ObservedLink(FrameLink& link) : link_(link) {}

    LinkResult exchange(FrameBuffer& frame, std::uint32_t replyTimeoutMs) override {
        replyTimeouts.push_back(replyTimeoutMs);
        const LinkResult result = link_.exchange(frame, std::min(replyTimeoutMs, 300u));
        if (afterExchange) {
            afterExchange(frame, replyTimeouts.size());
        }
        return result;
    }

    std::vector<std::uint32_t> replyTimeouts;
    std::function<void(FrameBuffer&, std::size_t)> afterExchange;

private:
    FrameLink& link_;
};

class FlashOperationsTest : public CameraTest {
protected:
    static constexpr std::uint32_t kStart = 0x10000;
    static constexpr std::uint32_t kRegion = 0x4000;

    FlashOperationsTest() { target.flash.setDetected(0x04, 0x5F); }

    // Both attempts of the next request of this command.
    void twice(FaultKind kind, const BootCommand& command) {
        camera.scheduleFault({.kind = kind, .command = commandOf(command), .times = 2});
    }

    Event quit{Event::Reset::Manual};
    Event cancel{Event::Reset::Auto};
    TargetInfo target;
    SerialFrameLink serial{port, quit, FrameTimings{.failurePause = 5ms}};
    ObservedLink link{serial};
    FlashParts parts{link, target, sink, quit, cancel};
};

TEST_F(FlashOperationsTest, AnOddImageIsWrittenPaddedWithItsLengthWordAndVerifiedOverItsOwnLength) {
    PackageItem item = imageItem({1, 2, 3, 4, 5}, "/images/uc_main.bin");
    EXPECT_EQ(programRegion(parts, kStart, kRegion, &item), JobResult::Success);

    // The pad byte of the odd image is an erased byte.
    EXPECT_EQ(camera.flash(kStart, 7), (Bytes{1, 2, 3, 4, 5, 0xFF, 0xFF}));
    EXPECT_EQ(camera.flash(kStart + 0x3FF8, 4), le32Bytes({6}));
    const auto writes = requestsOf(camera, kWriteData);
    ASSERT_EQ(writes.size(), 2u);
    EXPECT_EQ(requestWord(writes[0], 4), 6u);
    EXPECT_EQ(requestWord(writes[1], 4), 4u);
    EXPECT_EQ(link.replyTimeouts, (std::vector<std::uint32_t>{2000, 10000, 2000}));
    EXPECT_EQ(sink.take().front().notice->text(), "Write <uc_main.bin> to 0x00010000");
    EXPECT_TRUE(target.blank);

    item.fileName = "C:\\images\\fpga.rbf";
    EXPECT_EQ(verifyRegion(parts, kStart, kRegion, &item), JobResult::Success);
    const auto reads = requestsOf(camera, kReadData);
    ASSERT_EQ(reads.size(), 1u);
    EXPECT_EQ(requestWord(reads[0], 4), 5u);
    EXPECT_EQ(sink.descriptions(), (Lines{"MsgProgress 4 \"Verify <fpga.rbf> to 0x00010000\"", "MsgProgress 6 0x0",
                                          "MsgProgress 7 0x0", "MsgProgress 8 0x0", "MsgProgress 7 0x0",
                                          "MsgInfo 12 0x1"}));
    EXPECT_FALSE(target.blank);
}

TEST_F(FlashOperationsTest, BlocksFillAFrameAndErasedOnesAreSkippedButStepTheBar) {
    Bytes image = patternImage(10000);
    std::fill_n(image.begin() + 4088, 4088, 0xFF);
    const PackageItem item = imageItem(image);
    EXPECT_EQ(programRegion(parts, kStart, 0x10000, &item), JobResult::Success);

    const auto writes = requestsOf(camera, kWriteData);
    ASSERT_EQ(writes.size(), 3u);
    EXPECT_EQ(requestWord(writes[0], 4), 4088u);
    EXPECT_EQ(requestWord(writes[1], 0), kStart + 2 * 4088);
    EXPECT_EQ(requestWord(writes[1], 4), 1824u);
    EXPECT_THAT(sink.descriptions(), ::testing::Contains("MsgProgress 6 0x20000"));
    EXPECT_EQ(std::ranges::count(sink.descriptions(), std::string("MsgProgress 8 0x0")), 3);
    EXPECT_EQ(camera.flash(kStart, 10000), image);
}

TEST_F(FlashOperationsTest, AnImageMustLeaveRoomForTheLengthWord) {
    PackageItem item = imageItem(patternImage(kRegion - 7));
    item.typeName = "Corvel::uC";
    EXPECT_EQ(programRegion(parts, kStart, kRegion, &item), JobResult::Failure);
    EXPECT_EQ(failureTexts(sink), Lines{"\"Corvel::uC: image of 16377 bytes does not fit its region "
                                        "(16376 bytes free before the length word)\""});
    EXPECT_TRUE(camera.requests().empty()) << "refused before the region is even checked";

    item.setData(patternImage(kRegion - 8));
    EXPECT_EQ(programRegion(parts, kStart, kRegion, &item), JobResult::Success);
    EXPECT_EQ(camera.flash(kStart + kRegion - 8, 4), le32Bytes({kRegion - 8}));
}

// A cancel after the first block; then, after the next pass's blank check,
// a quit and a cancel together.
TEST_F(FlashOperationsTest, ACancelStopsBeforeTheNextBlockAndAQuitIsLookedAtFirst) {
    const PackageItem item = imageItem(patternImage(10000));
    link.afterExchange = [this](FrameBuffer&, std::size_t exchange) {
        if (exchange == 2 || exchange == 3) {
            cancel.set();
        }
        if (exchange == 3) {
            quit.set();
        }
    };
    EXPECT_EQ(programRegion(parts, kStart, 0x10000, &item), JobResult::Failure);
    EXPECT_EQ(requestsOf(camera, kWriteData).size(), 1u);
    EXPECT_EQ(camera.flash(kStart + 0x10000 - 8, 4), Bytes(4, 0xFF)) << "no length word";
    EXPECT_EQ(sink.descriptions().back(), "MsgInfo 11 0x1");
    EXPECT_FALSE(cancel.isSet()) << "the poll consumes the cancel";

    EXPECT_EQ(programRegion(parts, kStart + 0x10000, 0x10000, &item), JobResult::Failure);
    EXPECT_EQ(requestsOf(camera, kWriteData).size(), 1u);
    EXPECT_TRUE(cancel.isSet());
    EXPECT_TRUE(failureTexts(sink).empty());
}

TEST_F(FlashOperationsTest, ProgrammingNeedsAnImageAndARegionKnownToBeBlank) {
    const PackageItem empty = imageItem({});
    EXPECT_EQ(programRegion(parts, kStart, kRegion, nullptr), JobResult::Failure);
    EXPECT_EQ(programRegion(parts, kStart, kRegion, &empty), JobResult::Failure);
    EXPECT_EQ(camera.counters().requests, 0u);
    EXPECT_EQ(sink.descriptions(), (Lines{"MsgInfo 11 0x0", "MsgInfo 17 \"Can't program - internal error...\"",
                                          "MsgInfo 11 0x0", "MsgInfo 17 \"Can't program - internal error...\""}));

    sink.take();
    const PackageItem item = imageItem(patternImage(100));
    camera.presetFlash(kStart + 0x100, Bytes{0x00});
    EXPECT_EQ(programRegion(parts, kStart, kRegion, &item), JobResult::Failure);
    EXPECT_TRUE(requestsOf(camera, kWriteData).empty());
    ASSERT_EQ(eraseRegion(parts, kStart, kRegion), JobResult::Success);
    EXPECT_EQ(programRegion(parts, kStart, kRegion, &item), JobResult::Success);
    EXPECT_TRUE(target.blank);

    // A blank check that fails leaves the region unknown, not blank.
    twice(FaultKind::Silence, kBlankCheck);
    EXPECT_EQ(programRegion(parts, kStart + kRegion, kRegion, &item), JobResult::Failure);
    EXPECT_FALSE(target.blank);
    EXPECT_EQ(requestsOf(camera, kWriteData).size(), 2u) << "only the successful pass wrote";
    EXPECT_EQ(failureTexts(sink), Lines(2, "\"Sector not erased...\""));
    EXPECT_EQ(sink.descriptions().front(), "MsgInfo 11 0x0");
}

TEST_F(FlashOperationsTest, VerifyRefusesABlankRegionAFailedReadOrCheckADifferenceAndNoImage) {
    const PackageItem item = imageItem(patternImage(10000));
    EXPECT_EQ(verifyRegion(parts, kStart, kRegion, &item), JobResult::Failure);
    EXPECT_TRUE(target.blank);
    ASSERT_EQ(programRegion(parts, kStart, kRegion, &item), JobResult::Success);

    link.afterExchange = [](FrameBuffer& reply, std::size_t) {
        if (reply.command() == kReadData.code) {
            reply.setLength(static_cast<std::uint16_t>(reply.length() - 1));
        }
    };
    EXPECT_EQ(verifyRegion(parts, kStart, kRegion, &item), JobResult::Failure);
    link.afterExchange = nullptr;
    twice(FaultKind::CanInsteadOfAck, kReadData);
    EXPECT_EQ(verifyRegion(parts, kStart, kRegion, &item), JobResult::Failure);
    // A blank check that fails leaves nothing known to compare.
    twice(FaultKind::Silence, kBlankCheck);
    EXPECT_EQ(verifyRegion(parts, kStart, kRegion, &item), JobResult::Failure);
    camera.presetFlash(kStart + 5000, Bytes{static_cast<std::uint8_t>(item.data()[5000] ^ 0x10)});
    EXPECT_EQ(verifyRegion(parts, kStart, kRegion, &item), JobResult::Failure);
    EXPECT_EQ(failureTexts(sink), (Lines{"\"Sector is blank...\"", "\"Read error at offset 0x10000\"",
                                         "\"Sector read failed - CRC error\"", "\"Sector is blank...\"",
                                         "\"Compare error at offset 0x10FF8\""}));

    sink.take();
    EXPECT_EQ(verifyRegion(parts, kStart, kRegion, nullptr), JobResult::Failure);
    EXPECT_EQ(sink.descriptions(), (Lines{"MsgInfo 12 0x0", "MsgInfo 17 \"Can't verify - internal error...\""}));
}

TEST_F(FlashOperationsTest, EraseNamesItsSectorStartsReportsEachFailureAndAStoppedEraseSucceeds) {
    camera.presetFlash(0x4FFFF, Bytes{0x00});
    EXPECT_EQ(eraseRegion(parts, 0x10000, 0x40000), JobResult::Success);
    const auto erases = requestsOf(camera, kEraseSectors);
    ASSERT_EQ(erases.size(), 1u);
    EXPECT_EQ(requestWord(erases[0], 0), 0x10000u);
    EXPECT_EQ(requestWord(erases[0], 12), 0x40000u);
    EXPECT_EQ(requestWord(erases[0], 16), kSectorListEnd);
    EXPECT_EQ(camera.flash(0x4FFFF, 1), Bytes{0xFF});
    EXPECT_EQ(link.replyTimeouts, std::vector<std::uint32_t>{2000});
    EXPECT_EQ(sink.descriptions(), Lines{"MsgProgress 4 \"Erase sector...\""});

    sink.take();
    twice(FaultKind::CanInsteadOfAck, kEraseSectors);
    EXPECT_EQ(eraseRegion(parts, 0x10000, 0x40000), JobResult::CrcError);
    twice(FaultKind::Silence, kEraseSectors);
    EXPECT_EQ(eraseRegion(parts, 0x10000, 0x40000), JobResult::CommError);
    camera.scheduleFault({.kind = FaultKind::EraseFewer, .command = commandOf(kEraseSectors), .amount = 1});
    EXPECT_EQ(eraseRegion(parts, 0x10000, 0x40000), JobResult::Failure);
    EXPECT_EQ(failureTexts(sink), (Lines{"\"Sector erase failed - CRC error\"",
                                         "\"Sector erase failed - communication error\"",
                                         "\"Sector erase failed (3 of 4)\""}));

    sink.take();
    camera.clearLog();
    target.flash.setDetected(0x1F, 0x26);
    EXPECT_EQ(eraseRegion(parts, 0, 0x10000), JobResult::Failure);
    EXPECT_EQ(sink.descriptions(),
              (Lines{"MsgProgress 4 \"Erase sector...\"", "MsgInfo 15 0x0", "MsgInfo 17 \"Nothing to erase...\""}));
    target.flash.setDetected(0x04, 0x5F);
    cancel.set();
    EXPECT_EQ(eraseRegion(parts, 0x10000, 0x40000), JobResult::Success);
    EXPECT_EQ(camera.counters().requests, 0u);
    EXPECT_FALSE(cancel.isSet());
}

// Unless only the length word fails, a failed block ends the pass: nothing
// after it, no length word.
struct WriteFaultCase {
    const char* name;
    Fault fault;
    std::string text;
    JobResult result = JobResult::Failure;
    std::size_t writes = 2;
};

TEST_F(FlashOperationsTest, AFailedWriteNamesItsCause) {
    const WriteFaultCase cases[] = {
        {"fewer bytes written", {.kind = FaultKind::WriteFewer, .frame = 2, .amount = 100},
         "\"Timeout after 8076 bytes written\""},
        {"rejected", {.kind = FaultKind::CanInsteadOfAck, .times = 2}, "\"Sector write failed - CRC error\""},
        {"unanswered", {.kind = FaultKind::Silence, .times = 2}, "\"Sector write failed - communication error\""},
        {"length word unanswered", {.kind = FaultKind::Silence, .frame = 4, .times = 2},
         "\"Update length info failed - communication error\"", JobResult::Success, 5},
    };
    const PackageItem item = imageItem(patternImage(10000));
    std::uint32_t start = kStart;
    for (WriteFaultCase row : cases) {
        SCOPED_TRACE(row.name);
        sink.take();
        camera.clearLog();
        row.fault.command = commandOf(kWriteData);
        camera.scheduleFault(row.fault);
        EXPECT_EQ(programRegion(parts, start, 0x10000, &item), row.result);
        EXPECT_EQ(failureTexts(sink), Lines{row.text});
        EXPECT_EQ(requestsOf(camera, kWriteData).size(), row.writes);
        start += 0x10000;
    }
}

TEST_F(FlashOperationsTest, AReadTakesTheImageItsLengthWordRecordsOrTheWholeRegion) {
    const PackageItem item = imageItem(patternImage(10001));
    ASSERT_EQ(programRegion(parts, kStart, 0x10000, &item), JobResult::Success);
    sink.take();
    camera.clearLog();
    RegionCopy copy;
    copy.fileName = "Corvel-uC.bin";
    EXPECT_EQ(readRegion(parts, kStart, 0x10000, &copy), JobResult::Success);
    EXPECT_EQ(copy.state, RegionCopy::State::Read);
    EXPECT_EQ(copy.lengthWord, 10002u);
    EXPECT_EQ(copy.bytes, camera.flash(kStart, 10002)) << "the image and its pad byte";
    const auto reads = requestsOf(camera, kReadData);
    ASSERT_EQ(reads.size(), 4u);
    EXPECT_EQ(requestWord(reads[0], 0), kStart + 0x10000 - 8);
    EXPECT_EQ(requestWord(reads[3], 4), 10002u - 2 * 4088);
    EXPECT_EQ(sink.descriptions(),
              (Lines{"MsgProgress 4 \"Read <Corvel-uC.bin> from 0x00010000\"", "MsgProgress 6 0x20000",
                     "MsgProgress 7 0x0", "MsgProgress 8 0x0", "MsgProgress 8 0x0", "MsgProgress 8 0x0",
                     "MsgProgress 7 0x0"}));

    copy.wholeRegion = true;
    EXPECT_EQ(readRegion(parts, kStart, kRegion, &copy), JobResult::Success);
    EXPECT_EQ(copy.bytes, camera.flash(kStart, kRegion - 8));
    EXPECT_EQ(copy.lengthWord, 0u);
}

// Nothing but the length word is read, and the job goes on.
TEST_F(FlashOperationsTest, ALengthWordWithoutAnImageOrPastTheRegionIsKeptAndNothingMoreRead) {
    const std::pair<Bytes, RegionCopy::State> words[] = {
        {Bytes(4, 0xFF), RegionCopy::State::NoImage},
        {le32Bytes({0}), RegionCopy::State::NoImage},
        {le32Bytes({kRegion - 7}), RegionCopy::State::PastRegion},
    };
    for (const auto& [word, state] : words) {
        camera.clearLog();
        camera.presetFlash(kStart + kRegion - 8, word);
        RegionCopy copy;
        EXPECT_EQ(readRegion(parts, kStart, kRegion, &copy), JobResult::Success);
        EXPECT_EQ(copy.state, state);
        EXPECT_EQ(le32Bytes({copy.lengthWord}), word);
        EXPECT_TRUE(copy.bytes.empty());
        EXPECT_EQ(requestsOf(camera, kReadData).size(), 1u);
    }
    EXPECT_TRUE(failureTexts(sink).empty());
}

// The length word is the first read, the image's blocks follow it.
TEST_F(FlashOperationsTest, AFailedReadNamesItsCauseAndLeavesNoBytes) {
    struct ReadFaultCase {
        const char* name;
        Fault fault;
        std::string text;
    };
    const ReadFaultCase cases[] = {
        {"length word rejected", {.kind = FaultKind::CanInsteadOfAck, .times = 2}, "\"Sector read failed - CRC error\""},
        {"block rejected", {.kind = FaultKind::CanInsteadOfAck, .frame = 3, .times = 2},
         "\"Sector read failed - CRC error\""},
        {"block unanswered", {.kind = FaultKind::Silence, .frame = 2, .times = 2},
         "\"Sector read failed - communication error\""},
    };
    const PackageItem item = imageItem(patternImage(10000));
    ASSERT_EQ(programRegion(parts, kStart, 0x10000, &item), JobResult::Success);
    for (ReadFaultCase row : cases) {
        SCOPED_TRACE(row.name);
        sink.take();
        row.fault.command = commandOf(kReadData);
        camera.scheduleFault(row.fault);
        RegionCopy copy;
        EXPECT_EQ(readRegion(parts, kStart, 0x10000, &copy), JobResult::Failure);
        EXPECT_EQ(failureTexts(sink), Lines{row.text});
        EXPECT_EQ(copy.state, RegionCopy::State::NotRead);
        EXPECT_TRUE(copy.bytes.empty());
    }

    // The second block comes one byte short; then a cancel after the first.
    sink.take();
    link.replyTimeouts.clear();
    link.afterExchange = [](FrameBuffer& reply, std::size_t exchange) {
        if (exchange == 3) {
            reply.setLength(static_cast<std::uint16_t>(reply.length() - 1));
        }
    };
    RegionCopy copy;
    EXPECT_EQ(readRegion(parts, kStart, 0x10000, &copy), JobResult::Failure);
    EXPECT_EQ(failureTexts(sink), Lines{"\"Read error at offset 0x10FF8\""});
    link.replyTimeouts.clear();
    link.afterExchange = [this](FrameBuffer&, std::size_t exchange) {
        if (exchange == 2) {
            cancel.set();
        }
    };
    EXPECT_EQ(readRegion(parts, kStart, 0x10000, &copy), JobResult::Failure);
    EXPECT_EQ(link.replyTimeouts.size(), 2u) << "stopped before the second block";
    EXPECT_TRUE(copy.bytes.empty());
    EXPECT_EQ(readRegion(parts, kStart, 0x10000, nullptr), JobResult::Failure);
    EXPECT_EQ(failureTexts(sink),
              (Lines{"\"Read error at offset 0x10FF8\"", "\"Can't read - internal error...\""}));
}

// The other results map one to one, as the erase failures show.
TEST(JobResultTest, ACancelIsAFailureAndOnlyFailuresAndCommunicationErrorsEndARun) {
    EXPECT_EQ(jobResultOf(LinkResult::Cancelled), JobResult::Failure);
    EXPECT_FALSE(endsJobRun(JobResult::Success) || endsJobRun(JobResult::CrcError));
    EXPECT_TRUE(endsJobRun(JobResult::Failure) && endsJobRun(JobResult::CommError));
}

}  // namespace
}  // namespace tarnwick
