// The window's plain rules and texts: enable states, caption and About text,
// the item list and the properties of the selected item.
#include <QAbstractItemModelTester>
#include <QTableView>

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <ctime>
#include <filesystem>

#include "catalogues.h"
#include "enable_rules.h"
#include "item_list_model.h"
#include "item_properties.h"
#include "temporary_folder.h"
#include "version_record.h"

namespace tarnwick {
namespace {

const ImageType& TypeNamed(std::string_view name) {
    return *std::ranges::find(ImageTypes(), name, &ImageType::name);
}

TEST(EnableRules, EachSituationEnablesExactlyItsControls) {
    const PackageItem uc(TypeNamed("Corvel::uC"));
    Package user("Mine", "");
    user.AppendItem(uc);
    PackageItem& userItem = user.items()[0];
    Package loaded("Release", "/pkg/release.xml");
    loaded.AppendItem(uc);
    loaded.items()[0].fileName = "uc.bin";
    const PackageItem* loadedItem = &loaded.items()[0];

    // Package box, item list, property list, Delete, New, Load, Add item,
    // Del item, Detach file, Update camera, Erase, Update info, Erase && Program.
    const struct {
        const char* name;
        ControlFacts facts;
        std::string_view enabled;
    } rows[] = {
        {"no package", {0}, "0000111000000"},
        {"user package, no file", {1, &user}, "1111111000000"},
        {"user package, item", {1, &user, &userItem}, "1111111110000"},
        {"loaded package, item", {2, &loaded, loadedItem}, "1111110001000"},
        {"20 packages", {20, &loaded}, "1111000001000"},
        {"19 packages", {19, &loaded}, "1111110001000"},
        {"connected, same platform", {1, &loaded, loadedItem, true, TargetPlatform::Corvel}, "1111110001111"},
        {"connected, no file", {1, &user, &userItem, true, TargetPlatform::Corvel}, "1111111110110"},
        {"connected, other platform", {1, &loaded, loadedItem, true, TargetPlatform::Sabrel}, "1111110001000"},
        {"same platform, not connected", {1, &loaded, loadedItem, false, TargetPlatform::Corvel}, "1111110001000"},
    };
    const int ids[] = {IdPackageBox, IdItemList,     IdPropertyList, IdDeletePackage, IdNewPackage,
                       IdLoadPackage, IdAddItem,     IdDeleteItem,   IdDetachFile,    IdUpdateCamera,
                       IdErase,       IdUpdateInfo,  IdEraseAndProgram};
    for (const auto& row : rows) {
        const auto rules = enabledControls(row.facts);
        for (std::size_t index = 0; index < std::size(ids); ++index) {
            EXPECT_EQ(rules[index].id, ids[index]);
            EXPECT_EQ(rules[index].enabled, row.enabled[index] == '1') << row.name << ", control " << ids[index];
        }
    }
}

TEST(VersionRecord, CaptionAndAboutTextShowTheReleaseCandidateOnlyWhenThereIsOne) {
    const VersionRecord release{"Tarnwick", "Vornix", "Legal", {1, 5, 0, 0}};
    const VersionRecord candidate{"Tarnwick", "Vornix", "Legal", {1, 30, 1, 0}};
    EXPECT_EQ(windowCaption(candidate), "Tarnwick v1.30-rc1");
    EXPECT_EQ(aboutText(release), "Tarnwick\nv1.05\n\nLegal\nVornix\n");
    EXPECT_EQ(aboutText(VersionRecord{}), "\nv0.00\n\n\n\n") << "missing strings leave their lines empty";
}

TEST(VersionRecord, TheBuildCarriesTarnwick130Rc1FromVornix) {
    EXPECT_EQ(windowCaption(programVersion()), "Tarnwick v1.30-rc1");
    EXPECT_EQ(programVersion().companyName, "Vornix");
    EXPECT_FALSE(programVersion().legalCopyright.empty());
}

class ItemPropertiesTest : public ::testing::Test {
protected:
    ItemPropertiesTest() {
        ::setenv("TZ", "UTC", 1);
        ::tzset();
    }

    testing::TemporaryFolder folder_;
};

TEST_F(ItemPropertiesTest, AUserItemLooksItsFileUpOnDisk) {
    Package user("Lab set", "");
    PackageItem item(TypeNamed("Corvel::uC"));
    item.fileName = (folder_ / "gone.bin").string();
    item.version = 0x010A;
    EXPECT_EQ(DescribeItem(&user, &item),
              (ItemPropertyTexts{"Corvel::uC", "None", "1.10", item.fileName, {"File not found!", ""}, true}));

    const auto file = folder_.write("uc.bin", "12345");
    std::filesystem::last_write_time(
        file, std::chrono::file_clock::from_sys(std::chrono::sys_seconds{std::chrono::seconds{1159848307}}));
    EXPECT_EQ(DescribeFile(file.string(), nullptr), (FilePropertyTexts{"5 Byte(s)", "03.10.2006 - 04:05:07"}));
}

TEST_F(ItemPropertiesTest, ALoadedItemShowsItsStoredSizeAndTimeAndIsNotEditable) {
    Package loaded("Release", "/pkg/release.xml");
    PackageItem item(TypeNamed("Sabrel::FPGA"));
    item.fileName = "fpga.rbf";
    item.fileSize = 4096;
    item.fileTime = FileTime{2006, 10, 3, 9, 5, 7, 0};
    const ItemPropertyTexts texts = DescribeItem(&loaded, &item);
    EXPECT_EQ(texts.fileProperties, (FilePropertyTexts{"4096 Byte(s)", "03.10.2006 - 09:05:07"}));
    EXPECT_EQ(texts.editable, false);
    EXPECT_EQ(DescribeItem(&loaded, nullptr), ItemPropertyTexts{}) << "no item leaves the enabled flags";
    EXPECT_EQ(DescribeItem(nullptr, nullptr).editable, std::nullopt);
}

TEST(CameraTypeText, ShowsNoneForZeroAndNothingForAnIdOutsideTheCatalogue) {
    EXPECT_EQ(CameraTypeText(0), "None");
    EXPECT_EQ(CameraTypeText(14), "Sabrel3c");
    EXPECT_EQ(CameraTypeText(7), "");
}

TEST(DestinationTexts, EndAddressWrapsInThirtyTwoBitsAndAnUnknownTypeShowsNothing) {
    const PackageItem boot(TypeNamed("Tessid::Bootloader"));
    EXPECT_EQ(DescribeDestination(&boot), (DestinationTexts{"Tessid::Bootloader", "0xFFFFFFFF", "0x0000FFFE",
                                                             "0x00010000", "unknown", "unknown", "unknown"}));
    PackageItem unknown;
    unknown.typeName = "Mystery";
    EXPECT_EQ(DescribeDestination(&unknown), DestinationTexts{});
    EXPECT_EQ(DescribeDestination(nullptr), DestinationTexts{});
    EXPECT_EQ(DestinationTexts{}.checksum2, "unknown");
}

TEST(EditedVersion, ReadsDecimalPartsAfterTheFirstSeparatorAndRefusesOverflow) {
    const std::pair<const char*, std::optional<std::uint32_t>> rows[] = {
        {"1.10", 0x010A},   {"2,05", 0x0205},    {"3;1", 0x0301},   {"4:2.9", 0x0402}, {"1.02beta", 0x0102},
        {" 7.1", 0x0701},   {"258", 0x0102},     {"0x0102", 0},     {"", 0},           {"abc", 0},
        {"1.", 0x0100},     {"255.255", 0xFFFF}, {"256.0", std::nullopt}, {"1.300", std::nullopt},
        {"65536", std::nullopt},
    };
    for (const auto& [text, version] : rows) {
        EXPECT_EQ(ParseEditedVersion(text), version) << text;
    }
    PackageItem item;
    item.version = 0x0102;
    EXPECT_FALSE(SetEditedVersion(item, "1.300"));
    EXPECT_EQ(item.version, 0x0102u);
    EXPECT_TRUE(SetEditedVersion(item, "1.10"));
    EXPECT_EQ(item.version, 0x010Au);
}

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
        model_.setPackage(&package_);
    }

    QString cell(int row, int column) const { return model_.index(row, column).data().toString(); }

    Package package_{"Lab set", ""};
    ItemListModel model_;
    QAbstractItemModelTester tester_{&model_, QAbstractItemModelTester::FailureReportingMode::Fatal};
    QTableView view_;
};

TEST_F(ItemListModelTest, ShowsTheLastItemFirstAndFollowsARefresh) {
    ASSERT_EQ(model_.rowCount(), 3);
    EXPECT_EQ(model_.headerData(2, Qt::Horizontal, Qt::DisplayRole).toString(), "File");
    EXPECT_EQ(cell(0, ItemListModel::FileColumn), "P3.bin");
    EXPECT_EQ(cell(1, ItemListModel::VersionColumn), "1.09");
    EXPECT_EQ(model_.typeNameAt(2), "Corvel::Bootloader");
    EXPECT_EQ(model_.typeNameAt(3), "");

    package_.items()[2].version = 0x010A;
    package_.RemoveItem(package_.items()[0]);
    model_.refresh();
    EXPECT_EQ(model_.rowCount(), 2);
    EXPECT_EQ(cell(0, ItemListModel::VersionColumn), "1.10");
    model_.setPackage(nullptr);
    EXPECT_EQ(model_.rowCount(), 0);
}

TEST_F(ItemListModelTest, TheRowSelectedBeforeIsSelectedAgainWhileItExists) {
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
