#include <QAbstractItemModelTester>
#include <QLineEdit>
#include <QPushButton>
#include <QTableView>
#include <QTest>

#include <gtest/gtest.h>

#include "available_items_dialog.h"
#include "new_package_dialog.h"
#include "qt_package_dialogs.h"

namespace tarnwick {
namespace {

TEST(AvailableItemsModel, ListsTheCatalogueInOrderWithLowerCaseHexadecimal) {
    AvailableItemsModel model;
    QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::Fatal);
    ASSERT_EQ(model.rowCount(), 17);
    EXPECT_EQ(model.headerData(1, Qt::Horizontal, Qt::DisplayRole).toString(), "Dst.Addr");
    EXPECT_EQ(model.index(0, 0).data().toString(), "Corvel::Bootloader");
    EXPECT_EQ(model.index(1, 2).data().toString(), "0x000f0000");
    EXPECT_EQ(model.index(9, 0).data().toString(), "Tessid::Bootloader");
    EXPECT_EQ(model.index(9, 1).data().toString(), "0xffffffff");
    EXPECT_EQ(AvailableItemsModel::typeAt(17), nullptr);
}

class AvailableItemsDialogTest : public ::testing::Test {
protected:
    QTableView& list() { return *dialog_.findChild<QTableView*>(QString::number(AvailableItemsDialog::kListId)); }
    QPushButton& add() { return *dialog_.findChild<QPushButton*>(QString::number(AvailableItemsDialog::kAddId)); }
    QPoint centreOfRow(int row) { return list().visualRect(list().model()->index(row, 0)).center(); }

    AvailableItemsDialog dialog_;
};

TEST_F(AvailableItemsDialogTest, AddIsEnabledOnlyWhileARowIsChosen) {
    dialog_.show();
    EXPECT_FALSE(add().isEnabled());
    QTest::mouseClick(list().viewport(), Qt::LeftButton, {}, centreOfRow(2));
    EXPECT_TRUE(add().isEnabled());
    EXPECT_EQ(dialog_.chosenRow(), 2);
    list().clearSelection();
    EXPECT_FALSE(add().isEnabled());
    EXPECT_EQ(dialog_.chosenRow(), -1);
    EXPECT_EQ(dialog_.chosenGuid(), ImageTypes()[2].guid);  // the last type chosen stays
}

TEST_F(AvailableItemsDialogTest, ADoubleClickAddsTheRow) {
    dialog_.show();
    QTest::mouseClick(list().viewport(), Qt::LeftButton, {}, centreOfRow(5));
    QTest::mouseDClick(list().viewport(), Qt::LeftButton, {}, centreOfRow(5));
    EXPECT_EQ(dialog_.result(), QDialog::Accepted);
    EXPECT_EQ(dialog_.chosenGuid(), ImageTypes()[5].guid);
}

TEST(NewPackageDialog, OkAcceptsEvenAnEmptyName) {
    NewPackageDialog dialog;
    dialog.show();
    auto* name = dialog.findChild<QLineEdit*>(QString::number(NewPackageDialog::kNameEditId));
    ASSERT_NE(name, nullptr);
    QTest::keyClick(name, Qt::Key_Return);
    EXPECT_EQ(dialog.result(), QDialog::Accepted);
    EXPECT_EQ(dialog.packageName(), "");
}

TEST(FileDialogFilters, ShowTheSystemsNamesOverPatternsQtCanRead) {
    EXPECT_EQ(NameFilters(kLoadPackageDialog), (QStringList{"All (*)", "Package file (*.xml) (*.xml)"}));
    EXPECT_EQ(NameFilters(kLoadFirmwareDialog),
              (QStringList{"All (*)", "ARM/FPGA Firmware (*.bin;*.rbf) (*.bin *.rbf)"}));
}

}  // namespace
}  // namespace tarnwick
