#include "catalogues.h"

#include <gtest/gtest.h>

#include <cctype>
#include <set>
#include <string>
#include <vector>

#include "guid.h"

namespace tarnwick {
namespace {

TEST(ImageTypeCatalogue, SeventeenUniqueRowsBootLoadersFirstInTheirFamily) {
    const auto rows = ImageTypes();
    ASSERT_EQ(rows.size(), 17u);
    std::vector<std::size_t> bootPositions;
    std::set<std::string> guids;
    for (std::size_t i = 0; i < rows.size(); ++i) {
        const ImageType& row = rows[i];
        if (row.isBootCode) {
            bootPositions.push_back(i + 1);
            EXPECT_TRUE(row.checkBootVersion) << row.name;
        }
        guids.insert(FormatGuid(row.guid));
        const std::string_view family = row.name.substr(0, row.name.find("::"));
        EXPECT_EQ(row.platform, family == "Corvel"   ? kPlatformCorvel
                                : family == "Sabrel" ? kPlatformSabrel
                                : family == "Tessid" ? kPlatformTessid
                                                     : kPlatformWendle)
            << row.name;
        EXPECT_GT(row.regionSize, kLengthWordOffsetFromEnd) << row.name;
    }
    EXPECT_EQ(bootPositions, (std::vector<std::size_t>{1, 5, 10, 14}));
    EXPECT_EQ(guids.size(), 17u);
}

TEST(ImageTypeCatalogue, LookupNeedsEveryDigitOfTheGuid) {
    const Guid uc = *ParseGuid("{CFC5136C-DC35-4871-898C-0EE8AD4F20A0}");
    const ImageType* found = FindImageType(uc);
    ASSERT_NE(found, nullptr);
    EXPECT_EQ(found->name, "Corvel::uC");
    EXPECT_EQ(found->startAddress, 0x10000u);
    EXPECT_EQ(imageRoomInRegion(*found), 983032u);
    const std::string text = FormatGuid(uc);
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (std::isxdigit(static_cast<unsigned char>(text[i]))) {
            std::string changed = text;
            changed[i] = text[i] == '0' ? '1' : '0';
            EXPECT_EQ(FindImageType(*ParseGuid(changed)), nullptr) << changed;
        }
    }
}

TEST(CameraModelCatalogue, ThirtyNineRowsNoneFirstUniqueIds) {
    const auto rows = CameraModels();
    ASSERT_EQ(rows.size(), 39u);
    EXPECT_EQ(rows.front().name, "None");
    EXPECT_EQ(rows.front().id, kNoCameraModel);
    std::set<std::uint32_t> ids;
    for (const CameraModel& row : rows) {
        EXPECT_TRUE(ids.insert(row.id).second) << row.id;
    }
    ASSERT_NE(FindCameraModel(102), nullptr);
    EXPECT_EQ(FindCameraModel(102)->name, "Tessid1b");  // shares the name of 101
    for (std::uint32_t id : {5u, 100u, 211u}) {
        EXPECT_EQ(FindCameraModel(id), nullptr) << id;
    }
}

}  // namespace
}  // namespace tarnwick
