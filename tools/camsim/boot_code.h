// SPDX-License-Identifier: GPL-2.0-or-later
// The simulated camera's boot code: answers one request frame at a time from
// its flash and version text. Pure logic, no line and no thread.
//
// Not thread-safe: the camera guards it with its lock.
#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <utility>

#include "frame_link.h"
#include "nor_flash.h"

namespace tarnwick {

// Faults that make an operation fall short of the request.
struct Shortfalls {
    std::uint32_t sectors = 0;  // sectors a sector erase leaves out
    std::uint32_t bytes = 0;    // bytes a data write leaves out
};

class BootCode {
public:
    // Raises std::invalid_argument for a chip that the catalogue lacks.
    BootCode(std::string_view chipName, std::string versionText);

    // The reply, or nothing when the request is rejected (unknown command,
    // malformed payload, range outside the chip). The reply's head bytes
    // repeat the request's command and group.
    std::optional<FrameBuffer> answer(const FrameBuffer& request, const Shortfalls& shortfalls = {});

    // After the second closing command the firmware runs; a reset brings the
    // boot code back.
    [[nodiscard]] bool handedOver() const { return handedOver_; }
    void reset() { handedOver_ = false; }

    [[nodiscard]] std::uint16_t bootVersion() const { return bootVersion_; }
    [[nodiscard]] const std::string& versionText() const { return versionText_; }
    NorFlash& flash() { return flash_; }
    [[nodiscard]] const NorFlash& flash() const { return flash_; }

    struct Request;

private:
    using Range = std::pair<std::uint32_t, std::uint32_t>;

    std::optional<FrameBuffer> dispatch(const Request& request);
    std::optional<FrameBuffer> versionInfo(const Request& request);
    std::optional<FrameBuffer> closeFirst(const Request& request);
    std::optional<FrameBuffer> closeSecond(const Request& request);
    std::optional<FrameBuffer> flashId(const Request& request);
    std::optional<FrameBuffer> blankCheck(const Request& request);
    std::optional<FrameBuffer> getChecksum(const Request& request);
    std::optional<FrameBuffer> setChecksum(const Request& request);
    std::optional<FrameBuffer> writeData(const Request& request);
    std::optional<FrameBuffer> readData(const Request& request);
    std::optional<FrameBuffer> eraseChip(const Request& request);
    std::optional<FrameBuffer> eraseSectors(const Request& request);
    std::optional<FrameBuffer> infoBlock(const Request& request);
    std::optional<FrameBuffer> textQuery(const Request& request);

    std::optional<FrameBuffer> checksumReply(const Request& request, std::uint32_t computed,
                                             std::uint32_t stored);
    void forgetChecksumsOver(std::uint32_t start, std::uint32_t size);

    NorFlash flash_;
    std::string versionText_;
    std::uint16_t bootVersion_;
    bool handedOver_ = false;
    // The checksum table behaves like flash: a store clears bits, an erase of
    // the range's sectors sets them again.
    std::map<Range, std::uint32_t> storedChecksums_;

};

}  // namespace tarnwick
