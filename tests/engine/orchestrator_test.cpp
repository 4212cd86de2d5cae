// The update commands: the jobs they plan, and the whole sequences from
// connection to disconnection against the simulated camera.
#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <fstream>
#include <map>
#include <string>
#include <vector>

#include "camera_fixture.h"
#include "catalogues.h"
#include "orchestration_plan.h"
#include "orchestration_queue.h"
#include "package_file.h"
#include "update_orchestrator.h"
#include "worker.h"

namespace tarnwick {
namespace {

using namespace std::chrono_literals;

const ImageType& TypeNamed(std::string_view name) {
    const auto types = ImageTypes();
    return *std::ranges::find_if(types, [&](const ImageType& type) { return type.name == name; });
}

PackageItem ItemOf(std::string_view typeName, std::uint32_t version = MakeVersion(1, 0)) {
    PackageItem item(TypeNamed(typeName));
    item.version = version;
    return item;
}

PlannedJob Planned(BatchStep step, std::uint32_t start, std::uint32_t length, PackageItem* item = nullptr) {
    return {step, start, length, item};
}

std::vector<BatchStep> StepsOf(const std::vector<PlannedJob>& jobs) {
    std::vector<BatchStep> steps;
    for (const PlannedJob& job : jobs) {
        steps.push_back(job.step);
    }
    return steps;
}

using enum BatchStep;

TEST(UpdatePlan, ProgramsInCatalogueOrderWhateverThePackageOrder) {
    Package package("Corvel", "");
    package.AppendItem(ItemOf("Corvel::FPGA"));
    package.AppendItem(ItemOf("Corvel::uC"));
    PackageItem* fpga = &package.items()[0];
    PackageItem* uc = &package.items()[1];

    const std::vector<PlannedJob> expected{
        Planned(Erase, 0x10000, 0xF0000),        Planned(Write, 0x10000, 0xF0000, uc),
        Planned(SetChecksum, 0x10000, 0xF0000),  Planned(Verify, 0x10000, 0xF0000, uc),
        Planned(GetChecksum, 0x10000, 0xF0000),  Planned(BlankCheck, 0x10000, 0xF0000),
        Planned(Erase, 0x100000, 0x40000),       Planned(Write, 0x100000, 0x40000, fpga),
        Planned(SetChecksum, 0x100000, 0x40000), Planned(Verify, 0x100000, 0x40000, fpga),
        Planned(GetChecksum, 0x100000, 0x40000), Planned(BlankCheck, 0x100000, 0x40000),
    };
    EXPECT_EQ(UpdateBatch(package, 205, false), expected);
}

TEST(UpdatePlan, BootLoaderGoesOnlyWhenNewerThanTheRunningBootCode) {
    Package package("Corvel", "");
    package.AppendItem(ItemOf("Corvel::uC"));
    package.AppendItem(ItemOf("Corvel::Bootloader", 0x020B));
    EXPECT_EQ(UpdateBatch(package, 211, false).front().start, 0x10000u) << "2.11 over 2.11 is skipped";

    package.items()[1].version = 0x020C;
    const std::vector<PlannedJob> jobs = UpdateBatch(package, 211, false);
    EXPECT_EQ(jobs.front(), Planned(Erase, 0, 0x4000)) << "2.12 over 2.11 goes first";
    EXPECT_EQ(jobs.size(), 12u);

    package.items()[1].version = 0x0101;
    EXPECT_EQ(UpdateBatch(package, 0, false).front(), Planned(Erase, 0, 0x4000)) << "unknown boot code";
}

TEST(UpdatePlan, VerifiesFromBootCode201UnlessSkipped) {
    PackageItem item = ItemOf("Corvel::uC");
    const ImageType& type = TypeNamed("Corvel::uC");
    EXPECT_EQ(StepsOf(ProgrammingBatch(type, item, 200, false)),
              (std::vector{Erase, Write, SetChecksum, GetChecksum, BlankCheck}));
    EXPECT_EQ(StepsOf(ProgrammingBatch(type, item, 201, false)),
              (std::vector{Erase, Write, SetChecksum, Verify, GetChecksum, BlankCheck}));
    EXPECT_EQ(StepsOf(ProgrammingBatch(type, item, 211, true)),
              (std::vector{Erase, Write, SetChecksum, GetChecksum, BlankCheck}));
}

TEST(UpdatePlan, TypesWithoutChecksumsGetNone) {
    PackageItem item = ItemOf("Sabrel::PersonalizationData");
    EXPECT_EQ(ProgrammingBatch(TypeNamed("Sabrel::PersonalizationData"), item, 205, false),
              (std::vector{Planned(Erase, 0xE000, 0x2000), Planned(Write, 0xE000, 0x2000, &item),
                           Planned(Verify, 0xE000, 0x2000, &item), Planned(BlankCheck, 0xE000, 0x2000)}));
}

TEST(UpdatePlan, RegionsWithoutAnAddressGetNoJobs) {
    const ImageType& type = TypeNamed("Tessid::uC-1");
    PackageItem item(type);
    EXPECT_TRUE(ProgrammingBatch(type, item, 211, false).empty());
    EXPECT_TRUE(EraseBatch(type).empty());
    EXPECT_TRUE(InfoBatch(type).empty());
    EXPECT_EQ(StepsOf(EraseBatch(TypeNamed("Corvel::uC"))), (std::vector{Erase, BlankCheck, GetChecksum}));
    EXPECT_EQ(StepsOf(InfoBatch(TypeNamed("Corvel::uC"))), (std::vector{GetChecksum, BlankCheck}));
}

TEST(UpdatePlan, SuitabilityAndItsTexts) {
    Package package("Mixed", "");
    EXPECT_TRUE(PackageSuits(package, TargetPlatform::Unknown));
    package.AppendItem(ItemOf("Sabrel::uC"));
    EXPECT_TRUE(PackageSuits(package, TargetPlatform::Sabrel));
    EXPECT_FALSE(PackageSuits(package, TargetPlatform::Corvel));
    EXPECT_EQ(UnsuitablePackageText(TargetPlatform::Corvel), "Package not suitable for Corvel cameras!");
    EXPECT_EQ(UnsuitablePackageText(TargetPlatform::Sabrel), "Package not suitable for Sabrel cameras!");
    EXPECT_EQ(UnsuitablePackageText(TargetPlatform::Unknown), "Package not suitable for unknown cameras!");
}

TEST(UpdatePlan, SingleItemRefusalsAndLoadTexts) {
    FlashCatalogue flash;
    ImageType type = TypeNamed("Corvel::uC");
    EXPECT_EQ(SingleItemRefusal(type, 211, flash), "Unknown platform - can't erase...");
    flash.setDetected(0x04, 0x5F);
    EXPECT_EQ(SingleItemRefusal(type, 0, flash), std::nullopt);
    type.minBootVersion = 205;
    EXPECT_EQ(SingleItemRefusal(type, 204, flash), "Requires boot code BLS2.5 to be running...");
    EXPECT_EQ(SingleItemRefusal(type, 205, flash), std::nullopt);

    EXPECT_EQ(CantLoadPackageText(0x1F), "Can't load package file... (Error: 0x1F)");
    EXPECT_EQ(DoProgramFailedText("base64 decode failed"), "DoProgram failed: base64 decode failed");
}

// The main window as the orchestration sees it.
class FakeWindow final : public OrchestrationView, public UserMessages {
public:
    struct Shown {
        std::string text;
        std::string caption;
        MessageIcon icon;
        friend bool operator==(const Shown&, const Shown&) = default;
        friend void PrintTo(const Shown& shown, std::ostream* out) {
            *out << '"' << shown.text << "\" / \"" << shown.caption << "\" / icon " << static_cast<int>(shown.icon);
        }
    };

    CommandSettings readSettings() override { return settings; }
    Package* currentPackage() override { return package; }
    PackageItem* selectedItem() override { return item; }
    bool advancedView() override { return true; }
    void enableMainWindow(bool enabled) override { mainWindowEnabled = enabled; }
    void enableConnectButton(bool enabled) override { connectEnabled = enabled; }
    void enableUpdateButton(bool enabled) override { updateEnabled = enabled; }
    void setConnectCaption(std::string_view text) override { caption = text; }
    void showField(TargetField field, std::string_view text) override { fields[field] = text; }
    void showProgress(const ProgressDisplay& display) override { progress.push_back(display.action); }
    void refreshControls() override {}
    void showMessage(std::string_view text, std::string_view messageCaption, MessageIcon icon) override {
        shown.push_back({std::string(text), std::string(messageCaption), icon});
    }

    CommandSettings settings;
    Package* package = nullptr;
    PackageItem* item = nullptr;
    bool mainWindowEnabled = true;
    bool connectEnabled = true;
    bool updateEnabled = true;
    std::string caption;
    std::map<TargetField, std::string> fields;
    std::vector<ProgressAction> progress;
    std::vector<Shown> shown;
};

WorkerTimings QuickTimings() {
    WorkerTimings timings;
    timings.frame.failurePause = 5ms;
    timings.connect.cyclePause = 20ms;
    timings.connect.readyPause = 10ms;
    return timings;
}

CameraOptions CameraWith(std::string chip, std::string versionText) {
    CameraOptions options = quickCamera(std::move(chip));
    options.versionText = std::move(versionText);
    return options;
}

class OrchestratorTest : public ::testing::Test {
protected:
    explicit OrchestratorTest(CameraOptions options = CameraWith("MBM29DL324BE", "BLS v2.05 (sim)"))
        : camera(std::move(options)), package("Update", "") {
        window.settings = CommandSettings{static_cast<std::uint32_t>(camera.portNumber()), kTestBitRate, false};
        window.package = &package;
        std::string pattern = (std::filesystem::temp_directory_path() / "tarnwick-images-XXXXXX").string();
        images = ::mkdtemp(pattern.data());
    }
    ~OrchestratorTest() override {
        orchestrator.stopLink();
        std::filesystem::remove_all(images);
    }

    // A user-built item whose firmware file holds the image.
    PackageItem& AddItem(std::string_view typeName, std::vector<std::uint8_t> image,
                         std::uint32_t version = MakeVersion(1, 0)) {
        PackageItem item = ItemOf(typeName, version);
        item.fileName = (images / (std::string(typeName.substr(typeName.find("::") + 2)) + ".bin")).string();
        std::ofstream(item.fileName, std::ios::binary)
            .write(reinterpret_cast<const char*>(image.data()), static_cast<std::streamsize>(image.size()));
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

    void RunUpdate() {
        ASSERT_EQ(orchestrator.startUpdate(), CommandOutcome::Started);
        PumpUntil([this] { return orchestrator.updateState() == UpdateState::Idle && !worker.isRunning(); });
    }

    void Connect() {
        orchestrator.connectOrDisconnect();
        PumpUntil([this] { return orchestrator.connected() || !worker.isRunning(); });
        ASSERT_TRUE(orchestrator.connected());
    }

    void RunCommand(CommandOutcome (UpdateOrchestrator::*command)()) {
        ASSERT_EQ((orchestrator.*command)(), CommandOutcome::Started);
        PumpUntil([this] { return !orchestrator.runPending(); });
    }

    std::size_t Sent(const BootCommand& command) const { return requestsOf(camera, command).size(); }

    void ExpectClosedAndEnabled() {
        EXPECT_FALSE(orchestrator.connected());
        EXPECT_FALSE(worker.isRunning());
        EXPECT_EQ(Sent(kCloseSessionSecond), 1u);
        EXPECT_TRUE(window.mainWindowEnabled);
        EXPECT_EQ(window.caption, "Connect...");
        EXPECT_EQ(window.fields[TargetField::Version], "");
        for (const PackageItem& item : package.items()) {
            EXPECT_FALSE(item.hasData()) << item.typeName;
        }
    }

    PortFolderScope folder;
    SimulatedCamera camera;
    std::filesystem::path images;
    Package package;
    FakeWindow window;
    MessageQueue queue;
    SerialPort port;
    Worker worker{QuickTimings()};
    UpdateOrchestrator orchestrator{worker, port, queue, window, window};
};

TEST_F(OrchestratorTest, UpdateWritesEachImageAtItsAddressAndCloses) {
    const std::vector<std::uint8_t> fpga = patternImage(5000);
    const std::vector<std::uint8_t> uc = patternImage(9001);
    AddItem("Corvel::FPGA", fpga);
    AddItem("Corvel::uC", uc);
    RunUpdate();

    EXPECT_EQ(orchestrator.lastUpdateEnding(), UpdateEnding::Programmed);
    EXPECT_EQ(orchestrator.lastRunSucceeded(), true);
    EXPECT_TRUE(window.shown.empty());
    EXPECT_EQ(camera.flash(0x10000, 9001), uc);
    EXPECT_EQ(camera.flash(0x100000, 5000), fpga);
    EXPECT_EQ(camera.flash(0x10000 + 0xF0000 - 8, 4), (std::vector<std::uint8_t>{0x2A, 0x23, 0, 0}));
    EXPECT_EQ(camera.flash(0x100000 + 0x40000 - 8, 4), (std::vector<std::uint8_t>{0x88, 0x13, 0, 0}));
    const std::vector<ObservedRequest> writes = requestsOf(camera, kWriteData);
    ASSERT_FALSE(writes.empty());
    EXPECT_EQ(requestWord(writes.front(), 0), 0x10000u) << "the uC precedes the FPGA in the catalogue";
    EXPECT_GT(Sent(kReadData), 0u) << "boot code 2.05 verifies";
    ExpectClosedAndEnabled();
}

TEST_F(OrchestratorTest, WholeFlashImageIsOneChipErase) {
    AddItem("Corvel::FLASH", patternImage(3000));
    RunUpdate();
    EXPECT_EQ(Sent(kEraseChip), 1u);
    EXPECT_EQ(Sent(kEraseSectors), 0u);
    EXPECT_EQ(camera.flash(0x400000 - 8, 4), (std::vector<std::uint8_t>{0xB8, 0x0B, 0, 0}));
    EXPECT_EQ(orchestrator.lastRunSucceeded(), true);
}

TEST_F(OrchestratorTest, PackageOfAnotherFamilyIsRefusedAndTheLinkClosed) {
    AddItem("Sabrel::uC", patternImage(100));
    RunUpdate();
    EXPECT_EQ(window.shown,
              (std::vector<FakeWindow::Shown>{
                  {"Package not suitable for Corvel cameras!", "Tarnwick", MessageIcon::Exclamation}}));
    EXPECT_EQ(orchestrator.lastUpdateEnding(), UpdateEnding::Refused);
    EXPECT_EQ(Sent(kEraseSectors) + Sent(kEraseChip) + Sent(kWriteData), 0u);
    ExpectClosedAndEnabled();
}

TEST_F(OrchestratorTest, EmptyPackageRunsAnEmptyJobRunThenDisconnects) {
    RunUpdate();
    EXPECT_EQ(orchestrator.lastUpdateEnding(), UpdateEnding::Programmed);
    EXPECT_EQ(orchestrator.lastRunSucceeded(), true);
    // Connection, the empty run and the closing run each show and hide it.
    EXPECT_EQ(std::ranges::count(window.progress, ProgressAction::Show), 3);
    EXPECT_EQ(std::ranges::count(window.progress, ProgressAction::Hide), 3);
    ExpectClosedAndEnabled();
}

TEST_F(OrchestratorTest, FailedWriteEndsTheRunAndLeavesLaterImagesUntouched) {
    AddItem("Corvel::uC", patternImage(9000));
    AddItem("Corvel::FPGA", patternImage(9000));
    camera.scheduleFault({FaultKind::CanInsteadOfAck, commandOf(kWriteData), 2, 0});
    RunUpdate();
    EXPECT_EQ(window.shown, (std::vector<FakeWindow::Shown>{
                                {"Sector write failed - CRC error", "", MessageIcon::None}}));
    EXPECT_EQ(orchestrator.lastRunSucceeded(), false);
    EXPECT_EQ(camera.flash(0x100000, 16), std::vector<std::uint8_t>(16, 0xFF));
    ExpectClosedAndEnabled();
}

TEST_F(OrchestratorTest, DataThatCannotBeDecodedStopsTheUpdateBeforeConnecting) {
    const std::filesystem::path file = images / "broken.xml";
    std::ofstream(file) << "<updatepackage><file><guid>{CFC5136C-DC35-4871-898C-0EE8AD4F20A0}</guid>"
                           "<data>QUJD</data></file></updatepackage>";
    std::optional<Package> broken = OpenPackage("broken", file.string(), window);
    ASSERT_TRUE(broken.has_value());
    window.package = &*broken;

    EXPECT_EQ(orchestrator.startUpdate(), CommandOutcome::Refused);
    ASSERT_EQ(window.shown.size(), 1u);
    EXPECT_TRUE(window.shown[0].text.starts_with("DoProgram failed: ")) << window.shown[0].text;
    EXPECT_EQ(window.shown[0].icon, MessageIcon::Error);
    EXPECT_FALSE(worker.isRunning());
    EXPECT_EQ(camera.counters().hostOpens, 0u);
}

TEST_F(OrchestratorTest, ConnectShowsTheTargetAndDisconnectClearsIt) {
    Connect();
    EXPECT_EQ(window.caption, "Disconnect...");
    EXPECT_FALSE(window.updateEnabled);
    EXPECT_EQ(window.fields[TargetField::Version], "BLS v2.05 (sim)");
    EXPECT_EQ(window.fields[TargetField::Platform], "Corvel (Fujitsu - MBM29DL324BE)");

    window.item = &AddItem("Corvel::uC", patternImage(5000));
    RunCommand(&UpdateOrchestrator::eraseAndProgram);
    EXPECT_EQ(orchestrator.lastRunSucceeded(), true);
    EXPECT_EQ(window.fields[TargetField::BlankCheck], "isn't blank");
    RunCommand(&UpdateOrchestrator::erase);
    EXPECT_EQ(window.fields[TargetField::BlankCheck], "is blank");

    orchestrator.connectOrDisconnect();
    PumpUntil([this] { return !orchestrator.connected(); });
    EXPECT_EQ(window.caption, "Connect...");
    EXPECT_EQ(window.fields[TargetField::Platform], "");
}

TEST_F(OrchestratorTest, UpdateInfoForARegionWithoutAddressSendsNothing) {
    Connect();
    PackageItem& tessid = AddItem("Tessid::uC-1", patternImage(10));
    window.item = &tessid;
    const std::size_t before = camera.requests().size();
    EXPECT_EQ(orchestrator.updateInfo(), CommandOutcome::Nothing);
    EXPECT_EQ(orchestrator.erase(), CommandOutcome::Nothing);
    EXPECT_EQ(orchestrator.eraseAndProgram(), CommandOutcome::Nothing);
    EXPECT_EQ(camera.requests().size(), before);
    EXPECT_FALSE(tessid.hasData());
}

TEST_F(OrchestratorTest, PortThatDoesNotExistIsReportedWithTheSystemsText) {
    window.settings.comPort = 99;
    orchestrator.connectOrDisconnect();
    ASSERT_EQ(window.shown.size(), 1u);
    EXPECT_EQ(window.shown[0].text, CSerialException(ENOENT).text());
    EXPECT_EQ(window.shown[0].caption, "Tarnwick");
    EXPECT_TRUE(window.connectEnabled);
    EXPECT_FALSE(worker.isRunning());
}

class UnknownPlatformTest : public OrchestratorTest {
protected:
    UnknownPlatformTest() : OrchestratorTest(CameraWith("MBM29DL322BE", "BLS v2.11 (sim)")) {}
};

TEST_F(UnknownPlatformTest, UpdateIsRefusedWithAWord) {
    AddItem("Corvel::uC", patternImage(100));
    RunUpdate();
    EXPECT_EQ(window.shown, (std::vector<FakeWindow::Shown>{{"Package not suitable for unknown cameras!",
                                                              "Tarnwick", MessageIcon::Exclamation}}));
    EXPECT_EQ(Sent(kEraseSectors) + Sent(kWriteData), 0u);
    ExpectClosedAndEnabled();
}

class SlowCameraTest : public OrchestratorTest {
protected:
    SlowCameraTest() : OrchestratorTest(SlowCamera()) {}
    static CameraOptions SlowCamera() {
        CameraOptions options = quickCamera();
        options.readyDelay = 60s;
        return options;
    }
};

TEST_F(SlowCameraTest, CancelWhileWaitingForTheCameraEndsTheUpdateUnconnected) {
    AddItem("Corvel::uC", patternImage(100));
    ASSERT_EQ(orchestrator.startUpdate(), CommandOutcome::Started);
    EXPECT_FALSE(window.mainWindowEnabled);
    postCancel(queue);
    PumpUntil([this] { return orchestrator.updateState() == UpdateState::Idle && !worker.isRunning(); });
    EXPECT_EQ(orchestrator.lastUpdateEnding(), UpdateEnding::NotConnected);
    EXPECT_TRUE(window.mainWindowEnabled);
    EXPECT_TRUE(window.shown.empty());
}

// A camera whose boot code reports no flash identity at all.
class NoFlashIdentityTest : public OrchestratorTest {
protected:
    NoFlashIdentityTest() {
        camera.setHandler([](const FrameBuffer& request) -> std::optional<FrameBuffer> {
            FrameBuffer reply = request;
            if (request.group() == 1 && request.command() == 1) {
                const std::string_view text = "BLS v2.11";
                std::ranges::copy(text, reply.payload().begin());
                reply.setLength(static_cast<std::uint16_t>(text.size()));
            } else if (request.group() == 2 && request.command() == 1) {
                reply.setPayload16(0, 0);
                reply.setLength(2);
            }
            return reply;
        });
    }
};

TEST_F(NoFlashIdentityTest, EraseIsRefusedAndQueuesNothing) {
    Connect();
    window.item = &AddItem("Corvel::uC", patternImage(100));
    const std::size_t before = camera.requests().size();
    EXPECT_EQ(orchestrator.erase(), CommandOutcome::Refused);
    EXPECT_EQ(orchestrator.eraseAndProgram(), CommandOutcome::Refused);
    const FakeWindow::Shown refusal{"Unknown platform - can't erase...", "Tarnwick", MessageIcon::Error};
    EXPECT_EQ(window.shown, (std::vector{refusal, refusal}));
    EXPECT_EQ(camera.requests().size(), before);
}

}  // namespace
}  // namespace tarnwick
