// SPDX-License-Identifier: GPL-2.0-or-later
// The framed request/reply exchange with the camera's boot code.
//
// A FrameBuffer holds a request and, after a successful exchange, the reply
// laid over it: its bytes are the wire layout of the frame body (command,
// group, length u16, 4096 payload bytes, crc u32; little-endian), so it is
// sent and received in place. Only the first 4 + length bytes go on the line.
//
// FrameLink is the interface that the boot commands and the flash operations
// talk through; SerialFrameLink is the real transport over a SerialLine (the
// SerialPort, or a stand-in that scripts the target's bytes).
//
// Threads: an exchange runs on the thread that owns the line (the worker's);
// another thread ends it early only by setting the quit event.
//
// Errors: the line's faults come back as the LinkResult after the last
// attempt (CrcError when the target refused a request as damaged, CommError
// for silence or a bad reply, Cancelled when the quit event was set); a
// refused port call raises CSerialException, which passes through unchanged.
#pragma once

#include <array>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <span>

#include "event.h"
#include "serial_port.h"

namespace tarnwick {

inline constexpr std::size_t kFrameHeaderSize = 4;
inline constexpr std::size_t kFramePayloadCapacity = 4096;
inline constexpr std::size_t kFrameCrcOffset = kFrameHeaderSize + kFramePayloadCapacity;
inline constexpr std::size_t kFrameSize = kFrameCrcOffset + 4;

inline constexpr std::uint8_t kStx = 0x02;
inline constexpr std::uint8_t kEtx = 0x03;
inline constexpr std::uint8_t kAck = 0x06;
inline constexpr std::uint8_t kNak = 0x15;
inline constexpr std::uint8_t kCan = 0x18;

// CRC-32, reflected polynomial 0xEDB88320, preset 0, no final inversion.
std::uint32_t frameCrc(std::span<const std::uint8_t> bytes);

class FrameBuffer {
public:
    // All bytes zero.
    void clear() { bytes_.fill(0); }
    void setHeader(std::uint8_t command, std::uint8_t group, std::uint16_t length);

    [[nodiscard]] std::uint8_t command() const { return bytes_[0]; }
    [[nodiscard]] std::uint8_t group() const { return bytes_[1]; }
    // As stored; a received reply never holds more than the capacity.
    [[nodiscard]] std::uint16_t length() const { return readLe16(2); }
    void setLength(std::uint16_t length) { writeLe16(2, length); }

    // Little-endian fields at payload offsets; the offset must leave room.
    [[nodiscard]] std::uint16_t payload16(std::size_t offset) const { return readLe16(kFrameHeaderSize + offset); }
    [[nodiscard]] std::uint32_t payload32(std::size_t offset) const { return readLe32(kFrameHeaderSize + offset); }
    void setPayload16(std::size_t offset, std::uint16_t value) { writeLe16(kFrameHeaderSize + offset, value); }
    void setPayload32(std::size_t offset, std::uint32_t value) { writeLe32(kFrameHeaderSize + offset, value); }

    [[nodiscard]] std::span<std::uint8_t, kFramePayloadCapacity> payload() {
        return std::span(bytes_).subspan<kFrameHeaderSize, kFramePayloadCapacity>();
    }
    [[nodiscard]] std::span<const std::uint8_t, kFramePayloadCapacity> payload() const {
        return std::span(bytes_).subspan<kFrameHeaderSize, kFramePayloadCapacity>();
    }

    [[nodiscard]] std::uint32_t crc() const { return readLe32(kFrameCrcOffset); }
    void setCrc(std::uint32_t crc) { writeLe32(kFrameCrcOffset, crc); }

    // Header and payload up to the stored length, capped at the capacity.
    [[nodiscard]] std::span<const std::uint8_t> body() const;
    // frameCrc over body().
    [[nodiscard]] std::uint32_t bodyCrc() const { return frameCrc(body()); }

    [[nodiscard]] std::span<std::uint8_t, kFrameSize> bytes() { return bytes_; }
    [[nodiscard]] std::span<const std::uint8_t, kFrameSize> bytes() const { return bytes_; }

    friend bool operator==(const FrameBuffer&, const FrameBuffer&) = default;

private:
    [[nodiscard]] std::uint16_t readLe16(std::size_t at) const;
    [[nodiscard]] std::uint32_t readLe32(std::size_t at) const;
    void writeLe16(std::size_t at, std::uint16_t value);
    void writeLe32(std::size_t at, std::uint32_t value);

    std::array<std::uint8_t, kFrameSize> bytes_{};
};

enum class LinkResult : std::uint32_t { Success = 0, Cancelled = 1, CommError = 2, CrcError = 3 };

class FrameLink {
public:
    virtual ~FrameLink() = default;
    // The caller filled command, group, length and payload. On Success the
    // buffer holds the reply laid over the request; otherwise the request
    // with its crc slot set. CSerialException from the port passes through.
    virtual LinkResult exchange(FrameBuffer& frame, std::uint32_t replyTimeoutMs) = 0;
};

// The waits of the transport; tests shorten them.
struct FrameTimings {
    // After every failed attempt, the last one included.
    std::chrono::milliseconds failurePause{600};
    std::uint32_t readIntervalMs = 500;
    std::uint32_t readMultiplierMs = 100;
};

class SerialFrameLink final : public FrameLink {
public:
    // line and quit are the worker's and outlive the link. quit is polled
    // while the reply is awaited, and it shortens the pause after a failed
    // attempt.
    SerialFrameLink(SerialLine& line, Event& quit, FrameTimings timings = {});

    LinkResult exchange(FrameBuffer& frame, std::uint32_t replyTimeoutMs) override;

private:
    enum class Attempt { Accepted, Failed, Rejected, Cancelled };

    Attempt attempt(FrameBuffer& frame);
    void sendRequest(FrameBuffer& frame);
    Attempt receiveReply(FrameBuffer& frame);
    bool readExactly(std::span<std::uint8_t> bytes);
    void sendByte(std::uint8_t byte);

    SerialLine& line_;
    Event& quit_;
    FrameTimings timings_;
    FrameBuffer working_{};
};

}  // namespace tarnwick
