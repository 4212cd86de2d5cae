// SPDX-License-Identifier: GPL-2.0-or-later
// The boot code's commands as the worker runs them: each runs one exchange of
// the protocol, writes what it decoded into the worker's TargetInfo, and
// posts its notices (a status line before, the result after).
//
// Runs on the worker thread. A failed exchange leaves TargetInfo unchanged
// except for the blank flag, which blankCheck clears first; the LinkResult of
// the exchange is returned. CSerialException from the port passes through
// unchanged.
#pragma once

#include <cstdint>
#include <string_view>

#include "boot_protocol.h"
#include "notices.h"
#include "target_info.h"

namespace tarnwick {

// Status texts of the progress window, and the failure texts.
inline constexpr std::string_view kReadVersionStatus = "Read target version information...";
inline constexpr std::string_view kReadFlashIdStatus = "Read target FLASH identifier...";
inline constexpr std::string_view kBlankCheckStatus = "Blank check sector...";
inline constexpr std::string_view kGetSectorCrcStatus = "Get sector CRC...";
inline constexpr std::string_view kSetSectorCrcStatus = "Set sector CRC...";
inline constexpr std::string_view kEraseChipStatus = "Erase chip...";
inline constexpr std::string_view kNoFlashDetected = "No FLASH memory detected...";

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
    // A text longer than kMaxQueryText is not sent: the answer posted is
    // empty and the result is CommError.
    LinkResult textQuery(std::uint32_t start, std::uint32_t length, std::string_view text);
    // The two commands that end a session; the replies are not needed, so
    // both report Success. The second one posts MsgLinkState (1, 0).
    LinkResult closeSessionFirst();
    LinkResult closeSessionSecond();

private:
    [[nodiscard]] bool carriesTwoChecksums() const;

    BootProtocol protocol_;
    TargetInfo& target_;
    MessageSink& sink_;
};

}  // namespace tarnwick
