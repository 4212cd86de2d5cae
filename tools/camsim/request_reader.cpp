// SPDX-License-Identifier: GPL-2.0-or-later
#include "request_reader.h"

#include <algorithm>
#include <utility>

namespace tarnwick {
namespace {

// STX, header, crc and ETX around the payload.
constexpr std::size_t kLeadSize = 1 + kFrameHeaderSize;
constexpr std::size_t kCrcSize = 4;

std::size_t lengthField(const std::vector<std::uint8_t>& raw) {
    return static_cast<std::size_t>(raw[3]) | static_cast<std::size_t>(raw[4]) << 8;
}

}  // namespace

std::optional<ReceivedFrame> RequestReader::feed(std::uint8_t byte) {
    if (raw_.empty()) {
        if (byte == kStx) {
            raw_.push_back(byte);
        } else {
            ++skipped_;
        }
        return std::nullopt;
    }
    if (raw_.size() + 1 == frameSize()) {
        if (byte == kEtx) {
            raw_.push_back(byte);
            return complete();
        }
        abandon();
        // A misplaced STX may still open the next frame.
        return feed(byte);
    }
    raw_.push_back(byte);
    if (raw_.size() == kLeadSize && lengthField(raw_) > kFramePayloadCapacity) {
        abandon();
    }
    return std::nullopt;
}

std::size_t RequestReader::frameSize() const {
    if (raw_.size() < kLeadSize) {
        return 0;
    }
    return kLeadSize + lengthField(raw_) + kCrcSize + 1;
}

ReceivedFrame RequestReader::complete() {
    ReceivedFrame received;
    const std::size_t bodySize = kFrameHeaderSize + lengthField(raw_);
    std::copy_n(raw_.begin() + 1, bodySize, received.frame.bytes().begin());
    std::uint32_t crc = 0;
    for (std::size_t index = 0; index < kCrcSize; ++index) {
        crc |= static_cast<std::uint32_t>(raw_[1 + bodySize + index]) << (8 * index);
    }
    received.frame.setCrc(crc);
    received.crcGood = received.frame.bodyCrc() == crc;
    received.raw = std::move(raw_);
    raw_.clear();
    return received;
}

void RequestReader::abandon() {
    skipped_ += raw_.size();
    raw_.clear();
}

std::size_t RequestReader::takeSkipped() { return std::exchange(skipped_, 0); }

}  // namespace tarnwick
