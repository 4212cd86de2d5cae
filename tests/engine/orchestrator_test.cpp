// SPDX-License-Identifier: GPL-2.0-or-later
// The update commands: the jobs they plan, and the whole sequences from
// connection to disconnection against the simulated camera.
#include <gtest/gtest.h>

#include <cerrno>
#include <map>
#include <tuple>

#include "camera_fixture.h"
#include "orchestration_queue.h"
#include "port_texts.h"
#include "sha256.h"
#include "update_orchestrator.h"

namespace tarnwick {
namespace {

using namespace std::chrono_literals;
using enum BatchStep;

const ImageType& TypeNamed(std::string_view name) {
    const auto types = ImageTypes();
    return *std::ranges::find_if(types, [&](const ImageType& type) { return type.name == name; });
}

PackageItem ItemOf(std::string_view typeName, std::uint32_t version = MakeVersion(1, 0)) {
    PackageItem item(TypeNamed(typeName));
    item.version = version;
    return item;
}

std::vector<BatchStep> StepsOf(const std::vector<PlannedJob>& jobs) {
    std::vector<BatchStep> steps;
    std::ranges::transform(jobs, std::back_inserter(steps), &PlannedJob::step);
    return steps;
}

TEST(UpdatePlan, ProgramsInCatalogueOrderAndTheBootLoaderOnlyWhenNewerThanTheRunningBootCode) {
    Package package("Corvel", "");
    package.AppendItem(ItemOf("Corvel::FPGA"));
    package.AppendItem(ItemOf("Corvel::uC"));
    package.AppendItem(ItemOf("Corvel::Bootloader", 0x020B));
    PackageItem* fpga = &package.items()[0];
    PackageItem* uc = &package.items()[1];
    const std::vector<PlannedJob> expected{
        {Erase, 0x10000, 0xF0000},       {Write, 0x10000, 0xF0000, uc},       {SetChecksum, 0x10000, 0xF0000},
        {Verify, 0x10000, 0xF0000, uc},  {GetChecksum, 0x10000, 0xF0000},     {BlankCheck, 0x10000, 0xF0000},
        {Erase, 0x100000, 0x40000},      {Write, 0x100000, 0x40000, fpga},    {SetChecksum, 0x100000, 0x40000},
        {Verify, 0x100000, 0x40000, fpga}, {GetChecksum, 0x100000, 0x40000}, {BlankCheck, 0x100000, 0x40000},
    };
    EXPECT_EQ(UpdateBatch(package, 211, false), expected) << "2.11 over 2.11 is skipped";

    package.items()[2].version = 0x020C;
    const std::vector<PlannedJob> jobs = UpdateBatch(package, 211, false);
    EXPECT_EQ(jobs.front(), (PlannedJob{Erase, 0, 0x4000})) << "2.12 over 2.11 goes first";
    EXPECT_EQ(jobs.size(), 18u);
    package.items()[2].version = 0x0101;
    EXPECT_EQ(UpdateBatch(package, 0, false).front(), (PlannedJob{Erase, 0, 0x4000})) << "unknown boot code";
}

TEST(UpdatePlan, StepsOfEachBatch) {
    const ImageType& uc = TypeNamed("Corvel::uC");
    const ImageType& personal = TypeNamed("Sabrel::PersonalizationData");
    PackageItem item = ItemOf("Corvel::uC");
    const struct {
        const char* name;
        std::vector<PlannedJob> jobs;
        std::vector<BatchStep> steps;
    } rows[] = {
        {"2.00", ProgrammingBatch(uc, item, 200, false), {Erase, Write, SetChecksum, GetChecksum, BlankCheck}},
        {"2.01", ProgrammingBatch(uc, item, 201, false), {Erase, Write, SetChecksum, Verify, GetChecksum, BlankCheck}},
        {"skip verify", ProgrammingBatch(uc, item, 211, true), {Erase, Write, SetChecksum, GetChecksum, BlankCheck}},
        {"no checksums", ProgrammingBatch(personal, item, 205, false), {Erase, Write, Verify, BlankCheck}},
        {"erase", EraseBatch(uc), {Erase, BlankCheck, GetChecksum}},
        {"update info", InfoBatch(uc), {GetChecksum, BlankCheck}},
    };
    for (const auto& row : rows) {
        EXPECT_EQ(StepsOf(row.jobs), row.steps) << row.name;
    }
}

TEST(UpdatePlan, RefusalsAndTheirTexts) {
    Package package("Mixed", "");
    EXPECT_TRUE(PackageSuits(package, TargetPlatform::Unknown));
    package.AppendItem(ItemOf("Sabrel::uC"));
    EXPECT_TRUE(PackageSuits(package, TargetPlatform::Sabrel));
    EXPECT_FALSE(PackageSuits(package, TargetPlatform::Unknown)) << "an unknown camera takes no image";
    EXPECT_EQ(UnsuitablePackageText(TargetPlatform::Unknown), "Package not suitable for unknown cameras!");

    FlashCatalogue flash;
    flash.setDetected(0x04, 0x5F);
    ImageType type = TypeNamed("Corvel::uC");
    type.minBootVersion = 205;
    EXPECT_EQ(SingleItemRefusal(type, 204, flash), "Requires boot code BLS2.5 to be running...");
    EXPECT_EQ(SingleItemRefusal(type, 205, flash), std::nullopt);
    EXPECT_EQ(CantLoadPackageText(0x1F), "Can't load package file... (Error: 0x1F)");
}

// A run's values belong to its jobs in order; a region keeps what was read
// last, and a value no job of the run accounts for is dropped.
TEST(RegionReadings, EachValueGoesToTheRegionOfTheNextJobOfItsKind) {
    const PlannedJob a{GetChecksum, 0x10000, 0xF0000};
    const PlannedJob b{GetChecksum, 0x100000, 0x40000};
    RegionReadings readings;
    readings.record(InfoCode::BlankCheck, "before any run");
    readings.startRun(std::vector<PlannedJob>{{SetChecksum, a.start, a.length}, a, {BlankCheck, a.start, a.length},
                                              b, {BlankCheck, b.start, b.length}});
    const std::pair<InfoCode, const char*> posted[] = {
        {InfoCode::SetChecksum1, "0x00000001"}, {InfoCode::SetChecksum2, "0x00000002"},
        {InfoCode::Checksum1, "0x0000000A"},    {InfoCode::Checksum2, "0x0000000B"},
        {InfoCode::Version, "ignored"},         {InfoCode::BlankCheck, "isn't blank"},
        {InfoCode::Checksum1, "0x000000B1"},    {InfoCode::Checksum2, "0x000000B2"},
        {InfoCode::BlankCheck, "is blank"},     {InfoCode::BlankCheck, "no job left"},
    };
    for (const auto& [code, text] : posted) {
        readings.record(code, text);
    }
    EXPECT_EQ(readings.valuesOf(a.start, a.length), (RegionValues{"isn't blank", "0x0000000A", "0x0000000B"}));
    EXPECT_EQ(readings.valuesOf(b.start, b.length), (RegionValues{"is blank", "0x000000B1", "0x000000B2"}));

    readings.startRun(std::vector<PlannedJob>{b});
    readings.record(InfoCode::Checksum1, "0x000000C1");
    EXPECT_EQ(readings.valuesOf(b.start, b.length), (RegionValues{"is blank", "0x000000C1", "0x000000B2"}))
        << "a run cut short keeps the rest";
    EXPECT_EQ(readings.valuesOf(a.start, 0x10000), RegionValues{}) << "another region";
    EXPECT_EQ(RegionValues{}.checksum1, "unknown");
}

// The main window as the orchestration sees it.
class FakeWindow final : public OrchestrationView, public UserMessages {
public:
    // Text, caption, icon.
    using Shown = std::tuple<std::string, std::string, MessageIcon>;

    CommandSettings readSettings() override { return settings; }
    Package* currentPackage() override { return package; }
    PackageItem* selectedItem() override { return item; }
    bool advancedView() override { return true; }
    void enableMainWindow(bool enabled) override { mainWindowEnabled = enabled; }
    void enableConnectButton(bool enabled) override { connectEnabled = enabled; }
    void enableUpdateButton(bool enabled) override { updateEnabled = enabled; }
    void setConnectCaption(std::string_view text) override { caption = text; }
    void showField(TargetField field, std::string_view text) override { fields[field] = text; }
    void showProgress(const ProgressDisplay&) override {}
    void refreshControls() override {}
    void showOutcome(std::string_view text) override { outcome = text; }
    void showMessage(std::string_view text, std::string_view messageCaption, MessageIcon icon) override {
        shown.emplace_back(text, messageCaption, icon);
    }

    CommandSettings settings;
    Package* package = nullptr;
    PackageItem* item = nullptr;
    bool mainWindowEnabled = true;
    bool connectEnabled = true;
    bool updateEnabled = true;
    std::string caption;
    std::map<TargetField, std::string> fields;
    std::string outcome;
    std::vector<Shown> shown;
};

const WorkerTimings kQuickTimings{.frame = {.failurePause = 5ms}, .connect = {.cyclePause = 20ms, .readyPause = 10ms}};

class OrchestratorTest : public ::testing::Test {
protected:
    OrchestratorTest() : camera(quickCamera()), package("Update", "") {
        window.settings = CommandSettings{static_cast<std::uint32_t>(camera.portNumber()), 115200, false};
        window.package = &package;
    }
    ~OrchestratorTest() override { orchestrator.stopLink(); }

    // A user-built item whose firmware file holds the image.
    PackageItem& AddItem(std::string_view typeName, const std::vector<std::uint8_t>& image) {
        PackageItem item = ItemOf(typeName);
        item.fileName = images.write(typeName.substr(typeName.find("::") + 2), image).string();
        package.AppendItem(std::move(item));
        return package.items().back();
    }

    template <typename Done>
    void PumpUntil(Done done) {
        const auto deadline = std::chrono::steady_clock::now() + 30s;
        while (!done()) {
            ASSERT_LT(std::chrono::steady_clock::now(), deadline) << "the sequence did not end";
            if (std::optional<PostedMessage> message = queue.takeNext(20ms)) {
                orchestrator.handle(*message);
            }
        }
        while (std::optional<PostedMessage> message = queue.takeNext(0ms)) {
            orchestrator.handle(*message);
        }
    }

    void PumpUntilIdle() {
        PumpUntil([this] { return orchestrator.updateState() == UpdateState::Idle && !worker.isRunning(); });
    }

    void RunUpdate() {
        ASSERT_EQ(orchestrator.startUpdate(), CommandOutcome::Started);
        PumpUntilIdle();
    }

    void Connect() {
        orchestrator.connectOrDisconnect();
        PumpUntil([this] { return orchestrator.connected() || !worker.isRunning(); });
        ASSERT_TRUE(orchestrator.connected());
    }

    std::size_t Sent(const BootCommand& command) const { return requestsOf(camera, command).size(); }
    bool AnyItemLoaded() const { return std::ranges::any_of(package.items(), &PackageItem::hasData); }

    void ExpectClosedAndEnabled() {
        EXPECT_FALSE(orchestrator.connected());
        EXPECT_EQ(Sent(kCloseSessionSecond), 1u);
        EXPECT_TRUE(window.mainWindowEnabled);
        EXPECT_EQ(window.caption, "Connect...");
        EXPECT_EQ(window.fields[TargetField::Version], "");
        EXPECT_FALSE(AnyItemLoaded());
    }

    // The update is refused before connecting, and so is the last item alone;
    // nothing is loaded or sent.
    void ExpectRefusedForUpdateAndAlone(const std::string& text) {
        const FakeWindow::Shown refusal{text, "Tarnwick", MessageIcon::Exclamation};
        orchestrator.startUpdate();
        PumpUntilIdle();
        EXPECT_EQ(orchestrator.lastUpdateEnding(), UpdateEnding::Refused);
        EXPECT_EQ(camera.counters().hostOpens, 0u);
        Connect();
        window.item = &package.items().back();
        const CommandOutcome alone = orchestrator.eraseAndProgram();
        PumpUntil([this] { return !orchestrator.runPending(); });
        EXPECT_TRUE(alone == CommandOutcome::Refused || orchestrator.lastCommandRefused());
        EXPECT_EQ(window.shown, (std::vector{refusal, refusal}));
        EXPECT_EQ(Sent(kEraseSectors) + Sent(kWriteData), 0u);
        EXPECT_FALSE(AnyItemLoaded());
    }

    testing::TemporaryPortFolder folder;
    SimulatedCamera camera;
    testing::TemporaryFolder images;
    Package package;
    FakeWindow window;
    MessageQueue queue;
    SerialPort port;
    Worker worker{kQuickTimings};
    UpdateOrchestrator orchestrator{worker, port, queue, window, window};
};

TEST_F(OrchestratorTest, WholeFlashImageIsOneChipEraseAndTheLinkCloses) {
    const std::vector<std::uint8_t> image = patternImage(3000);
    AddItem("Corvel::FLASH", image);
    RunUpdate();
    EXPECT_EQ(orchestrator.lastUpdateEnding(), UpdateEnding::Programmed);
    EXPECT_EQ(orchestrator.lastRunSucceeded(), true);
    EXPECT_TRUE(window.shown.empty());
    EXPECT_EQ(Sent(kEraseChip), 1u);
    EXPECT_EQ(Sent(kEraseSectors), 0u);
    EXPECT_EQ(camera.flash(0, 3000), image);
    EXPECT_EQ(camera.flash(0x400000 - 8, 4), le32Bytes({3000}));
    ExpectClosedAndEnabled();
}

TEST_F(OrchestratorTest, AnImageWithoutRoomForItsLengthWordIsRefused) {
    AddItem("Corvel::FPGA", patternImage(100));
    AddItem("Corvel::uC", patternImage(983040 - 7));
    ExpectRefusedForUpdateAndAlone("Corvel::uC: image of 983033 bytes does not fit its region "
                                   "(983032 bytes free before the length word)");
}

TEST_F(OrchestratorTest, APackageListingATypeTwiceIsRefused) {
    AddItem("Corvel::uC", patternImage(100));
    AddItem("Corvel::uC", patternImage(200));
    ExpectRefusedForUpdateAndAlone("Corvel::uC is listed twice in the package");
}

TEST_F(OrchestratorTest, ConnectShowsTheTargetOrWhyNotEachJobReportsAndDisconnectClears) {
    window.settings.comPort = 99;
    orchestrator.connectOrDisconnect();
    EXPECT_EQ(window.shown, (std::vector<FakeWindow::Shown>{
                                {PortRefusalText(CSerialException(ENOENT), 99, {}, 115200), "Tarnwick", MessageIcon::None}}));
    EXPECT_TRUE(window.connectEnabled);
    EXPECT_FALSE(worker.isRunning());

    // A device path stands in for the port number.
    window.settings.comPort = 0;
    window.settings.comDevice = camera.devicePath();
    Connect();
    EXPECT_EQ(window.caption, "Disconnect...");
    EXPECT_FALSE(window.updateEnabled);
    EXPECT_EQ(window.fields[TargetField::Version], "BLS v2.11 (sim)");
    EXPECT_EQ(window.fields[TargetField::Platform], "Corvel (Fujitsu - MBM29DL324BE)");

    window.item = &AddItem("Corvel::uC", patternImage(5000));
    ASSERT_EQ(orchestrator.eraseAndProgram(), CommandOutcome::Started);
    PumpUntil([this] { return !orchestrator.runPending(); });
    ASSERT_EQ(orchestrator.lastRunJobs().size(), 6u);
    EXPECT_EQ(orchestrator.lastRunJobs()[1].job, (PlannedJob{Write, 0x10000, 0xF0000, window.item}));
    // The image is named by the bytes programmed, though released since.
    EXPECT_EQ(orchestrator.lastRunJobs()[1].imageSha256, Sha256Hex(patternImage(5000)));
    EXPECT_EQ(orchestrator.lastRunJobs()[0].imageSha256, "");
    EXPECT_EQ(orchestrator.lastRunSucceeded(), true);
    EXPECT_EQ(window.fields[TargetField::BlankCheck], "isn't blank");

    window.shown.clear();
    camera.scheduleFault({.kind = FaultKind::CanInsteadOfAck, .command = commandOf(kWriteData), .times = 2});
    ASSERT_EQ(orchestrator.eraseAndProgram(), CommandOutcome::Started);
    PumpUntil([this] { return !orchestrator.runPending(); });
    const std::vector<RunJobOutcome>& jobs = orchestrator.lastRunJobs();
    EXPECT_EQ(jobs.at(0).result, JobResult::Success);
    EXPECT_NE(jobs.at(1).result, JobResult::Success);
    EXPECT_EQ(jobs.back().result, std::nullopt) << "the run ended at the failed write";
    EXPECT_EQ(orchestrator.lastRunSucceeded(), false);
    EXPECT_EQ(window.shown, (std::vector<FakeWindow::Shown>{
                                {"Sector write failed - CRC error\nWriting Corvel::uC (0x00010000 to 0x000FFFFF) "
                                 "did not finish: the region may now be partly written. Run Erase & Program again.",
                                 "", MessageIcon::None}}));
    EXPECT_EQ(window.outcome, "Programming Corvel::uC failed: Sector write failed - CRC error");

    orchestrator.connectOrDisconnect();
    PumpUntil([this] { return !orchestrator.connected(); });
    EXPECT_EQ(window.caption, "Connect...");
    EXPECT_EQ(window.fields[TargetField::Platform], "");
}

// The camera vanishes at one point of an update: the link ends, whatever
// the closing commands meet, and the window is back to idle. One message
// names the port as it was opened, and what a cut write leaves behind.
TEST_F(OrchestratorTest, AHangUpWhileConnectingWritingOrClosingEndsTheLinkAndReturnsToIdle) {
    AddItem("Corvel::uC", patternImage(9000));
    const std::string written = "\nWriting Corvel::uC (0x00010000 to 0x000FFFFF) did not finish: the region may now be "
                                "partly written. Run the update again.";
    const struct {
        BootCommand at;
        const char* cut;
        UpdateEnding ending;
    } rows[] = {
        {kReadVersionInfo, nullptr, UpdateEnding::NotConnected},
        {kWriteData, written.c_str(), UpdateEnding::LinkLost},
        {kCloseSessionFirst, nullptr, UpdateEnding::Programmed},
    };
    std::size_t hangUps = 0;
    for (const auto& row : rows) {
        SCOPED_TRACE(int{row.at.code});
        window.shown.clear();
        const std::string lost = LinkLostText(PortDescription(window.settings.comPort), CSerialException(EIO).text());
        camera.scheduleFault(Fault{.kind = FaultKind::HangUp, .command = commandOf(row.at)});
        RunUpdate();
        EXPECT_EQ(camera.counters().hangUps, ++hangUps);
        EXPECT_EQ(orchestrator.lastUpdateEnding(), row.ending);
        std::vector<FakeWindow::Shown> told;
        if (row.ending != UpdateEnding::Programmed) {
            told.emplace_back(lost + (row.cut != nullptr ? row.cut : ""), "Tarnwick", MessageIcon::Error);
        }
        EXPECT_EQ(window.shown, told) << "the link closing anyway is no loss";
        EXPECT_FALSE(orchestrator.connected());
        EXPECT_FALSE(port.isOpen());
        EXPECT_TRUE(window.mainWindowEnabled);
        EXPECT_EQ(window.caption, "Connect...");
        EXPECT_FALSE(AnyItemLoaded());
    }
}

// The load runs beside the window; Cancel ends it before the port is opened,
// and a later update is not disturbed by the load it left.
TEST_F(OrchestratorTest, CancelWhileTheDataLoadsEndsTheUpdateBeforeThePortOpens) {
    AddItem("Corvel::uC", patternImage(5000));
    ASSERT_EQ(orchestrator.startUpdate(), CommandOutcome::Started);
    EXPECT_EQ(orchestrator.updateState(), UpdateState::Loading);
    EXPECT_FALSE(window.mainWindowEnabled);
    orchestrator.handle(PostedMessage{Message::MsgCancel, 0, 0, nullptr});
    EXPECT_EQ(orchestrator.lastUpdateEnding(), UpdateEnding::Cancelled);
    EXPECT_TRUE(window.mainWindowEnabled);
    EXPECT_EQ(window.outcome, "Update cancelled. Nothing was written.");

    RunUpdate();
    EXPECT_EQ(orchestrator.lastUpdateEnding(), UpdateEnding::Programmed);
    EXPECT_EQ(window.outcome, "Camera updated.");
    EXPECT_EQ(camera.counters().hostOpens, 1u);
}

TEST_F(OrchestratorTest, SingleItemCommandsThatCannotGoSendNothing) {
    // Boot code that answers every command with zeros: no version, no chip.
    camera.setHandler(fixedReplyHandler({0, 0, 0, 0}));
    Connect();
    const std::size_t before = camera.requests().size();
    PackageItem& tessid = AddItem("Tessid::uC-1", patternImage(10));
    window.item = &tessid;
    EXPECT_EQ(orchestrator.updateInfo(), CommandOutcome::Nothing) << "a region without an address";
    EXPECT_EQ(orchestrator.erase(), CommandOutcome::Nothing);
    EXPECT_EQ(orchestrator.eraseAndProgram(), CommandOutcome::Nothing);
    EXPECT_FALSE(tessid.hasData());

    window.item = &AddItem("Corvel::uC", patternImage(100));
    EXPECT_EQ(orchestrator.erase(), CommandOutcome::Refused) << "no flash identity";
    EXPECT_EQ(orchestrator.eraseAndProgram(), CommandOutcome::Refused);
    const FakeWindow::Shown refusal{"Unknown platform - can't erase...\nNothing was done to Corvel::uC.", "Tarnwick",
                                    MessageIcon::Error};
    EXPECT_EQ(window.shown, (std::vector{refusal, refusal}));
    EXPECT_EQ(camera.requests().size(), before);
}

}  // namespace
}  // namespace tarnwick
