// The region operations against an in-memory target that answers like the
// boot code, so that frame layouts, timeouts, notices and stop polls can be
// checked request by request.
#include "flash_operations.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "boot_commands.h"

namespace tarnwick {
namespace {

// A target with a flash of erased bytes whose writes only clear bits.
class FakeFlashTarget final : public FrameLink {
public:
    struct Request {
        FrameBuffer frame;
        std::uint32_t replyTimeoutMs;
    };

    explicit FakeFlashTarget(std::uint32_t size) : flash(size, 0xFF) {}

    LinkResult exchange(FrameBuffer& frame, std::uint32_t replyTimeoutMs) override {
        requests.push_back({frame, replyTimeoutMs});
        if (beforeReply) {
            beforeReply(requests.size());
        }
        if (const auto failure = failures.find(requests.size()); failure != failures.end()) {
            return failure->second;
        }
        answer(frame);
        return LinkResult::Success;
    }

    // The requests of one command, in order.
    [[nodiscard]] std::vector<FrameBuffer> sent(const BootCommand& command) const {
        std::vector<FrameBuffer> frames;
        for (const Request& request : requests) {
            if (request.frame.command() == command.code &&
                request.frame.group() == static_cast<std::uint8_t>(command.group)) {
                frames.push_back(request.frame);
            }
        }
        return frames;
    }

    std::vector<std::uint8_t> flash;
    std::vector<Request> requests;
    // Exchange number (from 1) to the result it fails with.
    std::map<std::size_t, LinkResult> failures;
    // Called with the exchange number before it is answered.
    std::function<void(std::size_t)> beforeReply;
    // Sectors the erase reply reports fewer than named.
    std::uint32_t eraseShortfall = 0;
    // Read replies carry this many bytes fewer than asked for.
    std::uint32_t readShortfall = 0;

private:
    void answer(FrameBuffer& frame) {
        const std::uint32_t first = frame.payload32(0);
        const std::uint32_t second = frame.payload32(4);
        switch (frame.command()) {
        case kBlankCheck.code: {
            const bool blank = std::all_of(flash.begin() + first, flash.begin() + first + second,
                                           [](std::uint8_t byte) { return byte == 0xFF; });
            frame.setLength(2);
            frame.setPayload16(0, blank ? 0x0001 : 0x0101);
            break;
        }
        case kWriteData.code:
            for (std::uint32_t index = 0; index < second; ++index) {
                flash.at(first + index) &= frame.payload()[8 + index];
            }
            frame.setLength(8);
            frame.setPayload32(0, second);
            break;
        case kReadData.code: {
            const std::uint32_t count = second - readShortfall;
            std::copy_n(flash.begin() + first, count, frame.payload().begin() + 8);
            frame.setLength(static_cast<std::uint16_t>(count + 8));
            break;
        }
        case kEraseSectors.code: {
            std::uint32_t named = 0;
            while (frame.payload32(4 * named) != kSectorListEnd) {
                ++named;
            }
            frame.setLength(4);
            frame.setPayload32(0, named - eraseShortfall);
            break;
        }
        default:
            break;
        }
    }
};

std::vector<std::uint8_t> patternImage(std::size_t size) {
    std::vector<std::uint8_t> image(size);
    for (std::size_t index = 0; index < size; ++index) {
        image[index] = static_cast<std::uint8_t>(index * 7 + 1);
    }
    return image;
}

PackageItem itemWith(std::vector<std::uint8_t> image, std::string fileName = "main.bin") {
    PackageItem item;
    item.fileName = std::move(fileName);
    item.setData(std::move(image));
    return item;
}

std::uint32_t dataCount(const FrameBuffer& frame) { return frame.payload32(4); }

class FlashOperationsTest : public ::testing::Test {
protected:
    static constexpr std::uint32_t kStart = 0x10000;
    static constexpr std::uint32_t kRegion = 0x4000;

    FlashOperationsTest() { target.flash.setDetected(0x04, 0x5F); }

    std::vector<std::string> notices() const { return sink.descriptions(); }
    std::vector<std::string> failures() const {
        std::vector<std::string> texts;
        for (const std::string& line : sink.descriptions()) {
            if (line.starts_with("MsgInfo 17 ")) {
                texts.push_back(line.substr(11));
            }
        }
        return texts;
    }

    FakeFlashTarget camera{0x400000};
    TargetInfo target;
    RecordingSink sink;
    Event quit{Event::Reset::Manual};
    Event cancel{Event::Reset::Auto};
    FlashParts parts{camera, target, sink, quit, cancel};
};

TEST_F(FlashOperationsTest, FiveByteImageGoesAsOneEvenBlockAndTheLengthWordNearTheEnd) {
    const PackageItem item = itemWith({1, 2, 3, 4, 5}, "/images/uc_main.bin");
    EXPECT_EQ(programRegion(parts, kStart, kRegion, &item), JobResult::Success);

    ASSERT_EQ(camera.requests.size(), 3u);
    EXPECT_EQ(camera.requests[0].frame.command(), kBlankCheck.code);
    EXPECT_EQ(camera.requests[0].replyTimeoutMs, 2000u);
    const FrameBuffer& block = camera.requests[1].frame;
    EXPECT_EQ(block.payload32(0), kStart);
    EXPECT_EQ(dataCount(block), 6u);
    EXPECT_EQ(block.length(), 14u);
    // The pad byte of the odd image is an erased byte.
    EXPECT_EQ(block.payload()[8 + 5], 0xFF);
    EXPECT_EQ(camera.requests[1].replyTimeoutMs, 10000u);
    const FrameBuffer& word = camera.requests[2].frame;
    EXPECT_EQ(word.payload32(0), kStart + 0x3FF8);
    EXPECT_EQ(dataCount(word), 4u);
    EXPECT_EQ(word.payload32(8), 6u);
    EXPECT_EQ(camera.requests[2].replyTimeoutMs, 2000u);

    EXPECT_EQ(notices(), (std::vector<std::string>{
                             "MsgProgress 4 \"Write <uc_main.bin> to 0x00010000\"",
                             "MsgProgress 6 0x0",
                             "MsgProgress 7 0x0",
                             "MsgProgress 8 0x0",
                             "MsgProgress 7 0x0",
                             "MsgInfo 11 0x1",
                         }));
    EXPECT_TRUE(target.blank);
}

TEST_F(FlashOperationsTest, ErasedBlocksAreSkippedButStepTheBar) {
    std::vector<std::uint8_t> image = patternImage(3 * 4088);
    std::fill_n(image.begin() + 4088, 4088, 0xFF);
    const PackageItem item = itemWith(std::move(image));
    EXPECT_EQ(programRegion(parts, kStart, 0x10000, &item), JobResult::Success);

    const auto blocks = camera.sent(kWriteData);
    ASSERT_EQ(blocks.size(), 3u);
    EXPECT_EQ(blocks[0].payload32(0), kStart);
    EXPECT_EQ(blocks[1].payload32(0), kStart + 2 * 4088);
    const auto lines = notices();
    EXPECT_EQ(std::count(lines.begin(), lines.end(), "MsgProgress 8 0x0"), 3);
}

TEST_F(FlashOperationsTest, CancelStopsBeforeTheNextBlockWithoutLengthWordOrText) {
    const PackageItem item = itemWith(patternImage(10000));
    camera.beforeReply = [this](std::size_t exchange) {
        if (exchange == 2) {
            cancel.set();
        }
    };
    EXPECT_EQ(programRegion(parts, kStart, 0x10000, &item), JobResult::Failure);

    EXPECT_EQ(camera.sent(kWriteData).size(), 1u);
    EXPECT_TRUE(failures().empty());
    EXPECT_EQ(notices().back(), "MsgInfo 11 0x1");
    EXPECT_FALSE(cancel.isSet()) << "the poll consumes the cancel";
}

TEST_F(FlashOperationsTest, QuitIsLookedAtFirstAndLeavesACancelPending) {
    const PackageItem item = itemWith(patternImage(100));
    quit.set();
    cancel.set();
    EXPECT_EQ(programRegion(parts, kStart, kRegion, &item), JobResult::Failure);
    EXPECT_TRUE(camera.sent(kWriteData).empty());
    EXPECT_TRUE(cancel.isSet());
}

TEST_F(FlashOperationsTest, WriteFailuresNameTheirCauseAndEndThePass) {
    const PackageItem item = itemWith(patternImage(10000));
    camera.failures = {{3, LinkResult::CrcError}};
    EXPECT_EQ(programRegion(parts, kStart, 0x10000, &item), JobResult::Failure);
    EXPECT_EQ(failures(), std::vector<std::string>{"\"Sector write failed - CRC error\""});
    EXPECT_EQ(camera.sent(kWriteData).size(), 2u) << "nothing after the failed block, no length word";

    sink.take();
    camera.requests.clear();
    camera.flash.assign(camera.flash.size(), 0xFF);
    camera.failures = {{2, LinkResult::Cancelled}};
    EXPECT_EQ(programRegion(parts, kStart, 0x10000, &item), JobResult::Failure);
    EXPECT_EQ(failures(), std::vector<std::string>{"\"Sector write failed - communication error\""});
}

TEST_F(FlashOperationsTest, AFailedLengthWordIsReportedButThePassCounts) {
    const PackageItem item = itemWith(patternImage(10));
    camera.failures = {{3, LinkResult::CommError}};
    EXPECT_EQ(programRegion(parts, kStart, kRegion, &item), JobResult::Success);
    EXPECT_EQ(failures(), std::vector<std::string>{"\"Update length info failed - communication error\""});
}

TEST_F(FlashOperationsTest, ProgrammingNeedsAnImageAndABlankRegion) {
    const PackageItem empty = itemWith({});
    EXPECT_EQ(programRegion(parts, kStart, kRegion, nullptr), JobResult::Failure);
    EXPECT_EQ(programRegion(parts, kStart, kRegion, &empty), JobResult::Failure);
    EXPECT_TRUE(camera.requests.empty());
    EXPECT_EQ(notices(), (std::vector<std::string>{
                             "MsgInfo 11 0x0",
                             "MsgInfo 17 \"Can't program - internal error...\"",
                             "MsgInfo 11 0x0",
                             "MsgInfo 17 \"Can't program - internal error...\"",
                         }));

    sink.take();
    const PackageItem item = itemWith(patternImage(10));
    camera.failures = {{1, LinkResult::CommError}};
    EXPECT_EQ(programRegion(parts, kStart, kRegion, &item), JobResult::Failure);
    EXPECT_EQ(notices(), (std::vector<std::string>{"MsgInfo 11 0x0", "MsgInfo 17 \"Sector not erased...\""}));
    EXPECT_FALSE(target.blank);
}

TEST_F(FlashOperationsTest, VerifyReadsTheImageLengthNotTheEvenOne) {
    const PackageItem item = itemWith(patternImage(9), "C:\\images\\fpga.rbf");
    ASSERT_EQ(programRegion(parts, kStart, kRegion, &item), JobResult::Success);
    sink.take();
    camera.requests.clear();

    EXPECT_EQ(verifyRegion(parts, kStart, kRegion, &item), JobResult::Success);
    const auto reads = camera.sent(kReadData);
    ASSERT_EQ(reads.size(), 1u);
    EXPECT_EQ(reads[0].payload32(4), 9u);
    EXPECT_EQ(notices(), (std::vector<std::string>{
                             "MsgProgress 4 \"Verify <fpga.rbf> to 0x00010000\"",
                             "MsgProgress 6 0x0",
                             "MsgProgress 7 0x0",
                             "MsgProgress 8 0x0",
                             "MsgProgress 7 0x0",
                             "MsgInfo 12 0x1",
                         }));
    EXPECT_FALSE(target.blank);
}

TEST_F(FlashOperationsTest, VerifyRefusesAShortReplyAndABlankRegion) {
    const PackageItem item = itemWith(patternImage(100));
    EXPECT_EQ(verifyRegion(parts, kStart, kRegion, &item), JobResult::Failure);
    EXPECT_EQ(failures(), std::vector<std::string>{"\"Sector is blank...\""});
    EXPECT_TRUE(target.blank);

    ASSERT_EQ(programRegion(parts, kStart, kRegion, &item), JobResult::Success);
    sink.take();
    camera.readShortfall = 1;
    EXPECT_EQ(verifyRegion(parts, kStart, kRegion, &item), JobResult::Failure);
    EXPECT_EQ(failures(), std::vector<std::string>{"\"Read error at offset 0x10000\""});

    sink.take();
    camera.readShortfall = 0;
    camera.failures = {{camera.requests.size() + 2, LinkResult::CrcError}};
    EXPECT_EQ(verifyRegion(parts, kStart, kRegion, &item), JobResult::Failure);
    EXPECT_EQ(failures(), std::vector<std::string>{"\"Sector read failed - CRC error\""});

    sink.take();
    EXPECT_EQ(verifyRegion(parts, kStart, kRegion, nullptr), JobResult::Failure);
    EXPECT_EQ(notices(),
              (std::vector<std::string>{"MsgInfo 12 0x0", "MsgInfo 17 \"Can't verify - internal error...\""}));
}

TEST_F(FlashOperationsTest, EraseNamesTheSectorStartsOfTheRegion) {
    EXPECT_EQ(eraseRegion(parts, 0x10000, 0x40000), JobResult::Success);
    ASSERT_EQ(camera.requests.size(), 1u);
    const FrameBuffer& frame = camera.requests[0].frame;
    EXPECT_EQ(frame.length(), 4u * 4 + 4);
    EXPECT_EQ(frame.payload32(0), 0x10000u);
    EXPECT_EQ(frame.payload32(12), 0x40000u);
    EXPECT_EQ(frame.payload32(16), kSectorListEnd);
    EXPECT_EQ(camera.requests[0].replyTimeoutMs, 2000u);
    EXPECT_EQ(notices(), std::vector<std::string>{"MsgProgress 4 \"Erase sector...\""});
}

TEST_F(FlashOperationsTest, EraseFailuresKeepTheExchangeResult) {
    camera.failures = {{1, LinkResult::CrcError}};
    EXPECT_EQ(eraseRegion(parts, 0x10000, 0x40000), JobResult::CrcError);
    camera.failures = {{2, LinkResult::CommError}};
    EXPECT_EQ(eraseRegion(parts, 0x10000, 0x40000), JobResult::CommError);
    camera.failures.clear();
    camera.eraseShortfall = 1;
    EXPECT_EQ(eraseRegion(parts, 0x10000, 0x40000), JobResult::Failure);
    EXPECT_EQ(failures(), (std::vector<std::string>{
                              "\"Sector erase failed - CRC error\"",
                              "\"Sector erase failed - communication error\"",
                              "\"Sector erase failed (3 of 4)\"",
                          }));
}

TEST_F(FlashOperationsTest, EraseWithNothingToEraseFailsAndAStoppedEraseSucceeds) {
    target.flash.setDetected(0x1F, 0x26);
    EXPECT_EQ(eraseRegion(parts, 0, 0x10000), JobResult::Failure);
    EXPECT_EQ(notices(), (std::vector<std::string>{
                             "MsgProgress 4 \"Erase sector...\"",
                             "MsgInfo 15 0x0",
                             "MsgInfo 17 \"Nothing to erase...\"",
                         }));

    target.flash.setDetected(0x04, 0x5F);
    cancel.set();
    EXPECT_EQ(eraseRegion(parts, 0x10000, 0x40000), JobResult::Success);
    EXPECT_TRUE(camera.requests.empty());
    EXPECT_FALSE(cancel.isSet());
}

TEST(JobResultTest, OnlyFailuresAndCommunicationErrorsEndARun) {
    EXPECT_EQ(jobResultOf(LinkResult::Success), JobResult::Success);
    EXPECT_EQ(jobResultOf(LinkResult::Cancelled), JobResult::Failure);
    EXPECT_EQ(jobResultOf(LinkResult::CommError), JobResult::CommError);
    EXPECT_EQ(jobResultOf(LinkResult::CrcError), JobResult::CrcError);
    EXPECT_FALSE(endsJobRun(JobResult::Success));
    EXPECT_TRUE(endsJobRun(JobResult::Failure));
    EXPECT_TRUE(endsJobRun(JobResult::CommError));
    EXPECT_FALSE(endsJobRun(JobResult::CrcError));
}

}  // namespace
}  // namespace tarnwick
