#include "kel_test.h"
#include "xml_content.h"

#include <kel/xml.h>

#include <string>

using namespace Kel;

namespace {

// The document read back from what doc writes.
XMLDoc readBack(const XMLDoc& doc) {
    return XMLDoc(static_cast<const char*>(doc.stream()));
}

} // namespace

TEST(XMLWriter, WritesTheDocumentWithTabIndentationFollowingTheLevel) {
    XMLDoc doc("root", "1.0", "UTF-8");
    XMLNode* root = doc.rootNode();
    root->attribute("id", "7");
    root->addNode("a", "text")->attribute("x", "1");
    root->addNode("b", String());
    kel_test::parseNode(*root, "<!-- c -->");
    XMLNode* mid = root->addNode("n", "c", String());
    mid->addNode("d", "5 < 6");
    EXPECT_EQ(std::string(doc.stream()),
              "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<root id=\"7\">\n\t<a "
              "x=\"1\">text</a>\n\t<b/>\n\t<!-- c -->\n\t<n:c>\n\t\t<d>5 &lt; 6</d>\n\t</n:c>\n</root>\n");
    EXPECT_EQ(std::string(mid->stream(false)), "<n:c>\n\t\t<d>5 &lt; 6</d>\n\t</n:c>\n");
    EXPECT_EQ(std::string(mid->stream(true)), "\t<n:c>\n\t\t<d>5 &lt; 6</d>\n\t</n:c>\n");
    EXPECT_EQ(std::string(XMLNode("name").stream(true)), "<name/>\n");
    // The text written is a String like any other: it grows, and its copies are its own.
    String written = mid->stream(false);
    const String copy = written;
    written += '!';
    written += " and more";
    EXPECT_EQ(std::string(written), std::string(copy) + "! and more");
    EXPECT_EQ(written.fixedLength(), 0u);
}

TEST(XMLWriter, EncodesTextAndAttributeValuesAndWritesDeclarationsLikeElements) {
    XMLNode n("e");
    n.value("a&b");
    n.attribute("k", "x<y");
    EXPECT_EQ(std::string(n.stream(false)), "<e k=\"x&lt;y\">a&amp;b</e>\n");
    EXPECT_EQ(std::string(XMLAttr(nullptr, "q", "say \"hi\"").stream()), "q=\"say &quot;hi&quot;\"");
    EXPECT_EQ(std::string(XMLAttr(nullptr, "z", String()).stream()), "z=\"\"");
    XMLNode decl("DOCTYPE");
    decl.type(XMLNode::Declaration);
    decl.attribute("html", String());
    EXPECT_EQ(std::string(decl.stream(true)), "<DOCTYPE html=\"\"/>\n");
}

TEST(XMLWriter, DeclarationOnlyWithVersionOrEncoding) {
    EXPECT_EQ(std::string(XMLDoc().stream()), "");
    EXPECT_EQ(std::string(XMLDoc("html", "1.0", "UTF-8", false).stream()),
              "<?xml version=\"1.0\" encoding=\"UTF-8\"?><!DOCTYPE html>\n");
    EXPECT_EQ(std::string(XMLDoc("r", String(), String()).stream()), "<r/>\n");
    EXPECT_EQ(std::string(XMLDoc("r", "", "").stream()), "<r/>\n");
    EXPECT_EQ(std::string(XMLDoc("r", String(), "ISO-8859-1").stream()),
              "<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?>\n<r/>\n");
    EXPECT_EQ(std::string(XMLDoc("r", "1.0", String()).stream()), "<?xml version=\"1.0\"?>\n<r/>\n");
    EXPECT_EQ(std::string(XMLDoc("Ar", "1.0", "z").stream()),
              "<?xml version=\"1.0\" encoding=\"z\"?>\n<Ar/>\n");
    EXPECT_EQ(std::string(XMLDoc("r", true, String(), String()).stream()), "<!DOCTYPE r>\n<r/>\n");
    // What a declaration cannot hold.
    EXPECT_THROW_REASON(XMLDoc("r", "1\"0", "UTF-8").stream(), XMLException, 302);
    EXPECT_THROW_REASON(XMLDoc("r", "1.0", "a&b").stream(), XMLException, 302);
    XMLDoc emptyType("r", "1.0", "UTF-8");
    emptyType.docType("");
    EXPECT_THROW_REASON(emptyType.stream(), XMLException, 302);

    XMLDoc nulls;
    nulls.rootNode("r", false);
    EXPECT_EQ(std::string(nulls.stream()), "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<r/>\n");
}

TEST(XMLWriter, WhatIsWrittenReadsBackToTheSameValues) {
    std::string bytes;
    for (int c = 1; c < 256; ++c) {
        if (c >= 0x20 || c == '\t' || c == '\n' || c == '\r') {
            bytes += static_cast<char>(c);
        }
    }
    bytes += "\xC3\xA0\xA0";
    XMLDoc doc("root", "1.0", "ISO-8859-1");
    XMLNode* a = doc.rootNode()->addNode("a", bytes.c_str());
    a->attribute("all", bytes.c_str());
    a->attribute("null", String());
    a->attribute("quote", "\"&quot;\"");
    a->attribute("blanks", "\t\n\r ");
    doc.rootNode()->addNode("blank", " ");
    doc.rootNode()->addNode("blanks", "\t\r\n ");
    doc.rootNode()->addNode("entity", "&amp;lt;");

    const XMLDoc back = readBack(doc);
    ASSERT_NE(back.rootNode(), nullptr);
    EXPECT_EQ(kel_test::shapeOf(*back.rootNode()), kel_test::shapeOf(*doc.rootNode()));
}

TEST(XMLWriter, TextsXmlCannotHoldAreRefused) {
    for (int c = 1; c < 0x20; ++c) {
        if (c == '\t' || c == '\n' || c == '\r') {
            continue;
        }
        const char text[] = {'a', static_cast<char>(c), 'b', '\0'};
        SCOPED_TRACE(c);
        XMLNode withText("a");
        withText.value(text);
        EXPECT_THROW_REASON(withText.stream(false), XMLException, 302);
        XMLNode withAttribute("a");
        withAttribute.attribute("k", text);
        EXPECT_THROW_REASON(withAttribute.stream(false), XMLException, 302);
    }
    // Only a childless element named "!--" stands for a comment: a declaration so named, or such an
    // element with children or attributes, is written as what it is (and refused, as XML cannot hold the
    // name).
    const struct {
        XMLNode::Type type;
        const char* name;
        const char* value;
        long reason;
    } rows[] = {{XMLNode::Comment, "!--", "<!-- a -- b -->", 302}, // holding "--"
                {XMLNode::Comment, "!--", "a-", 302},              // ending with "-"
                {XMLNode::Instruction, "pi", "a ?> b", 302},
                {XMLNode::Element, "", "v", 303},
                {XMLNode::Element, "a b", "v", 303},
                {XMLNode::Element, "1a", "v", 303},
                {XMLNode::Element, "a\"", nullptr, 303},
                {XMLNode::Declaration, "!--/r", nullptr, 303}};
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        XMLNode root("r");
        XMLNode* n = root.addNode(row.name, row.value);
        n->type(row.type);
        EXPECT_THROW_REASON(root.stream(true), XMLException, row.reason);
    }
    XMLNode parent("r");
    parent.addNode("!--x", String())->addNode("c", "lost if written as a comment");
    EXPECT_THROW_REASON(parent.stream(true), XMLException, 303);
    XMLNode attributed("r");
    attributed.addNode("!--", String())->attribute("x", "lost if written as a comment");
    EXPECT_THROW_REASON(attributed.stream(true), XMLException, 303);
    XMLNode badAttribute("r");
    badAttribute.attribute("a=b", "1");
    EXPECT_THROW_REASON(badAttribute.stream(true), XMLException, 303);
    EXPECT_THROW_REASON(XMLDoc("!--", "1.0", "UTF-8").stream(), XMLException, 303);
}

TEST(XMLWriter, OnlyCommentsAndInstructionsStandOutsideTheRoot) {
    // Only comments and instructions stand outside the root: anything else there would not be XML.
    const struct {
        XMLNode::Type type;
        const char* name;
        const char* value;
        long reason;
    } misplaced[] = {{XMLNode::Element, "second", "root", 303},
                     {XMLNode::Element, "empty", nullptr, 303},
                     {XMLNode::Declaration, "ELEMENT", nullptr, 303},
                     {XMLNode::Text, nullptr, " x ", 302}};
    for (const auto& row : misplaced) {
        for (const bool before : {true, false}) {
            SCOPED_TRACE(std::string(row.value ? row.value : row.name) + (before ? " before" : " after"));
            XMLDoc bad("r", "1.0", "UTF-8");
            XMLNode* holder = before ? bad.prolog() : bad.epilog();
            holder->addNode(row.name, row.value)->type(row.type);
            EXPECT_THROW_REASON(bad.stream(), XMLException, row.reason);
        }
    }
    // Prolog nodes go between the DOCTYPE and the root, epilog nodes behind the root.
    XMLDoc doc("r", true, "1.0", "UTF-8");
    kel_test::parseNode(*doc.prolog(), "<!-- before -->");
    doc.prolog()->addNode(String(), " \r\n\t")->type(XMLNode::Text); // white space: left out
    doc.epilog()->addNode("done", "now")->type(XMLNode::Instruction);
    doc.epilog()->addNode("!--", "standing for a comment");
    EXPECT_EQ(std::string(doc.stream()),
              "<?xml version=\"1.0\" encoding=\"UTF-8\"?><!DOCTYPE r>\n<!-- before "
              "-->\n<r/>\n<?done now?>\n<!--standing for a comment-->\n");
    const XMLDoc back = readBack(doc);
    ASSERT_TRUE(back.prolog() && back.rootNode() && back.epilog());
    EXPECT_EQ(kel_test::text(back.docType()), "r");
    EXPECT_EQ(kel_test::shapeOf(*back.prolog()), "(null)(#!--=<!-- before -->)");
    EXPECT_EQ(kel_test::shapeOf(*back.rootNode()), "r");
    EXPECT_EQ(kel_test::shapeOf(*back.epilog()), "(null)(?done=now #!--=<!--standing for a comment-->)");
}

TEST(XMLWriter, CommentsReadBackAsTheSameComment) {
    // However many blanks follow "<!--", and whatever they are, the comment comes back with its value.
    for (const char* comment :
         {"<!-- one -->", "<!--  two -->", "<!--    four -->", "<!--      six <b/> -->",
          "<!--\n      <option>x</option>\n-->", "<!--name\n        text -->", "<!--abcdef   x-->"}) {
        SCOPED_TRACE(comment);
        XMLDoc doc("r", "1.0", "UTF-8");
        kel_test::parseNode(*doc.rootNode(), comment);
        doc.rootNode()->addNode("after", "t");
        EXPECT_EQ(kel_test::shapeOf(*readBack(doc).rootNode()),
                  "r(#!--=" + std::string(comment) + " after=t)");
    }
    // Without a value.
    XMLNode root("r");
    root.addNode("!--", String())->type(XMLNode::Comment);
    root.addNode("!--", "");
    EXPECT_NO_THROW(root.stream(true));
}
