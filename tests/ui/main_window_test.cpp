// The main window driven as a user would, against the simulated camera.
#include "main_window.h"

#include <gtest/gtest.h>

#include <QComboBox>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QTreeView>
#include <QtTest/QTest>

#include <algorithm>
#include <chrono>
#include <tuple>
#include <vector>

#include "catalogues.h"
#include "package_test_fakes.h"
#include "property_list.h"
#include "simulated_camera.h"
#include "qt_printers.h"
#include "temporary_folder.h"
#include "worker_events.h"

namespace tarnwick {
namespace {

using namespace std::chrono_literals;

const WorkerTimings kQuickTimings{.frame = {.failurePause = 5ms}, .connect = {.cyclePause = 20ms, .readyPause = 10ms}};

using testing::RecordingMessages;

const ImageType& TypeNamed(std::string_view name) {
    return *std::ranges::find_if(ImageTypes(), [&](const ImageType& type) { return type.name == name; });
}

// Runs the event loop in short steps until done, for at most 30 s.
template <typename Done>
bool WaitUntil(Done done) {
    const auto deadline = std::chrono::steady_clock::now() + 30s;
    while (!done()) {
        if (std::chrono::steady_clock::now() > deadline) {
            return false;
        }
        QTest::qWait(5);
    }
    return true;
}

void Post(MainWindow& window, Message message, std::uintptr_t code, std::unique_ptr<Notice> notice = nullptr,
          std::uintptr_t value = 0) {
    QCoreApplication::postEvent(&window,
                                new WorkerMessageEvent(PostedMessage{message, code, value, std::move(notice)}));
    QCoreApplication::processEvents();
}

// Every text a field showed, in order.
QStringList TextsOf(const QWidget* field) {
    return field->property("shownTexts").value<QStringList>();
}

class MainWindowTest : public ::testing::Test {
protected:
    explicit MainWindowTest(std::chrono::milliseconds readyDelay = 20ms) : camera(CameraFor(readyDelay)) {
        messages.answer = MessageAnswer::No;
    }

    static CameraOptions CameraFor(std::chrono::milliseconds readyDelay) {
        CameraOptions options;
        options.readyDelay = readyDelay;
        return options;
    }

    Settings StoredSettings(bool expertMode) const {
        Settings settings;
        settings.comPort = static_cast<std::uint32_t>(camera.portNumber());
        settings.comBps = 115200;
        settings.expertMode = expertMode;
        return settings;
    }

    MainWindow& Open(const Settings& settings) {
        EXPECT_FALSE(SettingsStore(settingsFile).save(settings));
        return Start();
    }

    // A window on the stored settings, active.
    MainWindow& Start() {
        window = std::make_unique<MainWindow>(messages, MainWindowOptions{settingsFile, kQuickTimings, {}, &dialogs});
        window->show();
        window->activateWindow();
        EXPECT_TRUE(QTest::qWaitForWindowActive(window.get()));
        return *window;
    }

    // A user-built package with a microcontroller image, selected.
    void AddPackage(const std::vector<std::uint8_t>& image) {
        PackageItem item(TypeNamed("Corvel::uC"));
        item.version = MakeVersion(1, 5);
        item.fileName = home.write("uc.bin", image).string();
        Package package("Field update", "");
        package.AppendItem(std::move(item));
        window->packages().Add(std::move(package));
        window->refillPackageBox();
    }

    void Click(int id) const { QTest::mouseClick(window->control(id), Qt::LeftButton); }

    QString Text(int id) const { return qobject_cast<QLineEdit*>(window->control(id))->text(); }
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
        for (int row = 0; row < model.rowCount(); ++row) {
            for (int column = 0; column < model.columnCount(); ++column) {
                rows[static_cast<std::size_t>(row)] << model.index(row, column).data().toString();
            }
        }
        return rows;
    }

    // The row of the property with that name, under "Item properties".
    QModelIndex PropertyRow(const QString& name) const {
        const QAbstractItemModel& model = *Properties().model();
        const QModelIndex category = model.index(0, 0);
        for (int row = 0; row < model.rowCount(category); ++row) {
            if (model.index(row, 0, category).data() == name) {
                return model.index(row, 0, category);
            }
        }
        return {};
    }
    QString PropertyValue(const QString& name) const { return PropertyRow(name).siblingAtColumn(1).data().toString(); }

    // A click on the "File" property's "..." button.
    void BrowseForFile() const {
        Properties().setCurrentIndex(PropertyRow("File"));
        QTest::mouseClick(Properties().inPlaceControl(), Qt::LeftButton);
    }

    // Typed over the "Version" property, ended with Enter.
    void TypeVersion(const QString& text) const {
        Properties().setCurrentIndex(PropertyRow("Version"));
        Properties().setFocus();
        for (const QChar c : text) {
            QTest::keyClick(QApplication::focusWidget(), c.toLatin1());
        }
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Return);
    }

    // Keeps each text the field shows, as the update empties them at its end.
    void RecordTexts(int id) const {
        auto* field = qobject_cast<QLineEdit*>(window->control(id));
        QObject::connect(field, &QLineEdit::textChanged, field, [field](const QString& text) {
            field->setProperty("shownTexts", field->property("shownTexts").toStringList() << text);
        });
    }

    bool Idle() const {
        return window->orchestrator().updateState() == UpdateState::Idle && !window->orchestrator().connected() &&
               window->controlsEnabled();
    }

    testing::TemporaryPortFolder ports;
    SimulatedCamera camera;
    testing::TemporaryFolder home;
    std::filesystem::path settingsFile = home / "config/Vornix/Tarnwick/Settings.reg";
    RecordingMessages messages;
    testing::ScriptedDialogs dialogs;
    std::unique_ptr<MainWindow> window;
};

// Counts the progress window's showing and hiding and the main window's
// disabling, however short they were.
class Transitions : public QObject {
public:
    bool eventFilter(QObject* watched, QEvent* event) override {
        shows += event->type() == QEvent::Show ? 1 : 0;
        hides += event->type() == QEvent::Hide ? 1 : 0;
        if (event->type() == QEvent::EnabledChange) {
            disabled += static_cast<QWidget*>(watched)->isEnabled() ? 0 : 1;
        }
        return false;
    }
    int shows = 0;
    int hides = 0;
    int disabled = 0;
};

class WholeUpdateTest : public MainWindowTest, public ::testing::WithParamInterface<bool> {};

TEST_P(WholeUpdateTest, UpdateCameraProgramsTheFlashAndShowsTheTarget) {
    const bool expertMode = GetParam();
    Open(StoredSettings(expertMode));
    std::vector<std::uint8_t> image(5000);
    for (std::size_t index = 0; index < image.size(); ++index) {
        image[index] = static_cast<std::uint8_t>(index * 7 + 3);
    }
    AddPackage(image);
    RecordTexts(IdVersion);
    RecordTexts(IdPlatform);
    Transitions transitions;
    window->progressWindow().installEventFilter(&transitions);
    window->control(IdSettings)->parentWidget()->installEventFilter(&transitions);

    ASSERT_TRUE(window->control(IdUpdateCamera)->isEnabled());
    Click(IdUpdateCamera);
    ASSERT_TRUE(WaitUntil([this] { return Idle() && !window->progressWindow().isVisible(); }));

    EXPECT_EQ(window->orchestrator().lastUpdateEnding(), UpdateEnding::Programmed);
    EXPECT_EQ(window->orchestrator().lastRunSucceeded(), true);
    EXPECT_TRUE(messages.shown.empty());
    EXPECT_EQ(camera.flash(0x10000, 5000), image);
    EXPECT_GE(transitions.shows, 2) << "connection and job run";
    EXPECT_EQ(transitions.shows, transitions.hides);
    EXPECT_GE(transitions.disabled, 1);
    EXPECT_EQ(TextsOf(window->control(IdVersion)).front(), "BLS v2.11 (sim)");
    EXPECT_EQ(TextsOf(window->control(IdPlatform)).front(),
              expertMode ? "Corvel (Fujitsu - MBM29DL324BE)" : "Corvel");
    EXPECT_EQ(qobject_cast<QLineEdit*>(window->control(IdVersion))->text(), "") << "emptied with the link";
    EXPECT_EQ(qobject_cast<QPushButton*>(window->control(IdConnect))->text(), "Connect...");
}

INSTANTIATE_TEST_SUITE_P(BothViews, WholeUpdateTest, ::testing::Bool(),
                         [](const auto& info) { return info.param ? "Advanced" : "Basic"; });

class SilentCameraTest : public MainWindowTest {
protected:
    SilentCameraTest() : MainWindowTest(10min) {}
};

TEST_F(SilentCameraTest, CancelInTheProgressWindowEndsTheUpdate) {
    Open(StoredSettings(true));
    AddPackage(std::vector<std::uint8_t>(100, 0x5A));
    Click(IdUpdateCamera);
    ASSERT_TRUE(WaitUntil([this] { return window->progressWindow().isVisible(); }));
    EXPECT_FALSE(window->controlsEnabled());
    auto* cancel = window->progressWindow().findChild<QPushButton*>();
    QTest::mouseClick(cancel, Qt::LeftButton);
    ASSERT_TRUE(WaitUntil([this] { return Idle() && !window->progressWindow().isVisible(); }));
    EXPECT_EQ(window->orchestrator().lastUpdateEnding(), UpdateEnding::NotConnected);
}

TEST_F(MainWindowTest, PlatformLineWithoutAChipNamesNoneInEitherView) {
    for (const bool expertMode : {true, false}) {
        Open(StoredSettings(expertMode));
        Post(*window, Message::MsgInfo, 5, std::make_unique<Notice>(0u));
        EXPECT_EQ(qobject_cast<QLineEdit*>(window->control(IdPlatform))->text(),
                  expertMode ? "unknown (Unknown - Unknown)" : "unknown");
        window->close();
    }
}

TEST_F(MainWindowTest, EachFailureTextIsOneBoxWithAnEmptyCaption) {
    Open(StoredSettings(true));
    Post(*window, Message::MsgInfo, 17, std::make_unique<Notice>("Can't erase sector..."));
    Post(*window, Message::MsgInfo, 17, nullptr);
    EXPECT_EQ(messages.shown, (std::vector<RecordingMessages::Shown>{{"Can't erase sector...", "", MessageIcon::None},
                                                                     {"empty", "", MessageIcon::None}}));
}

TEST_F(MainWindowTest, LinkMessagesEnableUpdateCameraUntilTheNextRefresh) {
    Open(StoredSettings(true));
    ASSERT_FALSE(window->control(IdUpdateCamera)->isEnabled()) << "no package";
    for (const Message message : {Message::MsgLinkState, Message::MsgJobsDone}) {
        Post(*window, message, message == Message::MsgLinkState ? 1 : 0);
        EXPECT_TRUE(window->control(IdUpdateCamera)->isEnabled());
        window->refreshControls();
        EXPECT_FALSE(window->control(IdUpdateCamera)->isEnabled());
    }
}

TEST_F(MainWindowTest, ExitAsksToSaveThePackageListAndWritesTheSettings) {
    Settings settings = StoredSettings(false);
    settings.lastPackage = "field";
    Open(settings);
    AddPackage(std::vector<std::uint8_t>(10, 1));
    qobject_cast<QAbstractButton*>(window->control(IdSkipVerify))->setChecked(true);
    messages.answer = MessageAnswer::Yes;
    int exitCode = -1;
    QObject::connect(window.get(), &MainWindow::exited, [&exitCode](int code) { exitCode = code; });
    Click(IdExit);

    EXPECT_EQ(exitCode, 2);
    EXPECT_EQ(messages.asked, (std::vector<RecordingMessages::Shown>{
                                  {"Save package list?", "Tarnwick", MessageIcon::Question}}));
    const std::filesystem::path list = settingsFile.parent_path() / "Tarnwick.packages.xml";
    EXPECT_NE(testing::readText(list).find("Field update"), std::string::npos);
    settings.lastPackage = "Field update";
    settings.skipVerify = true;
    EXPECT_EQ(SettingsStore(settingsFile).load(), settings);

    // The next start finds the package again, and with SavePackages set exit
    // saves without asking.
    settings.savePackages = true;
    Open(settings);
    EXPECT_EQ(window->currentPackage() ? window->currentPackage()->name() : "", "Field update");
    std::filesystem::remove(list);
    messages.asked.clear();
    window->close();
    EXPECT_TRUE(messages.asked.empty());
    EXPECT_TRUE(std::filesystem::exists(list));
}

TEST_F(MainWindowTest, APackageBuiltInTheWindowIsFoundAgainAfterARestart) {
    Settings settings = StoredSettings(true);
    settings.savePackages = true;
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
    TypeVersion("1.10");
    const std::vector<QStringList> built{{"Corvel::FPGA", "1.05", fpga}, {"Corvel::uC", "1.10", uc}};
    ASSERT_EQ(ItemRows(), built);
    EXPECT_EQ(PropertyValue("Version"), "1.10");
    EXPECT_EQ(PropertyValue("Camera type"), QString::fromStdString(CameraTypeText(1)));
    window->close();

    Start();
    EXPECT_EQ(qobject_cast<QComboBox*>(window->control(IdPackageBox))->currentText(), "Lab set");
    EXPECT_EQ(ItemRows(), built);
    SelectItemRow(1);
    EXPECT_EQ(PropertyValue("File"), uc);
    EXPECT_EQ(PropertyValue("Filesize"), "8 Byte(s)");
    EXPECT_TRUE(window->control(IdDetachFile)->isEnabled()) << "still a user package";
    EXPECT_TRUE(messages.shown.empty());
}

TEST_F(MainWindowTest, TwentyPackagesDisableNewAndLoadUntilOneIsDeleted) {
    Open(StoredSettings(true));
    for (int number = 1; number < 20; ++number) {
        window->packages().Add(Package("P" + std::to_string(number), ""));
    }
    window->refillPackageBox();
    dialogs.names = {"P20"};
    Click(IdNewPackage);
    const auto* box = qobject_cast<QComboBox*>(window->control(IdPackageBox));
    EXPECT_EQ(box->currentText(), "P20");
    EXPECT_FALSE(window->control(IdNewPackage)->isEnabled());
    EXPECT_FALSE(window->control(IdLoadPackage)->isEnabled());

    messages.answer = MessageAnswer::Ok;
    Click(IdDeletePackage);
    EXPECT_EQ(messages.asked.back(), RecordingMessages::Shown("Delete package\nP20", "Tarnwick", MessageIcon::Question));
    EXPECT_EQ(box->count(), 19);
    EXPECT_EQ(box->currentText(), "P19") << "where the list's last package landed";
    EXPECT_TRUE(window->control(IdNewPackage)->isEnabled());
    EXPECT_TRUE(window->control(IdLoadPackage)->isEnabled());
}

TEST_F(MainWindowTest, SelectingAnItemShowsItAndReadsItsRegionWhenConnected) {
    Open(StoredSettings(true));
    AddPackage(std::vector<std::uint8_t>(10, 1));
    EXPECT_EQ(Text(IdDestinationName), "") << "no item selected yet";

    SelectItemRow(0);
    EXPECT_EQ(PropertyValue("Name"), "Corvel::uC");
    EXPECT_EQ(PropertyValue("Version"), "1.05");
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
    Click(IdConnect);
    ASSERT_TRUE(WaitUntil([this] { return Idle(); }));
}

}  // namespace
}  // namespace tarnwick
