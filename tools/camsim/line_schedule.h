// SPDX-License-Identifier: GPL-2.0-or-later
// The timing of one direction of an 8N1 serial line: ten bit times a byte
// (start bit, eight data bits, stop bit), one byte right after the other.
//
// Pure arithmetic over time points; one thread per schedule.
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>

namespace tarnwick {

class LineSchedule {
public:
    using Clock = std::chrono::steady_clock;

    // 0: an unpaced line, on which bytes cross at once.
    explicit LineSchedule(std::uint32_t bitsPerSecond = 0) noexcept : bitsPerSecond_(bitsPerSecond) {}

    [[nodiscard]] bool paced() const noexcept { return bitsPerSecond_ != 0; }
    // How long count bytes take on the line; rounded up, so that a byte has
    // crossed once its time has passed.
    [[nodiscard]] Clock::duration durationOf(std::size_t count) const noexcept;
    // Puts count bytes, handed over at `now`, on the line behind those put
    // there before; the time the first of them starts.
    Clock::time_point enqueue(std::size_t count, Clock::time_point now) noexcept;
    // How many bytes of a run that started at `start` have crossed by `now`.
    [[nodiscard]] std::size_t crossedBy(Clock::time_point start, Clock::time_point now) const noexcept;

private:
    std::uint32_t bitsPerSecond_;
    Clock::time_point lineFree_{};
};

}  // namespace tarnwick
