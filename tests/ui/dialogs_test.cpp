// The window's own dialogs and its message boxes, answered as a user would.
#include <QAbstractButton>
#include <QAbstractItemModelTester>
#include <QApplication>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QTableView>
#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>

#include "available_items_dialog.h"
#include "dialog_messages.h"
#include "new_package_dialog.h"
#include "qt_package_dialogs.h"
#include "qt_printers.h"

namespace tarnwick {
namespace {

TEST(DialogMessages, FailuresShowOnlyOkAndQuestionsAnswerWithTheButtonPressed) {
    // Notes the box that opens next and presses the button in it.
    QStringList seen;
    const auto answerNextBox = [&seen](QMessageBox::StandardButton button) {
        QTimer::singleShot(0, [&seen, button] {
            auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
            ASSERT_NE(box, nullptr);
            seen = {box->windowTitle(), box->text(), QString::number(box->icon()),
                    QString::number(box->standardButtons().toInt())};
            box->button(button)->click();
        });
    };
    DialogMessages messages;
    answerNextBox(QMessageBox::Ok);
    messages.showMessage("Can't erase sector...", "", MessageIcon::None);
    EXPECT_EQ(seen, QStringList({"", "Can't erase sector...", QString::number(QMessageBox::NoIcon),
                                 QString::number(QMessageBox::Ok)}));
    for (const auto& [pressed, answer] : {std::pair{QMessageBox::Yes, MessageAnswer::Yes},
                                          std::pair{QMessageBox::No, MessageAnswer::No}}) {
        answerNextBox(pressed);
        EXPECT_EQ(messages.ask("Save package list?", "Tarnwick", MessageIcon::Question, MessageButtons::YesNo),
                  answer);
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
    EXPECT_EQ(model.index(9, 0).data().toString(), "Tessid::Bootloader");
    EXPECT_EQ(model.index(9, 1).data().toString(), "0xffffffff");
    EXPECT_EQ(AvailableItemsModel::typeAt(17), nullptr);
}

TEST(AvailableItemsDialog, AddIsEnabledOnlyWhileARowIsChosenAndADoubleClickAddsIt) {
    AvailableItemsDialog dialog;
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

TEST(FileDialogFilters, ShowTheSystemsNamesOverPatternsQtCanRead) {
    EXPECT_EQ(NameFilters(kLoadPackageDialog), (QStringList{"All (*)", "Package file (*.xml) (*.xml)"}));
    EXPECT_EQ(NameFilters(kLoadFirmwareDialog),
              (QStringList{"All (*)", "ARM/FPGA Firmware (*.bin;*.rbf) (*.bin *.rbf)"}));
}

}  // namespace
}  // namespace tarnwick
