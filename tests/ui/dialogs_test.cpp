// SPDX-License-Identifier: GPL-2.0-or-later
// The window's own dialogs and its message boxes, answered as a user would;
// for Settings also which entries it selects, what OK takes back and stores,
// and what Cancel leaves alone.
#include <QAbstractButton>
#include <QAbstractItemModelTester>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QFileDialog>
#include <QFileInfo>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QTableView>
#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <optional>

#include "available_items_dialog.h"
#include "dialog_messages.h"
#include "new_package_dialog.h"
#include "program_icon.h"
#include "qt_package_dialogs.h"
#include "qt_printers.h"
#include "settings_dialog.h"
#include "temporary_folder.h"

namespace tarnwick {
namespace {

// The buttons a box shows, as standard button flags.
int ShownButtons(const QMessageBox& box) {
    int shown = 0;
    for (QAbstractButton* button : box.buttons()) {
        shown |= button->isVisible() ? box.standardButton(button) : 0;
    }
    return shown;
}

TEST(DialogMessages, FailuresShowOnlyOkAndQuestionsAnswerWithTheButtonPressedOrCancelWhenLeft) {
    // Notes the box that opens next and answers it as `answer` does.
    QStringList seen;
    const auto answerNextBox = [&seen](std::function<void(QMessageBox&)> answer) {
        QTimer::singleShot(0, [&seen, answer] {
            auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
            ASSERT_NE(box, nullptr);
            seen = {box->windowTitle(), box->text(), QString::number(box->icon()),
                    QString::number(ShownButtons(*box))};
            answer(*box);
        });
    };
    const auto press = [](QMessageBox::StandardButton button) {
        return [button](QMessageBox& box) { box.button(button)->click(); };
    };
    DialogMessages messages;
    answerNextBox(press(QMessageBox::Ok));
    messages.showMessage("Can't erase sector...", "", MessageIcon::None);
    EXPECT_EQ(seen, QStringList({"", "Can't erase sector...", QString::number(QMessageBox::NoIcon),
                                 QString::number(QMessageBox::Ok)}));
    // Escape and the close box leave a question without an answer: neither is a No.
    const std::pair<std::function<void(QMessageBox&)>, MessageAnswer> answers[] = {
        {press(QMessageBox::Yes), MessageAnswer::Yes},
        {press(QMessageBox::No), MessageAnswer::No},
        {[](QMessageBox& box) { QTest::keyClick(&box, Qt::Key_Escape); }, MessageAnswer::Cancel},
        {[](QMessageBox& box) { box.close(); }, MessageAnswer::Cancel},
    };
    for (const auto& [answer, expected] : answers) {
        answerNextBox(answer);
        EXPECT_EQ(messages.ask("Save package list?", "Tarnwick", MessageIcon::Question, MessageButtons::YesNo),
                  expected);
        EXPECT_EQ(seen, QStringList({"Tarnwick", "Save package list?", QString::number(QMessageBox::Question),
                                     QString::number((QMessageBox::Yes | QMessageBox::No).toInt())}));
    }
}

TEST(AvailableItemsModel, ListsTheCatalogueInOrderWithLowerCaseHexadecimal) {
    AvailableItemsModel model;
    QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::Fatal);
    ASSERT_EQ(model.rowCount(), 17);
    EXPECT_EQ(model.headerData(1, Qt::Horizontal, Qt::DisplayRole).toString(), "Dst.Addr");
    EXPECT_EQ(model.index(1, 2).data().toString(), "0x000f0000");
    EXPECT_EQ(model.index(9, 1).data().toString(), "0xffffffff");
    EXPECT_EQ(AvailableItemsModel::typeAt(17), nullptr);
}

TEST(AvailableItemsDialog, AddIsEnabledOnlyWhileARowIsChosenAndADoubleClickAddsIt) {
    AvailableItemsDialog dialog;
    EXPECT_EQ(dialog.windowTitle(), "Add item");
    auto& list = *dialog.findChild<QTableView*>(QString::number(AvailableItemsDialog::kListId));
    const auto& add = *dialog.findChild<QPushButton*>(QString::number(AvailableItemsDialog::kAddId));
    const auto centreOfRow = [&list](int row) { return list.visualRect(list.model()->index(row, 0)).center(); };
    dialog.show();
    EXPECT_FALSE(add.isEnabled());
    QTest::mouseClick(list.viewport(), Qt::LeftButton, {}, centreOfRow(2));
    EXPECT_TRUE(add.isEnabled());
    EXPECT_EQ(dialog.chosenRow(), 2);
    list.clearSelection();
    EXPECT_FALSE(add.isEnabled());
    EXPECT_EQ(dialog.chosenRow(), -1);
    EXPECT_EQ(dialog.chosenGuid(), ImageTypes()[2].guid) << "the last type chosen stays";

    QTest::mouseClick(list.viewport(), Qt::LeftButton, {}, centreOfRow(5));
    QTest::mouseDClick(list.viewport(), Qt::LeftButton, {}, centreOfRow(5));
    EXPECT_EQ(dialog.result(), QDialog::Accepted);
    EXPECT_EQ(dialog.chosenGuid(), ImageTypes()[5].guid);
}

TEST(NewPackageDialog, OkAcceptsEvenAnEmptyName) {
    NewPackageDialog dialog;
    dialog.show();
    QTest::keyClick(dialog.findChild<QLineEdit*>(QString::number(NewPackageDialog::kNameEditId)), Qt::Key_Return);
    EXPECT_EQ(dialog.result(), QDialog::Accepted);
    EXPECT_EQ(dialog.packageName(), "");
}

TEST(ProgramIcon, IsTheInstalledDrawingFrom16To256Pixels) {
    const QList<QSize> sizes = programIcon().availableSizes();
    for (const int side : {16, 32, 256}) {
        EXPECT_TRUE(sizes.contains(QSize(side, side))) << side;
    }
}

TEST(FileDialogFilters, ShowTheSystemsNamesOverPatternsQtCanRead) {
    EXPECT_EQ(NameFilters(kLoadPackageDialog), (QStringList{"All (*)", "Package file (*.xml) (*.xml)"}));
    EXPECT_EQ(NameFilters(kLoadFirmwareDialog),
              (QStringList{"All (*)", "ARM/FPGA Firmware (*.bin;*.rbf) (*.bin *.rbf)"}));
}

TEST(QtPackageDialogs, AFileDialogOpensAtTheGivenFileOrInTheFolderChosenLast) {
    const testing::TemporaryFolder home;
    const QString package = QString::fromStdString(home.write("packages/release.xml", "<p/>").string());
    const QString firmware = QString::fromStdString(home.write("firmware/uc.bin", "uc").string());
    QtPackageDialogs dialogs(nullptr);
    // Notes the folder the next file dialog opens in and chooses file there.
    QString openedIn;
    const auto chooseInNextDialog = [&openedIn](const QString& file) {
        QTimer::singleShot(0, [&openedIn, file] {
            auto* dialog = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
            ASSERT_NE(dialog, nullptr);
            openedIn = dialog->directory().absolutePath();
            dialog->selectFile(file);
            static_cast<QDialog*>(dialog)->accept();
        });
    };
    chooseInNextDialog(package);
    EXPECT_EQ(dialogs.chooseFile(kLoadPackageDialog, {}), package.toStdString());
    chooseInNextDialog(firmware);
    EXPECT_EQ(dialogs.chooseFile(kLoadFirmwareDialog, firmware.toStdString()), firmware.toStdString());
    EXPECT_EQ(openedIn, QFileInfo(firmware).absolutePath());
    chooseInNextDialog(package);
    dialogs.chooseFile(kLoadPackageDialog, {});
    EXPECT_EQ(openedIn, QFileInfo(firmware).absolutePath());
}

class SettingsDialogTest : public ::testing::Test {
protected:
    SettingsDialogTest() {
        ports.addAlias(201, "/dev/null");
        ports.addAlias(203, "/dev/zero");
    }

    // A dialog whose "..." answers with chosenFolder.
    std::unique_ptr<SettingsDialog> Open(PortChoice choice) {
        auto dialog = std::make_unique<SettingsDialog>(nullptr, choice, file,
                                                       [this](QWidget&, const std::string& start) {
                                                           browsedFrom = start;
                                                           return chosenFolder;
                                                       });
        dialog->show();
        return dialog;
    }

    template <typename Widget>
    static Widget& Control(const SettingsDialog& dialog, int id) {
        const QList<Widget*> widgets = dialog.findChildren<Widget*>();
        return **std::ranges::find_if(widgets, [id](const Widget* widget) { return controlIdOf(*widget) == id; });
    }

    std::string StoredConfigPath() const { return SettingsStore(file).readText(kConfigPathValue, "<unset>"); }

    testing::TemporaryPortFolder ports;
    testing::TemporaryFolder home;
    std::filesystem::path file = home / "Vornix/Tarnwick/Settings.reg";
    std::optional<std::string> chosenFolder;
    std::string browsedFrom;
};

TEST_F(SettingsDialogTest, SelectsTheStoredPortAndRateAndNamesEachDevice) {
    const auto dialog = Open({203, 57600, true});
    const auto& portList = Control<QComboBox>(*dialog, IdPortList);
    const int count = portList.count();
    ASSERT_GE(count, 2);
    EXPECT_EQ(portList.itemText(count - 2), "COM201");
    EXPECT_EQ(portList.currentText(), "COM203");
    EXPECT_EQ(portList.itemData(count - 1, Qt::ToolTipRole).toString(), "/dev/zero");
    const auto& rateList = Control<QComboBox>(*dialog, IdBitRateList);
    EXPECT_EQ(rateList.currentText(), "57600 bps");
    EXPECT_TRUE(Control<QCheckBox>(*dialog, IdSaveList).isChecked());

    // Values not offered select nothing, and OK keeps them.
    const auto other = Open({0, 4800, false});
    EXPECT_EQ(Control<QComboBox>(*other, IdPortList).currentIndex(), -1);
    EXPECT_EQ(Control<QComboBox>(*other, IdBitRateList).currentIndex(), -1);
    Control<QCheckBox>(*other, IdSaveList).setChecked(true);
    QTest::mouseClick(&Control<QPushButton>(*other, IdOk), Qt::LeftButton);
    EXPECT_EQ(other->result(), QDialog::Accepted);
    EXPECT_EQ(other->choice(), (PortChoice{0, 4800, true}));
}

TEST_F(SettingsDialogTest, FirstRunShowsTheSettingsFolderAndOkStoresWhatWasShownNotWhatWasTyped) {
    const auto dialog = Open({201, 9600, false});
    auto& field = Control<QLineEdit>(*dialog, IdConfigPath);
    const std::string settingsFolder = file.parent_path().string();
    EXPECT_EQ(field.text().toStdString(), settingsFolder);
    Control<QComboBox>(*dialog, IdBitRateList).setCurrentIndex(4);
    QTest::keyClicks(&field, "/typed");
    QTest::mouseClick(&Control<QPushButton>(*dialog, IdOk), Qt::LeftButton);
    EXPECT_EQ(StoredConfigPath(), settingsFolder);
    EXPECT_EQ(dialog->choice(), (PortChoice{201, 115200, false}));
}

TEST_F(SettingsDialogTest, BrowsingStartsAtTheFolderAndOnlyOkStoresTheChoice) {
    ASSERT_FALSE(SettingsStore(file).writeText(kConfigPathValue, "/srv/old"));
    chosenFolder = "/srv/new";
    const auto cancelled = Open({201, 9600, false});
    QTest::mouseClick(&Control<QPushButton>(*cancelled, IdBrowse), Qt::LeftButton);
    EXPECT_EQ(browsedFrom, "/srv/old");
    EXPECT_EQ(Control<QLineEdit>(*cancelled, IdConfigPath).text(), "/srv/new");
    Control<QComboBox>(*cancelled, IdPortList).setCurrentIndex(0);
    QTest::mouseClick(&Control<QPushButton>(*cancelled, IdCancel), Qt::LeftButton);
    EXPECT_EQ(cancelled->result(), QDialog::Rejected);
    EXPECT_EQ(cancelled->choice(), (PortChoice{201, 9600, false}));
    EXPECT_EQ(StoredConfigPath(), "/srv/old");

    const auto confirmed = Open({201, 9600, false});
    QTest::mouseClick(&Control<QPushButton>(*confirmed, IdBrowse), Qt::LeftButton);
    chosenFolder.reset();
    QTest::mouseClick(&Control<QPushButton>(*confirmed, IdBrowse), Qt::LeftButton);
    QTest::mouseClick(&Control<QPushButton>(*confirmed, IdOk), Qt::LeftButton);
    EXPECT_EQ(StoredConfigPath(), "/srv/new") << "a cancelled browser changes nothing";
}

}  // namespace
}  // namespace tarnwick
