// SPDX-License-Identifier: GPL-2.0-or-later
#include "frame_link.h"

#include <algorithm>

namespace tarnwick {
namespace {

constexpr std::array<std::uint32_t, 256> makeCrcTable() {
    std::array<std::uint32_t, 256> table{};
    for (std::uint32_t index = 0; index < table.size(); ++index) {
        std::uint32_t value = index;
        for (int bit = 0; bit < 8; ++bit) {
            value = (value & 1U) != 0 ? (value >> 1) ^ 0xEDB88320U : value >> 1;
        }
        table[index] = value;
    }
    return table;
}

constexpr auto kCrcTable = makeCrcTable();

// Bytes before the reply's STX that are tolerated: the tenth stray byte or
// timeout ends the attempt.
constexpr int kStxTries = 10;
constexpr int kAttempts = 2;

enum class ReceiveState { WaitStx, ReadHead, ReadLength, ReadPayload, ReadCrc, ReadEtx, Accept, Reject, Flush };

}  // namespace

std::uint32_t frameCrc(std::span<const std::uint8_t> bytes) {
    std::uint32_t crc = 0;
    for (const std::uint8_t byte : bytes) {
        crc = (crc >> 8) ^ kCrcTable[(crc ^ byte) & 0xFFU];
    }
    return crc;
}

void FrameBuffer::setHeader(std::uint8_t command, std::uint8_t group, std::uint16_t length) {
    bytes_[0] = command;
    bytes_[1] = group;
    setLength(length);
}

std::span<const std::uint8_t> FrameBuffer::body() const {
    const std::size_t payloadLength = std::min<std::size_t>(length(), kFramePayloadCapacity);
    return std::span(bytes_).first(kFrameHeaderSize + payloadLength);
}

std::uint16_t FrameBuffer::readLe16(std::size_t at) const {
    return static_cast<std::uint16_t>(bytes_.at(at) | bytes_.at(at + 1) << 8);
}

std::uint32_t FrameBuffer::readLe32(std::size_t at) const {
    return static_cast<std::uint32_t>(readLe16(at)) | static_cast<std::uint32_t>(readLe16(at + 2)) << 16;
}

void FrameBuffer::writeLe16(std::size_t at, std::uint16_t value) {
    bytes_.at(at) = static_cast<std::uint8_t>(value);
    bytes_.at(at + 1) = static_cast<std::uint8_t>(value >> 8);
}

void FrameBuffer::writeLe32(std::size_t at, std::uint32_t value) {
    writeLe16(at, static_cast<std::uint16_t>(value));
    writeLe16(at + 2, static_cast<std::uint16_t>(value >> 16));
}

SerialFrameLink::SerialFrameLink(SerialLine& line, Event& quit, FrameTimings timings)
    : line_(line), quit_(quit), timings_(timings) {}

LinkResult SerialFrameLink::exchange(FrameBuffer& frame, std::uint32_t replyTimeoutMs) {
    CommTimeouts timeouts = line_.getTimeouts();
    timeouts.readIntervalTimeout = timings_.readIntervalMs;
    timeouts.readTotalTimeoutMultiplier = timings_.readMultiplierMs;
    timeouts.readTotalTimeoutConstant = replyTimeoutMs;
    line_.setTimeouts(timeouts);

    bool rejected = false;
    for (int attemptNumber = 0; attemptNumber < kAttempts; ++attemptNumber) {
        switch (attempt(frame)) {
            case Attempt::Accepted: return LinkResult::Success;
            case Attempt::Cancelled: return LinkResult::Cancelled;
            case Attempt::Rejected: rejected = true; break;
            case Attempt::Failed: break;
        }
        // Cut short by a stop, which interrupts the line's waits as well.
        quit_.wait(timings_.failurePause);
    }
    return rejected ? LinkResult::CrcError : LinkResult::CommError;
}

SerialFrameLink::Attempt SerialFrameLink::attempt(FrameBuffer& frame) {
    // Afresh each attempt, so that a bad reply leaves none of its bytes
    // beyond a good reply's length.
    working_ = frame;
    line_.purgeReceive();
    sendRequest(frame);
    std::uint8_t answer = 0;
    if (line_.read(std::span(&answer, 1)) == 0) {
        return Attempt::Failed;
    }
    if (answer == kCan) {
        return Attempt::Rejected;
    }
    if (answer != kAck) {
        return Attempt::Failed;
    }
    return receiveReply(frame);
}

void SerialFrameLink::sendRequest(FrameBuffer& frame) {
    frame.setCrc(frame.bodyCrc());
    line_.transmitChar(kStx);
    line_.write(frame.body());
    line_.write(frame.bytes().subspan<kFrameCrcOffset, 4>());
    line_.transmitChar(kEtx);
}

SerialFrameLink::Attempt SerialFrameLink::receiveReply(FrameBuffer& frame) {
    const auto bytes = working_.bytes();
    ReceiveState state = ReceiveState::WaitStx;
    int stxTriesLeft = kStxTries;
    bool attemptOver = false;
    for (;;) {
        if (attemptOver) {
            return Attempt::Failed;
        }
        if (quit_.isSet()) {
            return Attempt::Cancelled;
        }
        switch (state) {
            case ReceiveState::WaitStx: {
                std::uint8_t byte = 0;
                if (line_.read(std::span(&byte, 1)) == 1 && byte == kStx) {
                    state = ReceiveState::ReadHead;
                } else if (--stxTriesLeft == 0) {
                    attemptOver = true;
                }
                break;
            }
            case ReceiveState::ReadHead:
                state = readExactly(bytes.subspan(0, 2)) ? ReceiveState::ReadLength : ReceiveState::Reject;
                break;
            case ReceiveState::ReadLength:
                if (!readExactly(bytes.subspan(2, 2))) {
                    state = ReceiveState::Reject;
                } else if (working_.length() == 0) {
                    state = ReceiveState::ReadCrc;
                } else if (working_.length() > kFramePayloadCapacity) {
                    state = ReceiveState::Reject;
                } else {
                    state = ReceiveState::ReadPayload;
                }
                break;
            case ReceiveState::ReadPayload:
                state = readExactly(working_.payload().first(working_.length())) ? ReceiveState::ReadCrc
                                                                                 : ReceiveState::Reject;
                break;
            case ReceiveState::ReadCrc:
                state = readExactly(bytes.subspan<kFrameCrcOffset, 4>()) && working_.crc() == working_.bodyCrc()
                            ? ReceiveState::ReadEtx
                            : ReceiveState::Reject;
                break;
            case ReceiveState::ReadEtx: {
                std::uint8_t byte = 0;
                state = line_.read(std::span(&byte, 1)) == 1 && byte == kEtx ? ReceiveState::Accept
                                                                              : ReceiveState::Reject;
                break;
            }
            case ReceiveState::Accept:
                sendByte(kAck);
                frame = working_;
                return Attempt::Accepted;
            case ReceiveState::Reject:
                sendByte(kNak);
                state = ReceiveState::Flush;
                break;
            case ReceiveState::Flush:
                line_.purgeReceive();
                attemptOver = true;
                state = ReceiveState::WaitStx;
                break;
        }
    }
}

bool SerialFrameLink::readExactly(std::span<std::uint8_t> bytes) { return line_.read(bytes) == bytes.size(); }

void SerialFrameLink::sendByte(std::uint8_t byte) { line_.write(std::span(&byte, 1)); }

}  // namespace tarnwick
