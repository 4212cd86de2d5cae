#include "notices.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <thread>
#include <tuple>

namespace tarnwick {
namespace {

using namespace std::chrono_literals;

TEST(Posting, DescriptionsShowValuesNoticeNumbersInHexAndTextsQuoted) {
    RecordingSink sink;
    postLinkState(sink, true);
    postLinkState(sink, false);
    postJobsDone(sink);
    postCancel(sink);
    postInfo(sink, InfoCode::Checksum1, 0xDEADBEEF);
    postInfo(sink, InfoCode::Failure, "No FLASH memory detected...");
    postProgress(sink, ProgressCode::Range, 0x00640000);
    postProgress(sink, ProgressCode::Status, "Erase chip...");
    sink.post({Message::MsgInfo, 5, 0, nullptr});
    ASSERT_EQ(sink.descriptions(),
              (std::vector<std::string>{"MsgLinkState 1 1", "MsgLinkState 1 0", "MsgJobsDone 0 0", "MsgCancel 0 0",
                                        "MsgInfo 7 0xDEADBEEF", "MsgInfo 17 \"No FLASH memory detected...\"",
                                        "MsgProgress 6 0x640000", "MsgProgress 4 \"Erase chip...\"",
                                        "MsgInfo 5 none"}));
    const auto messages = sink.take();
    EXPECT_EQ(messages[4].notice->number(), 0xDEADBEEFu);
    EXPECT_TRUE(sink.descriptions().empty()) << "taken messages leave the sink";
}

TEST(Posting, WaitForSeesAMessagePostedFromAnotherThread) {
    RecordingSink sink;
    EXPECT_FALSE(sink.waitFor(Message::MsgJobsDone, 0ms));
    std::thread worker([&sink] { postJobsDone(sink); });
    EXPECT_TRUE(sink.waitFor(Message::MsgJobsDone, 10s));
    worker.join();
}

TEST(FieldTexts, BlankCheckAndPlatform) {
    const std::pair<std::uint32_t, std::string_view> blank[] = {
        {1, "is blank"}, {0, "isn't blank"}, {2, "isn't blank"}, {0x0101, "isn't blank"},
        {0xFFFFFFFE, "unknown"}, {0xFFFFFFFF, "error"}};
    for (const auto& [status, text] : blank) {
        EXPECT_EQ(blankCheckText(status), text) << status;
    }

    FlashCatalogue catalogue;
    catalogue.setDetected(0x1F, 0xC0);
    EXPECT_EQ(platformLine(catalogue, false), "Sabrel");
    EXPECT_EQ(platformLine(catalogue, true), "Sabrel (Atmel - AT49BV16x4A)");
    catalogue.setDetected(0x01, 0x56);
    EXPECT_EQ(platformLine(catalogue, true), "unknown (AMD - Not found)");
    catalogue.setDetected(0x04, 0x5F);
    EXPECT_EQ(platformLine(catalogue, false), "Corvel");
}

// No number stands for a missing notice.
struct InfoCase {
    InfoCode code;
    std::optional<std::uint32_t> notice;
    InfoAction action;
    std::string_view text;
};

TEST(InterpretingInfo, GivesEachCodeItsFieldAndText) {
    const InfoCase cases[] = {
        {InfoCode::Version, 0, InfoAction::ShowVersion, "BLS v2.11"},
        {InfoCode::Platform, 0, InfoAction::ShowPlatform, "Corvel (Fujitsu - MBM29DL323BE)"},
        {InfoCode::Checksum1, 0xABCDEF12, InfoAction::ShowChecksum1, "0xABCDEF12"},
        {InfoCode::SetChecksum1, 0x1234, InfoAction::ShowChecksum1, "0x00001234"},
        {InfoCode::Checksum2, 0x1234, InfoAction::ShowChecksum2, "0x00001234"},
        {InfoCode::SetChecksum2, 0x1234, InfoAction::ShowChecksum2, "0x00001234"},
        {InfoCode::BlankCheck, 1, InfoAction::ShowBlankCheck, "is blank"},
        {InfoCode::BlankCheck, std::nullopt, InfoAction::ShowBlankCheck, "isn't blank"},
        {InfoCode::Failure, std::nullopt, InfoAction::ShowFailure, "empty"},
        {InfoCode::EnableWindow, std::nullopt, InfoAction::EnableWindow, ""},
        {InfoCode::DisableWindow, std::nullopt, InfoAction::DisableWindow, ""},
        {InfoCode::ProgramEnd, 1, InfoAction::None, ""},
        {InfoCode::VerifyEnd, 1, InfoAction::None, ""},
        {InfoCode::InfoBlock, 4, InfoAction::None, ""},
        {InfoCode::NothingToErase, 0, InfoAction::None, ""},
        {InfoCode::TextQuery, std::nullopt, InfoAction::None, ""},
        {InfoCode{99}, std::nullopt, InfoAction::None, ""},
    };
    FlashCatalogue catalogue;
    catalogue.setDetected(0x04, 0x53);
    for (const InfoCase& row : cases) {
        const std::optional<Notice> notice = row.notice ? std::optional<Notice>(*row.notice) : std::nullopt;
        const InfoDisplay display = interpretInfo(static_cast<std::uintptr_t>(row.code), notice ? &*notice : nullptr,
                                                  {"BLS v2.11", catalogue, true});
        EXPECT_EQ(display.action, row.action) << static_cast<int>(row.code);
        EXPECT_EQ(display.text, row.text) << static_cast<int>(row.code);
    }
}

struct ProgressCase {
    std::uintptr_t code;
    const Notice* notice;
    ProgressDisplay expected;
};

TEST(InterpretingProgress, GivesEachCodeItsAction) {
    const Notice range(0x00640000);
    const Notice bounded(0x00200005);
    const Notice status(std::string("Erase chip..."));
    const Notice position(17);
    const ProgressCase cases[] = {
        {1, nullptr, {ProgressAction::Show, "", 0, 20, 0}},
        {6, &range, {ProgressAction::SetRange, "", 0, 100, 0}},
        {6, &bounded, {ProgressAction::SetRange, "", 5, 32, 0}},
        {4, &status, {ProgressAction::SetStatus, "Erase chip...", 0, 0, 0}},
        {4, nullptr, {ProgressAction::SetStatus, "empty", 0, 0, 0}},
        {4, &position, {ProgressAction::SetStatus, "empty", 0, 0, 0}},
        {7, &position, {ProgressAction::SetPosition, "", 0, 0, 17}},
        {7, &status, {ProgressAction::SetPosition, "", 0, 0, 0}},
        {8, nullptr, {ProgressAction::Step, "", 0, 0, 0}},
        {2, nullptr, {ProgressAction::Hide, "", 0, 0, 0}},
        {3, nullptr, {ProgressAction::None, "", 0, 0, 0}},
    };
    for (const ProgressCase& row : cases) {
        const ProgressDisplay got = interpretProgress(row.code, row.notice);
        const ProgressDisplay& want = row.expected;
        EXPECT_EQ(std::tie(got.action, got.status, got.lower, got.upper, got.position),
                  std::tie(want.action, want.status, want.lower, want.upper, want.position))
            << row.code;
    }
}

}  // namespace
}  // namespace tarnwick
