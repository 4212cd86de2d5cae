// SPDX-License-Identifier: GPL-2.0-or-later
// Several cameras at once: tarnwick-cli's camera commands on more than one
// port, each port a simulated camera of its own.
#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include <algorithm>
#include <array>
#include <chrono>
#include <csignal>
#include <functional>
#include <map>
#include <thread>

#include "catalogues.h"
#include "cli_fixture.h"
#include "history_store.h"
#include "package_writer.h"
#include "simulated_camera.h"
#include "target_commands.h"
#include "target_session.h"

namespace tarnwick {
namespace {

using namespace std::chrono_literals;

const std::vector<std::uint8_t> kImage(9000, 0x5A);

class CliPortsTest : public CliTest {
protected:
    CliPortsTest() {
        const ImageType& type = *FindImageTypeByName("Corvel::uC");
        const PackageContents contents{"Demo", 1160000000, {{type.guid, "uc.bin", 1, 0x0105, 1160000000, kImage}}};
        package_ = Write("package.xml", BuildPackageText(contents));
    }

    // resetOnOpen false: a camera that only a reset makes send its ready byte.
    SimulatedCamera& AddCamera(std::string chip = "MBM29DL324BE", bool resetOnOpen = true) {
        return *cameras_.emplace_back(std::make_unique<SimulatedCamera>(CameraOptions{
            .chip = std::move(chip), .readyDelay = 20ms, .resetOnOpen = resetOnOpen, .flashFile = {}}));
    }

    int RunOn(std::string_view command, std::vector<std::string> args, const std::vector<std::string>& ports) {
        for (const std::string& port : ports) {
            args.insert(args.end(), {"--port", port});
        }
        out_.str("");
        err_.str("");
        return RunTargetCommand(command, args, CliStreams{out_, err_, false, false}, environment_);
    }

    static std::string Com(const SimulatedCamera& camera) { return "COM" + std::to_string(camera.portNumber()); }
    bool ErrHas(std::string_view text) const { return err_.str().find(text) != std::string::npos; }
    bool OutHas(std::string_view text) const { return out_.str().find(text) != std::string::npos; }

    testing::TemporaryPortFolder ports_;
    std::vector<std::unique_ptr<SimulatedCamera>> cameras_;
    std::string package_;
    TargetEnvironment environment_{
        {.frame = {.failurePause = 5ms}, .connect = {.cyclePause = 20ms, .readyPause = 10ms}},
        folder_ / "Settings.reg",
        false,
        DefaultHistoryFile()};
};

// Waits, within a generous deadline, until the condition holds.
bool Eventually(const std::function<bool()>& condition) {
    const auto deadline = std::chrono::steady_clock::now() + 20s;
    while (!condition()) {
        if (std::chrono::steady_clock::now() > deadline) {
            return false;
        }
        std::this_thread::sleep_for(5ms);
    }
    return true;
}

TEST_F(CliPortsTest, EveryCameraIsUpdatedAtOnceAndEachFailsAlone) {
    SimulatedCamera& good = AddCamera();
    SimulatedCamera& sabrel = AddCamera("AT49BV16x4A");
    SimulatedCamera& failing = AddCamera();
    // Every write after the first is refused.
    failing.scheduleFault(
        Fault{.kind = FaultKind::CanInsteadOfAck, .command = CommandId{2, 0x05}, .frame = 2, .times = 0});
    // This one goes away in the middle of a write.
    SimulatedCamera& gone = AddCamera();
    gone.scheduleFault(Fault{.kind = FaultKind::HangUp, .command = CommandId{2, 0x05}, .frame = 2});
    const std::string missing = "COM" + std::to_string(good.portNumber() + 50);
    const std::vector<std::string> ports{Com(good), Com(sabrel), Com(failing), Com(gone), missing};

    EXPECT_EQ(RunOn("update", {package_}, ports), kExitJobFailed) << err_.str();
    EXPECT_EQ(good.flash(0x10000, static_cast<std::uint32_t>(kImage.size())), kImage);
    EXPECT_TRUE(ErrHas(Com(sabrel) + ": Tarnwick: Package not suitable for Sabrel cameras!\n")) << err_.str();
    EXPECT_TRUE(ErrHas(Com(failing) + ": tarnwick-cli: not every job succeeded\n")) << err_.str();
    EXPECT_TRUE(ErrHas(missing + ": Tarnwick: No such file or directory (plug in the camera's cable or choose "
                                 "another port): " + missing + " (no such port)\n"))
        << err_.str();
    EXPECT_TRUE(OutHas(Com(good) + ": Camera updated.\n")) << out_.str();
    // The table: a header, then one row per port in the order named.
    const std::string table = out_.str().substr(out_.str().find("PORT "));
    for (const auto& [port, outcome] : std::map<std::string, std::string>{{Com(good), "succeeded"},
                                                                          {Com(sabrel), "the package was refused"},
                                                                          {Com(failing), "not every job succeeded"},
                                                                          {Com(gone), "not every job succeeded"},
                                                                          {missing, "no connection to the camera"}}) {
        const std::size_t row = table.find('\n' + port + ' ');
        ASSERT_NE(row, std::string::npos) << table;
        EXPECT_NE(table.substr(row, table.find('\n', row + 1) - row).find(outcome), std::string::npos) << table;
    }

    // Each camera's run is recorded with its own port and outcome.
    HistoryStore history(DefaultHistoryFile(), false);
    std::map<std::string, std::optional<int>> statuses;
    for (const RunRecord& run : history.list({})) {
        statuses[run.port] = run.exitStatus;
    }
    EXPECT_EQ(statuses, (std::map<std::string, std::optional<int>>{{Com(good), kExitSuccess},
                                                                    {Com(sabrel), kExitPackageRefused},
                                                                    {Com(failing), kExitJobFailed},
                                                                    {Com(gone), kExitJobFailed},
                                                                    {missing, kExitNotConnected}}));

    // JSON: every event names its port, and each port ends with its result.
    EXPECT_EQ(RunOn("program", {package_, "--item", "Corvel::uC", "--json"}, {Com(good), Com(failing)}),
              kExitJobFailed);
    std::map<std::string, int> results;
    std::istringstream lines(out_.str());
    for (std::string line; std::getline(lines, line);) {
        const nlohmann::json event = nlohmann::json::parse(line);
        ASSERT_TRUE(event.contains("port")) << line;
        if (event["event"] == "result") {
            results[event["port"]] = event["status"];
        }
    }
    EXPECT_EQ(results, (std::map<std::string, int>{{Com(good), kExitSuccess}, {Com(failing), kExitJobFailed}}));
}

TEST_F(CliPortsTest, CtrlCCancelsEveryCamera) {
    // Cameras that are never reset: both lanes wait for them.
    SimulatedCamera& first = AddCamera("MBM29DL324BE", false);
    SimulatedCamera& second = AddCamera("MBM29DL324BE", false);
    std::jthread interrupter([&] {
        if (Eventually([&] { return first.counters().hostOpens > 0 && second.counters().hostOpens > 0; })) {
            ::kill(::getpid(), SIGINT);
        }
    });
    EXPECT_EQ(RunOn("update", {package_}, {Com(first), Com(second)}), kExitCancelled);
    for (const SimulatedCamera* camera : {&first, &second}) {
        EXPECT_TRUE(ErrHas(Com(*camera) + ": tarnwick-cli: cancelled by SIGINT before the camera answered\n"))
            << err_.str();
    }
}

TEST_F(CliPortsTest, OnATerminalEachPortKeepsALiveLineThatEndsWithItsOutcome) {
    SimulatedCamera& first = AddCamera();
    SimulatedCamera& sabrel = AddCamera("AT49BV16x4A");
    environment_.progressInPlace = true;
    EXPECT_EQ(RunOn("update", {package_}, {Com(first), Com(sabrel)}), kExitPackageRefused);
    // The last drawing of the board, below the lines the ports said: port,
    // device and outcome, the columns aligned.
    const std::string err = err_.str();
    const std::string board = '\n' + err.substr(err.rfind("\x1b[J") + 3);
    const auto liveLine = [&board](const SimulatedCamera& camera) {
        const std::size_t start = board.find('\n' + Com(camera) + "  ");
        return start == std::string::npos ? std::string()
                                          : board.substr(start + 1, board.find('\n', start + 1) - start);
    };
    for (const auto& [camera, outcome] :
         {std::pair{&first, "succeeded"}, std::pair{&sabrel, "the package was refused"}}) {
        const std::string line = liveLine(*camera);
        EXPECT_NE(line.find("  " + camera->devicePath().string().substr(5) + " "), std::string::npos) << board;
        EXPECT_TRUE(line.ends_with("  " + std::string(outcome) + "\x1b[K\n")) << board;
    }
    EXPECT_NE(err.find("] 100% Write <uc.bin>"), std::string::npos);
    EXPECT_NE(err.find(Com(sabrel) + ": Tarnwick: Package not suitable for Sabrel cameras!\n"), std::string::npos);
}

TEST_F(CliPortsTest, ABackupOfSeveralCamerasGoesToAFileForEachPort) {
    SimulatedCamera& first = AddCamera();
    SimulatedCamera& second = AddCamera();
    ASSERT_EQ(RunOn("update", {package_}, {Com(first), Com(second)}), kExitSuccess) << err_.str();
    const std::filesystem::path named = folder_ / "before.xml";
    EXPECT_EQ(RunOn("backup", {named.string()}, {Com(first), second.devicePath().string()}), kExitSuccess)
        << err_.str();
    EXPECT_TRUE(std::filesystem::exists(folder_ / ("before-" + Com(first) + ".xml")));
    EXPECT_TRUE(std::filesystem::exists(folder_ / ("before-" + second.devicePath().filename().string() + ".xml")));
    EXPECT_FALSE(std::filesystem::exists(named));
}

TEST_F(CliPortsTest, ThePortNamedTwiceIsAWrongCommandLine) {
    SimulatedCamera& camera = AddCamera();
    for (const std::string& again : {Com(camera), camera.aliasPath().string(), camera.devicePath().string()}) {
        EXPECT_EQ(RunOn("update", {package_}, {Com(camera), again}), kExitUsage);
        EXPECT_TRUE(ErrHas(" are the same port (" + camera.devicePath().string() + ")\nusage: tarnwick-cli update"))
            << err_.str();
    }
    // A command on one camera at a time takes one port.
    EXPECT_EQ(RunOn("erase", {package_, "--item", "Corvel::uC"}, {Com(camera), Com(AddCamera())}), kExitUsage);
    EXPECT_EQ(camera.counters().hostOpens, 0u);
}

TEST_F(CliPortsTest, TheStationUpdatesEachCameraResetOnAnyPortUntilCtrlC) {
    SimulatedCamera& first = AddCamera("MBM29DL324BE", false);
    SimulatedCamera& second = AddCamera("MBM29DL324BE", false);
    // Each reset comes once the station waits on the line again; a session
    // opens the line anew for each camera.
    const auto resetWhenOpened = [](SimulatedCamera& camera, std::size_t opens) {
        return Eventually([&] { return camera.counters().hostOpens >= opens; }) && (camera.resetCamera(), true);
    };
    std::jthread line([&] {
        EXPECT_TRUE(resetWhenOpened(first, 1) && resetWhenOpened(second, 1));
        EXPECT_TRUE(resetWhenOpened(first, 2));
        EXPECT_TRUE(Eventually([&] { return first.counters().hostOpens >= 3 && second.counters().hostOpens >= 2; }));
        ::kill(::getpid(), SIGINT);
    });
    EXPECT_EQ(RunOn("station", {package_}, {Com(first), Com(second)}), kExitSuccess) << err_.str();
    line.join();

    EXPECT_EQ(first.flash(0x10000, static_cast<std::uint32_t>(kImage.size())), kImage);
    EXPECT_EQ(second.flash(0x10000, static_cast<std::uint32_t>(kImage.size())), kImage);
    EXPECT_TRUE(ErrHas(Com(first) + ": tarnwick-cli: camera 2 updated; this port: 2 updated, 0 failed; all ports: 3 "
                                    "updated, 0 failed\n"))
        << err_.str();
    EXPECT_TRUE(OutHas("2 updated, 0 failed")) << out_.str();
    HistoryStore history(DefaultHistoryFile(), false);
    const std::vector<RunRecord> runs = history.list({});
    ASSERT_EQ(runs.size(), 3u);
    for (const RunRecord& run : runs) {
        EXPECT_EQ(run.frontEnd, "station");
        EXPECT_EQ(run.outcome, RunOutcome::Succeeded);
    }
    EXPECT_EQ(runs.front().port, Com(first));

    // Without a port, or with both kinds, the station has nothing clear to serve.
    EXPECT_EQ(RunOn("station", {package_}, {}), kExitUsage);
    EXPECT_EQ(RunOn("station", {package_, "--all-ports"}, {Com(first)}), kExitUsage);
}

}  // namespace
}  // namespace tarnwick
