// SPDX-License-Identifier: GPL-2.0-or-later
// A FrameLink that answers from a script and keeps a copy of every request,
// for testing what is built on exchange without a port.
#pragma once

#include <algorithm>
#include <cstdint>
#include <deque>
#include <initializer_list>
#include <vector>

#include "frame_link.h"

namespace tarnwick {

// Little-endian bytes of each value, in order.
inline std::vector<std::uint8_t> le32Bytes(std::initializer_list<std::uint32_t> values) {
    std::vector<std::uint8_t> bytes;
    for (const std::uint32_t value : values) {
        for (int shift = 0; shift < 32; shift += 8) {
            bytes.push_back(static_cast<std::uint8_t>(value >> shift));
        }
    }
    return bytes;
}

class FakeFrameLink final : public FrameLink {
public:
    struct Request {
        FrameBuffer frame;
        std::uint32_t replyTimeoutMs;
    };

    // The next exchange succeeds with this reply payload, laid over the
    // request as the transport lays it.
    void answer(std::vector<std::uint8_t> payload) { script_.push_back({LinkResult::Success, std::move(payload)}); }
    // The next exchange fails with this result.
    void fail(LinkResult result) { script_.push_back({result, {}}); }

    // Exchanges beyond the script fail with CommError, as a silent target would.
    LinkResult exchange(FrameBuffer& frame, std::uint32_t replyTimeoutMs) override {
        requests.push_back({frame, replyTimeoutMs});
        if (script_.empty()) {
            return LinkResult::CommError;
        }
        const Step step = std::move(script_.front());
        script_.pop_front();
        if (step.result != LinkResult::Success) {
            frame.setCrc(frame.bodyCrc());
            return step.result;
        }
        frame.setLength(static_cast<std::uint16_t>(step.reply.size()));
        std::ranges::copy(step.reply, frame.payload().begin());
        frame.setCrc(frame.bodyCrc());
        return LinkResult::Success;
    }

    std::vector<Request> requests;

private:
    struct Step {
        LinkResult result;
        std::vector<std::uint8_t> reply;
    };

    std::deque<Step> script_;
};

}  // namespace tarnwick
