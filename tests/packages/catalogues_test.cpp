// SPDX-License-Identifier: GPL-2.0-or-later
#include "catalogues.h"

#include <gtest/gtest.h>

#include <cctype>
#include <set>
#include <string>
#include <tuple>
#include <vector>

#include "guid.h"

namespace tarnwick {
namespace {

constexpr std::string_view kUc = "{CFC5136C-DC35-4871-898C-0EE8AD4F20A0}";

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
    }
    EXPECT_EQ(bootPositions, (std::vector<std::size_t>{1, 5, 10, 14}));
    EXPECT_EQ(guids.size(), 17u);
}

TEST(ImageTypeCatalogue, LookupNeedsEveryDigitOfTheGuid) {
    const Guid uc = *ParseGuid(kUc);
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
    EXPECT_EQ(std::tie(rows.front().name, rows.front().id), std::tuple("None", kNoCameraModel));
    std::set<std::uint32_t> ids;
    for (const CameraModel& row : rows) {
        ids.insert(row.id);
    }
    EXPECT_EQ(ids.size(), 39u);
    ASSERT_NE(FindCameraModel(102), nullptr);
    EXPECT_EQ(FindCameraModel(102)->name, "Tessid1b");  // shares the name of 101
    for (std::uint32_t id : {5u, 100u, 211u}) {
        EXPECT_EQ(FindCameraModel(id), nullptr) << id;
    }
}

TEST(GuidText, RoundTripsTheBraceFormFieldByField) {
    const auto guid = ParseGuid(kUc);
    ASSERT_TRUE(guid);
    EXPECT_EQ(guid->data1, 0xCFC5136Cu);
    EXPECT_EQ(guid->data4[7], 0xA0);
    EXPECT_EQ(FormatGuid(*guid), kUc);
    const auto wide = ParseGuid("{1-2-3-4-FFFF0EE8AD4F20A0}");
    ASSERT_TRUE(wide);
    EXPECT_EQ(FormatGuid(*wide), "{00000001-0002-0003-0004-0EE8AD4F20A0}");
}

TEST(GuidText, AcceptsOtherSpellingsOfTheSameIdentifier) {
    for (std::string_view text : {"cfc5136c-dc35-4871-898c-0ee8ad4f20a0", "{{CFC5136C--DC35}-4871-898C-0EE8AD4F20A0",
                                  "{ CFC5136C- DC35-4871-898C-0EE8AD4F20A0}",
                                  "{CFC5136C-DC35-4871-898C-0EE8AD4F20A0zz}"}) {
        EXPECT_EQ(ParseGuid(text), ParseGuid(kUc)) << text;
    }
}

TEST(GuidText, RejectsWrongGroupCountsAndForeignCharacters) {
    for (std::string_view text : {"", "{}", "{CFC5136C-DC35-4871-898C}", "{CFC5136C-DC35-4871-898C-0EE8AD4F20A0-1234}",
                                  "{CFCx136C-DC35-4871-898C-0EE8AD4F20A0}", "{CFC5136C-DC35-4871-898C-x0EE8AD4F20A0}"}) {
        EXPECT_FALSE(ParseGuid(text)) << text;
        EXPECT_EQ(ParseGuidOrZero(text), Guid{}) << text;
    }
}

}  // namespace
}  // namespace tarnwick
