// SPDX-License-Identifier: GPL-2.0-or-later
#include "boot_commands.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <functional>
#include <numeric>
#include <stdexcept>
#include <tuple>

#include "fake_frame_link.h"

namespace tarnwick {
namespace {

using ::testing::ElementsAre;
using Bytes = std::vector<std::uint8_t>;

Bytes textBytes(std::string_view text) { return {text.begin(), text.end()}; }

TEST(BootVersion, ReadsTheFourCharactersAfterTheMarkerOrFromTheSecond) {
    const std::pair<std::string_view, std::optional<std::uint16_t>> cases[] = {
        {"BLS v2.11 (sim)", 211}, {"Boot v1.5)", 105}, {"Boot v10.11", 1001},  // the window holds "10.1"
        {"V1.05 boot", 105},      {"X2.1", 201},       {" v2.11", std::nullopt},  // the marker opens it
        {"Boot v2", std::nullopt}, {"Boot v2.x", std::nullopt}, {"Boot v", std::nullopt},
        {"X-1.5", std::nullopt},   {"", std::nullopt},
    };
    for (const auto& [text, expected] : cases) {
        EXPECT_EQ(parseBootVersion(text), expected) << '"' << text << '"';
    }
}

// A scripted exchange that fails.
constexpr std::nullopt_t kNoReply = std::nullopt;

class BootCommandsTest : public ::testing::Test {
protected:
    FakeFrameLink link;
    TargetInfo target;
    RecordingSink sink;
    BootCommands commands{link, target, sink};
};

constexpr std::uint32_t kStart = 0x3F0000;
constexpr std::uint32_t kLength = 0x2000;
const std::string kVersionStep = "MsgProgress 4 \"Read target version information...\"";
const std::string kFlashIdStep = "MsgProgress 4 \"Read target FLASH identifier...\"";
const std::string kNoFlash = "MsgInfo 17 \"No FLASH memory detected...\"";
const std::string kBlankStep = "MsgProgress 4 \"Blank check sector...\"";
const std::string kGetCrcStep = "MsgProgress 4 \"Get sector CRC...\"";
const std::string kSetCrcStep = "MsgProgress 4 \"Set sector CRC...\"";

// A command run once per reply: the request it sends each time (a
// request of 8 bytes or more starts with kStart and kLength) and all the
// notices it posts.
struct CommandCase {
    const char* name;
    std::uint16_t bootVersion;
    std::function<LinkResult(BootCommands&)> run;
    BootCommand command;
    std::uint16_t requestLength;
    std::vector<std::optional<Bytes>> replies;
    std::vector<std::string> notices;
};

LinkResult blankCheck(BootCommands& commands) { return commands.blankCheck(kStart, kLength); }
LinkResult getSectorCrc(BootCommands& commands) { return commands.getSectorCrc(kStart, kLength); }
LinkResult setSectorCrc(BootCommands& commands) { return commands.setSectorCrc(kStart, kLength); }

const CommandCase kCommandCases[] = {
    {"ReadVersionInfo", 0, &BootCommands::readVersionInfo, kReadVersionInfo, 0, {textBytes("BLS v2.11"), kNoReply},
     {kVersionStep, "MsgInfo 4 0x0", kVersionStep, "MsgInfo 4 0x2"}},
    // No row holds Fujitsu with device 0x26, but each id is known by itself.
    {"ReadFlashIdReportsAnUnknownIdBeforeThePlatform", 0, &BootCommands::readFlashId, kReadFlashId, 0,
     {Bytes{0x26, 0x04}, Bytes{0x99, 0x04}, Bytes{0x53, 0x77}, kNoReply},
     {kFlashIdStep, "MsgInfo 5 0x0", kFlashIdStep, kNoFlash, "MsgInfo 5 0x0", kFlashIdStep, kNoFlash,
      "MsgInfo 5 0x0", kFlashIdStep, "MsgInfo 5 0x2"}},
    {"BlankCheckNeedsStatusExactlyOne", 0, blankCheck, kBlankCheck, 8, {Bytes{0x01, 0x00}, Bytes{0x01, 0x01}, kNoReply},
     {kBlankStep, "MsgInfo 6 0x1", kBlankStep, "MsgInfo 6 0x101", kBlankStep, "MsgInfo 6 0xFFFFFFFF"}},
    // Eight bytes do not fit this version: the values stay unset.
    {"GetSectorCrcTakesOneValueBeforeTwoEleven", 210, getSectorCrc, kGetSectorCrc, 8,
     {le32Bytes({0x1234ABCD}), le32Bytes({0xA, 0xB})},
     {kGetCrcStep, "MsgInfo 7 0x1234ABCD", "MsgInfo 8 0x0", kGetCrcStep, "MsgInfo 7 0x0", "MsgInfo 8 0xFFFFFFFF"}},
    {"GetSectorCrcTakesTwoValuesFromTwoEleven", 211, getSectorCrc, kGetSectorCrc, 8,
     {le32Bytes({0xA, 0xB}), le32Bytes({0xA}), kNoReply},
     {kGetCrcStep, "MsgInfo 7 0xB", "MsgInfo 8 0xA", kGetCrcStep, "MsgInfo 7 0x0", "MsgInfo 8 0xFFFFFFFF",
      kGetCrcStep, "MsgInfo 7 0x0", "MsgInfo 8 0xFFFFFFFF"}},
    {"SetSectorCrcReportsDifferingValuesFirstValueFirst", 211, setSectorCrc, kSetSectorCrc, 8,
     {le32Bytes({0xa1, 0xb2c3}), le32Bytes({0x77, 0x77})},
     {kSetCrcStep, "MsgInfo 17 \"Checksum error\n0xb2c3 <-> 0xa1\"", "MsgInfo 9 0xB2C3", "MsgInfo 10 0xA1",
      kSetCrcStep, "MsgInfo 9 0x77", "MsgInfo 10 0x77"}},
    {"SetSectorCrcOfOneValueIsNoError", 210, setSectorCrc, kSetSectorCrc, 8, {le32Bytes({0x55})},
     {kSetCrcStep, "MsgInfo 9 0x55", "MsgInfo 10 0x0"}},
    {"EraseChipPostsOnlyItsStatus", 0, [](BootCommands& commands) { return commands.eraseChip(kStart, kLength); },
     kEraseChip, 8, {Bytes{}}, {"MsgProgress 4 \"Erase chip...\""}},
    {"ReadInfoBlockPostsTheLength", 0,
     [](BootCommands& commands) { return commands.readInfoBlock(kStart, kLength); }, kReadInfoBlock, 8,
     {Bytes{1, 0, 2, 0, 3, 0xFF}, kNoReply}, {"MsgInfo 14 0x6", "MsgInfo 14 0xFFFFFFFF"}},
    {"TextQueryPostsTheAnswerUpToItsZero", 0,
     [](BootCommands& commands) { return commands.textQuery(kStart, kLength, "status"); }, kTextQuery, 8 + 7,
     {textBytes(std::string("fine\0junk", 9)), Bytes{}}, {"MsgInfo 16 \"fine\"", "MsgInfo 16 \"\""}},
};

TEST(BootCommandCases, SendEachRequestAndPostTheirNotices) {
    for (const CommandCase& row : kCommandCases) {
        SCOPED_TRACE(row.name);
        FakeFrameLink link;
        TargetInfo target;
        target.bootVersion = row.bootVersion;
        RecordingSink sink;
        BootCommands commands{link, target, sink};
        for (const std::optional<Bytes>& reply : row.replies) {
            reply ? link.answer(*reply) : link.fail(LinkResult::CommError);
            EXPECT_EQ(row.run(commands), reply ? LinkResult::Success : LinkResult::CommError);
        }
        ASSERT_EQ(link.requests.size(), row.replies.size());
        for (const auto& [frame, replyTimeoutMs] : link.requests) {
            EXPECT_EQ(std::tuple(frame.command(), frame.group(), frame.length(), replyTimeoutMs),
                      std::tuple(row.command.code, static_cast<std::uint8_t>(row.command.group), row.requestLength,
                                 row.command.replyTimeoutMs));
            if (row.requestLength >= 8) {
                EXPECT_EQ(std::pair(frame.payload32(0), frame.payload32(4)), std::pair(kStart, kLength));
            }
        }
        EXPECT_EQ(sink.descriptions(), row.notices);
    }
}

TEST_F(BootCommandsTest, RepliesAreStoredAndFailuresChangeOnlyTheBlankFlag) {
    link.answer(textBytes(std::string("BLS v2.11 (sim)\0tail", 20)));
    link.answer(textBytes(" v2.11"));  // no number in it: the last one stays
    link.answer({0x26, 0x04});
    link.answer({0x01, 0x00});
    link.answer({1, 0, 2, 0, 3, 0xFF});
    commands.readVersionInfo();
    EXPECT_EQ(target.versionText, "BLS v2.11 (sim)");
    for (const bool blank : {true, false}) {  // the second time round, every exchange fails
        commands.readVersionInfo();
        commands.readFlashId();
        commands.blankCheck(0, 0x100);
        commands.readInfoBlock(0, 0x100);
        EXPECT_EQ(target.blank, blank);
        EXPECT_EQ(target.versionText, " v2.11");
        EXPECT_EQ(target.bootVersion, 211);
        EXPECT_EQ(target.flash.flashId(), 0x0426u);
        ASSERT_EQ(target.infoBlockLength, 6u);
        EXPECT_THAT(std::span(target.infoBlock).first(6), ElementsAre(1, 0, 2, 0, 3, 0xFF));
    }
}

TEST_F(BootCommandsTest, TextQuerySendsZeroEndedTextThatFitsTheFrame) {
    link.answer({});
    link.answer({});
    commands.textQuery(0, 0, "status");
    EXPECT_THAT(std::span(link.requests[0].frame.payload()).subspan(8, 7),
                ElementsAre('s', 't', 'a', 't', 'u', 's', 0));
    commands.textQuery(0, 0, std::string(kMaxQueryText, 'x'));
    EXPECT_EQ(link.requests[1].frame.length(), kFramePayloadCapacity);

    sink.take();
    EXPECT_EQ(commands.textQuery(0, 0, std::string(kMaxQueryText + 1, 'x')), LinkResult::CommError);
    EXPECT_EQ(link.requests.size(), 2u);
    EXPECT_THAT(sink.descriptions(), ElementsAre("MsgInfo 16 \"\""));
}

TEST_F(BootCommandsTest, SingleFrameRequestsStartFromACleanFrame) {
    link.answer(textBytes("a long reply that fills the payload"));
    link.answer({});
    commands.textQuery(0, 0, "x");
    commands.readVersionInfo();
    EXPECT_TRUE(std::ranges::all_of(link.requests[1].frame.payload(), [](std::uint8_t byte) { return byte == 0; }));
}

TEST(FrameBuilders, EraseSectorsEndsTheListAndRefusesMoreThanAFrameHolds) {
    FrameBuffer frame;
    std::vector<std::uint32_t> starts(kMaxSectorsPerFrame);
    std::iota(starts.begin(), starts.end(), 0u);
    buildEraseSectors(frame, starts);
    EXPECT_EQ(frame.length(), 4096);
    EXPECT_EQ(frame.payload32(4 * 1022), 1022u);
    EXPECT_EQ(frame.payload32(4 * 1023), kSectorListEnd);
    starts.push_back(1023);
    EXPECT_THROW(buildEraseSectors(frame, starts), std::length_error);
}

// The counts of a short write and the data of a short read are the region
// operations' to judge.
TEST(FrameBuilders, DataFramesHoldAFrameAndAReadReplyMustCarryTheAskedCount) {
    FrameBuffer frame;
    EXPECT_NO_THROW(buildWriteData(frame, 0, Bytes(kMaxDataPerFrame)));
    EXPECT_EQ(frame.length(), 4096);
    EXPECT_THROW(buildWriteData(frame, 0, Bytes(kMaxDataPerFrame + 1)), std::length_error);
    EXPECT_THROW(buildReadData(frame, 0, kMaxDataPerFrame + 1), std::length_error);

    FakeFrameLink link;
    link.answer(le32Bytes({0x1000, 4, 0x04030201}));
    buildReadData(frame, 0x1000, 4);
    link.exchange(frame, kReadData.replyTimeoutMs);
    EXPECT_TRUE(readDataBytes(frame, 4).has_value());
    EXPECT_FALSE(readDataBytes(frame, 3).has_value());
}

}  // namespace
}  // namespace tarnwick
