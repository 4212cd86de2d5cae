// SPDX-License-Identifier: GPL-2.0-or-later
#include "xml_document.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <tuple>

namespace tarnwick {
namespace {

TEST(XmlParseErrors, NameTheFaultAndTheElementAndLeaveNoDocument) {
    const struct {
        std::string_view text;
        std::string_view message;
    } cases[] = {
        {"<a><b></a>", "End tag does not correspond to b"},
        {"<a><b>x<b/></a>", "End tag does not correspond to b"},
        {"<a><b/>", "Element tag not found"},
        {"<a x='1>2'/>", "Element tag not found"},
        {"<a><x/>text<z y</a>", "Element tag not found"},
        {"<a", "End of tag not found"},
        {"  <   ", "Abrupt end within tag"},
        {"<'a'/>", "Tag starts with quote"},
        {"<?xml version='1.0'<a/>", "Invalid node"},
        {"<a></a", "End tag not completed for element a"},
        {"<a></>", "End tag not completed for element a"},
        {"", ""},
        {"</a><b/>", ""},
    };
    TypedXmlDocument document;
    for (const auto& row : cases) {
        ASSERT_TRUE(document.LoadText("<c><d/></c>"));
        EXPECT_FALSE(document.LoadText(row.text)) << row.text;
        EXPECT_EQ(document.LastError(), row.message) << row.text;
        EXPECT_FALSE(document.HasRoot()) << row.text;
        EXPECT_FALSE(document.FindElement()) << row.text;
    }
    ASSERT_TRUE(document.LoadText("<c/>"));
    EXPECT_EQ(document.LastError(), "");
}

TEST(XmlParseErrors, DeepNestingNeitherRecursesNorCrashes) {
    constexpr std::size_t kDepth = 1'000'000;
    std::string open;
    std::string close;
    for (std::size_t i = 0; i < kDepth; ++i) {
        open += "<a>";
        close += "</a>";
    }
    TypedXmlDocument document;
    EXPECT_FALSE(document.LoadText(open));
    EXPECT_TRUE(document.LoadText(open + close));
}

class XmlReading : public ::testing::Test {
protected:
    void Load(std::string_view text) { ASSERT_TRUE(document.LoadText(text)) << document.LastError(); }
    // The text of the next child of that name.
    std::string Text(std::string_view name) { return document.FindChild(name) ? document.ChildText() : "(none)"; }
    std::string Number(std::string_view name) {
        std::uint32_t value = 0;
        return document.FindChild(name) && document.ChildNumber(value) ? std::to_string(value) : "(none)";
    }

    TypedXmlDocument document;
};

TEST_F(XmlReading, SkipsDeclarationsCommentsAndDoctypeAndIndexesOnlyTheFirstElement) {
    Load("<?xml version='1.0'?><!-- note --><a/><b/>");
    EXPECT_FALSE(document.FindElement("b"));
    EXPECT_TRUE(document.FindElement("a"));
    EXPECT_FALSE(document.FindElement());
    Load("<!DOCTYPE a [ <!ELEMENT a (b)> <!ENTITY e 'x>y'> ]>\r\n<a><b>1</b></a>");
    EXPECT_EQ(Text("b"), "1");
}

TEST_F(XmlReading, ChildSearchMatchesWholeNamesAndGoesForwardUntilRewound) {
    Load("<r><files>2</files><fil>1</fil><file>3</file><b>4</b><file>5</file></r>");
    EXPECT_EQ(Text("file attr"), "3");
    EXPECT_EQ(Text("file"), "5");
    EXPECT_EQ(Text("file"), "(none)");
    EXPECT_EQ(document.ChildText(), "5");
    document.RewindChildren();
    EXPECT_EQ(Text("File"), "(none)");
    document.RewindChildren();
    EXPECT_EQ(Text("b"), "4");
    EXPECT_EQ(Text("fil"), "(none)");
}

TEST_F(XmlReading, EnterAndLeaveWalkTheTree) {
    Load("<r><p><q>deep</q></p><s>side</s></r>");
    ASSERT_TRUE(document.FindChild("p"));
    ASSERT_TRUE(document.EnterElement());
    EXPECT_EQ(document.ElementName(), "p");
    EXPECT_EQ(Text("q"), "deep");
    ASSERT_TRUE(document.LeaveElement());
    EXPECT_EQ(document.ElementName(), "r");
    EXPECT_EQ(document.ChildName(), "p");
    EXPECT_EQ(Text("s"), "side");
    EXPECT_FALSE(document.LeaveElement());
}

// The view points into the document unless entities had to be decoded.
TEST_F(XmlReading, TextDecodesKnownEntitiesAndTakesCdataLiterally) {
    ASSERT_TRUE(document.AdoptText("<r><v> 5 </v><e>&lt;&unknown;&amp;amp;&quot;&apos;&gt;</e>"
                                   "<d><![CDATA[a<b&amp;]]></d><w>  <![CDATA[x]]>  </w><s><![CDATA[]]></s>"
                                   "<m>t<c/>u</m><n/><t>a > b & c</t></r>"));
    const std::string_view whole = document.Text();
    std::string decoded;
    for (const auto& [name, text, viewsTheDocument] :
         {std::tuple{"v", " 5 ", true}, {"e", "<&unknown;&amp;\"'>", false}, {"d", "a<b&amp;", true},
          {"w", "x", true}, {"s", "", true}, {"m", "", true}, {"n", "", true}, {"t", "a > b & c", false}}) {
        ASSERT_TRUE(document.FindChild(name)) << name;
        const std::string_view view = document.ChildTextView(decoded);
        EXPECT_EQ(view, text) << name;
        EXPECT_EQ(document.ChildText(), text) << name;
        const bool inDocument = view.data() >= whole.data() && view.data() + view.size() <= whole.data() + whole.size();
        EXPECT_EQ(inDocument || view.empty(), viewsTheDocument) << name;
    }
}

TEST_F(XmlReading, OnlyQuotedAttributeValuesAreFound) {
    Load("<r><e k=v/><f k='v' j=\"a&amp;b\" /><g x='1' k = 'w' n='7' on='2' off=''>t</g></r>");
    const auto attribute = [&](std::string_view child, std::string_view name) {
        document.RewindChildren();
        return document.FindChild(child) ? document.ChildAttribute(name) : "(none)";
    };
    EXPECT_EQ(attribute("e", "k"), "");
    EXPECT_EQ(attribute("f", "k"), "v");
    EXPECT_EQ(attribute("f", "j"), "a&b");
    EXPECT_EQ(attribute("f", ""), "v");
    EXPECT_EQ(attribute("g", "k"), "w");
    std::uint32_t number = 0;
    bool flag = false;
    EXPECT_TRUE(document.ChildAttributeNumber("n", number) && number == 7);
    EXPECT_TRUE(document.ChildAttributeFlag("on", flag) && flag);
    EXPECT_FALSE(document.ChildAttributeFlag("off", flag));
}

TEST_F(XmlReading, NumbersSaturateAndTextIsZero) {
    Load("<r><v> 5 </v><a>4294967295</a><b>99999999999</b><c>x</c><d>-12</d><e>18000000000000000000</e><z></z></r>");
    EXPECT_EQ(Number("v"), "5");
    EXPECT_EQ(Number("a"), "4294967295");
    EXPECT_EQ(Number("b"), "4294967295");
    std::int64_t wide = 0;
    EXPECT_TRUE(document.ChildNumber64(wide) && wide == 99999999999);
    EXPECT_EQ(Number("c"), "0");
    EXPECT_TRUE(document.FindChild("d") && document.ChildNumber64(wide) && wide == -12);
    EXPECT_TRUE(document.FindChild("e") && document.ChildNumber64(wide));
    EXPECT_EQ(wide, INT64_MAX);
    EXPECT_EQ(Number("z"), "(none)");
}

using XmlWriting = XmlReading;

TEST_F(XmlWriting, BuildsADocumentByteForByte) {
    EXPECT_FALSE(document.AppendChild("c"));
    ASSERT_TRUE(document.AppendElement("config"));
    EXPECT_EQ(document.Text(), "<config/>\r\n");
    EXPECT_FALSE(document.AppendElement("second"));
    EXPECT_FALSE(document.SetChildAttribute("k", "v"));
    ASSERT_TRUE(document.AppendChildNumber("count", 4000000000u));
    ASSERT_TRUE(document.AppendChild("text", " a<b> & 'c' \"d\" "));
    ASSERT_TRUE(document.AppendChild("package"));
    ASSERT_TRUE(document.SetChildNumber("updpackage", 0));
    ASSERT_TRUE(document.EnterElement());
    ASSERT_TRUE(document.AppendChild("name", "A&B"));
    EXPECT_EQ(document.Text(),
              "<config>\r\n"
              "<count>4000000000</count>\r\n"
              "<text> a&lt;b&gt; &amp; 'c' \"d\" </text>\r\n"
              "<package updpackage=\"0\">\r\n"
              "<name>A&amp;B</name>\r\n"
              "</package>\r\n"
              "</config>\r\n");
}

}  // namespace
}  // namespace tarnwick
