// SPDX-License-Identifier: GPL-2.0-or-later
// tarnwick-cli's camera commands, end to end against the simulated camera
// with packages made by the package tool.
#include <gtest/gtest.h>

#include <grp.h>
#include <sys/stat.h>
#include <unistd.h>

#include <nlohmann/json.hpp>

#include <algorithm>
#include <array>
#include <chrono>
#include <csignal>
#include <thread>

#include "catalogues.h"
#include "cli_fixture.h"
#include "console_messages.h"
#include "settings_store.h"
#include "package_writer.h"
#include "port_texts.h"
#include "progress_line.h"
#include "simulated_camera.h"
#include "target_commands.h"
#include "target_session.h"

namespace tarnwick {
namespace {

using namespace std::chrono_literals;

std::vector<std::uint8_t> Image(std::size_t size, std::uint8_t fill) {
    return std::vector<std::uint8_t>(size, fill);
}

const std::vector<std::uint8_t> kErased(64, 0xFF);

// The JSON events of one run, one object per line.
std::vector<nlohmann::json> Events(const std::string& out) {
    std::vector<nlohmann::json> events;
    std::istringstream lines(out);
    for (std::string line; std::getline(lines, line);) {
        events.push_back(nlohmann::json::parse(line));
    }
    return events;
}

class CliTargetTest : public CliTest {
protected:
    CliTargetTest() { StartCamera(20ms); }

    void StartCamera(std::chrono::milliseconds readyDelay, std::string versionText = "BLS v2.11 (sim)") {
        camera_.emplace(CameraOptions{.versionText = std::move(versionText), .readyDelay = readyDelay, .flashFile = {}});
        port_ = camera_->portNumber();
    }

    void Add(std::string_view typeName, std::string fileName, std::vector<std::uint8_t> image,
             std::uint32_t version = 0x0105) {
        const ImageType& type = *std::ranges::find(ImageTypes(), typeName, &ImageType::name);
        contents_.files.push_back({type.guid, std::move(fileName), 1, version, 1160000000, std::move(image)});
    }

    std::string WritePackage(const std::string& text) const { return Write("package.xml", text); }
    std::string WritePackage() const { return WritePackage(BuildPackageText(contents_)); }

    using CliTest::Run;
    int Run(std::string_view command, std::vector<std::string> args) {
        args.insert(args.end(), {"--port", std::to_string(port_), "--bps", "115200"});
        return RunAsGiven(command, args);
    }
    // Without the port and rate that Run adds.
    int RunAsGiven(std::string_view command, const std::vector<std::string>& args) {
        out_.str("");
        err_.str("");
        return RunTargetCommand(command, args, CliStreams{out_, err_, terminal_, terminal_}, environment_);
    }

    bool ErrHas(std::string_view text) const { return err_.str().find(text) != std::string::npos; }
    bool OutHas(std::string_view text) const { return out_.str().find(text) != std::string::npos; }
    bool SessionClosed() const {
        const std::vector<ObservedRequest> requests = camera_->requests();
        return !requests.empty() && requests.back().command == CommandId{1, 0xAA};
    }

    testing::TemporaryPortFolder ports_;
    std::optional<SimulatedCamera> camera_;
    int port_ = 0;
    TargetEnvironment environment_{
        {.frame = {.failurePause = 5ms}, .connect = {.cyclePause = 20ms, .readyPause = 10ms}},
        folder_ / "Settings.reg",
        false};
    PackageContents contents_{"Demo", 1160000000, {}};
};

TEST_F(CliTargetTest, UpdateWritesBootLoaderMicrocontrollerAndFpgaImages) {
    Add("Corvel::FPGA", "corvel_fpga.rbf", Image(6000, 7));
    Add("Corvel::uC", "corvel_uc.bin", Image(10000, 5));
    Add("Corvel::Bootloader", "corvel_boot.bin", Image(3001, 3), 0x020C);
    ASSERT_EQ(Run("update", {WritePackage()}), kExitSuccess) << err_.str();
    EXPECT_EQ(camera_->flash(0x100000, 6000), Image(6000, 7));
    EXPECT_EQ(camera_->counters().hostOpens, 1u);
    EXPECT_TRUE(SessionClosed());

    EXPECT_EQ(out_.str(), "Version:  BLS v2.11 (sim)\nPlatform: Corvel (Fujitsu - MBM29DL324BE)\nCamera updated.\n");
    EXPECT_TRUE(ErrHas("Reset camera to establish a connection...\n"));
    EXPECT_TRUE(ErrHas("Write <corvel_boot.bin> to 0x00000000\n"));
    EXPECT_TRUE(ErrHas("Verify <corvel_fpga.rbf> to 0x00100000\n"));
}

TEST_F(CliTargetTest, RefusalsAndLinkFailuresHaveTheirOwnStatus) {
    Add("Sabrel::uC", "sabrel_uc.bin", Image(100, 3));
    EXPECT_EQ(Run("update", {WritePackage()}), kExitPackageRefused);
    EXPECT_TRUE(ErrHas("Tarnwick: Package not suitable for Corvel cameras!\n")) << err_.str();

    std::string broken = BuildPackageText(contents_);
    broken.replace(broken.find("<data>") + 6, 8, "AAAAAAAA");
    EXPECT_EQ(Run("update", {WritePackage(broken)}), kExitPackageRefused);
    EXPECT_TRUE(ErrHas("Tarnwick: DoProgram failed: ")) << err_.str();

    const std::string package = WritePackage();
    camera_.reset();
    EXPECT_EQ(Run("update", {package}), kExitNotConnected);
    EXPECT_TRUE(ErrHas("Tarnwick: No such file or directory (plug in the camera's cable or choose another port): COM" +
                       std::to_string(port_) + " (no such port)\ntarnwick-cli: no connection to the camera\n"))
        << err_.str();
}

TEST_F(CliTargetTest, PackagesThatCannotBeReadSayWhyInTextAndJson) {
    const std::string missing = (folder_ / "missing.xml").string();
    const std::pair<std::string, std::string> rows[] = {
        {missing, "No such file or directory"},
        {folder_.path().string(), "Is a directory"},
        {Write("notes.xml", "just some notes"), "not a package file"},
    };
    for (const auto& [path, reason] : rows) {
        EXPECT_EQ(Run("check", {path, "--item", "Corvel::uC"}), kExitFailure) << path;
        EXPECT_EQ(err_.str(), "tarnwick-cli: can't read package file " + path + ": " + reason + "\n");
    }
    EXPECT_EQ(Run("check", {missing, "--item", "Corvel::uC", "--json"}), kExitFailure);
    EXPECT_EQ(Events(out_.str()),
              (std::vector<nlohmann::json>{
                  {{"event", "note"},
                   {"text", "tarnwick-cli: can't read package file " + missing + ": No such file or directory"}},
                  {{"event", "result"}, {"status", 1}, {"text", ""}, {"jobs", nlohmann::json::array()}}}));
}

TEST_F(CliTargetTest, ItemCommandsActOnOneRegionAndShowItsState) {
    Add("Corvel::uC", "corvel_uc.bin", Image(5000, 5));
    Add("Corvel::FPGA", "corvel_fpga.rbf", Image(6000, 7));
    const std::string package = WritePackage();

    ASSERT_EQ(Run("program", {package, "--item", "corvel::uc", "--skip-verify"}), kExitSuccess) << err_.str();
    EXPECT_EQ(camera_->flash(0x10000, 5000), Image(5000, 5));
    EXPECT_EQ(camera_->flash(0x100000, 64), kErased);
    EXPECT_FALSE(ErrHas("Verify <"));
    EXPECT_TRUE(OutHas("Blank check: isn't blank\n")) << out_.str();

    ASSERT_EQ(Run("check", {package, "--item", "Corvel::uC"}), kExitSuccess) << err_.str();
    EXPECT_TRUE(OutHas("Checksum:    0x")) << out_.str();
    ASSERT_EQ(Run("erase", {package, "--item", "Corvel::uC"}), kExitSuccess) << err_.str();
    EXPECT_TRUE(OutHas("Blank check: is blank\n")) << out_.str();
    EXPECT_EQ(camera_->flash(0x10000, 64), kErased);

    EXPECT_EQ(Run("erase", {package, "--item", "Corvel::Bootloader"}), kExitFailure);
    EXPECT_TRUE(ErrHas("no item of type Corvel::Bootloader")) << err_.str();
}

TEST_F(CliTargetTest, InfoAndPortsNameTheCamera) {
    ASSERT_EQ(Run("info", {}), kExitSuccess) << err_.str();
    EXPECT_EQ(out_.str(), "Version:  BLS v2.11 (sim)\nPlatform: Corvel (Fujitsu - MBM29DL324BE)\n");

    ASSERT_EQ(Run({"ports"}), kExitSuccess);
    // A pseudo-terminal has no adapter behind it to describe.
    const std::string line = "COM" + std::to_string(port_) + "\t" +
                             std::filesystem::weakly_canonical(camera_->devicePath()).string() + "\t\n";
    EXPECT_TRUE(OutHas(line)) << out_.str();
}

TEST_F(CliTargetTest, WithoutFlagsThePortAndARateThePortTakesComeFromTheSettings) {
    EXPECT_EQ(RunAsGiven("info", {}), kExitUsage);
    EXPECT_EQ(err_.str(), "tarnwick-cli: no port in the settings; name one with --port N or --port DEVICE\n");

    // A fresh account stores rate 0, which the window keeps and fails on.
    for (const std::uint32_t storedRate : {0u, 12345u, 57600u}) {
        const Settings stored{.comPort = static_cast<std::uint32_t>(port_), .comBps = storedRate, .lastPackage = {}};
        ASSERT_FALSE(SettingsStore(environment_.settingsFile).save(stored));
        EXPECT_EQ(RunAsGiven("info", {}), kExitSuccess) << storedRate << ": " << err_.str();
    }
    EXPECT_EQ(RunAsGiven("info", {"--bps", "12345"}), kExitNotConnected);
    EXPECT_TRUE(ErrHas("Tarnwick: Invalid argument (bit rate 12345 is not one the port takes; choose another): COM" +
                       std::to_string(port_)))
        << err_.str();
}

TEST_F(CliTargetTest, APortIsNamedByNumberOrByTheDevicePathAndAHeldOrDeniedOneSaysSo) {
    const std::filesystem::path device = camera_->devicePath();
    const std::filesystem::path byId = folder_ / "usb-Vornix_Camera_Cable_0001-if00";
    std::filesystem::create_symlink(device, byId);
    for (const std::string& port : {device.string(), byId.string(), "COM" + std::to_string(port_)}) {
        EXPECT_EQ(RunAsGiven("info", {"--port", port}), kExitSuccess) << port << ": " << err_.str();
        EXPECT_TRUE(OutHas("Platform: Corvel")) << port;
    }

    EXPECT_EQ(RunAsGiven("info", {"--port", "/dev/no-such-tty"}), kExitNotConnected);
    EXPECT_TRUE(ErrHas("Tarnwick: No such file or directory (plug in the camera's cable or choose another port): "
                       "/dev/no-such-tty (no such port)\n"))
        << err_.str();
    for (const char* bad : {"0", "COM", "ttyUSB0", "COMx"}) {
        EXPECT_EQ(RunAsGiven("info", {"--port", bad}), kExitUsage) << bad;
    }

    SerialPort held;
    held.open(port_, 115200);
    for (const std::string& port : {std::to_string(port_), camera_->devicePath().string()}) {
        EXPECT_EQ(RunAsGiven("info", {"--port", port}), kExitNotConnected);
        EXPECT_TRUE(ErrHas("Tarnwick: Permission denied (another program has the port open): ")) << err_.str();
    }

    const std::filesystem::path denied = folder_.write("ttyUSB0", "");
    const std::string group = ::getgrgid(::getegid())->gr_name;
    ::chmod(denied.c_str(), 0660);
    EXPECT_EQ(DeniedPortHint(denied), " (" + std::filesystem::canonical(denied).string() + " belongs to group '" +
                                          group + "'; add your user to it and log in again)");
    ::chmod(denied.c_str(), 0600);
    EXPECT_EQ(DeniedPortHint(denied), "");
    EXPECT_EQ(DeniedPortHint(folder_ / "missing"), "");
    EXPECT_EQ(PortRefusalText(CSerialException(EACCES), 0, denied, 115200), "Permission denied: " + denied.string());
}

TEST_F(CliTargetTest, AFailedWriteExitsAsAJobFailureAndJsonReportsEveryStepAndTheResultOfEachJob) {
    Add("Corvel::uC", "corvel_uc.bin", Image(10000, 5));
    ASSERT_EQ(Run("update", {WritePackage(), "--json"}), kExitSuccess) << err_.str();
    EXPECT_EQ(err_.str(), "");
    const std::vector<nlohmann::json> events = Events(out_.str());
    ASSERT_FALSE(events.empty());
    ASSERT_GE(events.size(), 2u);
    EXPECT_EQ(events[0], (nlohmann::json{{"event", "status"}, {"text", "Loading Demo..."}}));
    EXPECT_EQ(events[1], (nlohmann::json{{"event", "status"}, {"text", "Reset camera to establish a connection..."}}));
    const nlohmann::json& result = events.back();
    EXPECT_EQ(result["event"], "result");
    EXPECT_EQ(result["status"], 0);
    EXPECT_EQ(result["text"], "Camera updated.");
    ASSERT_EQ(result["jobs"].size(), 6u);
    EXPECT_EQ(result["jobs"][1], (nlohmann::json{{"step", "write"}, {"start", 0x10000}, {"length", 0xF0000},
                                                 {"item", "Corvel::uC"}, {"result", "success"}}));

    EXPECT_NE(std::ranges::find(events, nlohmann::json{{"event", "field"}, {"name", "version"},
                                                       {"text", "BLS v2.11 (sim)"}}),
              events.end());
    EXPECT_TRUE(std::ranges::any_of(events, [](const nlohmann::json& step) {
        return step["event"] == "progress" && step["position"] == step["range"][1] && step["position"] != 0;
    })) << "a bar that is filled";

    camera_->scheduleFault({FaultKind::CanInsteadOfAck, CommandId{2, 0x05}, 2, 0});
    EXPECT_EQ(Run("update", {WritePackage()}), kExitJobFailed);
    const std::string failure =
        "Sector write failed - CRC error\nWriting Corvel::uC (0x00010000 to 0x000FFFFF) did not finish: the region "
        "may now be partly written. Run the update again.";
    EXPECT_TRUE(ErrHas('\n' + failure + "\ntarnwick-cli: not every job succeeded\n")) << err_.str();
    EXPECT_FALSE(OutHas("Camera updated."));
    EXPECT_TRUE(SessionClosed());

    camera_->scheduleFault({FaultKind::CanInsteadOfAck, CommandId{2, 0x05}, 2, 0});
    EXPECT_EQ(Run("update", {WritePackage(), "--json"}), kExitJobFailed);
    const std::vector<nlohmann::json> failed = Events(out_.str());
    EXPECT_NE(std::ranges::find(failed, nlohmann::json{{"event", "message"}, {"text", failure}, {"caption", ""}}),
              failed.end());
    EXPECT_EQ(failed.back()["status"], kExitJobFailed);
    EXPECT_EQ(failed.back()["text"], "tarnwick-cli: not every job succeeded");
    EXPECT_EQ(failed.back()["jobs"].back()["result"], "notRun");
}

TEST_F(CliTargetTest, WhatTheCameraAndTheFilesSayReachesATerminalEscaped) {
    StartCamera(20ms, "BLS v2.11\x1b]0;owned\x07");
    Add("Corvel::uC", "uc\x1b[2J.bin", Image(100, 5));
    terminal_ = true;
    ASSERT_EQ(Run("update", {WritePackage()}), kExitSuccess) << err_.str();
    EXPECT_TRUE(OutHas("Version:  BLS v2.11\\x1B]0;owned\\x07\n")) << out_.str();
    EXPECT_TRUE(ErrHas("Write <uc\\x1B[2J.bin> to 0x00010000")) << err_.str();
    EXPECT_FALSE(ErrHas("\x1b")) << err_.str();
}

// Sends Ctrl+C `times` times, once `ready` holds.
template <typename Ready>
std::jthread InterruptWhen(Ready ready, int times) {
    return std::jthread([ready, times] {
        const auto deadline = std::chrono::steady_clock::now() + 10s;
        while (!ready() && std::chrono::steady_clock::now() < deadline) {
            std::this_thread::sleep_for(5ms);
        }
        for (int count = 0; count < times; ++count) {
            std::this_thread::sleep_for(50ms);
            ::kill(::getpid(), SIGINT);
        }
    });
}

TEST_F(CliTargetTest, InterruptsSayWhatTheyCutShort) {
    StartCamera(60s);
    Add("Corvel::uC", "corvel_uc.bin", Image(9000, 5));
    const std::string package = WritePackage();
    {
        // The session catches interrupts before it opens the line.
        const std::jthread interrupter = InterruptWhen([this] { return camera_->counters().hostOpens > 0; }, 1);
        EXPECT_EQ(Run("update", {package}), kExitCancelled);
    }
    EXPECT_TRUE(ErrHas("Cancelling...")) << err_.str();
    EXPECT_TRUE(ErrHas("tarnwick-cli: cancelled before the camera answered\n")) << err_.str();

    // A camera that stops answering in the middle of a write: the second
    // Ctrl+C does not wait out its reply timeouts.
    StartCamera(20ms);
    camera_->scheduleFault({.kind = FaultKind::Silence, .command = CommandId{2, 0x05}, .times = 0});
    environment_.timings.frame.failurePause = 600ms;
    {
        const std::jthread interrupter = InterruptWhen([this] { return camera_->counters().requests > 3; }, 2);
        EXPECT_EQ(Run("update", {package}), kExitCancelled);
    }
    EXPECT_TRUE(ErrHas("Stopping the link.\n")) << err_.str();
    EXPECT_TRUE(ErrHas("tarnwick-cli: cancelled while connected to the camera, during: Write <corvel_uc.bin> to "
                       "0x00010000\n"))
        << err_.str();
}

// Scripts test these numbers; the README lists them.
TEST(ExitStatus, IsTheNumberScriptsAreToldOf) {
    EXPECT_EQ((std::array{kExitSuccess, kExitFailure, kExitUsage, kExitNotConnected, kExitPackageRefused,
                          kExitJobFailed, kExitCancelled}),
              (std::array{0, 1, 2, 3, 4, 5, 130}));
}

TEST(ProgressLine, PlainLinesForStatusAndQuartersInPlaceOtherwise) {
    const auto feed = [](bool inPlace) {
        std::ostringstream out;
        ProgressLine line(out, inPlace);
        line.apply({ProgressAction::Show, "", 0, 20, 0});
        line.apply({ProgressAction::SetStatus, "Erase sector...", 0, 0, 0});
        line.apply({ProgressAction::SetStatus, "Write <a.bin> to 0x00010000", 0, 0, 0});
        line.apply({ProgressAction::SetRange, "", 0, 4, 0});
        for (int step = 0; step < 5; ++step) {
            line.apply({ProgressAction::Step, "", 0, 0, 0});
        }
        line.apply({ProgressAction::Hide, "", 0, 0, 0});
        return out.str();
    };
    EXPECT_EQ(feed(false),
              "Erase sector...\nWrite <a.bin> to 0x00010000\n"
              "[#######-----------------------]  25% Write <a.bin> to 0x00010000\n"
              "[###############---------------]  50% Write <a.bin> to 0x00010000\n"
              "[######################--------]  75% Write <a.bin> to 0x00010000\n"
              "[##############################] 100% Write <a.bin> to 0x00010000\n");

    const std::string text = feed(true);
    EXPECT_EQ(text.find('\n'), text.size() - 1) << "one line, ended when hidden";
    EXPECT_NE(text.find("\r[##############################] 100% Write <a.bin> to 0x00010000\x1b[K"),
              std::string::npos);
}

}  // namespace
}  // namespace tarnwick
