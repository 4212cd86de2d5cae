// SPDX-License-Identifier: GPL-2.0-or-later
#include "boot_code.h"

#include <algorithm>
#include <array>
#include <span>

#include "boot_protocol.h"

namespace tarnwick {

struct BootCode::Request {
    const FrameBuffer& frame;
    Shortfalls shortfalls;

    [[nodiscard]] std::uint16_t length() const { return frame.length(); }
    [[nodiscard]] std::uint32_t word(std::size_t index) const { return frame.payload32(4 * index); }
    [[nodiscard]] std::span<const std::uint8_t> payload() const {
        return std::span(frame.payload()).first(std::min<std::size_t>(length(), kFramePayloadCapacity));
    }
};

namespace {

// Start and length (or address and count) lead most payloads.
constexpr std::size_t kRangeFields = 8;
constexpr std::uint16_t kBlank = 0x0001;
constexpr std::uint16_t kNotBlank = 0x0101;
constexpr std::uint32_t kNoStoredChecksum = 0xFFFFFFFF;

FrameBuffer replyTo(const FrameBuffer& request, std::span<const std::uint8_t> payload = {}) {
    FrameBuffer reply;
    reply.setHeader(request.command(), request.group(), static_cast<std::uint16_t>(payload.size()));
    std::ranges::copy(payload, reply.payload().begin());
    return reply;
}

FrameBuffer replyWords(const FrameBuffer& request, std::initializer_list<std::uint32_t> words) {
    FrameBuffer reply = replyTo(request);
    std::size_t offset = 0;
    for (const std::uint32_t word : words) {
        reply.setPayload32(offset, word);
        offset += 4;
    }
    reply.setLength(static_cast<std::uint16_t>(offset));
    return reply;
}

}  // namespace

BootCode::BootCode(std::string_view chipName, std::string versionText)
    : flash_(chipName),
      versionText_(std::move(versionText)),
      bootVersion_(parseBootVersion(versionText_).value_or(0)) {}

std::optional<FrameBuffer> BootCode::answer(const FrameBuffer& request, const Shortfalls& shortfalls) {
    if (handedOver_ || request.length() > kFramePayloadCapacity) {
        return std::nullopt;
    }
    return dispatch(Request{request, shortfalls});
}

std::optional<FrameBuffer> BootCode::dispatch(const Request& request) {
    using Handler = std::optional<FrameBuffer> (BootCode::*)(const Request&);
    struct Entry {
        const BootCommand& command;
        Handler handler;
    };
    static const std::array<Entry, 13> table{{
        {kReadVersionInfo, &BootCode::versionInfo},
        {kCloseSessionFirst, &BootCode::closeFirst},
        {kCloseSessionSecond, &BootCode::closeSecond},
        {kReadFlashId, &BootCode::flashId},
        {kBlankCheck, &BootCode::blankCheck},
        {kGetSectorCrc, &BootCode::getChecksum},
        {kSetSectorCrc, &BootCode::setChecksum},
        {kWriteData, &BootCode::writeData},
        {kReadData, &BootCode::readData},
        {kEraseChip, &BootCode::eraseChip},
        {kEraseSectors, &BootCode::eraseSectors},
        {kReadInfoBlock, &BootCode::infoBlock},
        {kTextQuery, &BootCode::textQuery},
    }};
    const auto found = std::ranges::find_if(table, [&](const Entry& entry) {
        return entry.command.code == request.frame.command() &&
               static_cast<std::uint8_t>(entry.command.group) == request.frame.group();
    });
    if (found == table.end()) {
        return std::nullopt;
    }
    return (this->*found->handler)(request);
}

std::optional<FrameBuffer> BootCode::versionInfo(const Request& request) {
    // The text goes out zero-ended, so one byte less than the payload fits.
    const std::size_t size = std::min(versionText_.size(), kFramePayloadCapacity - 1);
    const auto text = std::span(reinterpret_cast<const std::uint8_t*>(versionText_.data()), size);
    FrameBuffer reply = replyTo(request.frame, text);
    reply.payload()[size] = 0;
    reply.setLength(static_cast<std::uint16_t>(size + 1));
    return reply;
}

std::optional<FrameBuffer> BootCode::closeFirst(const Request& request) { return replyTo(request.frame); }

std::optional<FrameBuffer> BootCode::closeSecond(const Request& request) {
    handedOver_ = true;
    return replyTo(request.frame);
}

std::optional<FrameBuffer> BootCode::flashId(const Request& request) {
    const FlashChip& chip = flash_.chip();
    // Device id in the low byte, manufacturer id in the next.
    return replyWords(request.frame, {(chip.manufacturerId & 0xFF) << 8 | (chip.deviceId & 0xFF)});
}

std::optional<FrameBuffer> BootCode::blankCheck(const Request& request) {
    if (request.length() != kRangeFields || !flash_.contains(request.word(0), request.word(1))) {
        return std::nullopt;
    }
    return replyWords(request.frame, {flash_.isBlank(request.word(0), request.word(1)) ? kBlank : kNotBlank});
}

std::optional<FrameBuffer> BootCode::getChecksum(const Request& request) {
    if (request.length() != kRangeFields || !flash_.contains(request.word(0), request.word(1))) {
        return std::nullopt;
    }
    const Range range{request.word(0), request.word(1)};
    const auto stored = storedChecksums_.find(range);
    return checksumReply(request, frameCrc(flash_.read(range.first, range.second)),
                         stored == storedChecksums_.end() ? kNoStoredChecksum : stored->second);
}

std::optional<FrameBuffer> BootCode::setChecksum(const Request& request) {
    if (request.length() != kRangeFields || !flash_.contains(request.word(0), request.word(1))) {
        return std::nullopt;
    }
    const Range range{request.word(0), request.word(1)};
    const std::uint32_t computed = frameCrc(flash_.read(range.first, range.second));
    auto [entry, inserted] = storedChecksums_.try_emplace(range, kNoStoredChecksum);
    entry->second &= computed;
    return checksumReply(request, computed, entry->second);
}

std::optional<FrameBuffer> BootCode::checksumReply(const Request& request, std::uint32_t computed,
                                                   std::uint32_t stored) {
    if (bootVersion_ < kDualChecksumBootVersion) {
        return replyWords(request.frame, {computed});
    }
    // The stored value first, then the one just computed.
    return replyWords(request.frame, {stored, computed});
}

std::optional<FrameBuffer> BootCode::writeData(const Request& request) {
    const std::uint32_t address = request.word(0);
    const std::uint32_t count = request.word(1);
    if (count > kMaxDataPerFrame || request.length() != kRangeFields + count || !flash_.contains(address, count)) {
        return std::nullopt;
    }
    const std::uint32_t written = count - std::min(count, request.shortfalls.bytes);
    flash_.program(address, request.payload().subspan(kRangeFields, written));
    return replyWords(request.frame, {written, count});
}

std::optional<FrameBuffer> BootCode::readData(const Request& request) {
    const std::uint32_t address = request.word(0);
    const std::uint32_t count = request.word(1);
    if (request.length() != kRangeFields || count > kMaxDataPerFrame || !flash_.contains(address, count)) {
        return std::nullopt;
    }
    FrameBuffer reply = replyWords(request.frame, {address, count});
    std::ranges::copy(flash_.read(address, count), reply.payload().begin() + kRangeFields);
    reply.setLength(static_cast<std::uint16_t>(kRangeFields + count));
    return reply;
}

std::optional<FrameBuffer> BootCode::eraseChip(const Request& request) {
    if (request.length() != kRangeFields) {
        return std::nullopt;
    }
    flash_.eraseChip();
    storedChecksums_.clear();
    return replyTo(request.frame);
}

std::optional<FrameBuffer> BootCode::eraseSectors(const Request& request) {
    const std::size_t words = request.length() / 4;
    if (request.length() % 4 != 0 || words == 0 || request.word(words - 1) != kSectorListEnd) {
        return std::nullopt;
    }
    const std::uint32_t named = static_cast<std::uint32_t>(words - 1);
    const std::uint32_t toErase = named - std::min(named, request.shortfalls.sectors);
    std::uint32_t erased = 0;
    for (std::uint32_t index = 0; index < toErase; ++index) {
        const FlashSector* sector = flash_.sectorAt(request.word(index));
        if (sector != nullptr) {
            flash_.eraseSector(sector->start);
            forgetChecksumsOver(sector->start, sector->size);
            ++erased;
        }
    }
    return replyWords(request.frame, {erased});
}

void BootCode::forgetChecksumsOver(std::uint32_t start, std::uint32_t size) {
    std::erase_if(storedChecksums_, [&](const auto& entry) {
        const auto [rangeStart, rangeLength] = entry.first;
        return rangeStart < start + size && start < rangeStart + rangeLength;
    });
}

std::optional<FrameBuffer> BootCode::infoBlock(const Request& request) {
    if (request.length() != kRangeFields || !flash_.contains(request.word(0), request.word(1))) {
        return std::nullopt;
    }
    const std::uint32_t size = std::min<std::uint32_t>(request.word(1), kFramePayloadCapacity);
    return replyTo(request.frame, flash_.read(request.word(0), size));
}

std::optional<FrameBuffer> BootCode::textQuery(const Request& request) {
    const auto payload = request.payload();
    if (payload.size() <= kRangeFields || payload.back() != 0) {
        return std::nullopt;
    }
    // The boot code answers a query with the text it was asked, zero-ended.
    return replyTo(request.frame, payload.subspan(kRangeFields));
}

}  // namespace tarnwick
