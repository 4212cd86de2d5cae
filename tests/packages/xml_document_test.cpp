#include "xml_document.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>

namespace tarnwick {
namespace {

// Loads the text and expects the parse to fail with exactly that message.
void ExpectParseError(std::string_view text, std::string_view message) {
    TypedXmlDocument document;
    EXPECT_FALSE(document.LoadText(text)) << text;
    EXPECT_EQ(document.LastError(), message) << text;
    EXPECT_FALSE(document.HasRoot());
    EXPECT_FALSE(document.FindChild());
    EXPECT_EQ(document.ElementName(), "");
}

TEST(XmlParseErrors, NamesTheFaultAndTheElement) {
    ExpectParseError("<a><b></a>", "End tag does not correspond to b");
    ExpectParseError("<a></b>", "End tag does not correspond to a");
    ExpectParseError("<a><b/>", "Element tag not found");
    ExpectParseError("<a>", "Element tag not found");
    ExpectParseError("<a", "End of tag not found");
    ExpectParseError("no tags at all", "Element tag not found");
    ExpectParseError("<a x='1>2'/>", "Element tag not found");
    ExpectParseError("  <   ", "Abrupt end within tag");
    ExpectParseError("<'a'/>", "Tag starts with quote");
    ExpectParseError("<?xml version='1.0'<a/>", "Invalid node");
    ExpectParseError("<!-- open <a/>", "Invalid node");
    ExpectParseError("<a><x/>text<z y</a>", "Element tag not found");
    ExpectParseError("<a><b>x<b/></a>", "End tag does not correspond to b");
    ExpectParseError("<a></a", "End tag not completed for element a");
    ExpectParseError("<a></>", "End tag not completed for element a");
}

TEST(XmlParseErrors, EmptyTextAndLeadingEndTagFailWithoutMessage) {
    ExpectParseError("", "");
    ExpectParseError("</a><b/>", "");
}

TEST(XmlParseErrors, AFailedLoadClearsThePreviousDocument) {
    TypedXmlDocument document;
    ASSERT_TRUE(document.LoadText("<a><b/></a>"));
    EXPECT_FALSE(document.LoadText("<a>"));
    EXPECT_FALSE(document.HasRoot());
    EXPECT_FALSE(document.FindElement("a"));
    ASSERT_TRUE(document.LoadText("<c/>"));
    EXPECT_EQ(document.LastError(), "");
}

TEST(XmlParseErrors, DeepNestingNeitherRecursesNorCrashes) {
    constexpr std::size_t kDepth = 1'000'000;
    std::string open;
    open.reserve(kDepth * 3);
    for (std::size_t i = 0; i < kDepth; ++i) {
        open += "<a>";
    }
    TypedXmlDocument unclosed;
    EXPECT_FALSE(unclosed.LoadText(open));
    EXPECT_EQ(unclosed.LastError(), "Element tag not found");

    std::string closed = open;
    closed.reserve(kDepth * 7);
    for (std::size_t i = 0; i < kDepth; ++i) {
        closed += "</a>";
    }
    TypedXmlDocument document;
    ASSERT_TRUE(document.LoadText(closed));
    std::size_t depth = 0;
    while (document.FindChild("a") && document.EnterElement()) {
        ++depth;
    }
    EXPECT_EQ(depth, kDepth - 1);
}

class XmlReading : public ::testing::Test {
protected:
    void Load(std::string_view text) { ASSERT_TRUE(document.LoadText(text)) << document.LastError(); }
    TypedXmlDocument document;
};

TEST_F(XmlReading, EmptyChildOfRoot) {
    Load("<a><b/></a>");
    EXPECT_TRUE(document.FindChild("b"));
    EXPECT_EQ(document.ElementName(), "a");
    EXPECT_EQ(document.ChildName(), "b");
    EXPECT_EQ(document.ChildText(), "");
}

TEST_F(XmlReading, OnlyTheFirstTopLevelElementIsIndexed) {
    Load("<a>x</a><b/>");
    EXPECT_TRUE(document.HasRoot());
    EXPECT_FALSE(document.FindElement("b"));
    EXPECT_TRUE(document.FindElement("a"));
    EXPECT_FALSE(document.FindElement());
}

TEST_F(XmlReading, SkipsDeclarationCommentAndDoctypeWithSubset) {
    Load("<?xml version='1.0'?><!-- note --><a/>");
    EXPECT_TRUE(document.FindElement("a"));
    Load("<!DOCTYPE a [ <!ELEMENT a (b)> <!ENTITY e 'x>y'> ]>\r\n<a><b>1</b></a>");
    ASSERT_TRUE(document.FindChild("b"));
    EXPECT_EQ(document.ChildText(), "1");
}

TEST_F(XmlReading, NamesMatchWholeTagNamesOnly) {
    Load("<r><files>2</files><fil>1</fil><file>3</file></r>");
    ASSERT_TRUE(document.FindChild("file"));
    EXPECT_EQ(document.ChildText(), "3");
    document.RewindChildren();
    ASSERT_TRUE(document.FindChild("file attr"));
    EXPECT_EQ(document.ChildText(), "3");
    document.RewindChildren();
    EXPECT_FALSE(document.FindChild("File"));
}

TEST_F(XmlReading, ChildSearchGoesForwardUntilRewound) {
    Load("<r><a>1</a><b>2</b><a>3</a></r>");
    ASSERT_TRUE(document.FindChild("b"));
    ASSERT_TRUE(document.FindChild("a"));
    EXPECT_EQ(document.ChildText(), "3");
    EXPECT_FALSE(document.FindChild("a"));
    EXPECT_EQ(document.ChildText(), "3");
    document.RewindChildren();
    ASSERT_TRUE(document.FindChild("a"));
    EXPECT_EQ(document.ChildText(), "1");
}

TEST_F(XmlReading, EnterAndLeaveWalkTheTree) {
    Load("<r><p><q>deep</q></p><s>side</s></r>");
    ASSERT_TRUE(document.FindChild("p"));
    ASSERT_TRUE(document.EnterElement());
    EXPECT_EQ(document.ElementName(), "p");
    ASSERT_TRUE(document.FindChild("q"));
    EXPECT_EQ(document.ChildText(), "deep");
    ASSERT_TRUE(document.LeaveElement());
    EXPECT_EQ(document.ElementName(), "r");
    EXPECT_EQ(document.ChildName(), "p");
    ASSERT_TRUE(document.FindChild("s"));
    EXPECT_EQ(document.ChildText(), "side");
    EXPECT_FALSE(document.LeaveElement());
}

TEST_F(XmlReading, EnteringWithoutAChildLeavesNoMainElement) {
    Load("<r><p/><p/></r>");
    ASSERT_TRUE(document.FindElement());
    ASSERT_TRUE(document.EnterElement());
    EXPECT_EQ(document.ElementName(), "");
    EXPECT_FALSE(document.EnterElement());
    ASSERT_TRUE(document.FindElement("p"));
    ASSERT_TRUE(document.FindElement("p"));
    EXPECT_FALSE(document.FindElement("p"));
}

TEST_F(XmlReading, TextKeepsSpacesAndDecodesKnownEntitiesOnly) {
    Load("<r><v> 5 </v><e>&lt;&unknown;&amp;amp;&quot;&apos;&gt;</e></r>");
    ASSERT_TRUE(document.FindChild("v"));
    EXPECT_EQ(document.ChildText(), " 5 ");
    std::uint32_t number = 0;
    EXPECT_TRUE(document.ChildNumber(number));
    EXPECT_EQ(number, 5u);
    ASSERT_TRUE(document.FindChild("e"));
    EXPECT_EQ(document.ChildText(), "<&unknown;&amp;\"'>");
}

TEST_F(XmlReading, CdataIsTakenLiterally) {
    Load("<r><d><![CDATA[a<b&amp;]]></d><w>  <![CDATA[x]]>  </w><s><![CDATA[]]></s></r>");
    ASSERT_TRUE(document.FindChild("d"));
    EXPECT_EQ(document.ChildText(), "a<b&amp;");
    ASSERT_TRUE(document.FindChild("w"));
    EXPECT_EQ(document.ChildText(), "x");
    ASSERT_TRUE(document.FindChild("s"));
    EXPECT_EQ(document.ChildText(), "");
}

TEST_F(XmlReading, StrayCharactersInDataAreAccepted) {
    Load("<r>a > b & c</r>");
    EXPECT_TRUE(document.FindElement());
    EXPECT_EQ(document.ElementText(), "a > b & c");
}

TEST_F(XmlReading, ElementWithChildrenHasNoText) {
    Load("<r>text<c/>more</r>");
    ASSERT_TRUE(document.FindElement());
    EXPECT_EQ(document.ElementText(), "");
}

TEST_F(XmlReading, OnlyQuotedAttributeValuesAreFound) {
    Load("<r><e k=v/><f k='v' j=\"a&amp;b\" /><g x='1' k = 'w'>t</g></r>");
    ASSERT_TRUE(document.FindChild("e"));
    EXPECT_EQ(document.ChildAttribute("k"), "");
    ASSERT_TRUE(document.FindChild("f"));
    EXPECT_EQ(document.ChildAttribute("k"), "v");
    EXPECT_EQ(document.ChildAttribute("j"), "a&b");
    EXPECT_EQ(document.ChildAttribute(""), "v");
    EXPECT_EQ(document.ChildAttribute("z"), "");
    ASSERT_TRUE(document.FindChild("g"));
    EXPECT_EQ(document.ChildAttribute("k"), "w");
    EXPECT_EQ(document.ChildAttribute("v"), "");
}

TEST_F(XmlReading, NumbersAndFlags) {
    Load("<r><a>4294967295</a><b>99999999999</b><c>x</c><d>-12</d><z></z></r>");
    std::uint32_t number = 1;
    bool flag = false;
    ASSERT_TRUE(document.FindChild("a"));
    EXPECT_TRUE(document.ChildNumber(number));
    EXPECT_EQ(number, 4294967295u);
    ASSERT_TRUE(document.FindChild("b"));
    EXPECT_TRUE(document.ChildNumber(number));
    EXPECT_EQ(number, 4294967295u);
    std::int64_t wide = 0;
    EXPECT_TRUE(document.ChildNumber64(wide));
    EXPECT_EQ(wide, 99999999999);
    ASSERT_TRUE(document.FindChild("c"));
    EXPECT_TRUE(document.ChildNumber(number));
    EXPECT_EQ(number, 0u);
    EXPECT_TRUE(document.ChildFlag(flag));
    EXPECT_FALSE(flag);
    ASSERT_TRUE(document.FindChild("d"));
    EXPECT_TRUE(document.ChildNumber64(wide));
    EXPECT_EQ(wide, -12);
    ASSERT_TRUE(document.FindChild("z"));
    EXPECT_FALSE(document.ChildNumber(number));
}

TEST_F(XmlReading, AttributeNumbersAndFlags) {
    Load("<r><p n='7' f='2' e=''/></r>");
    ASSERT_TRUE(document.FindChild("p"));
    std::uint32_t number = 0;
    bool flag = false;
    EXPECT_TRUE(document.ChildAttributeNumber("n", number));
    EXPECT_EQ(number, 7u);
    EXPECT_TRUE(document.ChildAttributeFlag("f", flag));
    EXPECT_TRUE(flag);
    EXPECT_FALSE(document.ChildAttributeFlag("e", flag));
    EXPECT_FALSE(document.ChildAttributeFlag("missing", flag));
}

class XmlWriting : public ::testing::Test {
protected:
    TypedXmlDocument document;
};

TEST_F(XmlWriting, BuildsTheConfigDocumentByteForByte) {
    ASSERT_TRUE(document.AppendElement("config"));
    ASSERT_TRUE(document.AppendChild("package"));
    ASSERT_TRUE(document.SetChildFlag("updpackage", false));
    ASSERT_TRUE(document.EnterElement());
    ASSERT_TRUE(document.AppendChild("name", "A&B"));
    EXPECT_EQ(document.Text(),
              "<config>\r\n"
              "<package updpackage=\"0\">\r\n"
              "<name>A&amp;B</name>\r\n"
              "</package>\r\n"
              "</config>\r\n");
}

TEST_F(XmlWriting, AnEmptyRootIsOneLine) {
    ASSERT_TRUE(document.AppendElement("config"));
    EXPECT_EQ(document.Text(), "<config/>\r\n");
    EXPECT_FALSE(document.AppendElement("second"));
    EXPECT_EQ(document.Text(), "<config/>\r\n");
}

TEST_F(XmlWriting, AChildOpensUpAnEmptyElement) {
    ASSERT_TRUE(document.LoadText("<p/>"));
    ASSERT_TRUE(document.FindElement("p"));
    ASSERT_TRUE(document.AppendChild("c"));
    EXPECT_EQ(document.Text(), "<p>\r\n<c/>\r\n</p>");
    ASSERT_TRUE(document.AppendChild("d", "1"));
    EXPECT_EQ(document.Text(), "<p>\r\n<c/>\r\n<d>1</d>\r\n</p>");
}

TEST_F(XmlWriting, AChildOfAnElementWithNothingInsideGoesOnItsOwnLine) {
    ASSERT_TRUE(document.LoadText("<p></p>"));
    ASSERT_TRUE(document.FindElement());
    ASSERT_TRUE(document.AppendChild("c"));
    EXPECT_EQ(document.Text(), "<p>\r\n<c/>\r\n</p>");
}

TEST_F(XmlWriting, InsertsAfterTheCurrentChildAndShiftsTheIndex) {
    ASSERT_TRUE(document.LoadText("<r>\r\n<a>1</a>\r\n<b>2</b>\r\n</r>\r\n"));
    ASSERT_TRUE(document.FindChild("a"));
    ASSERT_TRUE(document.AppendChild("m", "x<y"));
    EXPECT_EQ(document.Text(), "<r>\r\n<a>1</a>\r\n<m>x&lt;y</m>\r\n<b>2</b>\r\n</r>\r\n");
    EXPECT_EQ(document.ChildText(), "x<y");
    ASSERT_TRUE(document.FindChild("b"));
    EXPECT_EQ(document.ChildText(), "2");
    ASSERT_TRUE(document.AppendChild("z"));
    EXPECT_EQ(document.Text(), "<r>\r\n<a>1</a>\r\n<m>x&lt;y</m>\r\n<b>2</b>\r\n<z/>\r\n</r>\r\n");
}

TEST_F(XmlWriting, AppendElementAddsASiblingOfTheMainElement) {
    ASSERT_TRUE(document.LoadText("<r><a/></r>"));
    ASSERT_TRUE(document.FindChild("a"));
    ASSERT_TRUE(document.EnterElement());
    EXPECT_EQ(document.ElementName(), "a");
    ASSERT_TRUE(document.AppendElement("b", "2"));
    EXPECT_EQ(document.ElementName(), "b");
    EXPECT_EQ(document.ElementText(), "2");
    EXPECT_EQ(document.Text(), "<r><a/><b>2</b>\r\n</r>");
}

TEST_F(XmlWriting, RefusedPositionsChangeNothing) {
    EXPECT_FALSE(document.AppendChild("c"));
    EXPECT_FALSE(document.SetElementAttribute("k", "v"));
    EXPECT_FALSE(document.SetChildAttribute("k", "v"));
    EXPECT_EQ(document.Text(), "");
    ASSERT_TRUE(document.AppendElement("r"));
    EXPECT_FALSE(document.SetChildAttribute("k", "v"));
    EXPECT_EQ(document.Text(), "<r/>\r\n");
}

TEST_F(XmlWriting, AttributesAreAddedThenReplaced) {
    ASSERT_TRUE(document.LoadText("<r><e/><f k='old'>t</f></r>"));
    ASSERT_TRUE(document.FindChild("e"));
    ASSERT_TRUE(document.SetChildAttribute("k", "a\"'<&>"));
    EXPECT_EQ(document.Text(), "<r><e k=\"a&quot;&apos;&lt;&amp;&gt;\"/><f k='old'>t</f></r>");
    EXPECT_EQ(document.ChildAttribute("k"), "a\"'<&>");
    ASSERT_TRUE(document.FindChild("f"));
    ASSERT_TRUE(document.SetChildNumber("k", 42));
    ASSERT_TRUE(document.SetChildFlag("on", true));
    EXPECT_EQ(document.Text(), "<r><e k=\"a&quot;&apos;&lt;&amp;&gt;\"/><f k='42' on=\"1\">t</f></r>");
    EXPECT_EQ(document.ChildText(), "t");
    ASSERT_TRUE(document.SetElementNumber("n", 3));
    EXPECT_EQ(document.ElementAttribute("n"), "3");
}

TEST_F(XmlWriting, ABuiltDocumentParsesBackToTheSameValues) {
    ASSERT_TRUE(document.AppendElement("config"));
    ASSERT_TRUE(document.SetElementFlag("on", true));
    ASSERT_TRUE(document.AppendChildNumber("count", 4000000000u));
    ASSERT_TRUE(document.AppendChildNumber64("big", 18000000000000000000u));
    ASSERT_TRUE(document.AppendChildFlag("flag", true));
    ASSERT_TRUE(document.AppendChild("text", " a<b> & 'c' \"d\" "));
    ASSERT_TRUE(document.AppendChild("list"));
    ASSERT_TRUE(document.SetChildAttribute("kind", "x&y"));
    ASSERT_TRUE(document.EnterElement());
    ASSERT_TRUE(document.AppendChild("item", "1"));
    ASSERT_TRUE(document.AppendChild("item", "2"));

    TypedXmlDocument parsed;
    ASSERT_TRUE(parsed.LoadText(document.Text())) << parsed.LastError();
    ASSERT_TRUE(parsed.FindElement("config"));
    EXPECT_EQ(parsed.ElementAttribute("on"), "1");
    std::uint32_t number = 0;
    ASSERT_TRUE(parsed.FindChild("count"));
    EXPECT_TRUE(parsed.ChildNumber(number));
    EXPECT_EQ(number, 4000000000u);
    std::int64_t wide = 0;
    ASSERT_TRUE(parsed.FindChild("big"));
    EXPECT_TRUE(parsed.ChildNumber64(wide));
    EXPECT_EQ(wide, INT64_MAX);  // beyond the signed reader's range
    bool flag = false;
    ASSERT_TRUE(parsed.FindChild("flag"));
    EXPECT_TRUE(parsed.ChildFlag(flag));
    EXPECT_TRUE(flag);
    ASSERT_TRUE(parsed.FindChild("text"));
    EXPECT_EQ(parsed.ChildText(), " a<b> & 'c' \"d\" ");
    ASSERT_TRUE(parsed.FindChild("list"));
    EXPECT_EQ(parsed.ChildAttribute("kind"), "x&y");
    ASSERT_TRUE(parsed.EnterElement());
    ASSERT_TRUE(parsed.FindChild("item"));
    EXPECT_EQ(parsed.ChildText(), "1");
    ASSERT_TRUE(parsed.FindChild("item"));
    EXPECT_EQ(parsed.ChildText(), "2");
    EXPECT_FALSE(parsed.FindChild("item"));
}

TEST(XmlErrorTexts, AreTheSystemsOwn) {
    EXPECT_EQ(kXmlParseErrors.size(), 9u);
    EXPECT_EQ(kXmlParseErrors[5], "End tag of %s element not found");
    EXPECT_EQ(kXmlParseErrors[8], "End tag not completed for element %s");
}

}  // namespace
}  // namespace tarnwick
