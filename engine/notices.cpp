// SPDX-License-Identifier: GPL-2.0-or-later
#include "notices.h"

#include <algorithm>
#include <array>
#include <cstdio>
#include <iterator>
#include <new>
#include <utility>

namespace tarnwick {
namespace {

struct MessageName {
    Message message;
    std::string_view name;
};

constexpr std::array<MessageName, 6> kMessageNames{{
    {Message::MsgInfo, "MsgInfo"},
    {Message::MsgProgress, "MsgProgress"},
    {Message::MsgJobsDone, "MsgJobsDone"},
    {Message::MsgCancel, "MsgCancel"},
    {Message::MsgLinkState, "MsgLinkState"},
    {Message::MsgDataLoaded, "MsgDataLoaded"},
}};

struct InfoActionOfCode {
    InfoCode code;
    InfoAction action;
};

constexpr std::array<InfoActionOfCode, 10> kInfoActions{{
    {InfoCode::EnableWindow, InfoAction::EnableWindow},
    {InfoCode::DisableWindow, InfoAction::DisableWindow},
    {InfoCode::Version, InfoAction::ShowVersion},
    {InfoCode::Platform, InfoAction::ShowPlatform},
    {InfoCode::BlankCheck, InfoAction::ShowBlankCheck},
    {InfoCode::Checksum1, InfoAction::ShowChecksum1},
    {InfoCode::SetChecksum1, InfoAction::ShowChecksum1},
    {InfoCode::Checksum2, InfoAction::ShowChecksum2},
    {InfoCode::SetChecksum2, InfoAction::ShowChecksum2},
    {InfoCode::Failure, InfoAction::ShowFailure},
}};

constexpr std::uint16_t kShownRangeUpper = 20;

// Allocation failure must not stop the worker: the message then goes out
// without its notice, which receivers read as 0 and "empty".
template <typename Payload>
std::unique_ptr<Notice> makeNotice(Payload&& payload) {
    try {
        return std::make_unique<Notice>(std::forward<Payload>(payload));
    } catch (const std::bad_alloc&) {
        return nullptr;
    }
}

template <typename Payload>
void postWithNotice(MessageSink& sink, Message message, std::uint32_t code, Payload&& payload) {
    sink.post({message, code, 0, makeNotice(std::forward<Payload>(payload))});
}

std::string hexText(const char* format, std::uint32_t value) {
    std::array<char, 16> text{};
    std::snprintf(text.data(), text.size(), format, static_cast<unsigned>(value));
    return text.data();
}

std::string_view messageName(Message message) {
    const auto row = std::ranges::find(kMessageNames, message, &MessageName::message);
    return row == kMessageNames.end() ? std::string_view("Msg?") : row->name;
}

std::string describeNotice(const PostedMessage& message) {
    if (message.notice == nullptr) {
        return "none";
    }
    if (message.notice->holdsText()) {
        return '"' + std::string(message.notice->text()) + '"';
    }
    return hexText("0x%X", message.notice->number());
}

ProgressDisplay actionOnly(ProgressAction action) {
    ProgressDisplay display;
    display.action = action;
    return display;
}

bool carriesNotice(Message message) { return message == Message::MsgInfo || message == Message::MsgProgress; }

}  // namespace

std::uint32_t Notice::number() const {
    const auto* number = std::get_if<std::uint32_t>(&value_);
    return number == nullptr ? 0 : *number;
}

std::string_view Notice::text() const {
    const auto* text = std::get_if<std::string>(&value_);
    return text == nullptr ? kEmptyNoticeText : std::string_view(*text);
}

void postInfo(MessageSink& sink, InfoCode code, std::uint32_t number) {
    postWithNotice(sink, Message::MsgInfo, static_cast<std::uint32_t>(code), number);
}

void postInfo(MessageSink& sink, InfoCode code, std::string text) {
    postWithNotice(sink, Message::MsgInfo, static_cast<std::uint32_t>(code), std::move(text));
}

void postProgress(MessageSink& sink, ProgressCode code, std::uint32_t number) {
    postWithNotice(sink, Message::MsgProgress, static_cast<std::uint32_t>(code), number);
}

void postProgress(MessageSink& sink, ProgressCode code, std::string text) {
    postWithNotice(sink, Message::MsgProgress, static_cast<std::uint32_t>(code), std::move(text));
}

void postJobsDone(MessageSink& sink) { sink.post({Message::MsgJobsDone, 0, 0, nullptr}); }

void postLinkState(MessageSink& sink, bool connected) {
    sink.post({Message::MsgLinkState, static_cast<std::uint32_t>(LinkStateCode::Reported), connected ? 1u : 0u,
               nullptr});
}

void postLineFailed(MessageSink& sink, std::uint32_t error) {
    sink.post({Message::MsgLinkState, static_cast<std::uint32_t>(LinkStateCode::LineFailed), error, nullptr});
}

void postNoAnswer(MessageSink& sink) {
    sink.post({Message::MsgLinkState, static_cast<std::uint32_t>(LinkStateCode::NoAnswer), 0, nullptr});
}

void postCancel(MessageSink& sink) { sink.post({Message::MsgCancel, 0, 0, nullptr}); }

std::uint32_t noticeNumber(const Notice* notice) { return notice == nullptr ? 0 : notice->number(); }

std::string_view noticeText(const Notice* notice) {
    return notice == nullptr ? kEmptyNoticeText : notice->text();
}

std::string_view blankCheckText(std::uint32_t status) {
    switch (status) {
        case 1:
            return "is blank";
        case kBlankUnknown:
            return "unknown";
        case kBlankError:
            return "error";
        default:
            return "isn't blank";
    }
}

std::string checksumText(std::uint32_t value) { return hexText("0x%08X", value); }

std::string_view platformName(TargetPlatform platform) {
    switch (platform) {
        case TargetPlatform::Corvel:
            return "Corvel";
        case TargetPlatform::Sabrel:
            return "Sabrel";
        default:
            return "unknown";
    }
}

std::string platformLine(const FlashCatalogue& catalogue, bool advancedView) {
    std::string line(platformName(catalogue.platform()));
    if (advancedView) {
        line += " (";
        line += catalogue.vendorName();
        line += " - ";
        line += catalogue.chipName();
        line += ")";
    }
    return line;
}

InfoDisplay interpretInfo(std::uintptr_t code, const Notice* notice, const DisplayContext& context) {
    const auto row = std::ranges::find(kInfoActions, code,
                                       [](const InfoActionOfCode& entry) { return std::uintptr_t(entry.code); });
    const InfoAction action = row == kInfoActions.end() ? InfoAction::None : row->action;
    switch (action) {
        case InfoAction::ShowVersion:
            return {action, std::string(context.versionText)};
        case InfoAction::ShowPlatform:
            return {action, platformLine(context.catalogue, context.advancedView)};
        case InfoAction::ShowBlankCheck:
            return {action, std::string(blankCheckText(noticeNumber(notice)))};
        case InfoAction::ShowChecksum1:
        case InfoAction::ShowChecksum2:
            return {action, checksumText(noticeNumber(notice))};
        case InfoAction::ShowFailure:
            return {action, std::string(noticeText(notice))};
        default:
            return {action, {}};
    }
}

ProgressDisplay interpretProgress(std::uintptr_t code, const Notice* notice) {
    const std::uint32_t number = noticeNumber(notice);
    switch (static_cast<ProgressCode>(code)) {
        case ProgressCode::Show:
            return {ProgressAction::Show, {}, 0, kShownRangeUpper, 0};
        case ProgressCode::Hide:
            return actionOnly(ProgressAction::Hide);
        case ProgressCode::Status:
            return {ProgressAction::SetStatus, std::string(noticeText(notice)), 0, 0, 0};
        case ProgressCode::Range:
            return {ProgressAction::SetRange, {}, static_cast<std::uint16_t>(number & 0xFFFF),
                    static_cast<std::uint16_t>(number >> 16), 0};
        case ProgressCode::Position:
            return {ProgressAction::SetPosition, {}, 0, 0, number};
        case ProgressCode::Step:
            return actionOnly(ProgressAction::Step);
        default:
            return {};
    }
}

std::string describeMessage(const PostedMessage& message) {
    std::string line(messageName(message.message));
    line += ' ' + std::to_string(message.code) + ' ';
    line += carriesNotice(message.message) ? describeNotice(message) : std::to_string(message.value);
    return line;
}

void RecordingSink::post(PostedMessage message) {
    {
        std::lock_guard lock(mutex_);
        messages_.push_back(std::move(message));
    }
    posted_.notify_all();
}

std::vector<std::string> RecordingSink::descriptions() const {
    std::lock_guard lock(mutex_);
    std::vector<std::string> lines;
    lines.reserve(messages_.size());
    std::ranges::transform(messages_, std::back_inserter(lines), describeMessage);
    return lines;
}

std::vector<PostedMessage> RecordingSink::take() {
    std::lock_guard lock(mutex_);
    return std::exchange(messages_, {});
}

bool RecordingSink::waitFor(Message message, std::chrono::milliseconds timeout) {
    std::unique_lock lock(mutex_);
    return posted_.wait_for(lock, timeout, [&] {
        return std::ranges::any_of(messages_, [&](const PostedMessage& posted) { return posted.message == message; });
    });
}

}  // namespace tarnwick
