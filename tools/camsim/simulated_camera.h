// SPDX-License-Identifier: GPL-2.0-or-later
// A stand-in for the camera's boot code, reached over a pseudo-terminal.
//
// A SimulatedCamera opens a pseudo-terminal, publishes its slave side as the
// port alias COM<n> in portFolder() (creating the folder), and serves the
// target side of the frame protocol on its own thread until it is destroyed,
// which also removes the alias. Host code opens the port by its number like
// any other serial port.
//
// The camera: a NOR flash of a catalogue chip (erase sets sectors to 0xFF,
// programming only clears bits), the boot code version text, and an answer
// to every boot code command. A request with a bad checksum, an unknown
// command or a malformed or out-of-range payload is answered with CAN. After
// the second closing command the boot code has handed over to the firmware:
// it answers nothing until the next reset.
//
// Replies: the version text zero-ended; the flash id as device id, then
// manufacturer id; blank check status 0x0001 (blank) or 0x0101; checksums
// are frameCrc over the range, one value before boot version 2.11, from
// then on the stored value (0xFFFFFFFF until set; a set only clears bits of
// it, an erase of the range's sectors forgets it) followed by the computed
// one; write {written, count}; read {address, count, data}; sector erase
// {sectors erased}, counting only addresses that start a sector; the info
// block is the flash bytes of the range (at most 4096); a text query is
// answered with its own text.
//
// A pseudo-terminal carries no break, so the reset that makes the boot code
// send its ready byte (0x16) happens readyDelay after the host opens the
// slave, again after every re-open, and whenever resetCamera() is called. A
// request that comes before then means the boot code runs already: the byte
// is not sent. (Two opens refused in quick succession while a host holds the
// line may be taken for a re-open.)
//
// Bytes on the line that are not part of a frame are skipped; the receiver
// resynchronises on the next STX.
//
// A pseudo-terminal moves bytes as fast as the two ends copy them. With a
// bit rate the camera paces the line as an 8N1 line of that rate would:
// each direction carries at most rate / 10 bytes a second, what the host
// wrote reaches the camera's receiver one byte time after another, and what
// the camera sends reaches the host the same way.
//
// Every public member may be called from any thread. Constructor failures
// (no pseudo-terminal, no free port number, an unusable flash file) raise
// std::system_error or std::invalid_argument.
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <system_error>
#include <vector>

#include "frame_link.h"

namespace tarnwick {

struct CameraOptions {
    // A chipName of FlashCatalogue::chips(); the flash starts erased.
    std::string chip = "MBM29DL324BE";
    std::string versionText = "BLS v2.11 (sim)";
    // 0: the first free number from 200 up.
    int portNumber = 0;
    std::chrono::milliseconds readyDelay{300};
    // false: opening the line resets nothing; the camera restarts only by
    // resetCamera(), as one that runs its firmware while a station waits
    // on its line.
    bool resetOnOpen = true;
    // Loaded at construction when the file exists (shorter files leave the
    // rest erased); saveFlash() writes it back.
    std::optional<std::filesystem::path> flashFile;
    // The line's bit rate; 0: as fast as the pseudo-terminal goes.
    std::uint32_t bitsPerSecond = 0;
};

// A command as (group, code), the first two header bytes in reverse order.
struct CommandId {
    std::uint8_t group;
    std::uint8_t code;

    friend bool operator==(const CommandId&, const CommandId&) = default;
};

enum class FaultKind {
    NoiseBeforeStx,   // amount stray bytes (never STX) before the reply
    WrongReplyCrc,    // the reply's checksum has one bit flipped
    MissingEtx,       // the reply ends without its ETX
    OverlongLength,   // the reply's length field says amount (0: 0xFFFF)
    CanInsteadOfAck,  // a good request is rejected, nothing is done
    Silence,          // no acknowledgement and no reply, nothing is done
    DelayReply,       // delay between the ACK and the reply
    EraseFewer,       // a sector erase erases and reports amount fewer
    WriteFewer,       // a data write writes and reports amount fewer bytes
    HangUp,           // the camera closes the line halfway through the reply
};

// One scheduled fault. It strikes the frame-th matching request received
// after it was scheduled, and the times - 1 matching requests after that
// (times 0: every one from then on). Only requests with a good checksum
// count. Several faults may strike one request.
struct Fault {
    FaultKind kind;
    // Nothing: requests of every command match.
    std::optional<CommandId> command{};
    std::uint32_t frame = 1;
    std::uint32_t times = 1;
    std::uint32_t amount = 0;
    std::chrono::milliseconds delay{0};
};

// One request frame as it came on the line, from STX to ETX.
struct ObservedRequest {
    std::vector<std::uint8_t> raw;
    bool crcGood;
    // Header fields as received; meaningful when crcGood.
    CommandId command;
};

struct CameraCounters {
    std::size_t requests = 0;        // complete request frames, good or bad
    std::size_t rejected = 0;        // answered with CAN
    std::size_t replies = 0;         // reply frames sent (faulty ones included)
    std::size_t skippedBytes = 0;    // bytes outside any frame, or of dropped frames
    std::size_t readyBytes = 0;      // ready bytes sent
    std::size_t hostOpens = 0;       // times the host opened the line
    std::size_t hangUps = 0;         // lines the camera closed (HangUp faults)
    std::size_t bytesFromHost = 0;   // every byte the camera read from the line
    std::size_t bytesToHost = 0;     // every byte the camera put on the line
};

// Answers one request; nothing rejects it with CAN. The reply's header bytes
// 0 and 1 and its length are sent as set, with the payload up to the length.
using RequestHandler = std::function<std::optional<FrameBuffer>(const FrameBuffer& request)>;

// Replies with the request's own header and payload.
RequestHandler echoHandler();
// Replies to every request with these payload bytes (at most the capacity).
RequestHandler fixedReplyHandler(std::vector<std::uint8_t> payload);

class SimulatedCamera {
public:
    explicit SimulatedCamera(CameraOptions options = {});
    SimulatedCamera(const SimulatedCamera&) = delete;
    SimulatedCamera& operator=(const SimulatedCamera&) = delete;
    ~SimulatedCamera();

    [[nodiscard]] int portNumber() const;
    // The slave device the alias points to. A HangUp fault replaces the
    // pseudo-terminal: the alias then points to a new device.
    [[nodiscard]] std::filesystem::path devicePath() const;
    [[nodiscard]] std::filesystem::path aliasPath() const;

    // Restarts the boot code: it is back from the firmware, and it sends the
    // ready byte at once when the host has the line open.
    void resetCamera();

    // Replaces the camera's own answers (nothing: back to the camera).
    void setHandler(RequestHandler handler);

    // The flash chip's size and contents.
    [[nodiscard]] std::uint32_t flashSize() const;
    [[nodiscard]] std::vector<std::uint8_t> flash(std::uint32_t address, std::uint32_t count) const;
    // Overwrites bytes as they are (not as programming would), e.g. to make
    // a region unerased. The range must lie in the chip.
    void presetFlash(std::uint32_t address, std::span<const std::uint8_t> bytes);
    // Writes the whole flash to the file atomically (CameraOptions::flashFile
    // when no path is given); the error of the refused step, if any.
    std::error_code saveFlash(std::optional<std::filesystem::path> path = std::nullopt) const;

    void scheduleFault(const Fault& fault);
    void clearFaults();

    // The observation log, oldest first.
    [[nodiscard]] std::vector<ObservedRequest> requests() const;
    // The bytes the host sent after each reply (ACK, NAK, or what else came).
    [[nodiscard]] std::vector<std::uint8_t> hostAnswers() const;
    [[nodiscard]] CameraCounters counters() const;
    void clearLog();
    // True once at least count requests (or host answers) are logged.
    bool waitForRequests(std::size_t count, std::chrono::milliseconds timeout) const;
    bool waitForHostAnswers(std::size_t count, std::chrono::milliseconds timeout) const;

    class Impl;

private:
    std::unique_ptr<Impl> impl_;
};

}  // namespace tarnwick
