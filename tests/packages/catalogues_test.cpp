#include "catalogues.h"

#include <gtest/gtest.h>

#include <set>
#include <string>
#include <vector>

#include "guid.h"

namespace tarnwick {
namespace {

std::vector<const ImageType*> AllImageTypes() {
    std::vector<const ImageType*> rows;
    std::size_t cursor = 0;
    while (const ImageType* row = NextImageType(cursor)) {
        rows.push_back(row);
    }
    return rows;
}

std::vector<const CameraModel*> AllCameraModels() {
    std::vector<const CameraModel*> rows;
    std::size_t cursor = 0;
    while (const CameraModel* row = NextCameraModel(cursor)) {
        rows.push_back(row);
    }
    return rows;
}

TEST(ImageTypeCatalogue, YieldsSeventeenRowsWithBootLoadersFirstPerFamily) {
    const auto rows = AllImageTypes();
    ASSERT_EQ(rows.size(), 17u);
    std::vector<std::size_t> bootPositions;
    for (std::size_t i = 0; i < rows.size(); ++i) {
        if (rows[i]->isBootCode) {
            bootPositions.push_back(i + 1);
            EXPECT_TRUE(rows[i]->checkBootVersion) << rows[i]->name;
        }
    }
    EXPECT_EQ(bootPositions, (std::vector<std::size_t>{1, 5, 10, 14}));
    std::size_t cursor = rows.size();
    EXPECT_EQ(NextImageType(cursor), nullptr);
}

TEST(ImageTypeCatalogue, GuidsAndNamesAreUniqueAndNamesCarryTheirFamily) {
    std::set<std::string> guids;
    std::set<std::string_view> names;
    for (const ImageType& row : ImageTypes()) {
        guids.insert(FormatGuid(row.guid));
        names.insert(row.name);
        EXPECT_EQ(row.minBootVersion, 0u);
        const std::string_view family = row.name.substr(0, row.name.find("::"));
        const std::uint32_t expected = family == "Corvel"   ? kPlatformCorvel
                                       : family == "Sabrel" ? kPlatformSabrel
                                       : family == "Tessid" ? kPlatformTessid
                                                            : kPlatformWendle;
        EXPECT_EQ(row.platform, expected) << row.name;
    }
    EXPECT_EQ(guids.size(), 17u);
    EXPECT_EQ(names.size(), 17u);
}

TEST(ImageTypeCatalogue, RowsKeepTheirRegionsAndIdentifiers) {
    const ImageType* uc = FindImageType(*ParseGuid("{CFC5136C-DC35-4871-898C-0EE8AD4F20A0}"));
    ASSERT_NE(uc, nullptr);
    EXPECT_EQ(uc->name, "Corvel::uC");
    EXPECT_EQ(uc->startAddress, 0x10000u);
    EXPECT_EQ(uc->regionSize, 983040u);
    EXPECT_TRUE(uc->sectorCrc);

    const ImageType* personalization = FindImageType(*ParseGuid("{AAA38FA1-61CF-4C08-9121-2499550D533C}"));
    ASSERT_NE(personalization, nullptr);
    EXPECT_EQ(personalization->startAddress, 0xE000u);
    EXPECT_EQ(personalization->regionSize, 0x2000u);
    EXPECT_FALSE(personalization->sectorCrc);

    const ImageType* wendleFpga = FindImageType(*ParseGuid("{EE34B634-9022-486B-8401-781D4F1507BF}"));
    ASSERT_NE(wendleFpga, nullptr);
    EXPECT_EQ(wendleFpga->startAddress, kNoFixedAddress);
    EXPECT_EQ(FormatGuid(ImageTypes()[3].guid), "{122C8D59-C554-47BD-A187-43CF6B5D1C0B}");
    EXPECT_EQ(ImageTypes()[3].regionSize, 0x400000u);
}

TEST(ImageTypeCatalogue, GuidDifferingInAnyByteFindsNothing) {
    const Guid known = ImageTypes()[0].guid;
    ASSERT_EQ(FindImageType(known), &ImageTypes()[0]);
    for (int field = 0; field < 11; ++field) {
        Guid changed = known;
        if (field == 0) {
            changed.data1 ^= 0x01000000;
        } else if (field == 1) {
            changed.data2 ^= 1;
        } else if (field == 2) {
            changed.data3 ^= 0x100;
        } else {
            changed.data4[static_cast<std::size_t>(field - 3)] ^= 0x80;
        }
        EXPECT_EQ(FindImageType(changed), nullptr) << "field " << field;
    }
    EXPECT_EQ(FindImageType(Guid{}), nullptr);
}

TEST(CameraModelCatalogue, YieldsThirtyNineRowsNoneFirst) {
    const auto rows = AllCameraModels();
    ASSERT_EQ(rows.size(), 39u);
    EXPECT_EQ(rows.front()->name, "None");
    EXPECT_EQ(rows.front()->id, 0u);
    EXPECT_EQ(rows.back()->name, "Wendle5c");
    EXPECT_EQ(rows.back()->id, 210u);
}

TEST(CameraModelCatalogue, IdsAreUniqueAndLieInTheirFamilyBlocks) {
    std::set<std::uint32_t> ids;
    for (const CameraModel& row : CameraModels()) {
        EXPECT_TRUE(ids.insert(row.id).second) << row.id;
        const bool inBlock = row.id == 0 || (row.id >= 1 && row.id <= 4) || (row.id >= 9 && row.id <= 18) ||
                             (row.id >= 101 && row.id <= 114) || (row.id >= 201 && row.id <= 210);
        EXPECT_TRUE(inBlock) << row.name << " " << row.id;
    }
}

TEST(CameraModelCatalogue, LookupByIdFindsTheSharedNameAndNothingOutsideTheBlocks) {
    ASSERT_NE(FindCameraModel(101), nullptr);
    ASSERT_NE(FindCameraModel(102), nullptr);
    EXPECT_EQ(FindCameraModel(101)->name, "Tessid1b");
    EXPECT_EQ(FindCameraModel(102)->name, "Tessid1b");
    EXPECT_EQ(FindCameraModel(113)->name, "Tessid4bm");
    EXPECT_EQ(FindCameraModel(5), nullptr);
    EXPECT_EQ(FindCameraModel(100), nullptr);
    EXPECT_EQ(FindCameraModel(211), nullptr);
}

}  // namespace
}  // namespace tarnwick
