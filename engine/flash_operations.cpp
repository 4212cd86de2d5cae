// SPDX-License-Identifier: GPL-2.0-or-later
#include "flash_operations.h"

#include <algorithm>
#include <array>
#include <chrono>
#include <cstdio>
#include <iterator>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "boot_commands.h"
#include "catalogues.h"

namespace tarnwick {

namespace {

constexpr std::string_view kEraseSectorStatus = "Erase sector...";
constexpr std::string_view kWriteStatusFormat = "Write <%s%s> to 0x%08X";
constexpr std::string_view kVerifyStatusFormat = "Verify <%s%s> to 0x%08X";
constexpr std::string_view kReadStatusFormat = "Read <%s%s> from 0x%08X";

constexpr std::string_view kNothingToErase = "Nothing to erase...";
constexpr std::string_view kEraseCommError = "Sector erase failed - communication error";
constexpr std::string_view kEraseCrcError = "Sector erase failed - CRC error";
constexpr std::string_view kEraseCountFormat = "Sector erase failed (%u of %u)";
constexpr std::string_view kCantProgram = "Can't program - internal error...";
constexpr std::string_view kNotErased = "Sector not erased...";
constexpr std::string_view kWriteCommError = "Sector write failed - communication error";
constexpr std::string_view kWriteCrcError = "Sector write failed - CRC error";
constexpr std::string_view kWriteTimeoutFormat = "Timeout after %u bytes written";
constexpr std::string_view kLengthInfoFailed = "Update length info failed - communication error";
constexpr std::string_view kCantVerify = "Can't verify - internal error...";
constexpr std::string_view kRegionBlank = "Sector is blank...";
constexpr std::string_view kReadCommError = "Sector read failed - communication error";
constexpr std::string_view kReadCrcError = "Sector read failed - CRC error";
constexpr std::string_view kReadErrorFormat = "Read error at offset 0x%X";
constexpr std::string_view kCompareErrorFormat = "Compare error at offset 0x%X";
constexpr std::string_view kCantRead = "Can't read - internal error...";

// An erased length word, and one never written with a length.
constexpr std::uint32_t kErasedWord = 0xFFFFFFFF;
constexpr std::uint32_t kZeroWord = 0;

constexpr std::uint8_t kErasedByte = 0xFF;

template <typename... Args>
std::string formatText(std::string_view format, Args... args) {
    std::array<char, 512> text{};
    std::snprintf(text.data(), text.size(), format.data(), args...);
    return text.data();
}

void reportFailure(const FlashParts& parts, std::string_view text) {
    postInfo(parts.sink, InfoCode::Failure, std::string(text));
}

// The failed exchange's text: a rejected request has its own.
void reportExchangeFailure(const FlashParts& parts, LinkResult result, std::string_view crcText,
                           std::string_view commText) {
    reportFailure(parts, result == LinkResult::CrcError ? crcText : commText);
}

// Quit is looked at first and left set; a cancel is consumed by the look.
bool stopRequested(const FlashParts& parts) {
    return parts.quit.isSet() || parts.cancel.wait(std::chrono::milliseconds(0));
}

// A blank check that posts nothing; clears the blank flag and sets it again
// when the target reports the region blank. Nothing when the exchange failed.
std::optional<bool> checkBlank(const FlashParts& parts, std::uint32_t start, std::uint32_t length) {
    parts.target.blank = false;
    const Reply<std::uint16_t> reply = BootProtocol(parts.link).blankCheck(start, length);
    if (reply.result != LinkResult::Success) {
        return std::nullopt;
    }
    parts.target.blank = reply.value == kBlankStatus;
    return parts.target.blank;
}

// Base name without folder and extension, and the extension with its dot.
// Package files may name files with either separator.
struct SplitName {
    std::string base;
    std::string extension;
};

SplitName splitFileName(std::string_view fileName) {
    const auto slash = fileName.find_last_of("/\\");
    const std::string_view name = slash == std::string_view::npos ? fileName : fileName.substr(slash + 1);
    const auto dot = name.rfind('.');
    if (dot == std::string_view::npos) {
        return {std::string(name), {}};
    }
    return {std::string(name.substr(0, dot)), std::string(name.substr(dot))};
}

void postOperationStatus(const FlashParts& parts, std::string_view format, std::string_view fileName,
                         std::uint32_t start) {
    const SplitName name = splitFileName(fileName);
    postProgress(parts.sink, ProgressCode::Status,
                 formatText(format, name.base.c_str(), name.extension.c_str(), static_cast<unsigned>(start)));
}

// A bar from 0 to the number of whole blocks, at position 0.
void postBlockRange(const FlashParts& parts, std::uint32_t total) {
    const std::uint32_t blocks = (total / kMaxDataPerFrame) & 0xFFFFu;
    postProgress(parts.sink, ProgressCode::Range, blocks << 16);
    postProgress(parts.sink, ProgressCode::Position, 0);
}

void postStep(const FlashParts& parts) { postProgress(parts.sink, ProgressCode::Step, 0); }

// One block of the image. The pad byte of an odd image lies behind the data,
// so it is supplied here as an erased byte rather than read past the end.
std::span<const std::uint8_t> imageBlock(std::span<const std::uint8_t> image, std::uint32_t offset,
                                         std::uint32_t count, std::array<std::uint8_t, kMaxDataPerFrame>& scratch) {
    if (offset + count <= image.size()) {
        return image.subspan(offset, count);
    }
    const auto available = image.subspan(offset);
    std::ranges::fill(scratch, kErasedByte);
    std::ranges::copy(available, scratch.begin());
    return std::span<const std::uint8_t>(scratch).first(count);
}

bool allErased(std::span<const std::uint8_t> bytes) {
    return std::ranges::all_of(bytes, [](std::uint8_t byte) { return byte == kErasedByte; });
}

bool hasImage(const PackageItem* item) { return item != nullptr && item->hasData(); }

std::uint32_t evenLength(std::uint32_t length) { return length + (length & 1u); }

std::uint32_t littleEndianWord(std::span<const std::uint8_t> bytes) {
    return std::uint32_t{bytes[0]} | std::uint32_t{bytes[1]} << 8 | std::uint32_t{bytes[2]} << 16 |
           std::uint32_t{bytes[3]} << 24;
}

// Sends one block at start + offset; false, after its failure text, when it
// did not go through whole.
bool writeBlock(const FlashParts& parts, FrameBuffer& frame, std::uint32_t start, std::uint32_t offset,
                std::span<const std::uint8_t> block) {
    buildWriteData(frame, start + offset, block);
    const LinkResult result = parts.link.exchange(frame, kWriteData.replyTimeoutMs);
    if (result != LinkResult::Success) {
        reportExchangeFailure(parts, result, kWriteCrcError, kWriteCommError);
        return false;
    }
    const std::uint32_t written = writtenCount(frame);
    if (written != expectedWriteCount(frame)) {
        reportFailure(parts, formatText(kWriteTimeoutFormat, static_cast<unsigned>(offset + written)));
        return false;
    }
    return true;
}

// Writes the blocks of one programming pass; the bytes that went through.
std::uint32_t writeBlocks(const FlashParts& parts, FrameBuffer& frame, std::uint32_t start,
                          std::span<const std::uint8_t> image, std::uint32_t total) {
    std::array<std::uint8_t, kMaxDataPerFrame> scratch{};
    std::uint32_t offset = 0;
    while (offset < total && !stopRequested(parts)) {
        const std::uint32_t count = std::min(total - offset, kMaxDataPerFrame);
        const auto block = imageBlock(image, offset, count, scratch);
        if (!allErased(block) && !writeBlock(parts, frame, start, offset, block)) {
            break;
        }
        postStep(parts);
        offset += count;
    }
    return offset;
}

// The length word tells the camera how much of the region holds the image.
void writeLengthInfo(const FlashParts& parts, FrameBuffer& frame, std::uint32_t start, std::uint32_t length,
                     std::uint32_t imageLength) {
    const std::array<std::uint8_t, 4> word{
        static_cast<std::uint8_t>(imageLength), static_cast<std::uint8_t>(imageLength >> 8),
        static_cast<std::uint8_t>(imageLength >> 16), static_cast<std::uint8_t>(imageLength >> 24)};
    buildWriteData(frame, start + length - kLengthWordOffsetFromEnd, word);
    if (parts.link.exchange(frame, kWriteLengthWord.replyTimeoutMs) != LinkResult::Success) {
        reportFailure(parts, kLengthInfoFailed);
    }
}

// Asks for count bytes at address; the bytes (valid until the frame's next
// exchange), or nothing after the failure text.
std::optional<std::span<const std::uint8_t>> readBlock(const FlashParts& parts, FrameBuffer& frame,
                                                       std::uint32_t address, std::uint32_t count) {
    buildReadData(frame, address, count);
    const LinkResult result = parts.link.exchange(frame, kReadData.replyTimeoutMs);
    if (result != LinkResult::Success) {
        reportExchangeFailure(parts, result, kReadCrcError, kReadCommError);
        return std::nullopt;
    }
    const auto bytes = readDataBytes(frame, count);
    if (!bytes) {
        reportFailure(parts, formatText(kReadErrorFormat, static_cast<unsigned>(address)));
    }
    return bytes;
}

// Reads back the block at address and compares it with the image bytes;
// false, after its failure text, when it could not be read or differs.
bool compareBlock(const FlashParts& parts, FrameBuffer& frame, std::uint32_t address,
                  std::span<const std::uint8_t> expected) {
    const auto bytes = readBlock(parts, frame, address, static_cast<std::uint32_t>(expected.size()));
    if (!bytes) {
        return false;
    }
    if (!std::ranges::equal(*bytes, expected)) {
        reportFailure(parts, formatText(kCompareErrorFormat, static_cast<unsigned>(address)));
        return false;
    }
    return true;
}

// Reads back and compares the blocks of one verify pass; the bytes that matched.
std::uint32_t compareBlocks(const FlashParts& parts, FrameBuffer& frame, std::uint32_t start,
                            std::span<const std::uint8_t> image, std::uint32_t total) {
    std::uint32_t offset = 0;
    while (offset < total && !stopRequested(parts)) {
        const std::uint32_t count = std::min(total - offset, kMaxDataPerFrame);
        if (!compareBlock(parts, frame, start + offset, image.subspan(offset, count))) {
            break;
        }
        postStep(parts);
        offset += count;
    }
    return offset;
}

// Reads the blocks of one read pass and appends them; false at the first
// block that did not come, or at a stop.
bool readBlocks(const FlashParts& parts, FrameBuffer& frame, std::uint32_t start, std::uint32_t total,
                std::vector<std::uint8_t>& bytes) {
    bytes.reserve(total);
    for (std::uint32_t offset = 0; offset < total; offset += kMaxDataPerFrame) {
        const std::uint32_t count = std::min(total - offset, kMaxDataPerFrame);
        if (stopRequested(parts)) {
            return false;
        }
        const auto block = readBlock(parts, frame, start + offset, count);
        if (!block) {
            return false;
        }
        bytes.insert(bytes.end(), block->begin(), block->end());
        postStep(parts);
    }
    return true;
}

// How many bytes of the region to read; nothing when the length word says
// there is no image to read, or after the failure text of its read.
std::optional<std::uint32_t> imageLengthToRead(const FlashParts& parts, FrameBuffer& frame, std::uint32_t start,
                                               std::uint32_t length, RegionCopy& copy) {
    const std::uint32_t room = imageRoomInRegion(length);
    if (copy.wholeRegion) {
        return room;
    }
    if (stopRequested(parts)) {
        return std::nullopt;
    }
    const auto word = readBlock(parts, frame, start + length - kLengthWordOffsetFromEnd, sizeof(std::uint32_t));
    if (!word) {
        return std::nullopt;
    }
    copy.lengthWord = littleEndianWord(*word);
    if (copy.lengthWord == kErasedWord || copy.lengthWord == kZeroWord) {
        copy.state = RegionCopy::State::NoImage;
        return std::nullopt;
    }
    if (copy.lengthWord > room) {
        copy.state = RegionCopy::State::PastRegion;
        return std::nullopt;
    }
    return copy.lengthWord;
}

}  // namespace

JobResult jobResultOf(LinkResult result) { return static_cast<JobResult>(result); }

bool endsJobRun(JobResult result) { return result == JobResult::Failure || result == JobResult::CommError; }

JobResult eraseRegion(const FlashParts& parts, std::uint32_t start, std::uint32_t length) {
    postProgress(parts.sink, ProgressCode::Status, std::string(kEraseSectorStatus));
    const auto sectors = parts.target.flash.sectorsInRange(start, length);
    if (sectors.empty()) {
        postInfo(parts.sink, InfoCode::NothingToErase, 0);
        reportFailure(parts, kNothingToErase);
        return JobResult::Failure;
    }
    std::vector<std::uint32_t> starts;
    starts.reserve(sectors.size());
    std::ranges::transform(sectors, std::back_inserter(starts), &FlashSector::start);

    FrameBuffer frame;
    const std::span<const std::uint32_t> all(starts);
    for (std::size_t done = 0; done < all.size();) {
        if (stopRequested(parts)) {
            break;
        }
        const auto batch = all.subspan(done, std::min<std::size_t>(all.size() - done, kMaxSectorsPerFrame));
        buildEraseSectors(frame, batch);
        const LinkResult result = parts.link.exchange(frame, kEraseSectors.replyTimeoutMs);
        if (result != LinkResult::Success) {
            reportExchangeFailure(parts, result, kEraseCrcError, kEraseCommError);
            return jobResultOf(result);
        }
        const std::uint32_t named = static_cast<std::uint32_t>(batch.size());
        if (erasedCount(frame) != named) {
            reportFailure(parts, formatText(kEraseCountFormat, static_cast<unsigned>(erasedCount(frame)),
                                            static_cast<unsigned>(named)));
            return JobResult::Failure;
        }
        done += batch.size();
    }
    return JobResult::Success;
}

JobResult programRegion(const FlashParts& parts, std::uint32_t start, std::uint32_t length,
                        const PackageItem* item) {
    if (!hasImage(item)) {
        postInfo(parts.sink, InfoCode::ProgramEnd, 0);
        reportFailure(parts, kCantProgram);
        return JobResult::Failure;
    }
    // The length word would land on the image's own last bytes.
    if (item->dataLength() > imageRoomInRegion(length)) {
        postInfo(parts.sink, InfoCode::ProgramEnd, 0);
        reportFailure(parts, OversizedImageText(item->typeName, item->dataLength(), imageRoomInRegion(length)));
        return JobResult::Failure;
    }
    const bool blank = checkBlank(parts, start, length).value_or(false);
    if (!blank) {
        postInfo(parts.sink, InfoCode::ProgramEnd, 0);
        reportFailure(parts, kNotErased);
        return JobResult::Failure;
    }
    postOperationStatus(parts, kWriteStatusFormat, item->fileName, start);
    FrameBuffer frame;
    const std::uint32_t even = evenLength(item->dataLength());
    const std::uint32_t total = std::min(length, even);
    postBlockRange(parts, total);

    const bool complete = writeBlocks(parts, frame, start, item->data(), total) == total;
    if (complete) {
        writeLengthInfo(parts, frame, start, length, even);
    }
    postProgress(parts.sink, ProgressCode::Position, 0);
    postInfo(parts.sink, InfoCode::ProgramEnd, 1);
    return complete ? JobResult::Success : JobResult::Failure;
}

JobResult verifyRegion(const FlashParts& parts, std::uint32_t start, std::uint32_t length,
                       const PackageItem* item) {
    if (!hasImage(item)) {
        postInfo(parts.sink, InfoCode::VerifyEnd, 0);
        reportFailure(parts, kCantVerify);
        return JobResult::Failure;
    }
    // A failed check counts as blank: there is nothing known to compare.
    const bool blank = checkBlank(parts, start, length).value_or(true);
    if (blank) {
        postInfo(parts.sink, InfoCode::VerifyEnd, 0);
        reportFailure(parts, kRegionBlank);
        return JobResult::Failure;
    }
    postOperationStatus(parts, kVerifyStatusFormat, item->fileName, start);
    FrameBuffer frame;
    const std::uint32_t total = std::min(length, item->dataLength());
    postBlockRange(parts, total);

    const bool complete = compareBlocks(parts, frame, start, item->data(), total) == total;
    postProgress(parts.sink, ProgressCode::Position, 0);
    postInfo(parts.sink, InfoCode::VerifyEnd, 1);
    return complete ? JobResult::Success : JobResult::Failure;
}

JobResult readRegion(const FlashParts& parts, std::uint32_t start, std::uint32_t length, RegionCopy* copy) {
    if (copy == nullptr) {
        reportFailure(parts, kCantRead);
        return JobResult::Failure;
    }
    copy->state = RegionCopy::State::NotRead;
    copy->lengthWord = 0;
    copy->bytes = {};
    postOperationStatus(parts, kReadStatusFormat, copy->fileName, start);
    FrameBuffer frame;
    const std::optional<std::uint32_t> total = imageLengthToRead(parts, frame, start, length, *copy);
    if (!total) {
        return copy->state == RegionCopy::State::NotRead ? JobResult::Failure : JobResult::Success;
    }
    postBlockRange(parts, *total);
    const bool complete = readBlocks(parts, frame, start, *total, copy->bytes);
    postProgress(parts.sink, ProgressCode::Position, 0);
    if (!complete) {
        copy->bytes = {};
        return JobResult::Failure;
    }
    copy->state = RegionCopy::State::Read;
    return JobResult::Success;
}

}  // namespace tarnwick
