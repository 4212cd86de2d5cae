// SPDX-License-Identifier: GPL-2.0-or-later
#include "package_model.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <ctime>

#include "catalogues.h"
#include "package_test_support.h"

namespace tarnwick {
namespace {

using namespace tarnwick::testing;

PackageItem ItemOf(std::string_view guid, std::vector<std::uint8_t> data = {}) {
    PackageItem item = ItemOfType(guid);
    item.setData(std::move(data));
    return item;
}

class PackageTest : public ::testing::Test {
protected:
    Package package_{"Corvel 2.01", ""};
};

TEST(VersionFormat, ShowsMajorAndTwoDigitMinor) {
    EXPECT_EQ(FormatVersion(0x0102), "1.02");
    EXPECT_EQ(FormatVersion(0x010A), "1.10");
    EXPECT_EQ(VersionOnBootScale(0x010A), 110u);
}

TEST(FileTime, ShowsTwoDigitFieldsAndConvertsSecondsInLocalTimeWithinItsRange) {
    ::setenv("TZ", "UTC", 1);
    ::tzset();
    EXPECT_EQ(FormatFileTime(FileTime{2006, 10, 3, 9, 5, 7, 0}), "03.10.2006 - 09:05:07");
    EXPECT_EQ(FormatFileTime(FileTime{}), "01.01.1970 - 00:00:00");  // no time shows as the epoch
    EXPECT_EQ(LocalFileTime(86400 + 3661), (FileTime{1970, 1, 2, 1, 1, 1, 0}));
    EXPECT_EQ(LocalFileTime(-1), FileTime{});
    EXPECT_EQ(LocalFileTime(32535216000), FileTime{});
}

TEST_F(PackageTest, LookupsIgnoreCaseAndFindTheFirstOfARepeatedType) {
    package_.AddItem(ItemOf(kBootGuid));
    package_.AddItem(ItemOf(kFpgaGuid));
    ASSERT_NE(package_.FindItemByTypeName("corvel::fpga"), nullptr);
    EXPECT_EQ(package_.FindItemByTypeName("CORVEL::FPGA")->typeName, "Corvel::FPGA");
    EXPECT_EQ(package_.FindItemByTypeName("Corvel::FPGA "), nullptr);
    EXPECT_EQ(package_.FindItemByTypeName("Corvel::uC"), nullptr);
    EXPECT_EQ(package_.FindItemByGuid(ParseGuidOrZero(kUcGuid)), nullptr);

    PackageItem first = ItemOf(kUcGuid);
    first.fileName = "first.bin";
    package_.AppendItem(first);
    package_.AppendItem(ItemOf(kUcGuid));
    ASSERT_EQ(package_.itemCount(), 4u);
    EXPECT_EQ(package_.FindItemByGuid(first.typeGuid)->fileName, "first.bin");
}

TEST(DuplicateImageType, IsTheFirstItemsTypeThatALaterItemRepeats) {
    const struct {
        std::vector<std::string_view> types;
        const char* duplicate;
    } rows[] = {
        {{kUcGuid, kFpgaGuid, kBootGuid}, nullptr},
        {{kFpgaGuid, kBootGuid, kUcGuid, kBootGuid, kFpgaGuid}, "Corvel::FPGA"},
        {{kBootGuid, kUcGuid, kFpgaGuid, kUcGuid}, "Corvel::uC"},
    };
    for (const auto& row : rows) {
        Package package("p", "p.xml");
        for (const std::string_view guid : row.types) {
            package.AppendItem(ItemOf(guid));
        }
        const ImageType* found = findDuplicateImageType(package);
        EXPECT_EQ(found == nullptr ? "none" : found->name, row.duplicate == nullptr ? "none" : row.duplicate)
            << ::testing::PrintToString(row.types);
    }
}

TEST_F(PackageTest, AddRefusesASecondItemOfATypeRemoveMatchesByTypeAndReleasingDataTwiceIsHarmless) {
    ASSERT_TRUE(package_.AddItem(ItemOf(kUcGuid, {9, 8, 7})));
    EXPECT_FALSE(package_.AddItem(ItemOf(kUcGuid)));
    ASSERT_EQ(package_.itemCount(), 1u);
    EXPECT_EQ(package_.items()[0].dataLength(), 3u);
    ASSERT_TRUE(package_.AddItem(ItemOf(kFpgaGuid, {3})));
    ASSERT_TRUE(package_.AddItem(ItemOf(kBootGuid, {1, 2})));
    EXPECT_TRUE(package_.RemoveItem(ItemOf(kUcGuid)));
    ASSERT_EQ(package_.itemCount(), 2u);
    EXPECT_EQ(package_.items()[0].typeName, "Corvel::FPGA");
    EXPECT_FALSE(package_.RemoveItem(ItemOf(kUcGuid)));

    package_.ReleaseAllData();
    package_.ReleaseAllData();
    for (const PackageItem& item : package_.items()) {
        EXPECT_FALSE(item.hasData());
        EXPECT_EQ(item.dataLength(), 0u);
    }
}

}  // namespace
}  // namespace tarnwick
