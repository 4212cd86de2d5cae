// SPDX-License-Identifier: GPL-2.0-or-later
// Assembles request frames from the bytes that arrive on the line: STX, the
// 4-byte header, the payload, 4 checksum bytes, ETX. Bytes outside a frame
// are skipped, as is a frame whose length field exceeds the payload capacity
// or that lacks its ETX; reading resumes at the next STX.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <vector>

#include "frame_link.h"

namespace tarnwick {

struct ReceivedFrame {
    // From STX to ETX as it came.
    std::vector<std::uint8_t> raw;
    FrameBuffer frame;
    bool crcGood = false;
};

class RequestReader {
public:
    // A frame when this byte completes one.
    std::optional<ReceivedFrame> feed(std::uint8_t byte);
    // Part of a frame has been read.
    [[nodiscard]] bool inFrame() const { return !raw_.empty(); }
    // Drops a partial frame (its bytes count as skipped).
    void abandon();
    // Bytes skipped since the last call.
    std::size_t takeSkipped();

private:
    [[nodiscard]] std::size_t frameSize() const;
    ReceivedFrame complete();

    std::vector<std::uint8_t> raw_;
    std::size_t skipped_ = 0;
};

}  // namespace tarnwick
