#include "item_list_model.h"

#include <QAbstractItemModelTester>
#include <QTableView>

#include <gtest/gtest.h>

#include "catalogues.h"

namespace tarnwick {
namespace {

class ItemListModelTest : public ::testing::Test {
protected:
    ItemListModelTest() {
        for (std::size_t row = 0; row < 3; ++row) {
            PackageItem item(ImageTypes()[row]);
            item.version = 0x0100 + static_cast<std::uint32_t>(row) * 9;
            item.fileName = "P" + std::to_string(row + 1) + ".bin";
            package_.AddItem(item);
        }
        view_.setModel(&model_);
    }

    QString cell(int row, int column) const { return model_.index(row, column).data().toString(); }

    Package package_{"Lab set", ""};
    ItemListModel model_;
    QAbstractItemModelTester tester_{&model_, QAbstractItemModelTester::FailureReportingMode::Fatal};
    QTableView view_;
};

TEST_F(ItemListModelTest, ShowsTheLastItemFirstWithItsVersionAndFile) {
    model_.setPackage(&package_);
    ASSERT_EQ(model_.rowCount(), 3);
    EXPECT_EQ(model_.headerData(2, Qt::Horizontal, Qt::DisplayRole).toString(), "File");
    EXPECT_EQ(cell(0, ItemListModel::FileColumn), "P3.bin");
    EXPECT_EQ(cell(2, ItemListModel::FileColumn), "P1.bin");
    EXPECT_EQ(cell(0, ItemListModel::NameColumn), "Corvel::FPGA");
    EXPECT_EQ(cell(0, ItemListModel::VersionColumn), "1.18");
    EXPECT_EQ(cell(1, ItemListModel::VersionColumn), "1.09");
    EXPECT_EQ(model_.typeNameAt(2), "Corvel::Bootloader");
    EXPECT_EQ(model_.typeNameAt(3), "");
}

TEST_F(ItemListModelTest, AChangedPackageShowsAfterARefreshAndNoPackageShowsNoRows) {
    model_.setPackage(&package_);
    package_.items()[2].version = 0x010A;
    package_.RemoveItem(package_.items()[0]);
    model_.refresh();
    EXPECT_EQ(model_.rowCount(), 2);
    EXPECT_EQ(cell(0, ItemListModel::VersionColumn), "1.10");
    model_.setPackage(nullptr);
    EXPECT_EQ(model_.rowCount(), 0);
}

TEST_F(ItemListModelTest, TheRowSelectedBeforeIsSelectedAgainWhileItExists) {
    model_.setPackage(&package_);
    EXPECT_EQ(ReselectRow(view_, 1), 1);
    EXPECT_EQ(view_.selectionModel()->selectedRows(), QModelIndexList{model_.index(1, 0)});
    EXPECT_EQ(view_.currentIndex().row(), 1);
    package_.RemoveItem(package_.items()[0]);
    package_.RemoveItem(package_.items()[0]);
    model_.refresh();
    EXPECT_EQ(ReselectRow(view_, 1), -1);
    EXPECT_FALSE(view_.selectionModel()->hasSelection());
    EXPECT_EQ(ReselectRow(view_, -1), -1);
}

}  // namespace
}  // namespace tarnwick
