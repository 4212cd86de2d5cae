// SPDX-License-Identifier: GPL-2.0-or-later
// What the camera last reported about each flash region in this run of the
// program: its blank check and its two checksums, as the window shows them
// for the region of the selected item.
//
// The values arrive as MsgInfo notices that do not name their region. Every
// job that reads one posts its values, always and in job order: a blank
// check one blank check value, a get or set checksum both checksums. So the
// n-th value of a kind in a run belongs to the n-th job of that kind, and the
// run's planned jobs tell its region. A run cut short posts nothing more.
//
// Plain data, no I/O; used on the thread that handles the worker's messages.
#pragma once

#include <cstdint>
#include <map>
#include <span>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "notices.h"
#include "orchestration_plan.h"

namespace tarnwick {

inline constexpr std::string_view kUnknownRegionValue = "unknown";

struct RegionValues {
    std::string blankCheck{kUnknownRegionValue};
    std::string checksum1{kUnknownRegionValue};
    std::string checksum2{kUnknownRegionValue};

    friend bool operator==(const RegionValues&, const RegionValues&) = default;
};

class RegionReadings {
public:
    // A run of these jobs starts; the values that follow are its jobs'.
    void startRun(std::span<const PlannedJob> jobs);
    // A MsgInfo of the run with its field text; codes other than the blank
    // check and the checksums, and values beyond the run's jobs, are ignored.
    void record(InfoCode code, std::string_view text);
    // What was last read for the region; "unknown" for what never was.
    [[nodiscard]] RegionValues valuesOf(std::uint32_t start, std::uint32_t length) const;

private:
    std::vector<PlannedJob> run_;
    // The values of each code the run has posted so far.
    std::map<InfoCode, std::size_t> taken_;
    std::map<std::pair<std::uint32_t, std::uint32_t>, RegionValues> values_;
};

}  // namespace tarnwick
