#include "notices.h"

#include <gtest/gtest.h>

#include <thread>

namespace tarnwick {
namespace {

using namespace std::chrono_literals;

TEST(MessageNumbers, FollowTheApplicationBase) {
    EXPECT_EQ(static_cast<std::uint32_t>(Message::MsgInfo), 0x8001u);
    EXPECT_EQ(static_cast<std::uint32_t>(Message::MsgProgress), 0x8002u);
    EXPECT_EQ(static_cast<std::uint32_t>(Message::MsgJobsDone), 0x8003u);
    EXPECT_EQ(static_cast<std::uint32_t>(Message::MsgCancel), 0x8004u);
    EXPECT_EQ(static_cast<std::uint32_t>(Message::MsgLinkState), 0x8005u);
}

class Posting : public ::testing::Test {
protected:
    RecordingSink sink;
};

TEST_F(Posting, InfoAndProgressCarryTheirNotice) {
    postInfo(sink, InfoCode::Checksum1, 0xDEADBEEF);
    postProgress(sink, ProgressCode::Status, "Erase chip...");
    auto messages = sink.take();
    ASSERT_EQ(messages.size(), 2u);
    EXPECT_EQ(messages[0].message, Message::MsgInfo);
    EXPECT_EQ(messages[0].code, 7u);
    ASSERT_NE(messages[0].notice, nullptr);
    EXPECT_FALSE(messages[0].notice->holdsText());
    EXPECT_EQ(messages[0].notice->number(), 0xDEADBEEFu);
    EXPECT_EQ(messages[1].message, Message::MsgProgress);
    EXPECT_EQ(messages[1].code, 4u);
    EXPECT_EQ(noticeText(messages[1].notice.get()), "Erase chip...");
    EXPECT_TRUE(sink.take().empty());
}

TEST_F(Posting, MessagesWithoutNoticeCarryTheirValues) {
    postLinkState(sink, true);
    postLinkState(sink, false);
    postJobsDone(sink);
    postCancel(sink);
    EXPECT_EQ(sink.descriptions(), (std::vector<std::string>{"MsgLinkState 1 1", "MsgLinkState 1 0", "MsgJobsDone 0 0",
                                                             "MsgCancel 0 0"}));
    for (const PostedMessage& message : sink.take()) {
        EXPECT_EQ(message.notice, nullptr);
    }
}

TEST_F(Posting, DescriptionsShowNumbersInHexAndTextsQuoted) {
    postInfo(sink, InfoCode::Version, 0);
    postInfo(sink, InfoCode::Failure, "No FLASH memory detected...");
    postProgress(sink, ProgressCode::Range, 0x00640000);
    sink.post({Message::MsgInfo, 5, 0, nullptr});
    EXPECT_EQ(sink.descriptions(),
              (std::vector<std::string>{"MsgInfo 4 0x0", "MsgInfo 17 \"No FLASH memory detected...\"",
                                        "MsgProgress 6 0x640000", "MsgInfo 5 none"}));
}

TEST_F(Posting, WaitForSeesAMessagePostedFromAnotherThread) {
    EXPECT_FALSE(sink.waitFor(Message::MsgJobsDone, 0ms));
    std::thread worker([this] { postJobsDone(sink); });
    EXPECT_TRUE(sink.waitFor(Message::MsgJobsDone, 10s));
    worker.join();
}

TEST(ReadingNotices, MissingNoticeReadsAsZeroAndEmpty) {
    EXPECT_EQ(noticeNumber(nullptr), 0u);
    EXPECT_EQ(noticeText(nullptr), "empty");
}

TEST(ReadingNotices, NumberWhereATextIsNeededReadsAsEmpty) {
    const Notice number(42);
    const Notice text(std::string("abc"));
    EXPECT_EQ(noticeText(&number), "empty");
    EXPECT_EQ(noticeNumber(&text), 0u);
    EXPECT_EQ(noticeNumber(&number), 42u);
}

TEST(FieldTexts, BlankCheck) {
    EXPECT_EQ(blankCheckText(1), "is blank");
    EXPECT_EQ(blankCheckText(0), "isn't blank");
    EXPECT_EQ(blankCheckText(2), "isn't blank");
    EXPECT_EQ(blankCheckText(0x0101), "isn't blank");
    EXPECT_EQ(blankCheckText(0xFFFFFFFE), "unknown");
    EXPECT_EQ(blankCheckText(0xFFFFFFFF), "error");
}

TEST(FieldTexts, ChecksumsHaveEightUpperCaseDigits) {
    EXPECT_EQ(checksumText(0), "0x00000000");
    EXPECT_EQ(checksumText(0xABCDEF12), "0xABCDEF12");
    EXPECT_EQ(checksumText(0x1F), "0x0000001F");
}

TEST(FieldTexts, PlatformLineInBothViews) {
    FlashCatalogue catalogue;
    catalogue.setDetected(0x1F, 0xC0);
    EXPECT_EQ(platformLine(catalogue, false), "Sabrel");
    EXPECT_EQ(platformLine(catalogue, true), "Sabrel (Atmel - AT49BV16x4A)");
    catalogue.setDetected(0x01, 0x56);
    EXPECT_EQ(platformLine(catalogue, true), "unknown (AMD - Not found)");
    catalogue.setDetected(0x04, 0x5F);
    EXPECT_EQ(platformLine(catalogue, false), "Corvel");
}

class InterpretingInfo : public ::testing::Test {
protected:
    InfoDisplay interpret(InfoCode code, const Notice* notice) {
        return interpretInfo(static_cast<std::uintptr_t>(code), notice, {"BLS v2.11", catalogue, true});
    }

    FlashCatalogue catalogue;
};

TEST_F(InterpretingInfo, VersionAndPlatformComeFromTheTarget) {
    catalogue.setDetected(0x04, 0x53);
    const Notice success(0);
    const InfoDisplay version = interpret(InfoCode::Version, &success);
    EXPECT_EQ(version.action, InfoAction::ShowVersion);
    EXPECT_EQ(version.text, "BLS v2.11");
    const InfoDisplay platform = interpret(InfoCode::Platform, &success);
    EXPECT_EQ(platform.action, InfoAction::ShowPlatform);
    EXPECT_EQ(platform.text, "Corvel (Fujitsu - MBM29DL323BE)");
}

TEST_F(InterpretingInfo, ChecksumCodesFillTheTwoFields) {
    const Notice value(0x1234);
    EXPECT_EQ(interpret(InfoCode::Checksum1, &value).action, InfoAction::ShowChecksum1);
    EXPECT_EQ(interpret(InfoCode::SetChecksum1, &value).action, InfoAction::ShowChecksum1);
    EXPECT_EQ(interpret(InfoCode::Checksum2, &value).action, InfoAction::ShowChecksum2);
    const InfoDisplay second = interpret(InfoCode::SetChecksum2, &value);
    EXPECT_EQ(second.action, InfoAction::ShowChecksum2);
    EXPECT_EQ(second.text, "0x00001234");
}

TEST_F(InterpretingInfo, BlankCheckAndFailureWithAMissingNotice) {
    const InfoDisplay blank = interpret(InfoCode::BlankCheck, nullptr);
    EXPECT_EQ(blank.action, InfoAction::ShowBlankCheck);
    EXPECT_EQ(blank.text, "isn't blank");
    const InfoDisplay failure = interpret(InfoCode::Failure, nullptr);
    EXPECT_EQ(failure.action, InfoAction::ShowFailure);
    EXPECT_EQ(failure.text, "empty");
}

TEST_F(InterpretingInfo, WindowStateAndSilentCodes) {
    EXPECT_EQ(interpret(InfoCode::EnableWindow, nullptr).action, InfoAction::EnableWindow);
    EXPECT_EQ(interpret(InfoCode::DisableWindow, nullptr).action, InfoAction::DisableWindow);
    for (InfoCode code : {InfoCode::ProgramEnd, InfoCode::VerifyEnd, InfoCode::InfoBlock, InfoCode::NothingToErase,
                          InfoCode::TextQuery}) {
        EXPECT_EQ(interpret(code, nullptr).action, InfoAction::None);
    }
    EXPECT_EQ(interpretInfo(99, nullptr, {"", catalogue, false}).action, InfoAction::None);
}

TEST(InterpretingProgress, ShowResetsTheBar) {
    const ProgressDisplay show = interpretProgress(1, nullptr);
    EXPECT_EQ(show.action, ProgressAction::Show);
    EXPECT_EQ(show.status, "");
    EXPECT_EQ(show.lower, 0);
    EXPECT_EQ(show.upper, 20);
    EXPECT_EQ(show.position, 0u);
}

TEST(InterpretingProgress, RangeSplitsTheNumber) {
    const Notice range(0x00640000);
    const ProgressDisplay display = interpretProgress(6, &range);
    EXPECT_EQ(display.action, ProgressAction::SetRange);
    EXPECT_EQ(display.lower, 0);
    EXPECT_EQ(display.upper, 100);
    const Notice bounded(0x00200005);
    EXPECT_EQ(interpretProgress(6, &bounded).lower, 5);
}

TEST(InterpretingProgress, StatusPositionStepAndHide) {
    const Notice status(std::string("Erase chip..."));
    EXPECT_EQ(interpretProgress(4, &status).status, "Erase chip...");
    EXPECT_EQ(interpretProgress(4, nullptr).status, "empty");
    const Notice position(17);
    EXPECT_EQ(interpretProgress(7, &position).position, 17u);
    EXPECT_EQ(interpretProgress(8, nullptr).action, ProgressAction::Step);
    EXPECT_EQ(interpretProgress(2, nullptr).action, ProgressAction::Hide);
    EXPECT_EQ(interpretProgress(3, nullptr).action, ProgressAction::None);
}

}  // namespace
}  // namespace tarnwick
