// The boot code's command set: request layouts, reply decoding, and the
// notices each command posts.
//
// Every operation of BootCommands runs one exchange on the worker thread,
// writes what it decoded into the worker's TargetInfo, posts its notices to
// the sink (a status line before, the result after), and returns the
// LinkResult of the exchange. A failed exchange leaves TargetInfo unchanged
// except for the blank flag, which blankCheck clears first. CSerialException
// from the port passes through unchanged.
//
// The frame builders below are for the multi-frame flash operations, which
// send these layouts many times and post their own notices.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string_view>

#include "frame_link.h"
#include "notices.h"
#include "target_info.h"

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

// Status texts of the progress window, and the failure texts.
inline constexpr std::string_view kReadVersionStatus = "Read target version information...";
inline constexpr std::string_view kReadFlashIdStatus = "Read target FLASH identifier...";
inline constexpr std::string_view kBlankCheckStatus = "Blank check sector...";
inline constexpr std::string_view kGetSectorCrcStatus = "Get sector CRC...";
inline constexpr std::string_view kSetSectorCrcStatus = "Set sector CRC...";
inline constexpr std::string_view kEraseChipStatus = "Erase chip...";
inline constexpr std::string_view kNoFlashDetected = "No FLASH memory detected...";

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

class BootCommands {
public:
    // All three are the worker's and outlive this object.
    BootCommands(FrameLink& link, TargetInfo& target, MessageSink& sink);

    // Stores the version text and, when a number can be read, bootVersion.
    LinkResult readVersionInfo();
    // Stores the identity in target.flash; reports an identity that the
    // catalogue does not know.
    LinkResult readFlashId();
    LinkResult blankCheck(std::uint32_t start, std::uint32_t length);
    LinkResult getSectorCrc(std::uint32_t start, std::uint32_t length);
    // Reports differing values as a checksum error (two-value boot codes).
    LinkResult setSectorCrc(std::uint32_t start, std::uint32_t length);
    LinkResult eraseChip(std::uint32_t start, std::uint32_t length);
    LinkResult readInfoBlock(std::uint32_t start, std::uint32_t length);
    // The text ends at its first zero byte. One longer than kMaxQueryText
    // does not fit the frame: it is not sent, the answer posted is empty and
    // the result is CommError.
    LinkResult textQuery(std::uint32_t start, std::uint32_t length, std::string_view text);
    // The two commands that end a session; the replies are not needed, so
    // both report Success. The second one posts MsgLinkState (1, 0).
    LinkResult closeSessionFirst();
    LinkResult closeSessionSecond();

private:
    // Clear the frame, fill the request and run its exchange.
    LinkResult runEmpty(const BootCommand& command);
    LinkResult runRange(const BootCommand& command, std::uint32_t start, std::uint32_t length);
    [[nodiscard]] bool carriesTwoChecksums() const;
    [[nodiscard]] SectorChecksums decodeChecksums() const;

    FrameLink& link_;
    TargetInfo& target_;
    MessageSink& sink_;
    FrameBuffer frame_{};
};

}  // namespace tarnwick
