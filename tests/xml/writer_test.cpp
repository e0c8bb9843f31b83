#include "kel_test.h"

#include <kel/xml.h>

#include <string>

using namespace Kel;

namespace {

// The first child of the root of text written by doc.stream() and read back.
const XMLNode* readBack(const XMLDoc& doc, XMLDoc& into) {
    const String text = doc.stream();
    const char* cursor = text;
    into.fromStream(cursor);
    return into.rootNode() ? into.rootNode()->nextChild(nullptr) : nullptr;
}

} // namespace

TEST(XMLWriter, WritesTheDocumentWithTabIndentation) {
    XMLDoc doc("root", "1.0", "UTF-8");
    XMLNode* root = doc.rootNode();
    root->attribute("id", "7");
    root->addNode("a", "text")->attribute("x", "1");
    root->addNode("b", String());
    const char* comment = "<!-- c -->";
    root->addNode(comment);
    root->addNode("n", "c", String())->addNode("d", "5 < 6");
    EXPECT_EQ(std::string(doc.stream()), "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
                                         "<root id=\"7\">\n"
                                         "\t<a x=\"1\">text</a>\n"
                                         "\t<b/>\n"
                                         "\t<!-- c -->\n"
                                         "\t<n:c>\n"
                                         "\t\t<d>5 &lt; 6</d>\n"
                                         "\t</n:c>\n"
                                         "</root>\n");
}

TEST(XMLWriter, IndentationFollowsTheLevel) {
    XMLNode root("r");
    XMLNode* mid = root.addNode("m", "")->addNode("x", "");
    mid->addNode("leaf", "v");
    EXPECT_EQ(std::string(mid->stream(false)), "<x>\n\t\t\t<leaf>v</leaf>\n\t\t</x>\n");
    EXPECT_EQ(std::string(mid->stream(true)), "\t\t<x>\n\t\t\t<leaf>v</leaf>\n\t\t</x>\n");
    EXPECT_EQ(std::string(XMLNode("name").stream(true)), "<name/>\n");
}

TEST(XMLWriter, EncodesTextAndAttributeValues) {
    XMLNode n("e");
    n.value("a&b");
    n.attribute("k", "x<y");
    EXPECT_EQ(std::string(n.stream(false)), "<e k=\"x&lt;y\">a&amp;b</e>\n");
    XMLAttr quoted(nullptr, "q", "say \"hi\"");
    EXPECT_EQ(std::string(quoted.stream()), "q=\"say &quot;hi&quot;\"");
    XMLAttr null(nullptr, "z", String());
    EXPECT_EQ(std::string(null.stream()), "z=\"\"");
}

TEST(XMLWriter, DeclarationsAreWrittenLikeElements) {
    XMLNode decl("DOCTYPE");
    decl.type(XMLNode::Declaration);
    decl.attribute("html", String());
    EXPECT_EQ(std::string(decl.stream(true)), "<DOCTYPE html=\"\"/>\n");
}

TEST(XMLWriter, DocumentDeclarationLine) {
    EXPECT_EQ(std::string(XMLDoc().stream()), "<?xml version=\"\" encoding=\"\"?>\n");
    EXPECT_EQ(std::string(XMLDoc("html", "1.0", "UTF-8", false).stream()),
              "<?xml version=\"1.0\" encoding=\"UTF-8\"?><!DOCTYPE html>\n");
    XMLDoc odd("r", "1\"0", "a&b");
    XMLDoc back;
    readBack(odd, back);
    EXPECT_STREQ(back.version(), "1\"0");
    EXPECT_STREQ(back.encoding(), "a&b");
    XMLDoc nulls;
    nulls.rootNode("r", false);
    XMLDoc nullsBack;
    readBack(nulls, nullsBack);
    EXPECT_TRUE(nullsBack.version().isNull());
}

TEST(XMLWriter, WhatIsWrittenReadsBackToTheSameValues) {
    std::string bytes;
    for (int c = 1; c < 256; ++c)
        bytes += static_cast<char>(c);
    XMLDoc doc("root", "1.0", "UTF-8");
    XMLNode* a = doc.rootNode()->addNode("a", bytes.c_str());
    a->attribute("all", bytes.c_str());
    a->attribute("null", String());
    a->attribute("quote", "\"&quot;\"");
    doc.rootNode()->addNode("blank", " ");
    doc.rootNode()->addNode("blanks", "\t\r\n ");
    doc.rootNode()->addNode("entity", "&amp;lt;");

    XMLDoc back;
    const XMLNode* b = readBack(doc, back);
    ASSERT_NE(b, nullptr);
    EXPECT_STREQ(b->value(), bytes.c_str());
    EXPECT_STREQ(b->attribute(String("all")), bytes.c_str());
    EXPECT_TRUE(b->attribute(String("null")).isNull());
    EXPECT_STREQ(b->attribute(String("quote")), "\"&quot;\"");
    EXPECT_EQ(b->nextChild(nullptr), nullptr);
    const XMLNode* blank = back.rootNode()->nextChild(b);
    EXPECT_STREQ(blank->value(), " ");
    EXPECT_STREQ(back.rootNode()->nextChild(blank)->value(), "\t\r\n ");
    EXPECT_STREQ(back.rootNode()->findChild("entity", nullptr)->value(), "&amp;lt;");
}

TEST(XMLWriter, CommentsReadBackAsTheSameComment) {
    // However many blanks follow "<!--", and whatever they are, the comment comes back with its value.
    const char* comments[] = {
        "<!-- one -->",
        "<!--  two -->",
        "<!--    four -->",
        "<!--      six <b/> -->",
        "<!--\n      <option>x</option>\n-->",
        "<!--name\n        text -->",
        "<!--abcdef   x-->",
    };
    for (const char* comment : comments) {
        XMLDoc doc("r", "1.0", "UTF-8");
        const char* cursor = comment;
        const XMLNode* original = doc.rootNode()->addNode(cursor);
        doc.rootNode()->addNode("after", "t");
        ASSERT_EQ(original->type(), XMLNode::Comment) << comment;
        XMLDoc back;
        const XMLNode* c = readBack(doc, back);
        ASSERT_NE(c, nullptr) << comment;
        EXPECT_EQ(c->type(), XMLNode::Comment) << comment;
        EXPECT_STREQ(c->value(), original->value()) << comment;
        EXPECT_STREQ(back.rootNode()->nextChild(c)->name(), "after") << comment;
    }
}

TEST(XMLWriter, CommentWithoutValue) {
    XMLNode root("r");
    root.addNode("!--", String())->type(XMLNode::Comment);
    XMLNode* named = root.addNode("!--", String());
    named->value("");
    EXPECT_NO_THROW(root.stream(true));
}
