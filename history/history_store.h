// SPDX-License-Identifier: GPL-2.0-or-later
// The history of runs: every run on a camera by every front end, kept in one
// SQLite file per user, $XDG_DATA_HOME/Vornix/Tarnwick/history.sqlite. This
// layer owns that file, its schema and how an older schema is brought up to
// date, the record of a run made from the engine's data (run_capture.h), and
// the queries through which the front ends list runs. It sits between the
// engine and the front ends.
//
// Threads: any thread, each with its own store; several stores, in this and
// in other processes, may write the same file at once: SQLite's locks order
// them, and each waits up to kHistoryBusyTimeout for the others.
//
// Errors: HistoryStore throws HistoryError, which says why (SQLite's own
// text) and whether the file is damaged. HistoryRecorder, which the front
// ends record with, never throws and never stops a run: it returns the text
// to show the user, once.
#pragma once

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "run_record.h"
#include "sqlite_database.h"

namespace tarnwick {

// The schema the store writes; a file of an older one is brought up to it.
inline constexpr int kHistorySchemaVersion = 2;
inline constexpr std::chrono::milliseconds kHistoryBusyTimeout{5000};

// DataFolder()/history.sqlite; empty when there is no data folder.
std::filesystem::path DefaultHistoryFile();

// "Can't read the history FILE: REASON", for a front end that lists runs.
std::string UnreadableHistoryText(const std::filesystem::path& file, std::string_view reason);

class HistoryError : public std::runtime_error {
public:
    HistoryError(const std::string& reason, bool damaged) : std::runtime_error(reason), damaged_(damaged) {}
    // The file is not a database or its pages are damaged.
    [[nodiscard]] bool damaged() const noexcept { return damaged_; }

private:
    bool damaged_;
};

// Which runs a listing shows; every part left empty matches every run.
struct RunFilter {
    std::optional<HistoryTime> since{};
    // The port as a run named it, or the device it led to.
    std::string port{};
    std::string device{};
    // Part of the boot code text, flash chip, family or adapter serial, in
    // any case of ASCII letters.
    std::string camera{};
    // Only runs that did not succeed.
    bool unsuccessfulOnly = false;
    // With each run's images and jobs.
    bool withJobs = true;
};

class HistoryStore {
public:
    // Opens the file, when create also making it (its folder must exist),
    // and brings an older schema up to date. A file of a newer schema is
    // refused and left as it is.
    HistoryStore(const std::filesystem::path& file, bool create);

    // Writes the run, its images and jobs in one transaction; the run's id.
    std::int64_t add(const RunRecord& run);
    // Newest first.
    std::vector<RunRecord> list(const RunFilter& filter);
    std::optional<RunRecord> find(std::int64_t id);

private:
    void migrate();

    SqliteDatabase database_;
};

// How a front end records its runs.
class HistoryRecorder {
public:
    // file: the history; empty when there is no folder for it.
    explicit HistoryRecorder(std::filesystem::path file);

    // Writes the run, making the folder and the file when missing. A damaged
    // file is moved aside (FILE.damaged, FILE.damaged-2, ...) and a new one
    // started. Returns what the user should be told: that the run was not
    // recorded (the first time only), or that a damaged file was moved.
    std::optional<std::string> record(const RunRecord& run);

private:
    std::optional<std::string> tellOnce(std::string text);

    std::filesystem::path file_;
    bool toldFailure_ = false;
};

}  // namespace tarnwick
