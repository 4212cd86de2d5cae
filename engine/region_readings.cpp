// SPDX-License-Identifier: GPL-2.0-or-later
#include "region_readings.h"

#include <algorithm>
#include <array>

namespace tarnwick {
namespace {

// Which job posts a value of that code, and which field it fills.
struct ValueKind {
    InfoCode code;
    BatchStep step;
    std::string RegionValues::*field;
};

constexpr std::array kValueKinds{
    ValueKind{InfoCode::BlankCheck, BatchStep::BlankCheck, &RegionValues::blankCheck},
    ValueKind{InfoCode::Checksum1, BatchStep::GetChecksum, &RegionValues::checksum1},
    ValueKind{InfoCode::Checksum2, BatchStep::GetChecksum, &RegionValues::checksum2},
    ValueKind{InfoCode::SetChecksum1, BatchStep::SetChecksum, &RegionValues::checksum1},
    ValueKind{InfoCode::SetChecksum2, BatchStep::SetChecksum, &RegionValues::checksum2},
};

// The n-th job (from 0) of that step; nullptr when the run has fewer.
const PlannedJob* NthJob(std::span<const PlannedJob> jobs, BatchStep step, std::size_t n) {
    for (const PlannedJob& job : jobs) {
        if (job.step == step && n-- == 0) {
            return &job;
        }
    }
    return nullptr;
}

}  // namespace

void RegionReadings::startRun(std::span<const PlannedJob> jobs) {
    run_.assign(jobs.begin(), jobs.end());
    taken_.clear();
}

void RegionReadings::record(InfoCode code, std::string_view text) {
    const auto kind = std::ranges::find(kValueKinds, code, &ValueKind::code);
    if (kind == kValueKinds.end()) {
        return;
    }
    if (const PlannedJob* job = NthJob(run_, kind->step, taken_[code]++)) {
        values_[{job->start, job->length}].*(kind->field) = text;
    }
}

RegionValues RegionReadings::valuesOf(std::uint32_t start, std::uint32_t length) const {
    const auto found = values_.find({start, length});
    return found == values_.end() ? RegionValues{} : found->second;
}

}  // namespace tarnwick
