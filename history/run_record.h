// SPDX-License-Identifier: GPL-2.0-or-later
// One run as the history keeps it: when, where, on which camera, with which
// package and images, each job and how the run ended. Plain data and the
// pure texts of its times; any thread.
#pragma once

#include <chrono>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace tarnwick {

using HistoryClock = std::chrono::system_clock;
using HistoryTime = std::chrono::time_point<HistoryClock, std::chrono::milliseconds>;

enum class RunOutcome { Succeeded, Failed, Cancelled };

// "succeeded", "failed", "cancelled": how the history stores and shows it.
std::string_view OutcomeName(RunOutcome outcome);
std::optional<RunOutcome> OutcomeNamed(std::string_view name);

// An image the run's jobs were given.
struct ImageRecord {
    std::string type;     // "Corvel::uC"
    std::string version;  // "1.05"
    std::string sha256;   // of the bytes as programmed

    friend bool operator==(const ImageRecord&, const ImageRecord&) = default;
};

struct JobRecord {
    std::string step;  // "erase", "write", ... (StepName)
    std::uint32_t start = 0;
    std::uint32_t length = 0;
    std::string item;    // the image's type; empty for a job without one
    std::string result;  // "success", ..., "notRun" (ResultName)

    friend bool operator==(const JobRecord&, const JobRecord&) = default;
};

struct RunRecord {
    // Given by the history when the run is recorded.
    std::int64_t id = 0;
    HistoryTime started{};
    HistoryTime ended{};
    std::string frontEnd;  // "tarnwick-cli", "tarnwick"
    std::string command;   // "update", "program", ...
    // The port as the run named it ("COM3", "/dev/serial/by-id/..."), the
    // device it led to, and the USB adapter's serial number when it has one.
    std::string port;
    std::string device;
    std::string adapterSerial;
    // What the camera's boot code reported; empty when it never answered.
    std::string bootCode;
    std::string flashChip;  // "Fujitsu - MBM29DL324BE"
    std::string family;     // "Corvel"
    // Empty for no package; path and digest empty for one the user built.
    std::string packageName;
    std::string packagePath;
    std::string packageSha256;
    std::vector<ImageRecord> images;
    std::vector<JobRecord> jobs;
    RunOutcome outcome = RunOutcome::Failed;
    // The command line's exit status; nothing for the window.
    std::optional<int> exitStatus;

    friend bool operator==(const RunRecord&, const RunRecord&) = default;
};

// How a listing shows the outcome: "succeeded", "cancelled", "failed", and
// for a failed command line its status: "failed (status 5)".
std::string OutcomeText(const RunRecord& run);

// "2026-05-01T10:00:03.120Z": how the history stores a time (UTC, sortable
// as text), and back; nothing for a text of another form.
std::string StoredTimeText(HistoryTime time);
std::optional<HistoryTime> StoredTime(std::string_view text);

// "2026-05-01 12:00:03" in local time, as the history shows a time.
std::string LocalTimeText(HistoryTime time);
// A local date "2026-05-01" (its midnight) or date and time
// "2026-05-01 12:00" / "2026-05-01T12:00:03"; nothing for any other text.
std::optional<HistoryTime> LocalTime(std::string_view text);

}  // namespace tarnwick
