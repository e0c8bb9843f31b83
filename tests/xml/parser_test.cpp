#include "kel_test.h"

#include <kel/xml.h>

#include <string>

using namespace Kel;

namespace {

// Parses one node at the start of text under a scratch parent and returns it (owned by the parent).
XMLNode* parseNode(XMLNode& parent, const char* text) {
    const char* cursor = text;
    return parent.addNode(cursor);
}

std::string childNames(const XMLNode& node) {
    std::string names;
    for (const XMLNode* c = node.nextChild(nullptr); c; c = node.nextChild(c)) {
        names += std::string(c->name()) + ",";
    }
    return names;
}

int attributeCount(const XMLNode& node) {
    int count = 0;
    for (XMLAttr* a = node.attribute(nullptr); a; a = node.attribute(a)) {
        ++count;
    }
    return count;
}

} // namespace

TEST(XMLParser, ReadsADocumentWithDeclaration) {
    XMLDoc doc("<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<root><a x=\"1\">t</a><b/></root>\n");
    EXPECT_STREQ(doc.version(), "1.0");
    EXPECT_STREQ(doc.encoding(), "UTF-8");
    EXPECT_TRUE(doc.docType().isNull());
    const XMLNode* root = doc.rootNode();
    ASSERT_NE(root, nullptr);
    EXPECT_EQ(childNames(*root), "a,b,");
    const XMLNode* a = root->nextChild(nullptr);
    EXPECT_STREQ(a->attribute(String("x")), "1");
    EXPECT_STREQ(a->value(), "t");
    EXPECT_TRUE(root->nextChild(a)->value().isNull());
}

TEST(XMLParser, TextOtherThanATagEndsTheDocumentQuietly) {
    // White space may come before the first tag; other text may not.
    EXPECT_STREQ(XMLDoc(" <a/>").rootNode()->name(), "a");
    EXPECT_STREQ(XMLDoc("\n\t\r\n<a/>").rootNode()->name(), "a");
    EXPECT_TRUE(XMLDoc("x<a/>").isNull());
    EXPECT_TRUE(XMLDoc("").isNull());
    // A second element right behind the root is read and dropped; after white space it is not read.
    EXPECT_THROW_REASON(XMLDoc("<a></a><b x=\"&bad;\"/>"), XMLException, 102);
    EXPECT_STREQ(XMLDoc("<a></a> <b x=\"&bad;\"/>").rootNode()->name(), "a");
    EXPECT_STREQ(XMLDoc("<a></a><b/>").rootNode()->name(), "a");
    const char* null = nullptr;
    XMLDoc doc;
    EXPECT_THROW_REASON(doc.fromStream(null), XMLException, 401);
}

TEST(XMLParser, TagForms) {
    XMLNode parent("p");
    XMLNode* n = parseNode(parent, "<a/>");
    EXPECT_STREQ(n->name(), "a");
    EXPECT_EQ(attributeCount(*n), 0);
    n = parseNode(parent, "<a x=\"1\"/>");
    EXPECT_STREQ(n->name(), "a");
    EXPECT_EQ(attributeCount(*n), 1);
    n = parseNode(parent, "<p:item>x</p:item>");
    EXPECT_STREQ(n->nameSpace(), "p");
    EXPECT_STREQ(n->name(), "item");
    n = parseNode(parent, "<a:b:c/>");
    EXPECT_STREQ(n->nameSpace(), "a");
    EXPECT_STREQ(n->name(), "b");
    n = parseNode(parent, "<:b/>");
    EXPECT_TRUE(n->nameSpace().isNull());
    EXPECT_STREQ(n->name(), "b");
    // White space before "/" or ">" means no attribute; the name stays whole.
    n = parseNode(parent, "<br />");
    EXPECT_STREQ(n->name(), "br");
    EXPECT_EQ(attributeCount(*n), 0);
    n = parseNode(parent, "<a >text</a>");
    EXPECT_STREQ(n->name(), "a");
    EXPECT_STREQ(n->value(), "text");
    EXPECT_EQ(attributeCount(*n), 0);
}

TEST(XMLParser, ElementTextAndChildren) {
    XMLNode parent("p");
    EXPECT_STREQ(parseNode(parent, "<x>5 &lt; 6</x>")->value(), "5 < 6");
    EXPECT_THROW_REASON(parseNode(parent, "<x>a &copy; b</x>"), XMLException, 102);
    EXPECT_STREQ(parseNode(parent, "<a>  hi </a>")->value(), "  hi ");
    XMLNode* empty = parseNode(parent, "<a></a>");
    EXPECT_TRUE(empty->value().isNull());
    EXPECT_EQ(empty->nextChild(nullptr), nullptr);
    // End tags are not compared with start tags.
    EXPECT_EQ(childNames(*parseNode(parent, "<a><b/></z>")), "b,");
    // Text beside a child element is mixed content: text nodes in document order.
    const char* text = "<r><a>hello<b/></a><c/></r>";
    const char* cursor = text;
    XMLNode* r = parent.addNode(cursor);
    EXPECT_EQ(childNames(*r), "a,c,");
    const XMLNode* a = r->nextChild(nullptr);
    EXPECT_TRUE(a->value().isNull());
    EXPECT_EQ(a->nextChild(nullptr)->type(), XMLNode::Text);
    EXPECT_STREQ(a->nextChild(nullptr)->value(), "hello");
    EXPECT_STREQ(a->nextChild(a->nextChild(nullptr))->name(), "b");
    EXPECT_STREQ(cursor, "");
}

TEST(XMLParser, AttributeValues) {
    XMLNode parent("p");
    XMLNode* n = parseNode(parent, "<a x=\"\" y=\"a=b\" z=\"&quot;q&quot;\" w=\"1 &amp; 2\"/>");
    EXPECT_TRUE(n->attribute(String("x")).isNull());
    EXPECT_STREQ(n->attribute(String("y")), "a=b");
    EXPECT_STREQ(n->attribute(String("z")), "\"q\"");
    EXPECT_STREQ(n->attribute(String("w")), "1 & 2");
    EXPECT_THROW_REASON(parseNode(parent, "<a x=\"&zz;\"/>"), XMLException, 102);

    const char* text = "k=\"v\" rest";
    const XMLAttr* attr = new XMLAttr(n, text);
    EXPECT_STREQ(attr->name(), "k");
    EXPECT_STREQ(attr->value(), "v");
    EXPECT_STREQ(text, " rest");
    EXPECT_STREQ(n->attribute(String("k")), "v");
    const char* nothing = nullptr;
    EXPECT_THROW_REASON(XMLAttr(n, nothing), XMLException, 205);
}

TEST(XMLParser, CommentsDeclarationsAndInstructions) {
    XMLNode parent("p");
    XMLNode* c = parseNode(parent, "<!-- note -->");
    EXPECT_EQ(c->type(), XMLNode::Comment);
    EXPECT_STREQ(c->name(), "!--");
    EXPECT_STREQ(c->value(), "<!-- note -->");
    // Whatever follows "<!--", the value is the whole comment.
    EXPECT_STREQ(parseNode(parent, "<!--   x -->")->value(), "<!--   x -->");
    EXPECT_STREQ(parseNode(parent, "<!--x-->")->value(), "<!--x-->");
    EXPECT_THROW_REASON(parseNode(parent, "<!-- open >"), XMLException, 203);

    XMLNode* pi = parseNode(parent, "<?pi a=\"1\"?>");
    EXPECT_EQ(pi->type(), XMLNode::Instruction);
    EXPECT_STREQ(pi->name(), "pi");
    EXPECT_STREQ(pi->attribute(String("a")), "1");
    XMLNode* decl = parseNode(parent, "<!ELEMENT a (b|c)>");
    EXPECT_EQ(decl->type(), XMLNode::Declaration);
    EXPECT_STREQ(decl->name(), "ELEMENT");
    EXPECT_STREQ(decl->attribute(nullptr)->name(), "a (b|c)");

    EXPECT_STREQ(XMLDoc("<!DOCTYPE html><html/>").docType(), "html");
    EXPECT_TRUE(XMLDoc("<!doctype html><html/>").docType().isNull());
    EXPECT_STREQ(XMLDoc("<!DOCTYPE x SYSTEM \"x.dtd\"><x/>").docType(), "x SYSTEM \"x.dtd\"");
    EXPECT_THROW_REASON(parseNode(parent, "<!DOCTYPE "), XMLException, 205);
}

TEST(XMLParser, FailuresDiscardTheNodeUnderConstruction) {
    XMLNode parent("p");
    EXPECT_THROW_REASON(parseNode(parent, "no tag"), XMLException, 203);
    EXPECT_THROW_REASON(parseNode(parent, "<a"), XMLException, 205);
    EXPECT_THROW_REASON(parseNode(parent, "<a><b><c>&x;</c></b></a>"), XMLException, 102);
    EXPECT_EQ(parent.nextChild(nullptr), nullptr);
}

TEST(XMLParser, FromStreamOnAnExistingNodeAppends) {
    XMLNode node("ns", "old");
    node.value("kept");
    node.attribute("first", "1");
    node.addNode("child1", "");
    const char* text = "<new second=\"2\"><child2/></new>";
    node.fromStream(text);
    EXPECT_STREQ(node.name(), "new");
    EXPECT_STREQ(node.nameSpace(), "ns");
    EXPECT_STREQ(node.value(), "kept");
    EXPECT_EQ(childNames(node), "child1,child2,");
    EXPECT_EQ(attributeCount(node), 2);
    EXPECT_STREQ(text, "");
}

// Inputs the scanner cannot make sense of: each gives a result or an XMLException, and reads nothing
// outside the text (the sanitizer builds check that).
TEST(XMLParser, MalformedInputStaysInsideTheText) {
    const struct {
        const char* text;
        long reason; // 0: parses
    } rows[] = {
        {"<a>text without end", 0},
        {"<r><a>t</a", 0},
        {"<r><a><b/></a", 0},
        {"<r><a/></", 0},
        {"<a x>", 205},
        {"<a x=\"1>", 205},
        {"<a x=1>", 205},
        {"<!ELEMENT a", 205},
        {"<!-- x", 205},
        {"<!--- x ->", 0},
        {"<", 205},
        {"<a", 205},
        {"<>", 0},
        {"</>", 0},
        {"<a>&", 101},
        {"<a x=\"&amp\"/>", 101},
        {"<a>t<", 0},
        {"<?", 205},
        {"<? x=\"1\"?>", 0},
    };
    for (const auto& row : rows) {
        const char* cursor = row.text;
        XMLDoc doc;
        if (row.reason == 0) {
            EXPECT_NO_THROW(doc.fromStream(cursor)) << row.text;
        } else {
            EXPECT_THROW_REASON(doc.fromStream(cursor), XMLException, row.reason);
        }
    }
    EXPECT_STREQ(XMLDoc("<a>text without end").rootNode()->value(), "text without end");
}
