// The region operations over the real transport against the simulated
// camera: what ends up in its flash, and the failures its faults provoke.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <string>
#include <vector>

#include "boot_commands.h"
#include "camera_fixture.h"
#include "flash_operations.h"
#include "frame_link.h"

namespace tarnwick {
namespace {

using namespace std::chrono_literals;

// Keeps a silent camera from holding a test for the full reply timeouts; the
// timeouts themselves are checked against an in-memory target.
class ShortReplyLink final : public FrameLink {
public:
    ShortReplyLink(FrameLink& link, std::uint32_t longestReplyMs) : link_(link), longestReplyMs_(longestReplyMs) {}

    LinkResult exchange(FrameBuffer& frame, std::uint32_t replyTimeoutMs) override {
        return link_.exchange(frame, std::min(replyTimeoutMs, longestReplyMs_));
    }

private:
    FrameLink& link_;
    std::uint32_t longestReplyMs_;
};

FrameTimings quickFrames() {
    FrameTimings timings;
    timings.failurePause = 5ms;
    return timings;
}

PackageItem itemWith(std::vector<std::uint8_t> image) {
    PackageItem item;
    item.fileName = "uc.bin";
    item.setData(std::move(image));
    return item;
}

std::vector<std::uint8_t> le32(std::uint32_t value) {
    return {static_cast<std::uint8_t>(value), static_cast<std::uint8_t>(value >> 8),
            static_cast<std::uint8_t>(value >> 16), static_cast<std::uint8_t>(value >> 24)};
}

class CameraProgrammingTest : public CameraTest {
protected:
    static constexpr std::uint32_t kStart = 0x10000;
    static constexpr std::uint32_t kRegion = 0x4000;

    CameraProgrammingTest() { target.flash.setDetected(0x04, 0x5F); }

    std::size_t steps() const {
        const auto lines = sink.descriptions();
        return static_cast<std::size_t>(std::count(lines.begin(), lines.end(), "MsgProgress 8 0x0"));
    }

    Event quit{Event::Reset::Manual};
    Event cancel{Event::Reset::Auto};
    TargetInfo target;
    SerialFrameLink serial{port, quit, quickFrames()};
    ShortReplyLink link{serial, 300};
    FlashParts parts{link, target, sink, quit, cancel};
};

TEST_F(CameraProgrammingTest, FiveByteImageAndItsLengthWordLandInTheFlash) {
    const PackageItem item = itemWith({1, 2, 3, 4, 5});
    EXPECT_EQ(programRegion(parts, kStart, kRegion, &item), JobResult::Success);

    EXPECT_EQ(camera.flash(kStart, 7), (std::vector<std::uint8_t>{1, 2, 3, 4, 5, 0xFF, 0xFF}));
    EXPECT_EQ(camera.flash(kStart + 0x3FF8, 4), le32(6));
    const auto writes = requestsOf(camera, kWriteData);
    ASSERT_EQ(writes.size(), 2u);
    EXPECT_EQ(requestWord(writes[0], 4), 6u);
    EXPECT_EQ(requestWord(writes[1], 0), kStart + 0x3FF8);
}

TEST_F(CameraProgrammingTest, AnErasedImageSendsNoBlockButStepsAndWritesItsLength) {
    const PackageItem item = itemWith(std::vector<std::uint8_t>(0x1000, 0xFF));
    EXPECT_EQ(programRegion(parts, kStart, kRegion, &item), JobResult::Success);

    const auto writes = requestsOf(camera, kWriteData);
    ASSERT_EQ(writes.size(), 1u);
    EXPECT_EQ(requestWord(writes[0], 0), kStart + 0x3FF8);
    EXPECT_EQ(camera.flash(kStart + 0x3FF8, 4), le32(0x1000));
    EXPECT_EQ(steps(), 2u) << "4096 bytes are a block of 4088 and one of 8";
}

TEST_F(CameraProgrammingTest, AnImageLongerThanItsRegionWritesOnlyTheRegion) {
    const PackageItem item = itemWith(patternImage(0x5001));
    EXPECT_EQ(programRegion(parts, kStart, kRegion, &item), JobResult::Success);

    const auto beyond = camera.flash(kStart + kRegion, 0x2000);
    EXPECT_TRUE(std::ranges::all_of(beyond, [](std::uint8_t byte) { return byte == 0xFF; }));
    const auto image = camera.flash(kStart, kRegion - 8);
    EXPECT_TRUE(std::equal(image.begin(), image.end(), item.data().begin()));
    const auto writes = requestsOf(camera, kWriteData);
    EXPECT_EQ(requestWord(writes.back(), 8), 0x5002u) << "the image's even length, not the region's";

    sink.take();
    EXPECT_EQ(verifyRegion(parts, kStart, kRegion, &item), JobResult::Failure)
        << "the length word lies inside the image";
    const auto reads = requestsOf(camera, kReadData);
    std::uint32_t asked = 0;
    for (const ObservedRequest& read : reads) {
        asked += requestWord(read, 4);
    }
    EXPECT_EQ(asked, kRegion);
}

TEST_F(CameraProgrammingTest, TenThousandBytesGoInThreeBlocks) {
    const PackageItem item = itemWith(patternImage(10000));
    EXPECT_EQ(programRegion(parts, kStart, 0x10000, &item), JobResult::Success);

    const auto writes = requestsOf(camera, kWriteData);
    ASSERT_EQ(writes.size(), 4u);
    EXPECT_EQ(requestWord(writes[0], 4), 4088u);
    EXPECT_EQ(requestWord(writes[1], 4), 4088u);
    EXPECT_EQ(requestWord(writes[2], 4), 1824u);
    const auto lines = sink.descriptions();
    EXPECT_NE(std::find(lines.begin(), lines.end(), "MsgProgress 6 0x20000"), lines.end());
    EXPECT_EQ(steps(), 3u);
    EXPECT_EQ(camera.flash(kStart, 10000), std::vector<std::uint8_t>(item.data().begin(), item.data().end()));
}

TEST_F(CameraProgrammingTest, ANineByteImageIsVerifiedOverNineBytes) {
    const PackageItem item = itemWith(patternImage(9));
    ASSERT_EQ(programRegion(parts, kStart, kRegion, &item), JobResult::Success);
    EXPECT_EQ(verifyRegion(parts, kStart, kRegion, &item), JobResult::Success);

    const auto reads = requestsOf(camera, kReadData);
    ASSERT_EQ(reads.size(), 1u);
    EXPECT_EQ(requestWord(reads[0], 4), 9u);
    EXPECT_TRUE(failureTexts(sink).empty());
}

TEST_F(CameraProgrammingTest, ACompareDifferenceNamesTheBlockAddress) {
    const PackageItem item = itemWith(patternImage(10000));
    ASSERT_EQ(programRegion(parts, kStart, 0x10000, &item), JobResult::Success);
    const std::uint8_t changed = static_cast<std::uint8_t>(item.data()[5000] ^ 0x10);
    camera.presetFlash(kStart + 5000, std::vector<std::uint8_t>{changed});

    EXPECT_EQ(verifyRegion(parts, kStart, 0x10000, &item), JobResult::Failure);
    EXPECT_EQ(failureTexts(sink), std::vector<std::string>{"\"Compare error at offset 0x10FF8\""});
}

TEST_F(CameraProgrammingTest, NothingToEraseOnAChipWithoutSectorMap) {
    target.flash.setDetected(0x1F, 0x26);
    EXPECT_EQ(eraseRegion(parts, 0, 0x10000), JobResult::Failure);
    EXPECT_EQ(failureTexts(sink), std::vector<std::string>{"\"Nothing to erase...\""});
    EXPECT_EQ(camera.counters().requests, 0u);
}

TEST_F(CameraProgrammingTest, EraseReportsSectorsErasedOfSectorsNamed) {
    camera.scheduleFault({.kind = FaultKind::EraseFewer, .command = commandOf(kEraseSectors), .amount = 1});
    EXPECT_EQ(eraseRegion(parts, 0x10000, 0x40000), JobResult::Failure);
    EXPECT_EQ(failureTexts(sink), std::vector<std::string>{"\"Sector erase failed (3 of 4)\""});
}

TEST_F(CameraProgrammingTest, EraseThenProgramAnUnerasedRegion) {
    camera.presetFlash(kStart + 0x100, std::vector<std::uint8_t>{0x00});
    const PackageItem item = itemWith(patternImage(100));
    EXPECT_EQ(programRegion(parts, kStart, kRegion, &item), JobResult::Failure);
    EXPECT_EQ(failureTexts(sink), std::vector<std::string>{"\"Sector not erased...\""});
    EXPECT_TRUE(requestsOf(camera, kWriteData).empty());

    sink.take();
    ASSERT_EQ(eraseRegion(parts, kStart, kRegion), JobResult::Success);
    EXPECT_EQ(programRegion(parts, kStart, kRegion, &item), JobResult::Success);
    EXPECT_TRUE(failureTexts(sink).empty());
}

TEST_F(CameraProgrammingTest, ACameraThatWritesFewerBytesTimesOut) {
    camera.scheduleFault({.kind = FaultKind::WriteFewer, .command = commandOf(kWriteData), .frame = 2, .amount = 100});
    const PackageItem item = itemWith(patternImage(10000));
    EXPECT_EQ(programRegion(parts, kStart, 0x10000, &item), JobResult::Failure);
    EXPECT_EQ(failureTexts(sink), std::vector<std::string>{"\"Timeout after 8076 bytes written\""});
    EXPECT_EQ(requestsOf(camera, kWriteData).size(), 2u);
}

TEST_F(CameraProgrammingTest, RejectedAndUnansweredWritesHaveTheirOwnTexts) {
    const PackageItem item = itemWith(patternImage(100));
    camera.scheduleFault({.kind = FaultKind::CanInsteadOfAck, .command = commandOf(kWriteData), .times = 2});
    EXPECT_EQ(programRegion(parts, kStart, kRegion, &item), JobResult::Failure);

    camera.scheduleFault({.kind = FaultKind::Silence, .command = commandOf(kWriteData), .times = 2});
    EXPECT_EQ(programRegion(parts, kStart + kRegion, kRegion, &item), JobResult::Failure);

    EXPECT_EQ(failureTexts(sink), (std::vector<std::string>{"\"Sector write failed - CRC error\"",
                                                            "\"Sector write failed - communication error\""}));
}

}  // namespace
}  // namespace tarnwick
