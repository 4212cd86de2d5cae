#include "guid.h"

#include <gtest/gtest.h>

namespace tarnwick {
namespace {

constexpr std::string_view kUc = "{CFC5136C-DC35-4871-898C-0EE8AD4F20A0}";

TEST(GuidText, RoundTripsTheBraceForm) {
    const auto guid = ParseGuid(kUc);
    ASSERT_TRUE(guid);
    EXPECT_EQ(guid->data1, 0xCFC5136Cu);
    EXPECT_EQ(guid->data2, 0xDC35u);
    EXPECT_EQ(guid->data3, 0x4871u);
    EXPECT_EQ(guid->data4, (std::array<std::uint8_t, 8>{0x89, 0x8C, 0x0E, 0xE8, 0xAD, 0x4F, 0x20, 0xA0}));
    EXPECT_EQ(FormatGuid(*guid), kUc);
}

TEST(GuidText, AcceptsNoBracesLowerCaseAndSeparatorRuns) {
    EXPECT_EQ(ParseGuid("cfc5136c-dc35-4871-898c-0ee8ad4f20a0"), ParseGuid(kUc));
    EXPECT_EQ(ParseGuid("{{CFC5136C--DC35}-4871-898C-0EE8AD4F20A0"), ParseGuid(kUc));
    EXPECT_EQ(ParseGuid("{ CFC5136C- DC35-4871-898C-0EE8AD4F20A0}"), ParseGuid(kUc));
}

TEST(GuidText, RejectsWrongGroupCountsAndForeignCharacters) {
    EXPECT_FALSE(ParseGuid(""));
    EXPECT_FALSE(ParseGuid("{}"));
    EXPECT_FALSE(ParseGuid("{CFC5136C-DC35-4871-898C}"));
    EXPECT_FALSE(ParseGuid("{CFC5136C-DC35-4871-898C-0EE8AD4F20A0-1234}"));
    EXPECT_FALSE(ParseGuid("{CFCx136C-DC35-4871-898C-0EE8AD4F20A0}"));
    EXPECT_FALSE(ParseGuid("{CFC5136C-DC35-4871-898C-x0EE8AD4F20A0}"));
    EXPECT_EQ(ParseGuidOrZero("{CFCx136C-DC35-4871-898C-0EE8AD4F20A0}"), Guid{});
}

TEST(GuidText, LastGroupUsesItsLeadingDigitsAndLowSixBytes) {
    const auto trailing = ParseGuid("{CFC5136C-DC35-4871-898C-0EE8AD4F20A0zz}");
    EXPECT_EQ(trailing, ParseGuid(kUc));
    const auto wide = ParseGuid("{1-2-3-4-FFFF0EE8AD4F20A0}");
    ASSERT_TRUE(wide);
    EXPECT_EQ(FormatGuid(*wide), "{00000001-0002-0003-0004-0EE8AD4F20A0}");
}

}  // namespace
}  // namespace tarnwick
