// SPDX-License-Identifier: GPL-2.0-or-later
#include "boot_protocol.h"

#include <algorithm>
#include <charconv>
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

constexpr std::uint16_t kSingleChecksumReply = 4;
constexpr std::uint16_t kDualChecksumReply = 8;

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

// Older boot codes reply with one value, newer ones with two, the first of
// them at offset 4. A length that does not fit the version leaves the values
// that stand for "nothing decoded".
SectorChecksums decodeChecksums(const FrameBuffer& frame, bool twoValues) {
    const std::uint16_t expected = twoValues ? kDualChecksumReply : kSingleChecksumReply;
    if (frame.length() != expected) {
        return {};
    }
    if (!twoValues) {
        return {frame.payload32(0), 0};
    }
    return {frame.payload32(4), frame.payload32(0)};
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

Reply<std::string> BootProtocol::readVersionInfo() {
    const LinkResult result = runEmpty(kReadVersionInfo);
    return {result, result == LinkResult::Success ? replyText(frame_) : std::string()};
}

Reply<FlashIdentity> BootProtocol::readFlashId() {
    const LinkResult result = runEmpty(kReadFlashId);
    return {result, FlashIdentity{frame_.payload()[1], frame_.payload()[0]}};
}

Reply<std::uint16_t> BootProtocol::blankCheck(std::uint32_t start, std::uint32_t length) {
    const LinkResult result = runRange(kBlankCheck, start, length);
    return {result, frame_.payload16(0)};
}

Reply<SectorChecksums> BootProtocol::getSectorCrc(std::uint32_t start, std::uint32_t length, bool twoValues) {
    return runChecksums(kGetSectorCrc, start, length, twoValues);
}

Reply<SectorChecksums> BootProtocol::setSectorCrc(std::uint32_t start, std::uint32_t length, bool twoValues) {
    return runChecksums(kSetSectorCrc, start, length, twoValues);
}

LinkResult BootProtocol::eraseChip(std::uint32_t start, std::uint32_t length) {
    return runRange(kEraseChip, start, length);
}

Reply<std::span<const std::uint8_t>> BootProtocol::readInfoBlock(std::uint32_t start, std::uint32_t length) {
    const LinkResult result = runRange(kReadInfoBlock, start, length);
    const std::span<const std::uint8_t> payload = frame_.payload();
    return {result, payload.first(std::min<std::size_t>(frame_.length(), payload.size()))};
}

Reply<std::string> BootProtocol::textQuery(std::uint32_t start, std::uint32_t length, std::string_view text) {
    // The text goes out zero-terminated, so it ends at its first zero byte.
    text = text.substr(0, text.find('\0'));
    if (text.size() > kMaxQueryText) {
        return {LinkResult::CommError, {}};
    }
    frame_.clear();
    setHeader(frame_, kTextQuery, kRangeFieldsSize + text.size() + 1);
    frame_.setPayload32(0, start);
    frame_.setPayload32(4, length);
    std::ranges::copy(text, frame_.payload().begin() + kRangeFieldsSize);
    const LinkResult result = link_.exchange(frame_, kTextQuery.replyTimeoutMs);
    return {result, result == LinkResult::Success ? replyText(frame_) : std::string()};
}

LinkResult BootProtocol::closeSessionFirst() { return runEmpty(kCloseSessionFirst); }

LinkResult BootProtocol::closeSessionSecond() { return runEmpty(kCloseSessionSecond); }

LinkResult BootProtocol::runEmpty(const BootCommand& command) {
    frame_.clear();
    setHeader(frame_, command, 0);
    return link_.exchange(frame_, command.replyTimeoutMs);
}

LinkResult BootProtocol::runRange(const BootCommand& command, std::uint32_t start, std::uint32_t length) {
    frame_.clear();
    setHeader(frame_, command, kRangeFieldsSize);
    frame_.setPayload32(0, start);
    frame_.setPayload32(4, length);
    return link_.exchange(frame_, command.replyTimeoutMs);
}

Reply<SectorChecksums> BootProtocol::runChecksums(const BootCommand& command, std::uint32_t start,
                                                  std::uint32_t length, bool twoValues) {
    const LinkResult result = runRange(command, start, length);
    return {result, result == LinkResult::Success ? decodeChecksums(frame_, twoValues) : SectorChecksums{}};
}

}  // namespace tarnwick
