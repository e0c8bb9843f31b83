// Documents as other programs write them: comments holding markup, CDATA, mixed content, either quote,
// white space inside tags, character references above 127, and a writer whose output every XML reader
// reads back to the same content.

#include "kel_test.h"
#include "xml_content.h"

#include <kel/xml.h>

#include <string>

using namespace Kel;

namespace {

std::string kinds(const XMLNode& node) {
    std::string text;
    for (const XMLNode* c = node.nextChild(nullptr); c; c = node.nextChild(c)) {
        if (c->type() == XMLNode::Text) {
            text += "'" + std::string(c->value()) + "'";
        } else if (c->type() == XMLNode::Comment) {
            text += "#";
        } else {
            text += "<" + std::string(c->name()) + ">";
        }
    }
    return text;
}

// Reads text, writes it, reads the output: the content must stay, and the output must read back to itself.
std::string roundTrip(const char* text) {
    XMLDoc doc(text);
    const String written = doc.stream();
    XMLDoc again(static_cast<const char*>(written));
    EXPECT_EQ(kel_test::contentOf(again.rootNode()), kel_test::contentOf(doc.rootNode())) << written;
    EXPECT_STREQ(again.stream(), written);
    return std::string(written);
}

} // namespace

TEST(XMLInterop, CommentsStayCommentsWhateverTheyHold) {
    XMLDoc doc(
        "<settings>\n  <!--\n  <profile>\n    <id>jdk</id>\n  </profile>\n  -->\n  <offline>true</offline>\n"
        "<!--x--><!--a <b/> c--></settings>");
    EXPECT_EQ(kinds(*doc.rootNode()), "#<offline>##");
    EXPECT_STREQ(doc.rootNode()->nextChild(nullptr)->value(),
                 "<!--\n  <profile>\n    <id>jdk</id>\n  </profile>\n  -->");
    EXPECT_EQ(roundTrip("<r><!--a <b/> c--><!-- <x y=\"1\"> --></r>"),
              "<r>\n\t<!--a <b/> c-->\n\t<!-- <x y=\"1\"> -->\n</r>\n");
}

TEST(XMLInterop, CdataIsText) {
    XMLDoc doc("<a><![CDATA[x < y && z]]></a>");
    EXPECT_STREQ(doc.rootNode()->value(), "x < y && z");
    XMLDoc joined("<a>one &amp; <![CDATA[<two>]]> three</a>");
    EXPECT_STREQ(joined.rootNode()->value(), "one & <two> three");
    EXPECT_EQ(roundTrip("<a><![CDATA[]]>]]&gt;<![CDATA[&amp;]]></a>"), "<a>]]&gt;&amp;amp;</a>\n");
    // Unterminated: the document ends there, as for a comment without "-->".
    EXPECT_EQ(XMLDoc("<a><![CDATA[x</a>").rootNode(), nullptr);
}

TEST(XMLInterop, MixedContentKeepsEveryRunInOrder) {
    XMLDoc doc("<a>x <b>y</b> tail</a>");
    EXPECT_EQ(kinds(*doc.rootNode()), "'x '<b>' tail'");
    EXPECT_TRUE(doc.rootNode()->value().isNull());
    // Blank runs are kept once the content shows itself mixed, also those before the first text.
    XMLDoc late("<p>\n  <b>x</b>\n  <i>y</i> tail<br/>\n</p>");
    EXPECT_EQ(kinds(*late.rootNode()), "'\n  '<b>'\n  '<i>' tail'<br>'\n'");
    // Comments and instructions in mixed content stay in their places.
    XMLDoc withComment("<p>a<!-- c -->b<?pi x?></p>");
    EXPECT_EQ(kinds(*withComment.rootNode()), "'a'#'b'<pi>");
    // The writer adds no indentation inside mixed content, and indents around it as before.
    EXPECT_EQ(roundTrip("<r><p>Fish <b>and <i>hot</i></b> chips<c><d/></c></p><q/></r>"),
              "<r>\n\t<p>Fish <b>and <i>hot</i></b> chips<c><d/></c></p>\n\t<q/>\n</r>\n");
    roundTrip("<p>\n  <b>x</b>\n  <i>y</i> tail<br/>\n</p>");
}

TEST(XMLInterop, WhiteSpaceBetweenElementsStaysOutOfTheTree) {
    XMLDoc doc("\n\t <r>\n\t<a>t</a>\n\t<b>\n\t\t<c/>\n\t</b>\n</r>\n");
    EXPECT_EQ(kinds(*doc.rootNode()), "<a><b>");
    EXPECT_EQ(kinds(*doc.rootNode()->findChild("b", nullptr)), "<c>");
    EXPECT_TRUE(doc.rootNode()->value().isNull());
    XMLDoc blank("<a>  </a>");
    EXPECT_TRUE(blank.rootNode()->value().isNull());
    EXPECT_EQ(blank.rootNode()->nextChild(nullptr), nullptr);
    // White space written as references counts as white space: the tree reads as if it were written out,
    // and once the content is mixed the blank comes back decoded.
    EXPECT_EQ(kinds(*XMLDoc("<r>&#32;<a/>&#10;<b/>&#9;</r>").rootNode()), "<a><b>");
    roundTrip("<r>&#32;<a/>&#x20;<b/></r>");
    EXPECT_EQ(kinds(*XMLDoc("<r><a/>&#10;<b/>x</r>").rootNode()), "<a>'\n'<b>'x'");
    EXPECT_STREQ(XMLDoc("<r>&#10;</r>").rootNode()->value(), "\n");
}

TEST(XMLInterop, QuotesAndWhiteSpaceInsideTags) {
    XMLDoc doc("<a\n\tx = 'say \"hi\"'\ty\t=\t\"it's\"\r\n z='&apos;&#x41;'\n/>");
    const XMLNode* a = doc.rootNode();
    ASSERT_NE(a, nullptr);
    EXPECT_STREQ(a->name(), "a");
    EXPECT_STREQ(a->attribute(String("x")), "say \"hi\"");
    EXPECT_STREQ(a->attribute(String("y")), "it's");
    EXPECT_STREQ(a->attribute(String("z")), "'A");
    XMLDoc end("<b\n>t</b\n>");
    EXPECT_STREQ(end.rootNode()->value(), "t");
    roundTrip("<a x = 'say \"hi\"' y=\"it's\"/>");
    // Still refused: no "=", no quote, no closing quote.
    EXPECT_THROW_REASON(XMLDoc("<a x>"), XMLException, 205);
    EXPECT_THROW_REASON(XMLDoc("<a x=1>"), XMLException, 205);
    EXPECT_THROW_REASON(XMLDoc("<a x='1>"), XMLException, 205);
}

TEST(XMLInterop, CharacterReferencesGiveUtf8InUtf8Documents) {
    const struct {
        const char* text;
        const char* value;
    } rows[] = {
        {"<a>&#233;&#x20AC;&#x1F600;</a>", "\xC3\xA9\xE2\x82\xAC\xF0\x9F\x98\x80"},
        {"<?xml version=\"1.0\" encoding=\"utf-8\"?><a>&#233;</a>", "\xC3\xA9"},
        {"<?xml version=\"1.0\"?><a x=\"&#x142;\">&#65;</a>", "A"},
        {"<a>&#160;</a>", "\xA0"}, // the library's no-break space, whatever the encoding
        {"<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?><a>&#233;&#321;</a>", "\xE9"
                                                                               "A"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.text);
        XMLDoc doc(row.text);
        EXPECT_STREQ(doc.rootNode()->value(), row.value);
    }
    EXPECT_STREQ(XMLDoc("<?xml version=\"1.0\"?><a x=\"&#x142;\"/>").rootNode()->attribute(String("x")),
                 "\xC5\x82");
    EXPECT_THROW_REASON(XMLDoc("<a>&#xD800;</a>"), XMLException, 103);
    EXPECT_THROW_REASON(XMLDoc("<a>&#x110000;</a>"), XMLException, 103);
    // XMLUtil keeps the low-8-bit rule.
    EXPECT_STREQ(XMLUtil::XMLDecode("&#233;"), "\xE9");
}

TEST(XMLInterop, LoneNoBreakSpaceIsWrittenAsACharacterReference) {
    XMLDoc doc("r", "1.0", "UTF-8");
    doc.rootNode()->addNode("a", "x\xA0y \xC3\xA0")->attribute("k", "\xA0\xD0\xA0");
    const std::string text(doc.stream());
    EXPECT_EQ(text, "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<r>\n\t<a k=\"&#160;\xD0\xA0\">x&#160;y "
                    "\xC3\xA0</a>\n</r>\n");
    XMLDoc back(text.c_str());
    EXPECT_STREQ(back.rootNode()->nextChild(nullptr)->value(), "x\xA0y \xC3\xA0");
    EXPECT_STREQ(back.rootNode()->nextChild(nullptr)->attribute(String("k")), "\xA0\xD0\xA0");
}

TEST(XMLInterop, TextNodesAreCopiedButNeverFound) {
    XMLDoc doc("<r><p>a<b/>c</p></r>");
    XMLNode* p = doc.rootNode()->nextChild(nullptr);
    EXPECT_EQ(p->findChild(String(), nullptr), nullptr);
    XMLNodeList list;
    doc.rootNode()->findNodeS(list, String());
    XMLSNode* cell = nullptr;
    EXPECT_EQ(list.next(cell), nullptr);
    const XMLNode copy(*p);
    EXPECT_EQ(kinds(copy), "'a'<b>'c'");
    XMLDoc docCopy(doc);
    EXPECT_EQ(docCopy.stream(), doc.stream());
    // A document root set from a node with mixed content keeps it (through the node's text).
    XMLDoc other;
    other.rootNode(*p);
    EXPECT_EQ(kinds(*other.rootNode()), "'a'<b>'c'");
}
