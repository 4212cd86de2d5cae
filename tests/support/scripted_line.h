// SPDX-License-Identifier: GPL-2.0-or-later
// A serial line whose far end answers from a script, with no port, thread or
// wait: for driving the frame transport byte-exactly and fast.
//
// The target answers the n-th request (a request ends with an ETX sent by
// transmitChar) with the n-th answer of the script; requests beyond the
// script get silence. A read returns at once with what the answers delivered
// so far still hold, as a read that times out would. purgeReceive drops that
// rest. Everything the host sends is recorded.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <span>
#include <utility>
#include <vector>

#include "frame_link.h"
#include "serial_port.h"

namespace tarnwick::testing {

class ScriptedLine final : public SerialLine {
public:
    using Bytes = std::vector<std::uint8_t>;

    explicit ScriptedLine(std::vector<Bytes> answers) : answers_(std::move(answers)) {}

    std::size_t read(std::span<std::uint8_t> buffer) override {
        const std::size_t count = std::min(buffer.size(), received_.size());
        std::copy_n(received_.begin(), count, buffer.begin());
        received_.erase(received_.begin(), received_.begin() + static_cast<std::ptrdiff_t>(count));
        return count;
    }

    std::size_t write(std::span<const std::uint8_t> buffer) override {
        sent_.insert(sent_.end(), buffer.begin(), buffer.end());
        return buffer.size();
    }

    void transmitChar(std::uint8_t byte) override {
        sent_.push_back(byte);
        if (byte == kEtx) {
            answerRequest();
        }
    }

    void purgeReceive() override { received_.clear(); }
    [[nodiscard]] CommTimeouts getTimeouts() const override { return timeouts_; }
    void setTimeouts(const CommTimeouts& timeouts) override { timeouts_ = timeouts; }

    // Every byte the host put on the line, in order.
    [[nodiscard]] const Bytes& sent() const { return sent_; }
    // Requests the host finished sending.
    [[nodiscard]] std::size_t requests() const { return requests_; }

private:
    void answerRequest() {
        if (requests_ < answers_.size()) {
            const Bytes& answer = answers_[requests_];
            received_.insert(received_.end(), answer.begin(), answer.end());
        }
        ++requests_;
    }

    std::vector<Bytes> answers_;
    std::deque<std::uint8_t> received_;
    Bytes sent_;
    std::size_t requests_ = 0;
    CommTimeouts timeouts_{};
};

}  // namespace tarnwick::testing
