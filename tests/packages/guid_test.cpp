#include "guid.h"

#include <gtest/gtest.h>

namespace tarnwick {
namespace {

constexpr std::string_view kUc = "{CFC5136C-DC35-4871-898C-0EE8AD4F20A0}";

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
