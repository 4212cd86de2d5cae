// SPDX-License-Identifier: GPL-2.0-or-later
// tarnwick-cli's camera commands, end to end against the simulated camera
// with packages made by the package tool.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <fcntl.h>
#include <grp.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <nlohmann/json.hpp>

#include <algorithm>
#include <array>
#include <chrono>
#include <csignal>
#include <functional>
#include <thread>

#include "catalogues.h"
#include "history_store.h"
#include "sha256.h"
#include "cli_fixture.h"
#include "console_messages.h"
#include "file_io.h"
#include "guid.h"
#include "settings_store.h"
#include "package_writer.h"
#include "port_texts.h"
#include "progress_line.h"
#include "scoped_environment.h"
#include "simulated_camera.h"
#include "target_commands.h"
#include "target_session.h"
#include "unique_fd.h"

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
        const ImageType& type = *FindImageTypeByName(typeName);
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
        false,
        DefaultHistoryFile()};
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

// The commands on one item refuse what an update refuses, with the same
// texts, and like it before the port is opened: the camera is not reset for
// nothing, and a package that programs nothing never passes for a success.
TEST_F(CliTargetTest, EveryCommandRefusesWhatAnUpdateRefusesBeforeOpeningThePort) {
    const std::string path = (folder_ / "package.xml").string();
    const auto packageOf = [this](std::initializer_list<std::pair<std::string_view, std::size_t>> items) {
        contents_.files.clear();
        for (const auto& [typeName, size] : items) {
            Add(typeName, "image.bin", Image(size, 5));
        }
        return BuildPackageText(contents_);
    };
    std::string mistyped = packageOf({{"Corvel::uC", 100}, {"Corvel::FPGA", 100}});
    for (const PackedFile& file : contents_.files) {
        // One wrong digit in each GUID, and the reader drops the item.
        mistyped.replace(mistyped.find(FormatGuid(file.type)) + 1, 1, "0");
    }
    const std::pair<std::string, std::string> rows[] = {
        {mistyped, path + " lists no item this program can use"},
        {packageOf({{"Tessid::uC-1", 100}}), path + " lists no item this program can use"},
        {packageOf({{"Corvel::uC", 100}, {"Corvel::uC", 200}}), "Corvel::uC is listed twice in the package"},
        {packageOf({{"Corvel::uC", 100}, {"Corvel::Bootloader", 16377}}),
         "Corvel::Bootloader: image of 16377 bytes does not fit its region (16376 bytes free before the length word)"},
    };
    for (const auto& [text, refusal] : rows) {
        ASSERT_EQ(WritePackage(text), path);
        for (const char* command : {"update", "program", "erase", "check"}) {
            std::vector<std::string> args{path};
            if (command != std::string_view("update")) {
                args.insert(args.end(), {"--item", "Corvel::uC"});
            }
            EXPECT_EQ(Run(command, args), kExitPackageRefused) << command << ": " << refusal;
            // An update says what it loads, where the item commands load before they start.
            std::string said = err_.str();
            if (said.starts_with("Loading ")) {
                said.erase(0, said.find('\n') + 1);
            }
            EXPECT_EQ(said, "Tarnwick: " + refusal + "\ntarnwick-cli: the package was refused\n") << command;
        }
    }
    EXPECT_EQ(camera_->counters().hostOpens, 0u);
}

TEST_F(CliTargetTest, AnUpdateWithNothingLeftToProgramSaysWhyAndSucceeds) {
    Add("Corvel::Bootloader", "corvel_boot.bin", Image(3001, 3), 0x020B);
    ASSERT_EQ(Run("update", {WritePackage()}), kExitSuccess) << err_.str();
    EXPECT_EQ(out_.str(), "Version:  BLS v2.11 (sim)\nPlatform: Corvel (Fujitsu - MBM29DL324BE)\n"
                          "Nothing to program: the camera's boot code 2.11 is as new as the package's "
                          "Corvel::Bootloader 2.11\n");
    EXPECT_EQ(camera_->flash(0, 64), kErased);
    EXPECT_TRUE(SessionClosed());
}

TEST_F(CliTargetTest, PackagesThatCannotBeReadSayWhyInTextAndJson) {
    const std::string missing = (folder_ / "missing.xml").string();
    const std::pair<std::string, std::string> rows[] = {
        {missing, "No such file or directory"},
        {folder_.path().string(), "Is a directory"},
        {Write("notes.xml", "just some notes"), "not a package file, or a damaged one"},
    };
    for (const auto& [path, reason] : rows) {
        EXPECT_EQ(Run("check", {path, "--item", "Corvel::uC"}), kExitFailure) << path;
        EXPECT_EQ(err_.str(), "tarnwick-cli: Can't read package file " + path + ": " + reason + "\n");
    }
    EXPECT_EQ(Run("check", {missing, "--item", "Corvel::uC", "--json"}), kExitFailure);
    EXPECT_EQ(Events(out_.str()),
              (std::vector<nlohmann::json>{
                  {{"event", "note"},
                   {"text", "tarnwick-cli: Can't read package file " + missing + ": No such file or directory"}},
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

// Bytes whose place in the image shows.
std::vector<std::uint8_t> Counting(std::size_t size) {
    std::vector<std::uint8_t> image(size);
    for (std::size_t index = 0; index < size; ++index) {
        image[index] = static_cast<std::uint8_t>(index * 7 + index / 251);
    }
    return image;
}

std::vector<std::uint8_t> Word(std::uint32_t value) {
    return {static_cast<std::uint8_t>(value), static_cast<std::uint8_t>(value >> 8),
            static_cast<std::uint8_t>(value >> 16), static_cast<std::uint8_t>(value >> 24)};
}

constexpr std::uint32_t kFpgaWord = 0x13FFF8;

TEST_F(CliTargetTest, ABackupRestoresEachImageAndItsLengthWordByteForByte) {
    Add("Corvel::Bootloader", "corvel_boot.bin", Counting(3001), 0x020C);
    Add("Corvel::uC", "corvel_uc.bin", Counting(10001));
    ASSERT_EQ(Run("update", {WritePackage()}), kExitSuccess) << err_.str();
    camera_->presetFlash(kFpgaWord, Word(0x50000));
    const std::string backup = (folder_ / "backup.xml").string();
    ASSERT_EQ(Run("backup", {backup}), kExitSuccess) << err_.str();
    EXPECT_EQ(out_.str(), "Version:  BLS v2.11 (sim)\nPlatform: Corvel (Fujitsu - MBM29DL324BE)\nBackup written to " +
                              backup + "\n");
    EXPECT_TRUE(ErrHas("Read <Corvel-uC.bin> from 0x00010000\n")) << err_.str();
    EXPECT_TRUE(ErrHas("Corvel::Bootloader: 3002 bytes read\nCorvel::uC: 10002 bytes read\n"
                       "Corvel::FPGA: length word 0x00050000 points past the region (262136 bytes at most); not read\n"
                       "Corvel::FLASH: no image recorded (length word 0xFFFFFFFF)\n"))
        << err_.str();
    EXPECT_TRUE(SessionClosed());
    const std::vector<std::uint8_t> bootRegion = camera_->flash(0, 0x4000);
    const std::vector<std::uint8_t> ucRegion = camera_->flash(0x10000, 0xF0000);

    StartCamera(20ms);
    ASSERT_EQ(Run("update", {backup}), kExitSuccess) << err_.str();
    EXPECT_EQ(camera_->flash(0x10000, 0xF0000), ucRegion);
    EXPECT_EQ(camera_->flash(0, 64), kErased) << "no newer than the running boot code, by the update's rule";
    ASSERT_EQ(Run("program", {backup, "--item", "Corvel::Bootloader"}), kExitSuccess) << err_.str();
    EXPECT_EQ(camera_->flash(0, 0x4000), bootRegion);

    ASSERT_EQ(Run({"history", "--json"}), kExitSuccess) << err_.str();
    const std::vector<nlohmann::json> runs = Events(out_.str());
    ASSERT_EQ(runs.size(), 4u) << "the backup is a run like the others";
    EXPECT_EQ(runs[2]["command"], "backup");
    EXPECT_EQ(runs[2]["outcome"], "succeeded");
}

TEST_F(CliTargetTest, AWholeRegionIsReadUpToItsLengthWordAndJsonListsEachRegion) {
    const std::vector<std::uint8_t> fpga = Counting(5000);
    camera_->presetFlash(0x100000, fpga);
    camera_->presetFlash(kFpgaWord, Word(0x50000));
    const std::string none = (folder_ / "none.xml").string();
    EXPECT_EQ(Run("backup", {none, "--item", "Corvel::FPGA", "--item", "corvel::uc", "--json"}), kExitJobFailed);
    EXPECT_FALSE(std::filesystem::exists(none));
    const nlohmann::json skipped = Events(out_.str()).back();
    EXPECT_EQ(skipped["text"], "tarnwick-cli: no backup written");
    EXPECT_EQ(skipped["regions"],
              (nlohmann::json{{{"item", "Corvel::uC"}, {"start", 0x10000}, {"length", 0xF0000}, {"result", "noImage"},
                               {"lengthWord", 0xFFFFFFFF}, {"bytes", 0}},
                              {{"item", "Corvel::FPGA"}, {"start", 0x100000}, {"length", 0x40000},
                               {"result", "pastRegion"}, {"lengthWord", 0x50000}, {"bytes", 0}}}));

    const std::string whole = (folder_ / "whole.xml").string();
    ASSERT_EQ(Run("backup", {whole, "--item", "Corvel::FPGA", "--whole", "--json"}), kExitSuccess) << err_.str();
    const std::vector<nlohmann::json> events = Events(out_.str());
    EXPECT_NE(std::ranges::find(events, nlohmann::json{{"event", "note"},
                                                       {"text", "Corvel::FPGA: 262136 bytes read (the whole region)"}}),
              events.end());
    EXPECT_EQ(events.back()["regions"][0]["lengthWord"], nullptr);
    EXPECT_EQ(events.back()["status"], 0);

    StartCamera(20ms);
    ASSERT_EQ(Run("program", {whole, "--item", "Corvel::FPGA"}), kExitSuccess) << err_.str();
    EXPECT_EQ(camera_->flash(0x100000, 5000), fpga);
    EXPECT_EQ(camera_->flash(kFpgaWord, 4), Word(0x40000 - 8)) << "the region's room, as the backup took it";
}

TEST_F(CliTargetTest, ABackupThatCannotBeWrittenOrReadWholeSaysWhyAndLeavesNoFile) {
    const std::string old = Write("old.xml", "old");
    const std::string fresh = (folder_ / "fresh.xml").string();
    const std::string lost = (folder_ / "missing" / "b.xml").string();
    EXPECT_EQ(Run("backup", {old}), kExitFailure);
    EXPECT_EQ(err_.str(), "Tarnwick: " + old + " exists already and is not replaced\n"
                          "tarnwick-cli: --force replaces it\ntarnwick-cli: no backup written\n");
    EXPECT_EQ(Run("backup", {lost, "--force"}), kExitFailure);
    EXPECT_TRUE(ErrHas("Tarnwick: Can't write " + lost + ": the folder does not exist\n")) << err_.str();
    EXPECT_EQ(Run("backup", {fresh, "--item", "Corvel::DSP"}), kExitUsage);
    EXPECT_TRUE(ErrHas("no image type is named Corvel::DSP")) << err_.str();
    EXPECT_EQ(camera_->counters().hostOpens, 0u) << "refused before the port is opened";

    EXPECT_EQ(Run("backup", {fresh, "--item", "Sabrel::uC"}), kExitPackageRefused);
    EXPECT_TRUE(ErrHas("Tarnwick: Sabrel::uC is not for this camera (Corvel)\n")) << err_.str();
    EXPECT_TRUE(SessionClosed());
    EXPECT_EQ(Run("backup", {fresh}), kExitJobFailed);
    EXPECT_TRUE(ErrHas("Tarnwick: Backup not written: no region holds an image\n")) << err_.str();

    Add("Corvel::uC", "corvel_uc.bin", Counting(10000));
    ASSERT_EQ(Run("update", {WritePackage()}), kExitSuccess) << err_.str();
    {
        const ScopedReplaceFault full(ReplaceStep::Write, ENOSPC);
        EXPECT_EQ(Run("backup", {old, "--force"}), kExitFailure);
    }
    EXPECT_TRUE(ErrHas("Tarnwick: Backup not written to " + old + ": No space left on device\n")) << err_.str();
    EXPECT_EQ(testing::readText(old), "old");

    camera_->scheduleFault({.kind = FaultKind::HangUp, .command = CommandId{2, 0x06}, .frame = 2});
    EXPECT_EQ(Run("backup", {fresh}), kExitJobFailed);
    EXPECT_TRUE(ErrHas("Tarnwick: Backup not written: a region could not be read whole\n")) << err_.str();
    EXPECT_TRUE(ErrHas("Corvel::uC: not read\n")) << err_.str();
    EXPECT_FALSE(std::filesystem::exists(fresh));

    camera_.emplace(CameraOptions{.chip = "MBM29DL322BE", .readyDelay = 20ms, .flashFile = {}});
    port_ = camera_->portNumber();
    EXPECT_EQ(Run("backup", {fresh}), kExitPackageRefused);
    EXPECT_TRUE(ErrHas("Tarnwick: This camera (unknown) has no region to back up\n")) << err_.str();
    EXPECT_FALSE(std::filesystem::exists(fresh));
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

// Sends the signal `times` times to the process, once `ready` holds.
template <typename Ready>
std::jthread SignalWhen(Ready ready, pid_t process, int signal, int times) {
    return std::jthread([ready, process, signal, times] {
        const auto deadline = std::chrono::steady_clock::now() + 10s;
        while (!ready() && std::chrono::steady_clock::now() < deadline) {
            std::this_thread::sleep_for(5ms);
        }
        for (int count = 0; count < times; ++count) {
            std::this_thread::sleep_for(50ms);
            ::kill(process, signal);
        }
    });
}

// Sends Ctrl+C to this process `times` times, once `ready` holds.
template <typename Ready>
std::jthread InterruptWhen(Ready ready, int times) {
    return SignalWhen(ready, ::getpid(), SIGINT, times);
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
    EXPECT_TRUE(ErrHas("tarnwick-cli: cancelled by SIGINT before the camera answered\n")) << err_.str();

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
    EXPECT_TRUE(ErrHas("tarnwick-cli: cancelled by SIGINT while connected to the camera, during: Write "
                       "<corvel_uc.bin> to 0x00010000\n"))
        << err_.str();
}

// How the program's standard output is set up.
enum class Output { Pipe, ReaderGone, Full, Closed };

// Starts tarnwick-cli as a script would, its standard output as given (a
// pipe's write end for Pipe and ReaderGone), its standard error into a file.
pid_t StartProgram(std::vector<std::string> args, Output output, int pipeWriteEnd,
                   const std::filesystem::path& errFile) {
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
    if (output == Output::Full) {
        posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/full", O_WRONLY, 0);
    } else if (output == Output::Closed) {
        posix_spawn_file_actions_addclose(&actions, STDOUT_FILENO);
    } else {
        posix_spawn_file_actions_adddup2(&actions, pipeWriteEnd, STDOUT_FILENO);
    }
    posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, errFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    args.insert(args.begin(), TARNWICK_CLI_PROGRAM);
    std::vector<char*> argv;
    std::ranges::transform(args, std::back_inserter(argv), [](std::string& arg) { return arg.data(); });
    argv.push_back(nullptr);
    pid_t process = 0;
    EXPECT_EQ(::posix_spawn(&process, argv[0], &actions, nullptr, argv.data(), environ), 0);
    posix_spawn_file_actions_destroy(&actions);
    return process;
}

struct ProgramEnd {
    // The exit status; minus the signal's number when a signal killed it.
    int status;
    // Standard output, when it was a pipe.
    std::string out;
};

// Runs tarnwick-cli to its end; a signal other than 0 is sent once ready holds.
ProgramEnd RunProgram(const std::vector<std::string>& args, Output output, const std::filesystem::path& errFile,
                      int signal, const std::function<bool()>& ready) {
    std::array<int, 2> pipe{-1, -1};
    EXPECT_EQ(::pipe2(pipe.data(), O_CLOEXEC), 0);
    UniqueFd readEnd(pipe[0]);
    UniqueFd writeEnd(pipe[1]);
    if (output == Output::ReaderGone) {
        readEnd.close();
    }
    const pid_t process = StartProgram(args, output, writeEnd.get(), errFile);
    // Only the program holds the pipe open now: it ends with the program.
    writeEnd.close();
    ProgramEnd end{0, {}};
    {
        const std::jthread signaller = signal != 0 ? SignalWhen(ready, process, signal, 1) : std::jthread();
        std::array<char, 4096> chunk{};
        for (ssize_t got; readEnd.valid() && (got = ::read(readEnd.get(), chunk.data(), chunk.size())) > 0;) {
            end.out.append(chunk.data(), static_cast<std::size_t>(got));
        }
    }
    int status = 0;
    EXPECT_EQ(::waitpid(process, &status, 0), process);
    end.status = WIFSIGNALED(status) ? -WTERMSIG(status) : WEXITSTATUS(status);
    return end;
}

// SIGTERM and SIGHUP cancel as Ctrl+C does and close the link; output that
// cannot be written stops nothing, and the status says it was lost.
TEST_F(CliTargetTest, SignalsCancelThroughTheClosingCommandsAndLostOutputStopsNothing) {
    const testing::ScopedEnvironment settings("XDG_CONFIG_HOME", folder_.path().c_str());
    const std::vector<std::uint8_t> image = Image(40000, 5);
    Add("Corvel::uC", "corvel_uc.bin", image);
    const std::string package = WritePackage();
    const struct {
        const char* name;
        Output output;
        int signal;
        int status;
    } rows[] = {
        {"SIGTERM", Output::Pipe, SIGTERM, kExitTerminated},
        {"SIGHUP", Output::Pipe, SIGHUP, kExitHungUp},
        {"reader gone", Output::ReaderGone, 0, kExitOutputLost},
        {"full", Output::Full, 0, kExitOutputLost},
        {"closed", Output::Closed, 0, kExitOutputLost},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        // A signal comes while the camera, at a serial line's pace, takes the image.
        camera_.emplace(CameraOptions{
            .readyDelay = 20ms, .flashFile = {}, .bitsPerSecond = row.signal != 0 ? 115200u : 0u});
        const auto writing = [this] {
            return std::ranges::any_of(camera_->requests(), [](const ObservedRequest& request) {
                return request.command == CommandId{2, 0x05};
            });
        };
        const std::vector<std::string> args{"update", package, "--json", "--port",
                                            camera_->devicePath().string(), "--bps", "115200"};
        const ProgramEnd end = RunProgram(args, row.output, folder_ / "err.txt", row.signal, writing);
        EXPECT_EQ(end.status, row.status) << testing::readText(folder_ / "err.txt");
        EXPECT_TRUE(SessionClosed());
        EXPECT_EQ(camera_->counters().skippedBytes, 0u) << "nothing but frames on the line";
        if (row.signal == 0) {
            EXPECT_EQ(camera_->flash(0x10000, 40000), image) << "the update ran to its end";
            continue;
        }
        const std::vector<nlohmann::json> events = Events(end.out);
        ASSERT_FALSE(events.empty());
        EXPECT_EQ(events.back()["status"], row.status);
        EXPECT_EQ(events.back()["text"], "tarnwick-cli: cancelled by " + std::string(row.name) +
                                             " while connected to the camera, during: Write <corvel_uc.bin> to "
                                             "0x00010000");
    }
}

TEST_F(CliTargetTest, EachRunIsRecordedWithItsPortCameraPackageImagesJobsAndOutcome) {
    Add("Corvel::uC", "corvel_uc.bin", Image(10000, 5));
    const std::string package = WritePackage();
    ASSERT_EQ(Run("update", {package}), kExitSuccess) << err_.str();
    camera_->scheduleFault({FaultKind::CanInsteadOfAck, CommandId{2, 0x05}, 2, 0});
    ASSERT_EQ(Run("update", {package}), kExitJobFailed);
    {
        StartCamera(60s);
        const std::jthread interrupter = InterruptWhen([this] { return camera_->counters().hostOpens > 0; }, 1);
        ASSERT_EQ(Run("info", {}), kExitCancelled);
    }

    ASSERT_EQ(Run({"history", "--json"}), kExitSuccess) << err_.str();
    const std::vector<nlohmann::json> runs = Events(out_.str());
    ASSERT_EQ(runs.size(), 3u) << out_.str();
    const nlohmann::json& succeeded = runs[2];
    EXPECT_EQ(succeeded["command"], "update");
    EXPECT_EQ(succeeded["port"], "COM" + std::to_string(port_));
    EXPECT_EQ(succeeded["bootCode"], "BLS v2.11 (sim)");
    EXPECT_EQ(succeeded["flashChip"], "Fujitsu - MBM29DL324BE");
    EXPECT_EQ(succeeded["family"], "Corvel");
    EXPECT_EQ(succeeded["package"],
              (nlohmann::json{
                  {"name", "Demo"}, {"path", package}, {"sha256", Sha256Hex(testing::readBytes(package))}}));
    EXPECT_EQ(succeeded["images"], (nlohmann::json::array({{{"type", "Corvel::uC"}, {"version", "1.05"},
                                                             {"sha256", Sha256Hex(Image(10000, 5))}}})));
    EXPECT_EQ(succeeded["outcome"], "succeeded");
    EXPECT_EQ(succeeded["exitStatus"], kExitSuccess);
    ASSERT_EQ(succeeded["jobs"].size(), 6u);
    EXPECT_EQ(succeeded["jobs"][1], (nlohmann::json{{"step", "write"}, {"start", 0x10000}, {"length", 0xF0000},
                                                    {"item", "Corvel::uC"}, {"result", "success"}}));

    const nlohmann::json& failed = runs[1];
    EXPECT_EQ(failed["outcome"], "failed");
    EXPECT_EQ(failed["exitStatus"], kExitJobFailed);
    EXPECT_NE(failed["jobs"][1]["result"], "success");
    EXPECT_EQ(failed["jobs"].back()["result"], "notRun");

    const nlohmann::json& cancelled = runs[0];
    EXPECT_EQ(cancelled["command"], "info");
    EXPECT_EQ(cancelled["outcome"], "cancelled");
    EXPECT_EQ(cancelled["exitStatus"], kExitCancelled);
    EXPECT_EQ(cancelled["bootCode"], "") << "the camera never answered";
    EXPECT_EQ(cancelled["package"], nullptr);

    ASSERT_EQ(Run({"history", "--failed"}), kExitSuccess);
    const std::string port = "\tCOM" + std::to_string(port_) + "\t";
    EXPECT_THAT(out_.str(), ::testing::MatchesRegex("3\t[-0-9: ]+\ttarnwick-cli info" + port + "-\t-\tcancelled\n"
                                                    "2\t[-0-9: ]+\ttarnwick-cli update" + port +
                                                    "BLS v2.11 \\(sim\\)\tDemo\tfailed \\(status 5\\)\n"));
    ASSERT_EQ(Run({"history", "--show", "2"}), kExitSuccess);
    EXPECT_TRUE(OutHas("Outcome:    failed, exit status 5\nJobs:\n  erase        0x00010000 0x000F0000  -"))
        << out_.str();
    EXPECT_TRUE(OutHas("Image:      Corvel::uC 1.05 sha256 " + Sha256Hex(Image(10000, 5)) + "\n"));
}

// Lets no file of the process grow past its size while it lives, as a full
// disk would refuse a write.
class FileSizeLimit {
public:
    explicit FileSizeLimit(std::uintmax_t bytes) {
        ::getrlimit(RLIMIT_FSIZE, &old_);
        const rlimit limit{static_cast<rlim_t>(bytes), old_.rlim_max};
        ::setrlimit(RLIMIT_FSIZE, &limit);
    }
    ~FileSizeLimit() {
        ::setrlimit(RLIMIT_FSIZE, &old_);
        std::signal(SIGXFSZ, oldHandler_);
    }
    FileSizeLimit(const FileSizeLimit&) = delete;
    FileSizeLimit& operator=(const FileSizeLimit&) = delete;

private:
    // The write fails with EFBIG instead of killing the process.
    void (*oldHandler_)(int) = std::signal(SIGXFSZ, SIG_IGN);
    rlimit old_{};
};

TEST_F(CliTargetTest, AHistoryThatCannotTakeTheRunIsToldAndTheUpdateStands) {
    Add("Corvel::uC", "corvel_uc.bin", Image(10000, 5));
    const std::string package = WritePackage();
    ASSERT_EQ(Run("info", {}), kExitSuccess);
    const std::filesystem::path history = environment_.historyFile;
    const std::string notWritten = "tarnwick-cli: History not written to " + history.string() + ": ";
    {
        const FileSizeLimit full(std::filesystem::file_size(history));
        EXPECT_EQ(Run("update", {package}), kExitSuccess);
        EXPECT_TRUE(OutHas("Camera updated.\n")) << out_.str();
        EXPECT_TRUE(ErrHas(notWritten)) << err_.str();

        EXPECT_EQ(Run("update", {package, "--json"}), kExitSuccess);
        const std::vector<nlohmann::json> events = Events(out_.str());
        ASSERT_GE(events.size(), 2u);
        EXPECT_EQ(events.back()["status"], kExitSuccess);
        EXPECT_EQ(events[events.size() - 2]["event"], "note");
        EXPECT_TRUE(events[events.size() - 2]["text"].get<std::string>().starts_with(notWritten));
    }
    ASSERT_EQ(Run({"history"}), kExitSuccess);
    EXPECT_EQ(std::ranges::count(out_.str(), '\n'), 1) << "the run before, not damaged: " << out_.str();

    folder_.write("data/Vornix/Tarnwick/history.sqlite", "not a database");
    EXPECT_EQ(Run({"history"}), kExitFailure);
    EXPECT_EQ(err_.str(), "tarnwick-cli: Can't read the history " + history.string() + ": file is not a database\n");
}

// Scripts test these numbers; the README lists them.
TEST(ExitStatus, IsTheNumberScriptsAreToldOf) {
    EXPECT_EQ((std::array{kExitSuccess, kExitFailure, kExitUsage, kExitNotConnected, kExitPackageRefused,
                          kExitJobFailed, kExitOutputLost, kExitCancelled, kExitTerminated, kExitHungUp}),
              (std::array{0, 1, 2, 3, 4, 5, 6, 130, 143, 129}));
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
