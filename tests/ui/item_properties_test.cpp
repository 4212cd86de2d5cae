#include "item_properties.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <ctime>
#include <filesystem>

#include "catalogues.h"
#include "temporary_folder.h"

namespace tarnwick {
namespace {

using testing::TemporaryFolder;

const ImageType& TypeNamed(std::string_view name) {
    for (const ImageType& type : ImageTypes()) {
        if (type.name == name) {
            return type;
        }
    }
    throw std::invalid_argument("no such image type");
}

class ItemPropertiesTest : public ::testing::Test {
protected:
    ItemPropertiesTest() {
        ::setenv("TZ", "UTC", 1);
        ::tzset();
    }

    TemporaryFolder folder_;
    Package userPackage_{"Lab set", ""};
    Package loadedPackage_{"Release", "/pkg/release.xml"};
};

TEST_F(ItemPropertiesTest, AUserItemWithAMissingFileShowsFileNotFoundAndNoDate) {
    PackageItem item(TypeNamed("Corvel::uC"));
    item.fileName = (folder_ / "gone.bin").string();
    item.version = 0x010A;
    const ItemPropertyTexts texts = DescribeItem(&userPackage_, &item);
    EXPECT_EQ(texts, (ItemPropertyTexts{"Corvel::uC", "None", "1.10", item.fileName, {"File not found!", ""}, true}));
}

TEST_F(ItemPropertiesTest, AFileOnDiskShowsItsOwnSizeAndLocalTime) {
    const auto file = folder_.write("uc.bin", "12345");
    std::filesystem::last_write_time(
        file, std::chrono::file_clock::from_sys(std::chrono::sys_seconds{std::chrono::seconds{1159848307}}));
    EXPECT_EQ(DescribeFile(file.string(), nullptr), (FilePropertyTexts{"5 Byte(s)", "03.10.2006 - 04:05:07"}));
}

TEST_F(ItemPropertiesTest, ALoadedItemShowsItsStoredSizeAndTimeAndIsNotEditable) {
    PackageItem item(TypeNamed("Sabrel::FPGA"));
    item.fileName = "fpga.rbf";
    item.fileSize = 4096;
    item.fileTime = FileTime{2006, 10, 3, 9, 5, 7, 0};
    item.version = 0x0100;
    const ItemPropertyTexts texts = DescribeItem(&loadedPackage_, &item);
    EXPECT_EQ(texts.version, "1.00");
    EXPECT_EQ(texts.fileProperties, (FilePropertyTexts{"4096 Byte(s)", "03.10.2006 - 09:05:07"}));
    EXPECT_EQ(texts.editable, false);
}

TEST_F(ItemPropertiesTest, NoItemClearsEverythingAndLeavesTheEnabledFlags) {
    EXPECT_EQ(DescribeItem(&userPackage_, nullptr), ItemPropertyTexts{});
    EXPECT_EQ(DescribeItem(nullptr, nullptr).editable, std::nullopt);
    EXPECT_EQ(DescribeDestination(nullptr), DestinationTexts{});
    EXPECT_EQ(DestinationTexts{}.checksum2, "unknown");
}

TEST(CameraTypeText, ShowsNoneForZeroAndNothingForAnIdOutsideTheCatalogue) {
    EXPECT_EQ(CameraTypeText(0), "None");
    EXPECT_EQ(CameraTypeText(14), "Sabrel3c");
    EXPECT_EQ(CameraTypeText(7), "");
}

TEST(DestinationTexts, EndAddressWrapsInThirtyTwoBits) {
    const PackageItem boot(TypeNamed("Tessid::Bootloader"));
    EXPECT_EQ(DescribeDestination(&boot), (DestinationTexts{"Tessid::Bootloader", "0xFFFFFFFF", "0x0000FFFE",
                                                             "0x00010000", "unknown", "unknown", "unknown"}));
    const PackageItem uc(TypeNamed("Corvel::uC"));
    EXPECT_EQ(DescribeDestination(&uc).endAddress, "0x000FFFFF");
    PackageItem unknown;
    unknown.typeName = "Mystery";
    EXPECT_EQ(DescribeDestination(&unknown), DestinationTexts{});
}

struct VersionCase {
    const char* text;
    std::optional<std::uint32_t> version;
};

class EditedVersionTest : public ::testing::TestWithParam<VersionCase> {};

TEST_P(EditedVersionTest, ReadsDecimalPartsAfterTheFirstSeparator) {
    EXPECT_EQ(ParseEditedVersion(GetParam().text), GetParam().version) << GetParam().text;
}

INSTANTIATE_TEST_SUITE_P(
    Texts, EditedVersionTest,
    ::testing::Values(VersionCase{"1.10", 0x010A}, VersionCase{"2,05", 0x0205}, VersionCase{"3;1", 0x0301},
                      VersionCase{"4:2.9", 0x0402},  // the first separator counts
                      VersionCase{"1.02beta", 0x0102}, VersionCase{" 7.1", 0x0701}, VersionCase{"258", 0x0102},
                      VersionCase{"0x0102", 0}, VersionCase{"", 0}, VersionCase{"abc", 0}, VersionCase{"1.", 0x0100},
                      VersionCase{"255.255", 0xFFFF}, VersionCase{"256.0", std::nullopt},
                      VersionCase{"1.300", std::nullopt}, VersionCase{"65536", std::nullopt}));

TEST(EditedVersion, ARefusedTextLeavesTheItemAndTheStoredOneShowsAgainAsTyped) {
    PackageItem item;
    item.version = 0x0102;
    EXPECT_FALSE(SetEditedVersion(item, "1.300"));
    EXPECT_EQ(item.version, 0x0102u);
    EXPECT_TRUE(SetEditedVersion(item, "1.10"));
    EXPECT_EQ(FormatVersion(item.version), "1.10");
}

}  // namespace
}  // namespace tarnwick
