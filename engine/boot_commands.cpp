// SPDX-License-Identifier: GPL-2.0-or-later
#include "boot_commands.h"

#include <algorithm>
#include <array>
#include <cstdio>
#include <string>

namespace tarnwick {
namespace {

constexpr std::uint32_t kFailedNumber = 0xFFFFFFFF;
constexpr const char* kChecksumErrorFormat = "Checksum error\n0x%x <-> 0x%x";

std::string checksumErrorText(const SectorChecksums& values) {
    std::array<char, 64> text{};
    std::snprintf(text.data(), text.size(), kChecksumErrorFormat, static_cast<unsigned>(values.first),
                  static_cast<unsigned>(values.second));
    return text.data();
}

void postStatus(MessageSink& sink, std::string_view text) { postProgress(sink, ProgressCode::Status, std::string(text)); }

}  // namespace

BootCommands::BootCommands(FrameLink& link, TargetInfo& target, MessageSink& sink)
    : protocol_(link), target_(target), sink_(sink) {}

LinkResult BootCommands::readVersionInfo() {
    postStatus(sink_, kReadVersionStatus);
    const Reply<std::string> reply = protocol_.readVersionInfo();
    if (reply.result == LinkResult::Success) {
        target_.versionText = reply.value;
        target_.bootVersion = parseBootVersion(target_.versionText).value_or(target_.bootVersion);
    }
    postInfo(sink_, InfoCode::Version, static_cast<std::uint32_t>(reply.result));
    return reply.result;
}

LinkResult BootCommands::readFlashId() {
    postStatus(sink_, kReadFlashIdStatus);
    const Reply<FlashIdentity> reply = protocol_.readFlashId();
    if (reply.result == LinkResult::Success) {
        FlashCatalogue& flash = target_.flash;
        flash.setDetected(reply.value.manufacturerId, reply.value.deviceId);
        // Each id is looked up by itself, so a pair that no row holds passes.
        if (!flash.isKnownDevice() || !flash.isKnownManufacturer()) {
            postInfo(sink_, InfoCode::Failure, std::string(kNoFlashDetected));
        }
    }
    postInfo(sink_, InfoCode::Platform, static_cast<std::uint32_t>(reply.result));
    return reply.result;
}

LinkResult BootCommands::blankCheck(std::uint32_t start, std::uint32_t length) {
    postStatus(sink_, kBlankCheckStatus);
    target_.blank = false;
    const Reply<std::uint16_t> reply = protocol_.blankCheck(start, length);
    std::uint32_t status = kFailedNumber;
    if (reply.result == LinkResult::Success) {
        status = reply.value;
        target_.blank = status == kBlankStatus;
    }
    postInfo(sink_, InfoCode::BlankCheck, status);
    return reply.result;
}

LinkResult BootCommands::getSectorCrc(std::uint32_t start, std::uint32_t length) {
    postStatus(sink_, kGetSectorCrcStatus);
    const Reply<SectorChecksums> reply = protocol_.getSectorCrc(start, length, carriesTwoChecksums());
    postInfo(sink_, InfoCode::Checksum1, reply.value.first);
    postInfo(sink_, InfoCode::Checksum2, reply.value.second);
    return reply.result;
}

LinkResult BootCommands::setSectorCrc(std::uint32_t start, std::uint32_t length) {
    postStatus(sink_, kSetSectorCrcStatus);
    const Reply<SectorChecksums> reply = protocol_.setSectorCrc(start, length, carriesTwoChecksums());
    const SectorChecksums& values = reply.value;
    if (reply.result == LinkResult::Success && carriesTwoChecksums() && values.first != values.second) {
        postInfo(sink_, InfoCode::Failure, checksumErrorText(values));
    }
    postInfo(sink_, InfoCode::SetChecksum1, values.first);
    postInfo(sink_, InfoCode::SetChecksum2, values.second);
    return reply.result;
}

LinkResult BootCommands::eraseChip(std::uint32_t start, std::uint32_t length) {
    postStatus(sink_, kEraseChipStatus);
    return protocol_.eraseChip(start, length);
}

LinkResult BootCommands::readInfoBlock(std::uint32_t start, std::uint32_t length) {
    const Reply<std::span<const std::uint8_t>> reply = protocol_.readInfoBlock(start, length);
    std::uint32_t reported = kFailedNumber;
    if (reply.result == LinkResult::Success) {
        const std::size_t stored = std::min(reply.value.size(), target_.infoBlock.size());
        std::copy_n(reply.value.begin(), stored, target_.infoBlock.begin());
        target_.infoBlockLength = static_cast<std::uint32_t>(stored);
        reported = target_.infoBlockLength;
    }
    postInfo(sink_, InfoCode::InfoBlock, reported);
    return reply.result;
}

LinkResult BootCommands::textQuery(std::uint32_t start, std::uint32_t length, std::string_view text) {
    Reply<std::string> reply = protocol_.textQuery(start, length, text);
    postInfo(sink_, InfoCode::TextQuery, std::move(reply.value));
    return reply.result;
}

LinkResult BootCommands::closeSessionFirst() {
    protocol_.closeSessionFirst();
    return LinkResult::Success;
}

LinkResult BootCommands::closeSessionSecond() {
    protocol_.closeSessionSecond();
    postLinkState(sink_, false);
    return LinkResult::Success;
}

bool BootCommands::carriesTwoChecksums() const { return target_.bootVersion >= kDualChecksumBootVersion; }

}  // namespace tarnwick
