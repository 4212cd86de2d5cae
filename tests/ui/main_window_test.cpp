// SPDX-License-Identifier: GPL-2.0-or-later
// The main window driven as a user would, against the simulated camera.
#include "main_window.h"

#include <gtest/gtest.h>

#include <QComboBox>
#include <QDialog>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTableView>
#include <QScreen>
#include <QTimer>
#include <QTreeView>
#include <QtTest/QTest>

#include <cerrno>
#include <chrono>
#include <functional>
#include <map>
#include <optional>

#include "file_io.h"
#include "package_test_fakes.h"
#include "port_texts.h"
#include "property_list.h"
#include "simulated_camera.h"
#include "qt_printers.h"
#include "scoped_environment.h"
#include "sha256.h"
#include "temporary_folder.h"
#include "worker_events.h"

namespace tarnwick {
namespace {

using namespace std::chrono_literals;
using testing::RecordingMessages;
using testing::TypeNamed;

// Runs the event loop in short steps until done, for at most 30 s.
template <typename Done>
bool WaitUntil(Done done) {
    const auto deadline = std::chrono::steady_clock::now() + 30s;
    while (!done() && std::chrono::steady_clock::now() < deadline) {
        QTest::qWait(5);
    }
    return done();
}

void Post(MainWindow& window, Message message, std::uintptr_t code, std::unique_ptr<Notice> notice = nullptr) {
    QCoreApplication::postEvent(&window, new WorkerMessageEvent(PostedMessage{message, code, 0, std::move(notice)}));
    QCoreApplication::processEvents();
}

class MainWindowTest : public ::testing::Test {
protected:
    explicit MainWindowTest(std::chrono::milliseconds readyDelay = 20ms)
        : camera(CameraOptions{.readyDelay = readyDelay, .flashFile = {}}) {
        messages.answer = MessageAnswer::No;
    }

    Settings StoredSettings(bool expertMode = true) const {
        return {.comPort = static_cast<std::uint32_t>(camera.portNumber()), .comBps = 115200, .lastPackage = {},
                .expertMode = expertMode};
    }

    // A window on these settings, active.
    void Open(const Settings& settings) {
        EXPECT_FALSE(SettingsStore(settingsFile).save(settings));
        window = std::make_unique<MainWindow>(messages, MainWindowOptions{settingsFile, timings, {}, &dialogs});
        window->show();
        window->activateWindow();
        EXPECT_TRUE(QTest::qWaitForWindowActive(window.get()));
    }

    // A user-built package with a microcontroller image, selected.
    void AddPackage(const std::vector<std::uint8_t>& image) {
        PackageItem item(TypeNamed("Corvel::uC"));
        item.fileName = home.write("uc.bin", image).string();
        Package package("Field update", "");
        package.AppendItem(std::move(item));
        window->packages().Add(std::move(package));
        window->refillPackageBox();
    }

    void Open() { Open(StoredSettings()); }

    void Click(int id) const { QTest::mouseClick(window->control(id), Qt::LeftButton); }
    bool Enabled(int id) const { return window->control(id)->isEnabled(); }
    QString Text(int id) const { return qobject_cast<QLineEdit*>(window->control(id))->text(); }
    QString Outcome() const { return qobject_cast<QLabel*>(window->control(IdOutcome))->text(); }
    QString ProgressStatus() const {
        for (const QLabel* label : window->progressWindow().findChildren<QLabel*>()) {
            if (controlIdOf(*label) == IdStatusLine) {
                return label->text();
            }
        }
        return {};
    }
    QTreeView& ItemList() const { return *qobject_cast<QTreeView*>(window->control(IdItemList)); }
    PropertyList& Properties() const { return *qobject_cast<PropertyList*>(window->control(IdPropertyList)); }

    void SelectItemRow(int row) const {
        const QModelIndex index = ItemList().model()->index(row, 0);
        QTest::mouseClick(ItemList().viewport(), Qt::LeftButton, {}, ItemList().visualRect(index).center());
    }

    // The cells of the item list, row by row.
    std::vector<QStringList> ItemRows() const {
        const QAbstractItemModel& model = *ItemList().model();
        std::vector<QStringList> rows(static_cast<std::size_t>(model.rowCount()));
        for (int cell = 0; cell < model.rowCount() * model.columnCount(); ++cell) {
            const QModelIndex index = model.index(cell / model.columnCount(), cell % model.columnCount());
            rows[static_cast<std::size_t>(index.row())] << index.data().toString();
        }
        return rows;
    }

    // The row of the property with that name, under "Item properties".
    QModelIndex PropertyRow(const QString& name) const {
        const QAbstractItemModel& model = *Properties().model();
        return model.match(model.index(0, 0, model.index(0, 0)), Qt::DisplayRole, name, 1, Qt::MatchExactly).value(0);
    }
    QString PropertyValue(const QString& name) const { return PropertyRow(name).siblingAtColumn(1).data().toString(); }

    // A click on the "File" property's "..." button.
    void BrowseForFile() const {
        Properties().setCurrentIndex(PropertyRow("File"));
        QTest::mouseClick(Properties().inPlaceControl(), Qt::LeftButton);
    }

    bool Idle() const {
        return window->orchestrator().updateState() == UpdateState::Idle && !window->orchestrator().connected() &&
               window->controlsEnabled();
    }

    WorkerTimings timings{.frame = {.failurePause = 5ms}, .connect = {.cyclePause = 20ms, .readyPause = 10ms}};
    testing::TemporaryPortFolder ports;
    SimulatedCamera camera;
    testing::TemporaryFolder home;
    // The runs the window records go to the test's own history.
    testing::ScopedEnvironment dataHome{"XDG_DATA_HOME", (home / "data").c_str()};
    std::filesystem::path settingsFile = home / "config/Vornix/Tarnwick/Settings.reg";
    RecordingMessages messages;
    testing::ScriptedDialogs dialogs;
    std::unique_ptr<MainWindow> window;
};

TEST_F(MainWindowTest, UpdateCameraEndsProgrammedAndShowsTheTarget) {
    Open();
    AddPackage(std::vector<std::uint8_t>(5000, 0x5A));
    // Each text the fields show, as the update empties them at its end.
    std::map<int, QStringList> shown;
    for (const int id : {IdVersion, IdPlatform}) {
        QObject::connect(qobject_cast<QLineEdit*>(window->control(id)), &QLineEdit::textChanged,
                         [&shown, id](const QString& text) { shown[id] << text; });
    }
    ASSERT_TRUE(Enabled(IdUpdateCamera));
    Click(IdUpdateCamera);
    EXPECT_EQ(ProgressStatus(), "Loading Field update...") << "the click only starts the load";
    EXPECT_FALSE(window->controlsEnabled());
    ASSERT_TRUE(WaitUntil([this] { return Idle() && !window->progressWindow().isVisible(); }));
    EXPECT_EQ(window->orchestrator().lastUpdateEnding(), UpdateEnding::Programmed);
    EXPECT_EQ(window->orchestrator().lastRunSucceeded(), true);
    EXPECT_TRUE(messages.shown.empty());
    EXPECT_EQ(Outcome(), "Camera updated.");
    EXPECT_EQ(shown[IdVersion].front(), "BLS v2.11 (sim)");
    EXPECT_EQ(shown[IdPlatform].front(), "Corvel (Fujitsu - MBM29DL324BE)");
    EXPECT_EQ(Text(IdVersion), "") << "emptied with the link";
    EXPECT_EQ(qobject_cast<QPushButton*>(window->control(IdConnect))->text(), "&Connect...");
    QCoreApplication::processEvents();
    EXPECT_EQ(window->focusWidget(), window->control(IdUpdateCamera)) << "ready for the next camera";
}

TEST_F(MainWindowTest, BackUpCameraWritesAPackageAndListsItSelectedForAnUpdate) {
    Open();
    camera.presetFlash(0x10000, std::vector<std::uint8_t>(5000, 0x5A));
    camera.presetFlash(0xFFFF8, std::vector<std::uint8_t>{0x88, 0x13, 0, 0});
    const std::filesystem::path file = home / "backup.xml";
    dialogs.files = {file.string()};
    window->backupAction().trigger();
    ASSERT_TRUE(WaitUntil([this] { return !window->backup().running() && Idle(); }));
    EXPECT_EQ(dialogs.fileDialogs, (std::vector<std::pair<std::string, std::string>>{{"Back up camera to...", ""}}));
    EXPECT_EQ(window->backup().ending(), BackupEnding::Written);
    EXPECT_EQ(messages.shown,
              (std::vector<RecordingMessages::Shown>{
                  {"Backup written to " + file.string() +
                       "\n\nCorvel::Bootloader: no image recorded (length word 0xFFFFFFFF)"
                       "\nCorvel::uC: 5000 bytes read\nCorvel::FPGA: no image recorded (length word 0xFFFFFFFF)"
                       "\nCorvel::FLASH: no image recorded (length word 0xFFFFFFFF)",
                   "Tarnwick", MessageIcon::Information}}));
    EXPECT_TRUE(qobject_cast<QComboBox*>(window->control(IdPackageBox))
                    ->currentText()
                    .startsWith("Backup Corvel BLS v2.11 (sim) "));
    EXPECT_EQ(ItemRows(), (std::vector<QStringList>{{"Corvel::uC", "0.00", "Corvel-uC.bin"}}));
    EXPECT_TRUE(Enabled(IdUpdateCamera));
    const std::vector<RunRecord> runs = HistoryStore(DefaultHistoryFile(), false).list({});
    ASSERT_EQ(runs.size(), 1u);
    EXPECT_EQ(runs[0].frontEnd + " " + runs[0].command, "tarnwick backup");
    EXPECT_EQ(runs[0].outcome, RunOutcome::Succeeded);
}

TEST_F(MainWindowTest, AnUpdateIsRecordedAndHistoryShowsItWithItsJobs) {
    Open();
    const std::vector<std::uint8_t> image(5000, 0x5A);
    AddPackage(image);
    Click(IdUpdateCamera);
    ASSERT_TRUE(WaitUntil([this] { return Idle() && !window->progressWindow().isVisible(); }));

    const std::vector<RunRecord> runs = HistoryStore(DefaultHistoryFile(), false).list({});
    ASSERT_EQ(runs.size(), 1u);
    const RunRecord& run = runs[0];
    EXPECT_EQ(run.frontEnd + " " + run.command, "tarnwick update");
    EXPECT_EQ(run.port, "COM" + std::to_string(camera.portNumber()));
    EXPECT_EQ(run.bootCode, "BLS v2.11 (sim)");
    EXPECT_EQ(run.packageName, "Field update");
    EXPECT_EQ(run.images, (std::vector<ImageRecord>{{"Corvel::uC", "0.00", Sha256Hex(image)}}));
    EXPECT_EQ(run.jobs.size(), 6u);
    EXPECT_EQ(run.outcome, RunOutcome::Succeeded);
    EXPECT_EQ(run.exitStatus, std::nullopt);

    HistoryDialog dialog(window.get(), HistoryStore(DefaultHistoryFile(), false));
    ASSERT_EQ(dialog.runView().model()->rowCount(), 1);
    EXPECT_EQ(dialog.runView().model()->index(0, RunTableModel::Outcome).data(), "succeeded");
    ASSERT_EQ(dialog.jobView().model()->rowCount(), 6) << "the newest run's jobs";
    EXPECT_EQ(dialog.jobView().model()->index(1, JobTableModel::Image).data(), "Corvel::uC");
}

TEST_F(MainWindowTest, SelectingAnItemShowsItAndReadsItsRegionWhenConnected) {
    Open();
    AddPackage(std::vector<std::uint8_t>(10, 1));
    SelectItemRow(0);
    EXPECT_EQ(PropertyValue("Name"), "Corvel::uC");
    EXPECT_EQ(PropertyValue("Filesize"), "10 Byte(s)");
    const QStringList destination{Text(IdDestinationName), Text(IdStartAddress), Text(IdEndAddress), Text(IdSize),
                                  Text(IdBlankCheck),      Text(IdChecksum1),    Text(IdChecksum2)};
    EXPECT_EQ(destination, QStringList({"Corvel::uC", "0x00010000", "0x000FFFFF", "0x000F0000", "unknown", "unknown",
                                        "unknown"}));
    Click(IdConnect);
    ASSERT_TRUE(WaitUntil([this] { return window->orchestrator().connected() && window->controlsEnabled(); }));
    ItemList().selectionModel()->clearCurrentIndex();
    SelectItemRow(0);
    ASSERT_TRUE(WaitUntil([this] { return Text(IdChecksum1) != "unknown" && window->controlsEnabled(); }));
    EXPECT_NE(Text(IdBlankCheck), "unknown");
    QCoreApplication::processEvents();
    EXPECT_EQ(window->focusWidget(), &ItemList()) << "the run that read the region gave the focus back";
    Click(IdConnect);
    ASSERT_TRUE(WaitUntil([this] { return Idle(); }));
}

// After an update the destination fields show what was read for the selected
// item's region, not the last region's; a region never read shows "unknown".
TEST_F(MainWindowTest, BlankCheckAndChecksumsBelongToTheRegionOfTheSelectedItem) {
    Open();
    AddPackage(std::vector<std::uint8_t>(3000, 0x11));
    PackageItem fpga(TypeNamed("Corvel::FPGA"));
    fpga.fileName = home.write("fpga.rbf", std::vector<std::uint8_t>(2000, 0x22)).string();
    window->packages()[0].AppendItem(std::move(fpga));
    window->refillPackageBox();
    ASSERT_EQ(ItemRows().at(1).front(), "Corvel::uC");
    const auto regionFields = [this] { return QStringList{Text(IdBlankCheck), Text(IdChecksum1), Text(IdChecksum2)}; };
    SelectItemRow(1);
    EXPECT_EQ(regionFields(), QStringList({"unknown", "unknown", "unknown"}));

    Click(IdUpdateCamera);
    ASSERT_TRUE(WaitUntil([this] { return Idle() && !window->progressWindow().isVisible(); }));
    const QStringList uc = regionFields();
    SelectItemRow(0);
    const QStringList fpgaRead = regionFields();
    SelectItemRow(1);
    EXPECT_EQ(regionFields(), uc);
    EXPECT_NE(fpgaRead, uc);
    EXPECT_FALSE(uc.contains("unknown") || fpgaRead.contains("unknown")) << (uc + fpgaRead).join(' ').toStdString();
}

class SilentCameraTest : public MainWindowTest {
protected:
    SilentCameraTest() : MainWindowTest(10min) {}
};

TEST_F(SilentCameraTest, CancelInTheProgressWindowEndsTheUpdate) {
    Open();
    AddPackage(std::vector<std::uint8_t>(100, 0x5A));
    Click(IdUpdateCamera);
    ASSERT_TRUE(WaitUntil([this] {
        return window->orchestrator().updateState() == UpdateState::Connecting && window->progressWindow().isVisible();
    }));
    EXPECT_FALSE(window->controlsEnabled());
    QTest::mouseClick(window->progressWindow().findChild<QPushButton*>(), Qt::LeftButton);
    ASSERT_TRUE(WaitUntil([this] { return Idle() && !window->progressWindow().isVisible(); }));
    EXPECT_EQ(window->orchestrator().lastUpdateEnding(), UpdateEnding::NotConnected);
    EXPECT_EQ(Outcome(), "Update cancelled. Nothing was written.");
    EXPECT_TRUE(messages.shown.empty());
}

TEST_F(SilentCameraTest, ACameraThatNeverAnswersIsToldOnceNamingThePort) {
    timings.connect = {.readIntervalMs = 1, .readMultiplierMs = 1, .readConstantMs = 1, .maxCycles = 3,
                       .cyclePause = 1ms, .readyPause = 1ms};
    Open();
    Click(IdConnect);
    ASSERT_TRUE(WaitUntil([this] { return !messages.shown.empty() && Idle(); }));
    const std::string text = NoAnswerText(PortDescription(static_cast<std::uint32_t>(camera.portNumber())));
    EXPECT_EQ(messages.shown, (std::vector<RecordingMessages::Shown>{{text, "Tarnwick", MessageIcon::Exclamation}}));
    EXPECT_EQ(Outcome().toStdString(), text.substr(0, text.find('\n')));
}

// The camera goes away while the window is connected: its process ends, or
// its adapter is pulled out. However that is noticed, the link ends as a
// fresh start finds it, and the next camera on the same port connects.
TEST_F(MainWindowTest, ALostCameraEndsTheLinkAndTheNextOneOnThePortConnects) {
    const struct {
        const char* noticedBy;
        std::chrono::milliseconds lineCheck;
        int click;
        bool told;
    } rows[] = {
        {"its hang-up", 10ms, 0, true},
        {"Update info", 24h, IdUpdateInfo, true},
        {"Disconnect...", 24h, IdConnect, false},
    };
    std::optional<SimulatedCamera> portCamera;
    int number = 0;
    for (const auto& row : rows) {
        SCOPED_TRACE(row.noticedBy);
        timings.lineCheck = row.lineCheck;
        portCamera.emplace(CameraOptions{.portNumber = number, .readyDelay = 20ms, .flashFile = {}});
        number = portCamera->portNumber();
        Settings settings = StoredSettings();
        settings.comPort = static_cast<std::uint32_t>(number);
        Open(settings);
        AddPackage(std::vector<std::uint8_t>(100, 1));
        SelectItemRow(0);
        Click(IdConnect);
        ASSERT_TRUE(WaitUntil([this] { return window->orchestrator().connected() && window->controlsEnabled(); }));
        const std::string port = PortDescription(static_cast<std::uint32_t>(number));
        messages.shown.clear();

        portCamera.reset();
        if (row.click != 0) {
            Click(row.click);
        }
        ASSERT_TRUE(WaitUntil([this] { return Idle(); }));
        const std::string lost = LinkLostText(port, CSerialException(EIO).text());
        using Shown = std::vector<RecordingMessages::Shown>;
        const Shown told{{lost, "Tarnwick", MessageIcon::Error}};
        EXPECT_EQ(messages.shown, row.told ? told : Shown{});
        EXPECT_EQ(qobject_cast<QPushButton*>(window->control(IdConnect))->text(), "&Connect...");
        EXPECT_EQ(Text(IdVersion) + Text(IdPlatform), "");
        for (const int id : {IdErase, IdEraseAndProgram, IdUpdateInfo}) {
            EXPECT_FALSE(Enabled(id)) << id;
        }
        EXPECT_TRUE(Enabled(IdConnect) && Enabled(IdUpdateCamera));

        portCamera.emplace(CameraOptions{.portNumber = number, .readyDelay = 20ms, .flashFile = {}});
        Click(IdConnect);
        ASSERT_TRUE(WaitUntil([this] { return window->orchestrator().connected() && window->controlsEnabled(); }));
        EXPECT_EQ(Text(IdVersion), "BLS v2.11 (sim)");
        Click(IdConnect);
        ASSERT_TRUE(WaitUntil([this] { return Idle(); }));
        portCamera.reset();
    }
}

// "Update camera..." and "Erase && Program..." name the item they refuse
// and why; a port that was never chosen says where to choose it.
TEST_F(MainWindowTest, RefusalsNameTheItemAndWhy) {
    Open();
    const std::string uc = home.write("uc.bin", std::vector<std::uint8_t>(100, 1)).string();
    const std::string gone = (home / "gone.bin").string();
    const auto add = [this](const char* name, std::string ucFile, bool withFpga) {
        Package package(name, "");
        PackageItem item(TypeNamed("Corvel::uC"));
        item.fileName = std::move(ucFile);
        package.AppendItem(std::move(item));
        if (withFpga) {
            package.AppendItem(PackageItem(TypeNamed("Corvel::FPGA")));
        }
        window->packages().Add(std::move(package));
    };
    add("No file", uc, true);
    add("Missing file", gone, false);
    window->refillPackageBox();
    auto& box = *qobject_cast<QComboBox*>(window->control(IdPackageBox));
    const auto select = [&box](const char* name) { box.setCurrentIndex(box.findText(name)); };

    const struct {
        const char* package;
        std::string text;
    } updates[] = {
        {"No file", "Corvel::FPGA has no file attached."},
        {"Missing file", "The file of Corvel::uC is missing: " + gone},
    };
    for (const auto& row : updates) {
        select(row.package);
        messages.shown.clear();
        Click(IdUpdateCamera);
        ASSERT_TRUE(WaitUntil([this] { return Idle() && !window->progressWindow().isVisible(); })) << row.package;
        EXPECT_EQ(messages.shown,
                  (std::vector<RecordingMessages::Shown>{{row.text, "Tarnwick", MessageIcon::Exclamation}}));
        EXPECT_EQ(Outcome().toStdString(), "Update failed: " + row.text);
        EXPECT_EQ(camera.counters().hostOpens, 0u) << "refused before the port is opened";
    }

    Click(IdConnect);
    ASSERT_TRUE(WaitUntil([this] { return window->orchestrator().connected() && window->controlsEnabled(); }));
    SelectItemRow(0);
    ASSERT_TRUE(WaitUntil([this] { return !window->orchestrator().runPending() && window->controlsEnabled(); }));
    messages.shown.clear();
    Click(IdEraseAndProgram);
    ASSERT_TRUE(WaitUntil([this] { return !window->orchestrator().runPending() && window->controlsEnabled(); }));
    const std::string missing = "Can't load package file... (Error: 0x02)\nThe file of Corvel::uC is missing: " + gone;
    EXPECT_EQ(messages.shown, (std::vector<RecordingMessages::Shown>{{missing, "Tarnwick", MessageIcon::Error}}));
    EXPECT_EQ(Outcome(), "Programming Corvel::uC failed: Can't load package file... (Error: 0x02)");
    Click(IdConnect);
    ASSERT_TRUE(WaitUntil([this] { return Idle(); }));

    Settings noPort = StoredSettings();
    noPort.comPort = 0;
    Open(noPort);
    messages.shown.clear();
    Click(IdConnect);
    EXPECT_EQ(messages.shown, (std::vector<RecordingMessages::Shown>{
                                  {"No port chosen: open Settings... and choose the camera's port", "Tarnwick",
                                   MessageIcon::None}}));
}

TEST_F(MainWindowTest, PlatformLineWithoutAChipNamesNoneInEitherView) {
    for (const bool expertMode : {true, false}) {
        Open(StoredSettings(expertMode));
        Post(*window, Message::MsgInfo, 5, std::make_unique<Notice>(0u));
        EXPECT_EQ(Text(IdPlatform), expertMode ? "unknown (Unknown - Unknown)" : "unknown");
        window->close();
    }
}

TEST_F(MainWindowTest, FailureTextsAreBoxesAndLinkMessagesEnableUpdateCameraUntilTheNextRefresh) {
    Open();
    Post(*window, Message::MsgInfo, 17, std::make_unique<Notice>("Can't erase sector..."));
    Post(*window, Message::MsgInfo, 17, nullptr);
    EXPECT_EQ(messages.shown, (std::vector<RecordingMessages::Shown>{{"Can't erase sector...", "", MessageIcon::None},
                                                                     {"empty", "", MessageIcon::None}}));
    ASSERT_FALSE(Enabled(IdUpdateCamera)) << "no package";
    for (const Message message : {Message::MsgLinkState, Message::MsgJobsDone}) {
        Post(*window, message, message == Message::MsgLinkState ? 1 : 0);
        EXPECT_TRUE(Enabled(IdUpdateCamera));
        window->refreshControls();
        EXPECT_FALSE(Enabled(IdUpdateCamera));
    }
}

TEST_F(MainWindowTest, APackageBuiltInTheWindowIsSavedOnExitAndFoundAgain) {
    Settings settings = StoredSettings();
    Open(settings);
    const QString uc = QString::fromStdString(home.write("fw/Corvel1b-2.01.bin", "uc image").string());
    const QString fpga = QString::fromStdString(home.write("fw/corvel2c-1.05.rbf", "fpga image").string());
    dialogs.names = {"Lab set"};
    dialogs.types = {TypeNamed("Corvel::uC").guid, TypeNamed("Corvel::FPGA").guid};
    dialogs.files = {fpga.toStdString(), uc.toStdString()};
    Click(IdNewPackage);
    Click(IdAddItem);
    Click(IdAddItem);
    SelectItemRow(0);
    BrowseForFile();
    SelectItemRow(1);
    BrowseForFile();
    // The version typed over, ended with Enter.
    Properties().setCurrentIndex(PropertyRow("Version"));
    Properties().setFocus();
    for (const char c : {'1', '.', '1', '0', '\r'}) {
        QTest::keyClick(QApplication::focusWidget(), c);
    }
    const std::vector<QStringList> built{{"Corvel::FPGA", "1.05", fpga}, {"Corvel::uC", "1.10", uc}};
    ASSERT_EQ(ItemRows(), built);
    EXPECT_EQ(PropertyValue("Version"), "1.10");
    EXPECT_EQ(PropertyValue("Camera type"), "Corvel1b");

    qobject_cast<QAbstractButton*>(window->control(IdSkipVerify))->setChecked(true);
    messages.answer = MessageAnswer::Yes;
    int exitCode = -1;
    QObject::connect(window.get(), &MainWindow::exited, [&exitCode](int code) { exitCode = code; });
    Click(IdExit);
    EXPECT_EQ(exitCode, 2);
    EXPECT_EQ(messages.asked, (std::vector<RecordingMessages::Shown>{
                                  {"Save package list?", "Tarnwick", MessageIcon::Question}}));
    settings.lastPackage = "Lab set";
    settings.skipVerify = true;
    EXPECT_EQ(SettingsStore(settingsFile).load(), settings);

    // With SavePackages set, exit saves without asking.
    settings.savePackages = true;
    Open(settings);
    EXPECT_EQ(qobject_cast<QComboBox*>(window->control(IdPackageBox))->currentText(), "Lab set");
    EXPECT_EQ(ItemRows(), built);
    const std::filesystem::path list = settingsFile.parent_path() / "Tarnwick.packages.xml";
    std::filesystem::remove(list);
    messages.asked.clear();
    window->close();
    EXPECT_TRUE(messages.asked.empty());
    EXPECT_TRUE(std::filesystem::exists(list));
    EXPECT_TRUE(messages.shown.empty());
}

// Whatever state the settings folder and the package list are in, the
// window starts; what cannot be read is said in the system's own text.
TEST_F(MainWindowTest, StartsWhateverStateTheSettingsAndTheListAreIn) {
    namespace fs = std::filesystem;
    const RecordingMessages::Shown cannotRead{"Can't read configuration file", "", MessageIcon::Exclamation};
    const auto writeList = [](const std::string& text) {
        return [text](const fs::path& folder) {
            ASSERT_FALSE(CreateFolders(folder));
            ASSERT_FALSE(ReplaceFile(folder / kPackageListFileName, text));
        };
    };
    const auto chooseFolder = [](const std::string& folder) {
        return [folder](const fs::path& settings) {
            ASSERT_FALSE(SettingsStore(settings / kSettingsFileName).writeText(kConfigPathValue, folder));
        };
    };
    const std::string tooLong(300, 'x');
    const struct {
        const char* state;
        std::string settingsFolder;  // under the test's home
        std::function<void(const fs::path& folder)> make;
        std::vector<RecordingMessages::Shown> shown;
        QStringList packages;
    } cases[] = {
        {"first run", "fresh", [](const fs::path&) {}, {}, {}},
        {"list is a symlink loop", "loop",
         [](const fs::path& folder) {
             fs::create_directories(folder);
             fs::create_symlink(kPackageListFileName, folder / kPackageListFileName);
         },
         {cannotRead}, {}},
        {"folder name too long", tooLong, [](const fs::path&) {}, {cannotRead}, {}},
        {"chosen folder name too long", "long", chooseFolder("/" + tooLong), {cannotRead}, {}},
        {"chosen folder missing", "gone", chooseFolder("/nonexistent/tarnwick"), {cannotRead}, {}},
        {"list is a folder", "folder",
         [](const fs::path& folder) { fs::create_directories(folder / kPackageListFileName); }, {cannotRead}, {}},
        {"settings are a folder", "settings",
         [](const fs::path& folder) { fs::create_directories(folder / kSettingsFileName); }, {}, {}},
        {"list truncated", "truncated", writeList("<config>\r\n<package updpackage=\"1\">"), {}, {}},
        {"package file away", "away",
         writeList("<config><package updpackage=\"1\"><name>Release 2.01</name><files>0</files>"
                   "<path>/media/stick/release.xml</path></package></config>"),
         {}, {"Release 2.01 (unreadable)"}},
    };
    for (const auto& row : cases) {
        SCOPED_TRACE(row.state);
        const fs::path folder = home / row.settingsFolder;
        row.make(folder);
        messages.shown.clear();
        const MainWindowOptions options{folder / kSettingsFileName, {}, {}, &dialogs};
        window = std::make_unique<MainWindow>(messages, options);
        EXPECT_EQ(messages.shown, row.shown);
        const auto& box = *qobject_cast<QComboBox*>(window->control(IdPackageBox));
        QStringList entries;
        for (int entry = 0; entry < box.count(); ++entry) {
            entries << box.itemText(entry);
        }
        EXPECT_EQ(entries, row.packages);
    }
}

TEST_F(MainWindowTest, AfterAFileIsAttachedTheFocusIsBackInThePropertyList) {
    Open();
    AddPackage(std::vector<std::uint8_t>(10, 1));
    SelectItemRow(0);
    dialogs.files = {home.write("Corvel1b-2.01.bin", "firmware").string()};
    // A file dialog is a window of its own: it takes the focus while it is open.
    dialogs.whileChoosingFile = [] {
        QDialog fileDialog;
        QTimer::singleShot(0, &fileDialog, [&fileDialog] {
            EXPECT_TRUE(QTest::qWaitForWindowActive(&fileDialog));
            fileDialog.accept();
        });
        fileDialog.exec();
    };
    BrowseForFile();
    window->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(window.get()));
    EXPECT_EQ(PropertyValue("Version"), "2.01");
    EXPECT_EQ(QApplication::focusWidget(), &Properties());
}

// Alt+C in both captions of the link button; Escape or the close box at
// "Save package list?" back out of leaving, the link and the work kept.
TEST_F(MainWindowTest, AltCConnectsAndDisconnectsAndBackingOutOfTheSaveQuestionKeepsEverything) {
    Open();
    QTest::keyClick(window.get(), Qt::Key_C, Qt::AltModifier);
    ASSERT_TRUE(WaitUntil([this] { return window->orchestrator().connected() && window->controlsEnabled(); }));
    window->packages().Add(Package("Unsaved", ""));
    window->refillPackageBox();
    messages.answer = MessageAnswer::Cancel;
    int exitCode = -1;
    QObject::connect(window.get(), &MainWindow::exited, [&exitCode](int code) { exitCode = code; });
    Click(IdExit);
    window->close();
    EXPECT_EQ(messages.asked.size(), 2u);
    EXPECT_EQ(exitCode, -1);
    EXPECT_TRUE(window->isVisible());
    EXPECT_TRUE(window->orchestrator().connected());
    EXPECT_FALSE(std::filesystem::exists(settingsFile.parent_path() / "Tarnwick.packages.xml"));

    QTest::keyClick(window.get(), Qt::Key_C, Qt::AltModifier);
    ASSERT_TRUE(WaitUntil([this] { return Idle(); }));
}

// The headless screen is narrower than the template at the desktop's font.
TEST_F(MainWindowTest, TheWindowFitsTheScreenItOpensOnWithEveryControlInView) {
    Open();
    EXPECT_TRUE(window->screen()->availableGeometry().contains(window->geometry()));
    for (const int id : {IdPackageBox, IdExit, IdUpdateCamera, IdConnect, IdChecksum2}) {
        const QWidget& shown = *window->control(id);
        EXPECT_TRUE(window->rect().contains(QRect(shown.mapTo(window.get(), QPoint()), shown.size()))) << id;
    }
}

TEST_F(MainWindowTest, TheTwentiethPackageDisablesNew) {
    Open();
    for (int number = 1; number < 20; ++number) {
        window->packages().Add(Package("P" + std::to_string(number), ""));
    }
    window->refillPackageBox();
    dialogs.names = {"P20"};
    ASSERT_TRUE(Enabled(IdNewPackage));
    Click(IdNewPackage);
    EXPECT_FALSE(Enabled(IdNewPackage));
}

}  // namespace
}  // namespace tarnwick
