// SPDX-License-Identifier: GPL-2.0-or-later
// The boot code's command set on the wire: request layouts, reply decoding,
// and one exchange per command.
//
// Pure protocol: BootProtocol builds each request, runs its exchange through
// the FrameLink, and returns the LinkResult with what it decoded; it keeps no
// state of the target and reports nothing. It runs on the thread that owns
// the link (the worker's). CSerialException from the port passes through
// unchanged; a request that cannot fit a frame raises std::length_error.
//
// The frame builders below are for the multi-frame flash operations, which
// send these layouts many times.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "frame_link.h"

namespace tarnwick {

enum class CommandGroup : std::uint8_t { Boot = 1, Flash = 2 };

// One command of the boot code, with the reply timeout its exchange uses.
struct BootCommand {
    std::uint8_t code;
    CommandGroup group;
    std::uint32_t replyTimeoutMs;
};

inline constexpr BootCommand kReadVersionInfo{0x01, CommandGroup::Boot, 2000};
inline constexpr BootCommand kCloseSessionFirst{0x55, CommandGroup::Boot, 500};
// A reply timeout of 0 leaves only the per-byte wait.
inline constexpr BootCommand kCloseSessionSecond{0xAA, CommandGroup::Boot, 0};
inline constexpr BootCommand kReadFlashId{0x01, CommandGroup::Flash, 2000};
inline constexpr BootCommand kBlankCheck{0x02, CommandGroup::Flash, 2000};
inline constexpr BootCommand kGetSectorCrc{0x03, CommandGroup::Flash, 2000};
inline constexpr BootCommand kSetSectorCrc{0x04, CommandGroup::Flash, 2000};
inline constexpr BootCommand kWriteData{0x05, CommandGroup::Flash, 10000};
// The same command writing the 4-byte image length word.
inline constexpr BootCommand kWriteLengthWord{0x05, CommandGroup::Flash, 2000};
inline constexpr BootCommand kReadData{0x06, CommandGroup::Flash, 2000};
inline constexpr BootCommand kEraseChip{0x07, CommandGroup::Flash, 2000};
inline constexpr BootCommand kEraseSectors{0x08, CommandGroup::Flash, 2000};
inline constexpr BootCommand kReadInfoBlock{0x0A, CommandGroup::Flash, 2000};
inline constexpr BootCommand kTextQuery{0x0B, CommandGroup::Flash, 2000};

// Largest data count of one write or read frame (address and count come first).
inline constexpr std::uint32_t kMaxDataPerFrame = 4088;
// Largest number of sector addresses in one erase frame (the end marker follows).
inline constexpr std::uint32_t kMaxSectorsPerFrame = 1023;
inline constexpr std::uint32_t kSectorListEnd = 0xFFFFFFFF;
// Longest text of a text query (start, length and the zero byte come with it).
inline constexpr std::size_t kMaxQueryText = 4087;
// From this boot version on, checksum replies carry two values.
inline constexpr std::uint16_t kDualChecksumBootVersion = 211;

// The values a checksum command reports before any reply was decoded.
inline constexpr std::uint32_t kNoFirstChecksum = 0;
inline constexpr std::uint32_t kNoSecondChecksum = 0xFFFFFFFF;

// The byte the boot code sends when it starts with its line held in break.
inline constexpr std::uint8_t kReadyByte = 0x16;

// A blank check's status word when the region is erased.
inline constexpr std::uint16_t kBlankStatus = 1;

// The number in a boot code version text: the 4 characters after the first
// " v" (or, without one, those from position 1) read as "major.minor", giving
// major * 100 + minor in 16 bits. A window of "10.11" holds only "10.1", so
// it gives 1001. Nothing when " v" opens the text or two numbers cannot be read.
std::optional<std::uint16_t> parseBootVersion(std::string_view versionText);

// Fills header, address, count and data of one write frame; the rest of the
// buffer is left as it is. More than kMaxDataPerFrame bytes raise
// std::length_error, as the frame cannot hold them.
void buildWriteData(FrameBuffer& frame, std::uint32_t address, std::span<const std::uint8_t> data);
// After the exchange: the count the target reports as written (u32 at 0), and
// the count to compare it with (u32 at 4: the reply's, or the request's when
// the reply was shorter).
std::uint32_t writtenCount(const FrameBuffer& frame);
std::uint32_t expectedWriteCount(const FrameBuffer& frame);

// Fills header, address and count of one read frame; a count above
// kMaxDataPerFrame raises std::length_error.
void buildReadData(FrameBuffer& frame, std::uint32_t address, std::uint32_t count);
// The data of a good read reply (length count + 8), or nothing.
std::optional<std::span<const std::uint8_t>> readDataBytes(const FrameBuffer& frame, std::uint32_t count);

// Fills header and the ascending sector start addresses followed by the end
// marker; more than kMaxSectorsPerFrame addresses raise std::length_error.
void buildEraseSectors(FrameBuffer& frame, std::span<const std::uint32_t> sectorStarts);
// After the exchange: the number of sectors the target erased.
std::uint32_t erasedCount(const FrameBuffer& frame);

// Checksum values as the main window's two fields show them.
struct SectorChecksums {
    std::uint32_t first = kNoFirstChecksum;
    std::uint32_t second = kNoSecondChecksum;
};

// The flash chip's identity as the boot code reports it.
struct FlashIdentity {
    std::uint8_t manufacturerId = 0;
    std::uint8_t deviceId = 0;
};

// An exchange's result and what its reply held; value is meaningful only
// when result is Success.
template <typename Value>
struct Reply {
    LinkResult result = LinkResult::CommError;
    Value value{};
};

class BootProtocol {
public:
    // link outlives this object.
    explicit BootProtocol(FrameLink& link) : link_(link) {}

    // The reply's text up to its first zero byte.
    Reply<std::string> readVersionInfo();
    Reply<FlashIdentity> readFlashId();
    // The low 16 bits of the status word (kBlankStatus: erased).
    Reply<std::uint16_t> blankCheck(std::uint32_t start, std::uint32_t length);
    // twoValues: the boot code replies with two values (kDualChecksumBootVersion
    // on). A reply whose length does not fit keeps the values that stand for
    // "nothing decoded".
    Reply<SectorChecksums> getSectorCrc(std::uint32_t start, std::uint32_t length, bool twoValues);
    Reply<SectorChecksums> setSectorCrc(std::uint32_t start, std::uint32_t length, bool twoValues);
    LinkResult eraseChip(std::uint32_t start, std::uint32_t length);
    // The reply's payload; valid until the next command.
    Reply<std::span<const std::uint8_t>> readInfoBlock(std::uint32_t start, std::uint32_t length);
    // The text ends at its first zero byte. One longer than kMaxQueryText
    // does not fit the frame: it is not sent, and the result is CommError.
    Reply<std::string> textQuery(std::uint32_t start, std::uint32_t length, std::string_view text);
    // The two commands that end a session.
    LinkResult closeSessionFirst();
    LinkResult closeSessionSecond();

private:
    // Clear the frame, fill the request and run its exchange.
    LinkResult runEmpty(const BootCommand& command);
    LinkResult runRange(const BootCommand& command, std::uint32_t start, std::uint32_t length);
    Reply<SectorChecksums> runChecksums(const BootCommand& command, std::uint32_t start, std::uint32_t length,
                                        bool twoValues);

    FrameLink& link_;
    FrameBuffer frame_{};
};

}  // namespace tarnwick
