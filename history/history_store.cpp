// SPDX-License-Identifier: GPL-2.0-or-later
#include "history_store.h"

#include <array>
#include <string_view>
#include <utility>

#include "config_folder.h"
#include "file_io.h"

namespace tarnwick {
namespace {

constexpr std::string_view kFileName = "history.sqlite";

// Step n brings a file of schema n to schema n + 1. Steps are only ever
// appended: a file written by any earlier Tarnwick is brought up to date.
constexpr std::array<std::string_view, kHistorySchemaVersion> kMigrations{
    // 1: the runs, with the images and jobs of each.
    R"sql(
CREATE TABLE runs (
    id INTEGER PRIMARY KEY,
    started TEXT NOT NULL,
    ended TEXT NOT NULL,
    front_end TEXT NOT NULL,
    command TEXT NOT NULL,
    port TEXT NOT NULL,
    device TEXT NOT NULL,
    boot_code TEXT NOT NULL,
    flash_chip TEXT NOT NULL,
    family TEXT NOT NULL,
    package_name TEXT NOT NULL,
    package_path TEXT NOT NULL,
    package_sha256 TEXT NOT NULL,
    outcome TEXT NOT NULL CHECK (outcome IN ('succeeded', 'failed', 'cancelled')),
    exit_status INTEGER
);
CREATE INDEX runs_by_start ON runs (started);
CREATE TABLE images (
    run_id INTEGER NOT NULL REFERENCES runs (id),
    position INTEGER NOT NULL,
    type TEXT NOT NULL,
    version TEXT NOT NULL,
    sha256 TEXT NOT NULL,
    PRIMARY KEY (run_id, position)
) WITHOUT ROWID;
CREATE TABLE jobs (
    run_id INTEGER NOT NULL REFERENCES runs (id),
    position INTEGER NOT NULL,
    step TEXT NOT NULL,
    start INTEGER NOT NULL,
    length INTEGER NOT NULL,
    item TEXT NOT NULL,
    result TEXT NOT NULL,
    PRIMARY KEY (run_id, position)
) WITHOUT ROWID;
)sql",
    // 2: the USB adapter's serial number, which tells two adapters of the
    // same kind apart.
    R"sql(
ALTER TABLE runs ADD COLUMN adapter_serial TEXT NOT NULL DEFAULT '';
)sql",
};

// The columns of a run, in the order ReadRun reads them.
constexpr std::string_view kRunColumns =
    "id, started, ended, front_end, command, port, device, adapter_serial, boot_code, flash_chip, family, "
    "package_name, package_path, package_sha256, outcome, exit_status";

constexpr std::string_view kSelectImages =
    "SELECT type, version, sha256 FROM images WHERE run_id = ? ORDER BY position";
constexpr std::string_view kSelectJobs =
    "SELECT step, start, length, item, result FROM jobs WHERE run_id = ? ORDER BY position";

constexpr std::string_view kListRuns =
    " FROM runs WHERE started >= ?1"
    " AND ((?2 = '' AND ?3 = '') OR (?2 <> '' AND port = ?2) OR (?3 <> '' AND device = ?3))"
    " AND (?4 = '' OR boot_code LIKE ?4 ESCAPE '\\' OR flash_chip LIKE ?4 ESCAPE '\\'"
    " OR family LIKE ?4 ESCAPE '\\' OR adapter_serial LIKE ?4 ESCAPE '\\')"
    " AND (?5 = 0 OR outcome <> 'succeeded')"
    " ORDER BY started DESC, id DESC";

// "%part%" with LIKE's own characters taken as they are.
std::string ContainsPattern(std::string_view part) {
    std::string pattern = "%";
    for (const char c : part) {
        if (c == '%' || c == '_' || c == '\\') {
            pattern += '\\';
        }
        pattern += c;
    }
    return pattern + "%";
}

HistoryError ErrorOf(const SqliteError& error) { return HistoryError(error.what(), error.damaged()); }

// The file's schema version; a newer one than ours is refused, as its
// tables may mean what this program cannot know.
int CheckedVersion(SqliteDatabase& database) {
    const int version = database.userVersion();
    if (version > kHistorySchemaVersion) {
        throw HistoryError("written by a newer Tarnwick (schema " + std::to_string(version) + ")", false);
    }
    return version;
}

// The free name beside the file that a damaged one is moved to.
std::filesystem::path AsideName(const std::filesystem::path& file) {
    std::filesystem::path aside = file;
    aside += ".damaged";
    for (int number = 2; std::filesystem::exists(aside); ++number) {
        aside = file;
        aside += ".damaged-" + std::to_string(number);
    }
    return aside;
}

// Moves the file, and its journal, which belongs to it, aside; where to.
std::filesystem::path MoveAside(const std::filesystem::path& file, std::error_code& error) {
    const std::filesystem::path aside = AsideName(file);
    std::filesystem::rename(file, aside, error);
    std::filesystem::path journal = file;
    journal += "-journal";
    if (!error && std::filesystem::exists(journal)) {
        std::filesystem::path asideJournal = aside;
        asideJournal += "-journal";
        std::filesystem::rename(journal, asideJournal, error);
    }
    return aside;
}

void WriteRun(const std::filesystem::path& file, const RunRecord& run) {
    if (const std::error_code error = CreateFolders(file.parent_path())) {
        throw HistoryError(error.message(), false);
    }
    HistoryStore(file, true).add(run);
}

std::string NotWrittenText(const std::filesystem::path& file, std::string_view reason) {
    return "History not written to " + file.string() + ": " + std::string(reason);
}

RunRecord ReadRun(const SqliteStatement& row) {
    RunRecord run;
    run.id = row.integer(0);
    run.started = StoredTime(row.text(1)).value_or(HistoryTime{});
    run.ended = StoredTime(row.text(2)).value_or(HistoryTime{});
    int column = 3;
    for (std::string* text : {&run.frontEnd, &run.command, &run.port, &run.device, &run.adapterSerial,
                              &run.bootCode, &run.flashChip, &run.family, &run.packageName, &run.packagePath,
                              &run.packageSha256}) {
        *text = row.text(column++);
    }
    run.outcome = OutcomeNamed(row.text(14)).value_or(RunOutcome::Failed);
    if (!row.isNull(15)) {
        run.exitStatus = static_cast<int>(row.integer(15));
    }
    return run;
}

void ReadJobs(RunRecord& run, SqliteStatement& images, SqliteStatement& jobs) {
    images.reset();
    images.bind(1, run.id);
    while (images.step()) {
        run.images.push_back({images.text(0), images.text(1), images.text(2)});
    }
    jobs.reset();
    jobs.bind(1, run.id);
    while (jobs.step()) {
        run.jobs.push_back({jobs.text(0), static_cast<std::uint32_t>(jobs.integer(1)),
                            static_cast<std::uint32_t>(jobs.integer(2)), jobs.text(3), jobs.text(4)});
    }
}

}  // namespace

std::filesystem::path DefaultHistoryFile() {
    const std::filesystem::path folder = DataFolder();
    return folder.empty() ? folder : folder / kFileName;
}

std::string UnreadableHistoryText(const std::filesystem::path& file, std::string_view reason) {
    return "Can't read the history " + file.string() + ": " + std::string(reason);
}

HistoryStore::HistoryStore(const std::filesystem::path& file, bool create) try : database_(file, create) {
    database_.setBusyTimeout(kHistoryBusyTimeout);
    migrate();
} catch (const SqliteError& error) {
    throw ErrorOf(error);
}

void HistoryStore::migrate() {
    if (CheckedVersion(database_) == kHistorySchemaVersion) {
        return;
    }
    SqliteTransaction transaction(database_, TransactionFor::Writing);
    // Read again under the write lock: another process may have been first.
    for (int step = CheckedVersion(database_); step < kHistorySchemaVersion; ++step) {
        database_.execute(kMigrations.at(static_cast<std::size_t>(step)));
    }
    database_.setUserVersion(kHistorySchemaVersion);
    transaction.commit();
}

std::int64_t HistoryStore::add(const RunRecord& run) try {
    SqliteTransaction transaction(database_, TransactionFor::Writing);
    SqliteStatement insertRun = database_.prepare(
        "INSERT INTO runs (started, ended, front_end, command, port, device, adapter_serial, boot_code, flash_chip,"
        " family, package_name, package_path, package_sha256, outcome, exit_status)"
        " VALUES (?1, ?2, ?3, ?4, ?5, ?6, ?7, ?8, ?9, ?10, ?11, ?12, ?13, ?14, ?15)");
    insertRun.bind(1, StoredTimeText(run.started)).bind(2, StoredTimeText(run.ended));
    int index = 3;
    for (const std::string* text : {&run.frontEnd, &run.command, &run.port, &run.device, &run.adapterSerial,
                                    &run.bootCode, &run.flashChip, &run.family, &run.packageName,
                                    &run.packagePath, &run.packageSha256}) {
        insertRun.bind(index++, *text);
    }
    insertRun.bind(14, OutcomeName(run.outcome));
    run.exitStatus ? insertRun.bind(15, std::int64_t{*run.exitStatus}) : insertRun.bindNull(15);
    insertRun.run();
    const std::int64_t id = database_.lastInsertId();

    SqliteStatement insertImage =
        database_.prepare("INSERT INTO images (run_id, position, type, version, sha256) VALUES (?, ?, ?, ?, ?)");
    for (std::size_t position = 0; position < run.images.size(); ++position) {
        const ImageRecord& image = run.images[position];
        insertImage.bind(1, id).bind(2, static_cast<std::int64_t>(position));
        insertImage.bind(3, image.type).bind(4, image.version).bind(5, image.sha256).run();
        insertImage.reset();
    }
    SqliteStatement insertJob = database_.prepare(
        "INSERT INTO jobs (run_id, position, step, start, length, item, result) VALUES (?, ?, ?, ?, ?, ?, ?)");
    for (std::size_t position = 0; position < run.jobs.size(); ++position) {
        const JobRecord& job = run.jobs[position];
        insertJob.bind(1, id).bind(2, static_cast<std::int64_t>(position)).bind(3, job.step);
        insertJob.bind(4, std::int64_t{job.start}).bind(5, std::int64_t{job.length});
        insertJob.bind(6, job.item).bind(7, job.result).run();
        insertJob.reset();
    }
    transaction.commit();
    return id;
} catch (const SqliteError& error) {
    throw ErrorOf(error);
}

std::vector<RunRecord> HistoryStore::list(const RunFilter& filter) try {
    SqliteStatement runs = database_.prepare("SELECT " + std::string(kRunColumns) + std::string(kListRuns));
    runs.bind(1, filter.since ? StoredTimeText(*filter.since) : std::string());
    runs.bind(2, filter.port).bind(3, filter.device);
    runs.bind(4, filter.camera.empty() ? std::string() : ContainsPattern(filter.camera));
    runs.bind(5, std::int64_t{filter.unsuccessfulOnly});
    SqliteStatement images = database_.prepare(kSelectImages);
    SqliteStatement jobs = database_.prepare(kSelectJobs);
    // One read transaction, so that the jobs match the runs listed.
    SqliteTransaction transaction(database_, TransactionFor::Reading);
    std::vector<RunRecord> found;
    while (runs.step()) {
        found.push_back(ReadRun(runs));
        if (filter.withJobs) {
            ReadJobs(found.back(), images, jobs);
        }
    }
    transaction.commit();
    return found;
} catch (const SqliteError& error) {
    throw ErrorOf(error);
}

std::optional<RunRecord> HistoryStore::find(std::int64_t id) try {
    SqliteTransaction transaction(database_, TransactionFor::Reading);
    SqliteStatement runs = database_.prepare("SELECT " + std::string(kRunColumns) + " FROM runs WHERE id = ?");
    runs.bind(1, id);
    if (!runs.step()) {
        return std::nullopt;
    }
    RunRecord run = ReadRun(runs);
    SqliteStatement images = database_.prepare(kSelectImages);
    SqliteStatement jobs = database_.prepare(kSelectJobs);
    ReadJobs(run, images, jobs);
    transaction.commit();
    return run;
} catch (const SqliteError& error) {
    throw ErrorOf(error);
}

HistoryRecorder::HistoryRecorder(std::filesystem::path file) : file_(std::move(file)) {}

std::optional<std::string> HistoryRecorder::tellOnce(std::string text) {
    if (std::exchange(toldFailure_, true)) {
        return std::nullopt;
    }
    return text;
}

std::optional<std::string> HistoryRecorder::record(const RunRecord& run) {
    if (file_.empty()) {
        return tellOnce("History not written: no folder for it (set HOME or XDG_DATA_HOME)");
    }
    try {
        WriteRun(file_, run);
        return std::nullopt;
    } catch (const HistoryError& error) {
        if (!error.damaged()) {
            return tellOnce(NotWrittenText(file_, error.what()));
        }
    }
    std::error_code moveError;
    const std::filesystem::path aside = MoveAside(file_, moveError);
    if (moveError) {
        return tellOnce(NotWrittenText(file_, "damaged, and it cannot be moved aside: " + moveError.message()));
    }
    std::string text = "History " + file_.string() + " was damaged; it is kept as " + aside.string() +
                       " and a new one was started";
    try {
        WriteRun(file_, run);
    } catch (const HistoryError& error) {
        text += "; " + NotWrittenText(file_, error.what());
    }
    return text;
}

}  // namespace tarnwick
