#include "package_model.h"

#include <gtest/gtest.h>

#include "catalogues.h"

namespace tarnwick {
namespace {

const ImageType& TypeNamed(std::string_view name) {
    for (const ImageType& row : ImageTypes()) {
        if (row.name == name) {
            return row;
        }
    }
    throw std::logic_error("no such image type");
}

class PackageTest : public ::testing::Test {
protected:
    PackageItem ItemOf(std::string_view typeName, std::vector<std::uint8_t> data = {}) {
        PackageItem item(TypeNamed(typeName));
        item.setData(std::move(data));
        return item;
    }

    Package package_{"Corvel 2.01", ""};
};

TEST(VersionFormat, ShowsMajorAndTwoDigitMinor) {
    EXPECT_EQ(FormatVersion(0x0102), "1.02");
    EXPECT_EQ(FormatVersion(0x010A), "1.10");
    EXPECT_EQ(FormatVersion(513), "2.01");
    EXPECT_EQ(FormatVersion(0), "0.00");
    EXPECT_EQ(MakeVersion(2, 1), 513u);
    EXPECT_EQ(VersionOnBootScale(0x0102), 102u);
    EXPECT_EQ(VersionOnBootScale(0x010A), 110u);
}

TEST(PackageItemModel, NewItemOfATypeCarriesOnlyTheTypeFields) {
    const PackageItem item(TypeNamed("Sabrel::FPGA"));
    EXPECT_EQ(item.typeName, "Sabrel::FPGA");
    EXPECT_EQ(item.platform, kPlatformSabrel);
    EXPECT_EQ(item.typeGuid, TypeNamed("Sabrel::FPGA").guid);
    EXPECT_TRUE(item.fileName.empty());
    EXPECT_EQ(item.version, 0u);
    EXPECT_EQ(item.fileTime, FileTime{});
    EXPECT_FALSE(item.hasData());
    EXPECT_EQ(item.dataLength(), 0u);
}

TEST_F(PackageTest, SecondItemOfATypeIsRefusedAndChangesNothing) {
    ASSERT_TRUE(package_.AddItem(ItemOf("Corvel::uC", {1, 2, 3})));
    PackageItem second = ItemOf("Corvel::uC");
    second.fileName = "other.bin";
    EXPECT_FALSE(package_.AddItem(second));
    ASSERT_EQ(package_.itemCount(), 1u);
    EXPECT_TRUE(package_.items()[0].fileName.empty());
    EXPECT_EQ(package_.items()[0].dataLength(), 3u);
    EXPECT_TRUE(package_.AddItem(ItemOf("Corvel::FPGA")));
    EXPECT_EQ(package_.itemCount(), 2u);
}

TEST_F(PackageTest, AppendItemKeepsARepeatedTypeAndLookupsFindTheFirst) {
    PackageItem first = ItemOf("Corvel::uC");
    first.fileName = "first.bin";
    PackageItem second = ItemOf("Corvel::uC");
    second.fileName = "second.bin";
    package_.AppendItem(first);
    package_.AppendItem(second);
    ASSERT_EQ(package_.itemCount(), 2u);
    EXPECT_EQ(package_.FindItemByGuid(first.typeGuid)->fileName, "first.bin");
}

TEST_F(PackageTest, FindByTypeNameIgnoresCase) {
    package_.AddItem(ItemOf("Corvel::Bootloader"));
    package_.AddItem(ItemOf("Corvel::FPGA"));
    ASSERT_NE(package_.FindItemByTypeName("corvel::fpga"), nullptr);
    EXPECT_EQ(package_.FindItemByTypeName("CORVEL::FPGA")->typeName, "Corvel::FPGA");
    EXPECT_EQ(package_.FindItemByTypeName("Corvel::uC"), nullptr);
    EXPECT_EQ(package_.FindItemByGuid(TypeNamed("Sabrel::FPGA").guid), nullptr);
}

TEST_F(PackageTest, CursorWalksItemsInInsertionOrderAndRestarts) {
    package_.AddItem(ItemOf("Corvel::FPGA"));
    package_.AddItem(ItemOf("Corvel::Bootloader"));
    ASSERT_NE(package_.FirstItem(), nullptr);
    EXPECT_EQ(package_.NextItem()->typeName, "Corvel::Bootloader");
    EXPECT_EQ(package_.NextItem(), nullptr);
    EXPECT_EQ(package_.NextItem(), nullptr);
    EXPECT_EQ(package_.FirstItem()->typeName, "Corvel::FPGA");
    Package empty("empty", "");
    EXPECT_EQ(empty.FirstItem(), nullptr);
}

TEST_F(PackageTest, RemoveItemMatchesByTypeOnly) {
    package_.AddItem(ItemOf("Corvel::uC", {9}));
    package_.AddItem(ItemOf("Corvel::FPGA"));
    EXPECT_TRUE(package_.RemoveItem(ItemOf("Corvel::uC")));
    ASSERT_EQ(package_.itemCount(), 1u);
    EXPECT_EQ(package_.items()[0].typeName, "Corvel::FPGA");
    EXPECT_FALSE(package_.RemoveItem(ItemOf("Corvel::uC")));
    package_.ClearItems();
    EXPECT_EQ(package_.itemCount(), 0u);
}

TEST_F(PackageTest, ReleasingAllDataTwiceIsHarmless) {
    package_.AddItem(ItemOf("Corvel::uC", {1, 2}));
    package_.AddItem(ItemOf("Corvel::FPGA", {3}));
    package_.ReleaseAllData();
    for (const PackageItem& item : package_.items()) {
        EXPECT_FALSE(item.hasData());
        EXPECT_EQ(item.dataLength(), 0u);
        EXPECT_EQ(item.typeName.empty(), false);
    }
    package_.ReleaseAllData();
    EXPECT_EQ(package_.itemCount(), 2u);
}

TEST(PackageKind, PathDecidesWhereDataComesFrom) {
    EXPECT_TRUE(Package("mine", "").isUserBuilt());
    const Package read("read", "/tmp/p.xml");
    EXPECT_FALSE(read.isUserBuilt());
    EXPECT_EQ(read.path(), "/tmp/p.xml");
    EXPECT_EQ(read.name(), "read");
}

TEST(NameComparison, IgnoresAsciiCaseOnly) {
    EXPECT_TRUE(SameNameIgnoringCase("Corvel uC", "CORVEL UC"));
    EXPECT_FALSE(SameNameIgnoringCase("Corvel", "Corvel "));
    EXPECT_TRUE(SameNameIgnoringCase("", ""));
}

TEST(FileTimeFormat, ShowsDayMonthYearAndTimeWithTwoDigitFields) {
    const FileTime time{2006, 10, 4, 3, 9, 5, 7, 0};
    EXPECT_EQ(FormatFileTime(time), "03.10.2006 - 09:05:07");
}

TEST(FileTimeFormat, NoTimeShowsTheEpochInLocalTime) {
    setenv("TZ", "UTC", 1);
    tzset();
    EXPECT_EQ(FormatFileTime(FileTime{}), "01.01.1970 - 00:00:00");
}

}  // namespace
}  // namespace tarnwick
