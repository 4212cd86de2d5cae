// SPDX-License-Identifier: GPL-2.0-or-later
// The history file: what a run keeps, how runs are found, and what happens
// when the file is old, damaged, or shared with another process.
#include <gtest/gtest.h>

#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <ctime>
#include <string>
#include <vector>

#include "history_store.h"
#include "temporary_folder.h"

namespace tarnwick {
namespace {

using namespace std::chrono_literals;

// A time on 1 May 2026, UTC.
HistoryTime May1(int hour, int minute = 0) {
    return HistoryTime(std::chrono::sys_days(std::chrono::year(2026) / 5 / 1).time_since_epoch() +
                       std::chrono::hours(hour) + std::chrono::minutes(minute));
}

RunRecord Record(HistoryTime started, std::string port, std::string bootCode, RunOutcome outcome) {
    RunRecord run;
    run.started = started;
    run.ended = started + 3min;
    run.frontEnd = "tarnwick-cli";
    run.command = "update";
    run.port = std::move(port);
    run.device = "/dev/ttyUSB0";
    run.adapterSerial = "A50285BI";
    run.bootCode = std::move(bootCode);
    run.flashChip = "Fujitsu - MBM29DL324BE";
    run.family = "Corvel";
    run.packageName = "Demo";
    run.packagePath = "/srv/packages/demo.xml";
    run.packageSha256 = std::string(64, 'a');
    run.images = {{"Corvel::uC", "1.05", std::string(64, 'b')}};
    run.jobs = {{"erase", 0x10000, 0xF0000, "", "success"}, {"write", 0x10000, 0xF0000, "Corvel::uC", "failure"},
                {"verify", 0x10000, 0xF0000, "Corvel::uC", "notRun"}};
    run.outcome = outcome;
    run.exitStatus = outcome == RunOutcome::Succeeded ? 0 : 5;
    return run;
}

class HistoryTest : public ::testing::Test {
protected:
    HistoryTest() {
        ::setenv("TZ", "UTC", 1);
        ::tzset();
    }

    std::vector<std::int64_t> Ids(const RunFilter& filter) {
        std::vector<std::int64_t> ids;
        for (const RunRecord& run : HistoryStore(file_, false).list(filter)) {
            ids.push_back(run.id);
        }
        return ids;
    }

    testing::TemporaryFolder folder_;
    std::filesystem::path file_ = folder_ / "history.sqlite";
};

TEST_F(HistoryTest, KeepsEveryPartOfARunAndFindsRunsNewestFirstByTimePortCameraAndOutcome) {
    HistoryStore store(file_, true);
    RunRecord first = Record(May1(9), "COM3", "BLS v2.11", RunOutcome::Succeeded);
    first.exitStatus.reset();  // the window has none
    first.id = store.add(first);
    const std::int64_t failed =
        store.add(Record(May1(10), "/dev/serial/by-id/usb-cable", "BLS v2.05", RunOutcome::Failed));
    const std::int64_t cancelled = store.add(Record(May1(10), "COM4", "BLS v2.11", RunOutcome::Cancelled));
    const std::int64_t latest = store.add(Record(May1(11, 30), "COM3", "bls V2.11_50%", RunOutcome::Succeeded));

    EXPECT_EQ(store.find(first.id), first);
    EXPECT_EQ(store.find(latest + 1), std::nullopt);

    const struct {
        RunFilter filter;
        std::vector<std::int64_t> ids;
    } cases[] = {
        {{}, {latest, cancelled, failed, first.id}},
        {{.since = May1(10)}, {latest, cancelled, failed}},
        {{.port = "COM3"}, {latest, first.id}},
        {{.port = "/dev/serial/by-id/usb-cable"}, {failed}},
        {{.device = "/dev/ttyUSB0"}, {latest, cancelled, failed, first.id}},
        {{.camera = "v2.05"}, {failed}},
        {{.camera = "2.11_50%"}, {latest}},
        {{.camera = "a50285"}, {latest, cancelled, failed, first.id}},
        {{.camera = "Sabrel"}, {}},
        {{.unsuccessfulOnly = true}, {cancelled, failed}},
        {{.since = May1(10), .port = "COM3", .camera = "bls", .unsuccessfulOnly = false}, {latest}},
    };
    for (const auto& row : cases) {
        EXPECT_EQ(Ids(row.filter), row.ids) << row.filter.port << row.filter.device << row.filter.camera;
    }
    const std::vector<RunRecord> listed = store.list({.since = May1(11), .withJobs = false});
    ASSERT_EQ(listed.size(), 1u);
    EXPECT_TRUE(listed[0].jobs.empty() && listed[0].images.empty());
    EXPECT_EQ(store.list({.since = May1(11)})[0].jobs.size(), 3u);
}

TEST_F(HistoryTest, StoredTimesAreUtcAndLocalDatesAreReadStrictly) {
    EXPECT_EQ(StoredTimeText(May1(9, 5) + 7ms), "2026-05-01T09:05:00.007Z");
    EXPECT_EQ(StoredTime("2026-05-01T09:05:00.007Z"), May1(9, 5) + 7ms);
    EXPECT_EQ(LocalTimeText(May1(9, 5)), "2026-05-01 09:05:00");
    const struct {
        const char* text;
        std::optional<HistoryTime> time;
    } cases[] = {
        {"2026-05-01", May1(0)},
        {"2026-05-01 09:05", May1(9, 5)},
        {"2026-05-01T09:05:30", May1(9, 5) + 30s},
        {"2026-02-30", std::nullopt},
        {"2026-5-1", std::nullopt},
        {"2026-05-01 9:05", std::nullopt},
        {"2026-05-01 09:05:00.000", std::nullopt},
        {"yesterday", std::nullopt},
        {"", std::nullopt},
    };
    for (const auto& row : cases) {
        EXPECT_EQ(LocalTime(row.text), row.time) << row.text;
    }
    EXPECT_EQ(StoredTime("2026-05-01T09:05:00Z"), std::nullopt);
}

// The first schema, as the first Tarnwick with a history wrote it.
constexpr std::string_view kFirstSchema = R"sql(
CREATE TABLE runs (id INTEGER PRIMARY KEY, started TEXT NOT NULL, ended TEXT NOT NULL, front_end TEXT NOT NULL,
    command TEXT NOT NULL, port TEXT NOT NULL, device TEXT NOT NULL, boot_code TEXT NOT NULL,
    flash_chip TEXT NOT NULL, family TEXT NOT NULL, package_name TEXT NOT NULL, package_path TEXT NOT NULL,
    package_sha256 TEXT NOT NULL,
    outcome TEXT NOT NULL CHECK (outcome IN ('succeeded', 'failed', 'cancelled')), exit_status INTEGER);
CREATE INDEX runs_by_start ON runs (started);
CREATE TABLE images (run_id INTEGER NOT NULL REFERENCES runs (id), position INTEGER NOT NULL, type TEXT NOT NULL,
    version TEXT NOT NULL, sha256 TEXT NOT NULL, PRIMARY KEY (run_id, position)) WITHOUT ROWID;
CREATE TABLE jobs (run_id INTEGER NOT NULL REFERENCES runs (id), position INTEGER NOT NULL, step TEXT NOT NULL,
    start INTEGER NOT NULL, length INTEGER NOT NULL, item TEXT NOT NULL, result TEXT NOT NULL,
    PRIMARY KEY (run_id, position)) WITHOUT ROWID;
INSERT INTO runs VALUES (7, '2025-11-02T08:00:00.000Z', '2025-11-02T08:03:00.000Z', 'tarnwick', 'update', 'COM1',
    '/dev/ttyS0', 'BLS v2.01', 'Fujitsu - MBM29DL324BE', 'Corvel', 'Old', '/old.xml', '', 'succeeded', NULL);
INSERT INTO jobs VALUES (7, 0, 'erase', 65536, 983040, '', 'success');
PRAGMA user_version = 1;
)sql";

TEST_F(HistoryTest, AnOlderSchemaIsBroughtUpToDateWithItsRunsAndANewerOneIsLeftAlone) {
    SqliteDatabase(file_, true).execute(kFirstSchema);
    {
        HistoryStore store(file_, false);
        const std::optional<RunRecord> old = store.find(7);
        ASSERT_TRUE(old.has_value());
        EXPECT_EQ(old->packageName, "Old");
        EXPECT_EQ(old->adapterSerial, "");
        EXPECT_EQ(old->jobs, (std::vector<JobRecord>{{"erase", 0x10000, 0xF0000, "", "success"}}));
        const std::int64_t added = store.add(Record(May1(9), "COM3", "BLS v2.11", RunOutcome::Succeeded));
        EXPECT_EQ(store.find(added)->adapterSerial, "A50285BI");
    }
    SqliteDatabase database(file_, false);
    EXPECT_EQ(database.userVersion(), kHistorySchemaVersion);

    database.setUserVersion(kHistorySchemaVersion + 1);
    try {
        HistoryStore store(file_, false);
        ADD_FAILURE() << "a newer schema was opened";
    } catch (const HistoryError& error) {
        EXPECT_EQ(std::string(error.what()), "written by a newer Tarnwick (schema 3)");
        EXPECT_FALSE(error.damaged());
    }
    EXPECT_EQ(database.userVersion(), kHistorySchemaVersion + 1);
}

TEST_F(HistoryTest, ADamagedFileIsMovedAsideAndANewOneTakesTheRun) {
    HistoryRecorder recorder(file_);
    const RunRecord run = Record(May1(9), "COM3", "BLS v2.11", RunOutcome::Succeeded);
    for (const char* aside : {"history.sqlite.damaged", "history.sqlite.damaged-2"}) {
        const std::string garbage = std::string("not a database, ") + aside + std::string(5000, '#');
        folder_.write("history.sqlite", garbage);
        EXPECT_EQ(recorder.record(run), "History " + file_.string() + " was damaged; it is kept as " +
                                            (folder_ / aside).string() + " and a new one was started");
        EXPECT_EQ(testing::readText(folder_ / aside), garbage);
        EXPECT_EQ(Ids({}), std::vector<std::int64_t>{1});
    }
    folder_.write("history.sqlite", "garbage too");
    try {
        HistoryStore store(file_, false);
        ADD_FAILURE() << "a damaged file was opened";
    } catch (const HistoryError& error) {
        EXPECT_EQ(std::string(error.what()), "file is not a database");
        EXPECT_TRUE(error.damaged());
    }
}

TEST_F(HistoryTest, AHistoryThatCannotBeWrittenIsToldOnceAndMadeWhereItIsMissing) {
    const std::filesystem::path blocked = folder_.write("blocked", "a file, not a folder") / "history.sqlite";
    HistoryRecorder recorder(blocked);
    const RunRecord run = Record(May1(9), "COM3", "BLS v2.11", RunOutcome::Succeeded);
    EXPECT_EQ(recorder.record(run), "History not written to " + blocked.string() + ": Not a directory");
    EXPECT_EQ(recorder.record(run), std::nullopt);
    EXPECT_EQ(HistoryRecorder({}).record(run), "History not written: no folder for it (set HOME or XDG_DATA_HOME)");

    file_ = folder_ / "data" / "Vornix" / "Tarnwick" / "history.sqlite";
    EXPECT_EQ(HistoryRecorder(file_).record(run), std::nullopt);
    EXPECT_EQ(Ids({}), std::vector<std::int64_t>{1});
}

// Two programs record at the same moment; SQLite's locks make one wait.
TEST_F(HistoryTest, TwoProcessesRecordingAtOnceKeepEveryRun) {
    constexpr int kRunsEach = 40;
    std::vector<pid_t> writers;
    for (int writer = 0; writer < 2; ++writer) {
        const pid_t child = ::fork();
        ASSERT_GE(child, 0);
        if (child == 0) {
            HistoryRecorder recorder(file_);
            bool allKept = true;
            for (int index = 0; index < kRunsEach; ++index) {
                allKept = !recorder.record(Record(May1(9, index), "COM" + std::to_string(writer + 1), "BLS v2.11",
                                               RunOutcome::Succeeded)) &&
                          allKept;
            }
            ::_exit(allKept ? 0 : 1);
        }
        writers.push_back(child);
    }
    for (const pid_t writer : writers) {
        int status = 0;
        ASSERT_EQ(::waitpid(writer, &status, 0), writer);
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    }
    EXPECT_EQ(Ids({.port = "COM1"}).size(), std::size_t{kRunsEach});
    EXPECT_EQ(Ids({.port = "COM2"}).size(), std::size_t{kRunsEach});
}

}  // namespace
}  // namespace tarnwick
