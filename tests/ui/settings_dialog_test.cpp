// The Settings dialog: which entries it selects, what OK takes back and
// stores, and what Cancel leaves alone.
#include "settings_dialog.h"

#include <gtest/gtest.h>

#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>
#include <QtTest/QTest>

#include <optional>
#include <string>

#include "qt_printers.h"
#include "temporary_folder.h"

namespace tarnwick {
namespace {

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
        for (Widget* widget : dialog.findChildren<Widget*>()) {
            if (controlIdOf(*widget) == id) {
                return *widget;
            }
        }
        throw std::runtime_error("no control " + std::to_string(id));
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
    ASSERT_EQ(rateList.count(), 5);
    EXPECT_EQ(rateList.itemText(0), "9600 bps");
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
