// SPDX-License-Identifier: GPL-2.0-or-later
// A history of 100 000 runs, a year of a busy production line, each an
// update of three images (18 jobs); the figure is the listing of the last
// day's runs against the 50 ms a user does not wait for. The history is
// built in a memory-backed folder where there is one (/dev/shm): a run's
// transaction waits for the disk otherwise, which the listing never does.
#include <cstdlib>
#include <string>

#include "bench.h"
#include "history_store.h"
#include "run_capture.h"

namespace tarnwick::bench {
namespace {

using namespace std::chrono_literals;

constexpr int kRuns = 100000;
constexpr double kListBudgetSeconds = 0.050;

RunRecord updateRun(int index, HistoryTime started) {
    RunRecord run;
    run.started = started;
    run.ended = started + 3min;
    run.frontEnd = "tarnwick-cli";
    run.command = "update";
    run.port = "COM" + std::to_string(65 + index % 8);
    run.device = "/dev/ttyUSB" + std::to_string(index % 8);
    run.adapterSerial = "A5028" + std::to_string(index % 8);
    run.bootCode = index % 10 == 0 ? "BLS v2.05" : "BLS v2.11";
    run.flashChip = "Fujitsu - MBM29DL324BE";
    run.family = "Corvel";
    run.packageName = "Corvel 2.12";
    run.packagePath = "/srv/packages/corvel-2.12.xml";
    run.packageSha256 = std::string(64, 'c');
    constexpr std::array<std::string_view, 3> kTypes{"Corvel::Bootloader", "Corvel::uC", "Corvel::FPGA"};
    constexpr std::array<std::string_view, 6> kSteps{"erase", "write", "setChecksum", "verify", "getChecksum",
                                                     "blankCheck"};
    for (const std::string_view type : kTypes) {
        run.images.push_back({std::string(type), "2.12", std::string(64, 'd')});
        for (const std::string_view step : kSteps) {
            run.jobs.push_back({std::string(step), 0x10000, 0xF0000, std::string(type), "success"});
        }
    }
    run.outcome = index % 50 == 0 ? RunOutcome::Failed : RunOutcome::Succeeded;
    run.exitStatus = run.outcome == RunOutcome::Succeeded ? 0 : 5;
    return run;
}

std::filesystem::path memoryFolder(const ScratchFolder& scratch) {
    std::error_code error;
    if (std::filesystem::is_directory("/dev/shm", error)) {
        std::filesystem::path folder = "/dev/shm/tarnwick-bench-history-" + std::to_string(::getpid());
        std::filesystem::create_directories(folder / "Vornix" / "Tarnwick", error);
        if (!error) {
            return folder;
        }
    }
    return scratch.path();
}

}  // namespace

void benchHistory() {
    const ScratchFolder scratch;
    const std::filesystem::path dataHome = memoryFolder(scratch);
    ::setenv("XDG_DATA_HOME", dataHome.c_str(), 1);
    const std::filesystem::path file = DefaultHistoryFile();
    std::filesystem::create_directories(file.parent_path());

    const HistoryTime now = HistoryNow();
    const auto spacing = std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::days(365)) / kRuns;
    const double built = fastest(
        [&] {
            HistoryStore store(file, true);
            for (int index = 0; index < kRuns; ++index) {
                store.add(updateRun(index, now - (kRuns - index) * spacing));
            }
        },
        1);
    std::printf("history of %d runs built in %.1f s (%.2f ms a run), %.0f MB\n", kRuns, built, built * 1e3 / kRuns,
                static_cast<double>(std::filesystem::file_size(file)) / 1e6);

    HistoryStore store(file, false);
    const RunFilter lastDay{.since = now - std::chrono::days(1), .withJobs = false};
    const RunFilter lastDayWithJobs{.since = now - std::chrono::days(1)};
    const std::size_t listed = store.list(lastDayWithJobs).size();
    reportFigure("list the last day (" + std::to_string(listed) + " runs)", fastest([&] { store.list(lastDay); }) * 1e3,
                 "budget", kListBudgetSeconds * 1e3, "ms");
    reportFigure("the same with images and jobs", fastest([&] { store.list(lastDayWithJobs); }) * 1e3, "budget",
                 kListBudgetSeconds * 1e3, "ms");

    const std::string since = LocalTimeText(now - std::chrono::days(1));
    const std::string cli = builtProgram("cli", "tarnwick-cli").string();
    for (const bool json : {false, true}) {
        std::vector<std::string> argv{cli, "history", "--since", since};
        if (json) {
            argv.push_back("--json");
        }
        // The CPU time stays put when other work shares the machine.
        const ChildRun run = fastestChild(argv);
        const std::string name = json ? "tarnwick-cli history --since --json" : "tarnwick-cli history --since";
        reportFigure(name, run.seconds * 1e3, "budget", kListBudgetSeconds * 1e3, "ms");
        reportFigure("  its CPU time", run.cpuSeconds * 1e3, "budget", kListBudgetSeconds * 1e3, "ms");
    }
    const ChildRun version = fastestChild({cli, "--version"});
    reportFigure("  of which starting the program", version.seconds * 1e3, "budget", kListBudgetSeconds * 1e3, "ms");
    if (dataHome != scratch.path()) {
        std::filesystem::remove_all(dataHome);
    }
}

}  // namespace tarnwick::bench
