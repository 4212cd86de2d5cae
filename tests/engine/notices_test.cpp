// SPDX-License-Identifier: GPL-2.0-or-later
#include "notices.h"

#include <gtest/gtest.h>

#include <optional>
#include <tuple>

namespace tarnwick {
namespace {

TEST(FieldTexts, BlankCheckAndPlatform) {
    const std::pair<std::uint32_t, std::string_view> blank[] = {
        {1, "is blank"}, {0, "isn't blank"}, {0x0101, "isn't blank"}, {0xFFFFFFFE, "unknown"}, {0xFFFFFFFF, "error"}};
    for (const auto& [status, text] : blank) {
        EXPECT_EQ(blankCheckText(status), text) << status;
    }
    FlashCatalogue catalogue;
    catalogue.setDetected(0x1F, 0xC0);
    EXPECT_EQ(platformLine(catalogue, false), "Sabrel");
    catalogue.setDetected(0x01, 0x56);
    EXPECT_EQ(platformLine(catalogue, true), "unknown (AMD - Not found)");
}

TEST(InterpretingInfo, GivesEachCodeItsFieldAndText) {
    // No number stands for a missing notice.
    const struct {
        InfoCode code;
        std::optional<std::uint32_t> notice;
        InfoAction action;
        std::string_view text;
    } cases[] = {
        {InfoCode::Version, 0, InfoAction::ShowVersion, "BLS v2.11"},
        {InfoCode::Platform, 0, InfoAction::ShowPlatform, "Corvel (Fujitsu - MBM29DL323BE)"},
        {InfoCode::Checksum1, 0xABCDEF12, InfoAction::ShowChecksum1, "0xABCDEF12"},
        {InfoCode::Checksum2, 0x1234, InfoAction::ShowChecksum2, "0x00001234"},
        {InfoCode::BlankCheck, 1, InfoAction::ShowBlankCheck, "is blank"},
        {InfoCode::BlankCheck, std::nullopt, InfoAction::ShowBlankCheck, "isn't blank"},
        {InfoCode::Failure, std::nullopt, InfoAction::ShowFailure, "empty"},
        {InfoCode::EnableWindow, std::nullopt, InfoAction::EnableWindow, ""},
        {InfoCode::ProgramEnd, 1, InfoAction::None, ""},  {InfoCode{99}, std::nullopt, InfoAction::None, ""},
    };
    FlashCatalogue catalogue;
    catalogue.setDetected(0x04, 0x53);
    for (const auto& row : cases) {
        const std::optional<Notice> notice = row.notice ? std::optional<Notice>(*row.notice) : std::nullopt;
        const InfoDisplay display = interpretInfo(static_cast<std::uintptr_t>(row.code), notice ? &*notice : nullptr,
                                                  {"BLS v2.11", catalogue, true});
        EXPECT_EQ(std::tie(display.action, display.text), std::tie(row.action, row.text)) << int(row.code);
    }
}

TEST(InterpretingProgress, GivesEachCodeItsAction) {
    using enum ProgressAction;
    const Notice range(0x00640000);
    const Notice bounded(0x00200005);
    const Notice status(std::string("Erase chip..."));
    const Notice position(17);
    const struct {
        std::uintptr_t code;
        const Notice* notice;
        ProgressDisplay expected;
    } cases[] = {
        {1, nullptr, {Show, "", 0, 20, 0}},          {6, &range, {SetRange, "", 0, 100, 0}},
        {6, &bounded, {SetRange, "", 5, 32, 0}},     {4, &status, {SetStatus, "Erase chip...", 0, 0, 0}},
        {4, nullptr, {SetStatus, "empty", 0, 0, 0}}, {4, &position, {SetStatus, "empty", 0, 0, 0}},
        {7, &position, {SetPosition, "", 0, 0, 17}}, {7, &status, {SetPosition, "", 0, 0, 0}},
        {8, nullptr, {Step, "", 0, 0, 0}},           {2, nullptr, {Hide, "", 0, 0, 0}},
        {3, nullptr, {None, "", 0, 0, 0}},
    };
    for (const auto& [code, notice, want] : cases) {
        const ProgressDisplay got = interpretProgress(code, notice);
        EXPECT_EQ(std::tie(got.action, got.status, got.lower, got.upper, got.position),
                  std::tie(want.action, want.status, want.lower, want.upper, want.position)) << code;
    }
}

}  // namespace
}  // namespace tarnwick
