#include "boot_commands.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <cstdio>
#include <stdexcept>
#include <string>

namespace tarnwick {
namespace {

constexpr std::string_view kVersionMarker = " v";
// Where the number is read when the text carries no marker.
constexpr std::size_t kUnmarkedVersionStart = 1;
constexpr std::size_t kVersionWindow = 4;

// Address and count (or start and length) open every flash request.
constexpr std::size_t kRangeFieldsSize = 8;
constexpr std::size_t kSectorAddressSize = 4;

constexpr std::uint16_t kBlankStatus = 1;
constexpr std::uint32_t kFailedNumber = 0xFFFFFFFF;
constexpr std::uint16_t kSingleChecksumReply = 4;
constexpr std::uint16_t kDualChecksumReply = 8;

constexpr const char* kChecksumErrorFormat = "Checksum error\n0x%x <-> 0x%x";

std::uint8_t groupByte(const BootCommand& command) { return static_cast<std::uint8_t>(command.group); }

void setHeader(FrameBuffer& frame, const BootCommand& command, std::size_t payloadLength) {
    frame.setHeader(command.code, groupByte(command), static_cast<std::uint16_t>(payloadLength));
}

// The reply's payload up to its first zero byte, never past its length.
std::string replyText(const FrameBuffer& frame) {
    const auto payload = frame.payload();
    const auto length = std::min<std::size_t>(frame.length(), payload.size());
    const auto end = std::find(payload.begin(), payload.begin() + length, std::uint8_t{0});
    return {payload.begin(), end};
}

void skipSpaces(std::string_view& text) {
    const auto digitsStart = text.find_first_not_of(" \t\n\v\f\r");
    text.remove_prefix(digitsStart == std::string_view::npos ? text.size() : digitsStart);
}

// An unsigned decimal number at the front of text, after optional spaces;
// text is left behind it.
std::optional<unsigned> takeNumber(std::string_view& text) {
    skipSpaces(text);
    unsigned value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (error != std::errc{}) {
        return std::nullopt;
    }
    text.remove_prefix(static_cast<std::size_t>(end - text.data()));
    return value;
}

std::string_view versionWindow(std::string_view versionText, std::size_t marker) {
    const std::size_t start =
        marker == std::string_view::npos ? kUnmarkedVersionStart : marker + kVersionMarker.size();
    if (start >= versionText.size()) {
        return {};
    }
    return versionText.substr(start, kVersionWindow);
}

std::string checksumErrorText(const SectorChecksums& values) {
    std::array<char, 64> text{};
    std::snprintf(text.data(), text.size(), kChecksumErrorFormat, static_cast<unsigned>(values.first),
                  static_cast<unsigned>(values.second));
    return text.data();
}

void requireAtMost(std::size_t count, std::size_t limit, const char* what) {
    if (count > limit) {
        throw std::length_error(what);
    }
}

}  // namespace

std::optional<std::uint16_t> parseBootVersion(std::string_view versionText) {
    const std::size_t marker = versionText.find(kVersionMarker);
    if (marker == 0) {
        return std::nullopt;
    }
    std::string_view window = versionWindow(versionText, marker);
    const auto major = takeNumber(window);
    if (!major || !window.starts_with('.')) {
        return std::nullopt;
    }
    window.remove_prefix(1);
    const auto minor = takeNumber(window);
    if (!minor) {
        return std::nullopt;
    }
    return static_cast<std::uint16_t>(*major * 100 + *minor);
}

void buildWriteData(FrameBuffer& frame, std::uint32_t address, std::span<const std::uint8_t> data) {
    requireAtMost(data.size(), kMaxDataPerFrame, "write frame holds at most 4088 data bytes");
    setHeader(frame, kWriteData, kRangeFieldsSize + data.size());
    frame.setPayload32(0, address);
    frame.setPayload32(4, static_cast<std::uint32_t>(data.size()));
    std::ranges::copy(data, frame.payload().begin() + kRangeFieldsSize);
}

std::uint32_t writtenCount(const FrameBuffer& frame) { return frame.payload32(0); }

std::uint32_t expectedWriteCount(const FrameBuffer& frame) { return frame.payload32(4); }

void buildReadData(FrameBuffer& frame, std::uint32_t address, std::uint32_t count) {
    requireAtMost(count, kMaxDataPerFrame, "read frame asks for at most 4088 data bytes");
    setHeader(frame, kReadData, kRangeFieldsSize);
    frame.setPayload32(0, address);
    frame.setPayload32(4, count);
}

std::optional<std::span<const std::uint8_t>> readDataBytes(const FrameBuffer& frame, std::uint32_t count) {
    if (count > kMaxDataPerFrame || frame.length() != count + kRangeFieldsSize) {
        return std::nullopt;
    }
    return std::span<const std::uint8_t>(frame.payload()).subspan(kRangeFieldsSize, count);
}

void buildEraseSectors(FrameBuffer& frame, std::span<const std::uint32_t> sectorStarts) {
    requireAtMost(sectorStarts.size(), kMaxSectorsPerFrame, "erase frame names at most 1023 sectors");
    setHeader(frame, kEraseSectors, kSectorAddressSize * (sectorStarts.size() + 1));
    std::size_t offset = 0;
    for (const std::uint32_t start : sectorStarts) {
        frame.setPayload32(offset, start);
        offset += kSectorAddressSize;
    }
    frame.setPayload32(offset, kSectorListEnd);
}

std::uint32_t erasedCount(const FrameBuffer& frame) { return frame.payload32(0); }

BootCommands::BootCommands(FrameLink& link, TargetInfo& target, MessageSink& sink)
    : link_(link), target_(target), sink_(sink) {}

LinkResult BootCommands::readVersionInfo() {
    postProgress(sink_, ProgressCode::Status, std::string(kReadVersionStatus));
    const LinkResult result = runEmpty(kReadVersionInfo);
    if (result == LinkResult::Success) {
        target_.versionText = replyText(frame_);
        target_.bootVersion = parseBootVersion(target_.versionText).value_or(target_.bootVersion);
    }
    postInfo(sink_, InfoCode::Version, static_cast<std::uint32_t>(result));
    return result;
}

LinkResult BootCommands::readFlashId() {
    postProgress(sink_, ProgressCode::Status, std::string(kReadFlashIdStatus));
    const LinkResult result = runEmpty(kReadFlashId);
    if (result == LinkResult::Success) {
        FlashCatalogue& flash = target_.flash;
        flash.setDetected(frame_.payload()[1], frame_.payload()[0]);
        // Each id is looked up by itself, so a pair that no row holds passes.
        if (!flash.isKnownDevice() || !flash.isKnownManufacturer()) {
            postInfo(sink_, InfoCode::Failure, std::string(kNoFlashDetected));
        }
    }
    postInfo(sink_, InfoCode::Platform, static_cast<std::uint32_t>(result));
    return result;
}

LinkResult BootCommands::blankCheck(std::uint32_t start, std::uint32_t length) {
    postProgress(sink_, ProgressCode::Status, std::string(kBlankCheckStatus));
    target_.blank = false;
    const LinkResult result = runRange(kBlankCheck, start, length);
    std::uint32_t status = kFailedNumber;
    if (result == LinkResult::Success) {
        status = frame_.payload16(0);
        target_.blank = status == kBlankStatus;
    }
    postInfo(sink_, InfoCode::BlankCheck, status);
    return result;
}

LinkResult BootCommands::getSectorCrc(std::uint32_t start, std::uint32_t length) {
    postProgress(sink_, ProgressCode::Status, std::string(kGetSectorCrcStatus));
    const LinkResult result = runRange(kGetSectorCrc, start, length);
    const SectorChecksums values = result == LinkResult::Success ? decodeChecksums() : SectorChecksums{};
    postInfo(sink_, InfoCode::Checksum1, values.first);
    postInfo(sink_, InfoCode::Checksum2, values.second);
    return result;
}

LinkResult BootCommands::setSectorCrc(std::uint32_t start, std::uint32_t length) {
    postProgress(sink_, ProgressCode::Status, std::string(kSetSectorCrcStatus));
    const LinkResult result = runRange(kSetSectorCrc, start, length);
    SectorChecksums values;
    if (result == LinkResult::Success) {
        values = decodeChecksums();
        if (carriesTwoChecksums() && values.first != values.second) {
            postInfo(sink_, InfoCode::Failure, checksumErrorText(values));
        }
    }
    postInfo(sink_, InfoCode::SetChecksum1, values.first);
    postInfo(sink_, InfoCode::SetChecksum2, values.second);
    return result;
}

LinkResult BootCommands::eraseChip(std::uint32_t start, std::uint32_t length) {
    postProgress(sink_, ProgressCode::Status, std::string(kEraseChipStatus));
    return runRange(kEraseChip, start, length);
}

LinkResult BootCommands::readInfoBlock(std::uint32_t start, std::uint32_t length) {
    const LinkResult result = runRange(kReadInfoBlock, start, length);
    std::uint32_t reported = kFailedNumber;
    if (result == LinkResult::Success) {
        const auto payload = frame_.payload();
        const auto stored = std::min<std::size_t>(frame_.length(), payload.size());
        std::copy_n(payload.begin(), stored, target_.infoBlock.begin());
        target_.infoBlockLength = static_cast<std::uint32_t>(stored);
        reported = target_.infoBlockLength;
    }
    postInfo(sink_, InfoCode::InfoBlock, reported);
    return result;
}

LinkResult BootCommands::textQuery(std::uint32_t start, std::uint32_t length, std::string_view text) {
    // The text goes out zero-terminated, so it ends at its first zero byte.
    text = text.substr(0, text.find('\0'));
    if (text.size() > kMaxQueryText) {
        postInfo(sink_, InfoCode::TextQuery, std::string());
        return LinkResult::CommError;
    }
    frame_.clear();
    setHeader(frame_, kTextQuery, kRangeFieldsSize + text.size() + 1);
    frame_.setPayload32(0, start);
    frame_.setPayload32(4, length);
    std::ranges::copy(text, frame_.payload().begin() + kRangeFieldsSize);
    const LinkResult result = link_.exchange(frame_, kTextQuery.replyTimeoutMs);
    std::string answer;
    if (result == LinkResult::Success) {
        answer = replyText(frame_);
    }
    postInfo(sink_, InfoCode::TextQuery, std::move(answer));
    return result;
}

LinkResult BootCommands::closeSessionFirst() {
    runEmpty(kCloseSessionFirst);
    return LinkResult::Success;
}

LinkResult BootCommands::closeSessionSecond() {
    runEmpty(kCloseSessionSecond);
    postLinkState(sink_, false);
    return LinkResult::Success;
}

LinkResult BootCommands::runEmpty(const BootCommand& command) {
    frame_.clear();
    setHeader(frame_, command, 0);
    return link_.exchange(frame_, command.replyTimeoutMs);
}

LinkResult BootCommands::runRange(const BootCommand& command, std::uint32_t start, std::uint32_t length) {
    frame_.clear();
    setHeader(frame_, command, kRangeFieldsSize);
    frame_.setPayload32(0, start);
    frame_.setPayload32(4, length);
    return link_.exchange(frame_, command.replyTimeoutMs);
}

bool BootCommands::carriesTwoChecksums() const { return target_.bootVersion >= kDualChecksumBootVersion; }

// Older boot codes reply with one value, newer ones with two, the first of
// them at offset 4. A length that does not fit the version leaves the values
// that stand for "nothing decoded".
SectorChecksums BootCommands::decodeChecksums() const {
    const std::uint16_t expected = carriesTwoChecksums() ? kDualChecksumReply : kSingleChecksumReply;
    if (frame_.length() != expected) {
        return {};
    }
    if (expected == kSingleChecksumReply) {
        return {frame_.payload32(0), 0};
    }
    return {frame_.payload32(4), frame_.payload32(0)};
}

}  // namespace tarnwick
