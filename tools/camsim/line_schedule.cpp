// SPDX-License-Identifier: GPL-2.0-or-later
#include "line_schedule.h"

#include <algorithm>

namespace tarnwick {
namespace {

constexpr std::uint64_t kBitsPerByte = 10;  // 8N1
constexpr std::uint64_t kNanosecondsPerSecond = 1'000'000'000;

}  // namespace

LineSchedule::Clock::duration LineSchedule::durationOf(std::size_t count) const noexcept {
    if (!paced()) {
        return Clock::duration::zero();
    }
    const auto bitNanoseconds = static_cast<unsigned __int128>(count) * kBitsPerByte * kNanosecondsPerSecond;
    const auto nanoseconds = static_cast<std::int64_t>((bitNanoseconds + bitsPerSecond_ - 1) / bitsPerSecond_);
    return std::chrono::duration_cast<Clock::duration>(std::chrono::nanoseconds(nanoseconds));
}

LineSchedule::Clock::time_point LineSchedule::enqueue(std::size_t count, Clock::time_point now) noexcept {
    const Clock::time_point start = std::max(now, lineFree_);
    lineFree_ = start + durationOf(count);
    return start;
}

std::size_t LineSchedule::crossedBy(Clock::time_point start, Clock::time_point now) const noexcept {
    if (!paced()) {
        return static_cast<std::size_t>(-1);
    }
    if (now <= start) {
        return 0;
    }
    const auto elapsed = std::chrono::duration_cast<std::chrono::nanoseconds>(now - start).count();
    const unsigned __int128 bits = static_cast<unsigned __int128>(elapsed) * bitsPerSecond_;
    return static_cast<std::size_t>(bits / (kBitsPerByte * kNanosecondsPerSecond));
}

}  // namespace tarnwick
