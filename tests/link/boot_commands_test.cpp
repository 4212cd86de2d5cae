#include "boot_commands.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <numeric>
#include <stdexcept>
#include <string>
#include <vector>

#include "fake_frame_link.h"

namespace tarnwick {
namespace {

using ::testing::ElementsAre;
using ::testing::ElementsAreArray;

std::vector<std::uint8_t> textBytes(std::string_view text) { return {text.begin(), text.end()}; }

TEST(BootVersion, ReadsFourCharactersAfterTheMarker) {
    EXPECT_EQ(parseBootVersion("BLS v2.11 (sim)"), 211);
    EXPECT_EQ(parseBootVersion("Boot v1.5)"), 105);
    // The window holds only "10.1".
    EXPECT_EQ(parseBootVersion("Boot v10.11"), 1001);
}

TEST(BootVersion, WithoutMarkerReadsFromTheSecondCharacter) {
    EXPECT_EQ(parseBootVersion("V1.05 boot"), 105);
    EXPECT_EQ(parseBootVersion("X2.1"), 201);
}

TEST(BootVersion, NothingWhenTheNumbersCannotBeRead) {
    EXPECT_EQ(parseBootVersion(" v2.11"), std::nullopt);  // the marker opens the text
    EXPECT_EQ(parseBootVersion("Boot v2"), std::nullopt);
    EXPECT_EQ(parseBootVersion("Boot v2.x"), std::nullopt);
    EXPECT_EQ(parseBootVersion("Boot v"), std::nullopt);
    EXPECT_EQ(parseBootVersion("X-1.5"), std::nullopt);
    EXPECT_EQ(parseBootVersion(""), std::nullopt);
}

class BootCommandsTest : public ::testing::Test {
protected:
    const FakeFrameLink::Request& onlyRequest() const {
        EXPECT_EQ(link.requests.size(), 1u);
        return link.requests.front();
    }

    static void expectHeader(const FakeFrameLink::Request& request, const BootCommand& command,
                             std::uint16_t length) {
        EXPECT_EQ(request.frame.command(), command.code);
        EXPECT_EQ(request.frame.group(), static_cast<std::uint8_t>(command.group));
        EXPECT_EQ(request.frame.length(), length);
        EXPECT_EQ(request.replyTimeoutMs, command.replyTimeoutMs);
    }

    static void expectRange(const FakeFrameLink::Request& request, std::uint32_t start, std::uint32_t length) {
        EXPECT_EQ(request.frame.payload32(0), start);
        EXPECT_EQ(request.frame.payload32(4), length);
    }

    FakeFrameLink link;
    TargetInfo target;
    RecordingSink sink;
    BootCommands commands{link, target, sink};
};

TEST_F(BootCommandsTest, VersionInfoStoresTextAndNumber) {
    link.answer(textBytes(std::string("BLS v2.11 (sim)\0tail", 20)));
    EXPECT_EQ(commands.readVersionInfo(), LinkResult::Success);
    expectHeader(onlyRequest(), kReadVersionInfo, 0);
    EXPECT_EQ(target.versionText, "BLS v2.11 (sim)");
    EXPECT_EQ(target.bootVersion, 211);
    EXPECT_THAT(sink.descriptions(),
                ElementsAre("MsgProgress 4 \"Read target version information...\"", "MsgInfo 4 0x0"));
}

TEST_F(BootCommandsTest, VersionTextOpeningWithTheMarkerKeepsTheNumber) {
    target.bootVersion = 105;
    link.answer(textBytes(" v2.11"));
    EXPECT_EQ(commands.readVersionInfo(), LinkResult::Success);
    EXPECT_EQ(target.versionText, " v2.11");
    EXPECT_EQ(target.bootVersion, 105);
}

TEST_F(BootCommandsTest, FailedVersionReadKeepsTargetInfo) {
    target.versionText = "old";
    target.bootVersion = 201;
    link.fail(LinkResult::CommError);
    EXPECT_EQ(commands.readVersionInfo(), LinkResult::CommError);
    EXPECT_EQ(target.versionText, "old");
    EXPECT_EQ(target.bootVersion, 201);
    EXPECT_THAT(sink.descriptions(),
                ElementsAre("MsgProgress 4 \"Read target version information...\"", "MsgInfo 4 0x2"));
}

TEST_F(BootCommandsTest, FlashIdLooksUpEachIdByItself) {
    // No row holds Fujitsu with device 0x26, but each id is known.
    link.answer({0x26, 0x04});
    EXPECT_EQ(commands.readFlashId(), LinkResult::Success);
    expectHeader(onlyRequest(), kReadFlashId, 0);
    EXPECT_EQ(target.flash.detectedManufacturerId(), 0x04u);
    EXPECT_EQ(target.flash.detectedDeviceId(), 0x26u);
    EXPECT_THAT(sink.descriptions(),
                ElementsAre("MsgProgress 4 \"Read target FLASH identifier...\"", "MsgInfo 5 0x0"));
}

TEST_F(BootCommandsTest, UnknownFlashIdIsReportedBeforeThePlatform) {
    link.answer({0x99, 0x04});  // unknown device
    link.answer({0x53, 0x77});  // unknown manufacturer
    commands.readFlashId();
    commands.readFlashId();
    const std::vector<std::string> once{"MsgProgress 4 \"Read target FLASH identifier...\"",
                                        "MsgInfo 17 \"No FLASH memory detected...\"", "MsgInfo 5 0x0"};
    std::vector<std::string> twice = once;
    twice.insert(twice.end(), once.begin(), once.end());
    EXPECT_EQ(sink.descriptions(), twice);
}

TEST_F(BootCommandsTest, FailedFlashIdReportsOnlyTheResult) {
    target.flash.setDetected(0x04, 0x53);
    link.fail(LinkResult::CrcError);
    EXPECT_EQ(commands.readFlashId(), LinkResult::CrcError);
    EXPECT_EQ(target.flash.flashId(), 0x0453);
    EXPECT_THAT(sink.descriptions(),
                ElementsAre("MsgProgress 4 \"Read target FLASH identifier...\"", "MsgInfo 5 0x3"));
}

TEST_F(BootCommandsTest, BlankCheckNeedsStatusExactlyOne) {
    link.answer({0x01, 0x00});
    link.answer({0x01, 0x01});
    EXPECT_EQ(commands.blankCheck(0x10000, 0x20000), LinkResult::Success);
    EXPECT_TRUE(target.blank);
    expectHeader(link.requests[0], kBlankCheck, 8);
    expectRange(link.requests[0], 0x10000, 0x20000);
    EXPECT_EQ(commands.blankCheck(0x10000, 0x20000), LinkResult::Success);
    EXPECT_FALSE(target.blank);
    EXPECT_THAT(sink.descriptions(),
                ElementsAre("MsgProgress 4 \"Blank check sector...\"", "MsgInfo 6 0x1",
                            "MsgProgress 4 \"Blank check sector...\"", "MsgInfo 6 0x101"));
}

TEST_F(BootCommandsTest, FailedBlankCheckClearsTheFlag) {
    target.blank = true;
    link.fail(LinkResult::CommError);
    EXPECT_EQ(commands.blankCheck(0, 0x100), LinkResult::CommError);
    EXPECT_FALSE(target.blank);
    EXPECT_EQ(sink.descriptions().back(), "MsgInfo 6 0xFFFFFFFF");
}

TEST_F(BootCommandsTest, OneValueChecksumBeforeTwoEleven) {
    target.bootVersion = 210;
    link.answer(le32Bytes({0x1234ABCD}));
    link.answer(le32Bytes({0xA, 0xB}));
    EXPECT_EQ(commands.getSectorCrc(0x4000, 0x2000), LinkResult::Success);
    expectHeader(link.requests[0], kGetSectorCrc, 8);
    expectRange(link.requests[0], 0x4000, 0x2000);
    // Eight bytes do not fit this version: the values stay unset.
    EXPECT_EQ(commands.getSectorCrc(0x4000, 0x2000), LinkResult::Success);
    EXPECT_THAT(sink.descriptions(),
                ElementsAre("MsgProgress 4 \"Get sector CRC...\"", "MsgInfo 7 0x1234ABCD", "MsgInfo 8 0x0",
                            "MsgProgress 4 \"Get sector CRC...\"", "MsgInfo 7 0x0", "MsgInfo 8 0xFFFFFFFF"));
}

TEST_F(BootCommandsTest, TwoValueChecksumFromTwoEleven) {
    target.bootVersion = 211;
    link.answer(le32Bytes({0xA, 0xB}));
    link.answer(le32Bytes({0xA}));
    link.fail(LinkResult::CommError);
    commands.getSectorCrc(0, 0x100);
    commands.getSectorCrc(0, 0x100);
    EXPECT_EQ(commands.getSectorCrc(0, 0x100), LinkResult::CommError);
    EXPECT_THAT(sink.descriptions(),
                ElementsAre("MsgProgress 4 \"Get sector CRC...\"", "MsgInfo 7 0xB", "MsgInfo 8 0xA",
                            "MsgProgress 4 \"Get sector CRC...\"", "MsgInfo 7 0x0", "MsgInfo 8 0xFFFFFFFF",
                            "MsgProgress 4 \"Get sector CRC...\"", "MsgInfo 7 0x0", "MsgInfo 8 0xFFFFFFFF"));
}

TEST_F(BootCommandsTest, DifferingChecksumsAreReportedFirstValueFirst) {
    target.bootVersion = 211;
    link.answer(le32Bytes({0xa1, 0xb2c3}));
    EXPECT_EQ(commands.setSectorCrc(0x10000, 0x10000), LinkResult::Success);
    expectHeader(onlyRequest(), kSetSectorCrc, 8);
    EXPECT_THAT(sink.descriptions(),
                ElementsAre("MsgProgress 4 \"Set sector CRC...\"", "MsgInfo 17 \"Checksum error\n0xb2c3 <-> 0xa1\"",
                            "MsgInfo 9 0xB2C3", "MsgInfo 10 0xA1"));
}

TEST_F(BootCommandsTest, MatchingOrSingleChecksumsAreNoError) {
    target.bootVersion = 211;
    link.answer(le32Bytes({0x77, 0x77}));
    commands.setSectorCrc(0, 0x100);
    target.bootVersion = 210;
    link.answer(le32Bytes({0x55}));
    commands.setSectorCrc(0, 0x100);
    EXPECT_THAT(sink.descriptions(),
                ElementsAre("MsgProgress 4 \"Set sector CRC...\"", "MsgInfo 9 0x77", "MsgInfo 10 0x77",
                            "MsgProgress 4 \"Set sector CRC...\"", "MsgInfo 9 0x55", "MsgInfo 10 0x0"));
}

TEST_F(BootCommandsTest, EraseChipPostsOnlyItsStatus) {
    link.answer({});
    EXPECT_EQ(commands.eraseChip(0, 0x400000), LinkResult::Success);
    expectHeader(onlyRequest(), kEraseChip, 8);
    expectRange(onlyRequest(), 0, 0x400000);
    EXPECT_THAT(sink.descriptions(), ElementsAre("MsgProgress 4 \"Erase chip...\""));
}

TEST_F(BootCommandsTest, InfoBlockIsStoredUnchanged) {
    link.answer({1, 0, 2, 0, 3, 0xFF});
    EXPECT_EQ(commands.readInfoBlock(0x3F0000, 0x100), LinkResult::Success);
    expectHeader(onlyRequest(), kReadInfoBlock, 8);
    expectRange(onlyRequest(), 0x3F0000, 0x100);
    EXPECT_EQ(target.infoBlockLength, 6u);
    EXPECT_THAT(std::span(target.infoBlock).first(6), ElementsAre(1, 0, 2, 0, 3, 0xFF));
    link.fail(LinkResult::CommError);
    commands.readInfoBlock(0x3F0000, 0x100);
    EXPECT_EQ(target.infoBlockLength, 6u);
    EXPECT_THAT(sink.descriptions(), ElementsAre("MsgInfo 14 0x6", "MsgInfo 14 0xFFFFFFFF"));
}

TEST_F(BootCommandsTest, TextQuerySendsZeroEndedText) {
    link.answer(textBytes(std::string("fine\0junk", 9)));
    link.answer({});
    EXPECT_EQ(commands.textQuery(0x100, 0x20, "status"), LinkResult::Success);
    const FrameBuffer& request = link.requests[0].frame;
    expectHeader(link.requests[0], kTextQuery, 6 + 9);
    expectRange(link.requests[0], 0x100, 0x20);
    EXPECT_THAT(std::span(request.payload()).subspan(8, 7), ElementsAre('s', 't', 'a', 't', 'u', 's', 0));
    EXPECT_EQ(commands.textQuery(0x100, 0x20, "status"), LinkResult::Success);
    EXPECT_THAT(sink.descriptions(), ElementsAre("MsgInfo 16 \"fine\"", "MsgInfo 16 \"\""));
}

TEST_F(BootCommandsTest, TextQueryTooLongForTheFrameIsNotSent) {
    EXPECT_EQ(commands.textQuery(0, 0, std::string(kMaxQueryText + 1, 'x')), LinkResult::CommError);
    EXPECT_TRUE(link.requests.empty());
    EXPECT_THAT(sink.descriptions(), ElementsAre("MsgInfo 16 \"\""));

    link.answer({});
    commands.textQuery(0, 0, std::string(kMaxQueryText, 'x'));
    EXPECT_EQ(onlyRequest().frame.length(), kFramePayloadCapacity);
}

TEST_F(BootCommandsTest, CloseSessionIgnoresRepliesAndEndsTheLink) {
    link.fail(LinkResult::CommError);
    link.fail(LinkResult::CommError);
    EXPECT_EQ(commands.closeSessionFirst(), LinkResult::Success);
    EXPECT_TRUE(sink.descriptions().empty());
    EXPECT_EQ(commands.closeSessionSecond(), LinkResult::Success);
    ASSERT_EQ(link.requests.size(), 2u);
    expectHeader(link.requests[0], kCloseSessionFirst, 0);
    expectHeader(link.requests[1], kCloseSessionSecond, 0);
    EXPECT_THAT(sink.descriptions(), ElementsAre("MsgLinkState 1 0"));
}

TEST_F(BootCommandsTest, SingleFrameRequestsStartFromACleanFrame) {
    link.answer(textBytes("a long reply that fills the payload"));
    link.answer({});
    commands.textQuery(0, 0, "x");
    commands.readVersionInfo();
    const FrameBuffer& request = link.requests[1].frame;
    EXPECT_TRUE(std::ranges::all_of(request.payload(), [](std::uint8_t byte) { return byte == 0; }));
}

TEST(FrameBuilders, EraseSectorsFillsTheWholePayload) {
    FrameBuffer frame;
    std::vector<std::uint32_t> starts(kMaxSectorsPerFrame);
    std::iota(starts.begin(), starts.end(), 0u);
    buildEraseSectors(frame, starts);
    EXPECT_EQ(frame.command(), kEraseSectors.code);
    EXPECT_EQ(frame.group(), 2);
    EXPECT_EQ(frame.length(), 4096);
    EXPECT_EQ(frame.payload32(4 * 1022), 1022u);
    EXPECT_EQ(frame.payload32(4 * 1023), kSectorListEnd);

    starts.push_back(1023);
    EXPECT_THROW(buildEraseSectors(frame, starts), std::length_error);
}

TEST(FrameBuilders, WriteDataCarriesAddressCountAndData) {
    FrameBuffer frame;
    const std::vector<std::uint8_t> data{9, 8, 7};
    buildWriteData(frame, 0x20000, data);
    EXPECT_EQ(frame.command(), kWriteData.code);
    EXPECT_EQ(frame.group(), 2);
    EXPECT_EQ(frame.length(), 11);
    EXPECT_EQ(frame.payload32(0), 0x20000u);
    EXPECT_EQ(expectedWriteCount(frame), 3u);
    EXPECT_THAT(std::span(frame.payload()).subspan(8, 3), ElementsAreArray(data));

    EXPECT_NO_THROW(buildWriteData(frame, 0, std::vector<std::uint8_t>(kMaxDataPerFrame)));
    EXPECT_EQ(frame.length(), 4096);
    EXPECT_THROW(buildWriteData(frame, 0, std::vector<std::uint8_t>(kMaxDataPerFrame + 1)), std::length_error);
}

TEST(FrameBuilders, ShortWriteReplyKeepsTheRequestedCount) {
    FakeFrameLink link;
    FrameBuffer frame;
    buildWriteData(frame, 0, std::vector<std::uint8_t>(100, 0x5A));
    link.answer(le32Bytes({60}));
    link.exchange(frame, kWriteData.replyTimeoutMs);
    EXPECT_EQ(writtenCount(frame), 60u);
    EXPECT_EQ(expectedWriteCount(frame), 100u);
}

TEST(FrameBuilders, ReadDataAcceptsOnlyTheAskedLength) {
    FrameBuffer frame;
    buildReadData(frame, 0x1000, 4);
    EXPECT_EQ(frame.command(), kReadData.code);
    EXPECT_EQ(frame.length(), 8);
    EXPECT_EQ(frame.payload32(0), 0x1000u);
    EXPECT_EQ(frame.payload32(4), 4u);
    EXPECT_THROW(buildReadData(frame, 0, kMaxDataPerFrame + 1), std::length_error);

    FakeFrameLink link;
    auto reply = le32Bytes({0x1000, 4});
    reply.insert(reply.end(), {1, 2, 3, 4});
    link.answer(reply);
    auto shortReply = le32Bytes({0x1000, 4});
    shortReply.insert(shortReply.end(), {1, 2});
    link.answer(shortReply);
    link.exchange(frame, kReadData.replyTimeoutMs);
    const auto data = readDataBytes(frame, 4);
    ASSERT_TRUE(data.has_value());
    EXPECT_THAT(*data, ElementsAre(1, 2, 3, 4));
    EXPECT_FALSE(readDataBytes(frame, 3).has_value());
    link.exchange(frame, kReadData.replyTimeoutMs);
    EXPECT_FALSE(readDataBytes(frame, 4).has_value());
}

}  // namespace
}  // namespace tarnwick
