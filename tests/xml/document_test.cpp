#include "kel_test.h"

#include <kel/xml.h>

#include <cstdio>
#include <string>

using namespace Kel;

namespace {

void writeFile(const std::string& path, const std::string& content) {
    std::FILE* f = std::fopen(path.c_str(), "wb");
    ASSERT_NE(f, nullptr);
    std::fwrite(content.data(), 1, content.size(), f);
    std::fclose(f);
}

} // namespace

TEST(XMLDocument, ConstructorsSetRootDeclarationAndDocType) {
    XMLDoc empty;
    EXPECT_TRUE(empty.isNull());
    XMLDoc simple("root", "1.0", "UTF-8");
    EXPECT_STREQ(simple.rootNode()->name(), "root");
    EXPECT_TRUE(simple.docType().isNull());
    EXPECT_EQ(std::string(simple.stream()), "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<root/>\n");
    XMLDoc typeOnly("html", "1.0", "UTF-8", false);
    EXPECT_TRUE(typeOnly.isNull());
    EXPECT_STREQ(typeOnly.docType(), "html");
    XMLDoc both("cfg", true, "1.0", "ISO-8859-1");
    EXPECT_STREQ(both.rootNode()->name(), "cfg");
    EXPECT_STREQ(both.docType(), "cfg");
    EXPECT_THROW_REASON(XMLDoc(static_cast<const char*>(nullptr)), XMLException, 401);
}

TEST(XMLDocument, NewRootByNameKeepsTheDeclaration) {
    XMLDoc doc("old", true, "1.0", "ISO-8859-1");
    doc.rootNode("cfg", false);
    EXPECT_STREQ(doc.rootNode()->name(), "cfg");
    EXPECT_STREQ(doc.encoding(), "UTF-8");
    EXPECT_STREQ(doc.version(), "1.0");
    EXPECT_STREQ(doc.docType(), "old");
    // A name taken from the old tree itself.
    doc.rootNode()->attribute("next", "x");
    doc.rootNode(doc.rootNode()->attribute(nullptr)->name(), true);
    EXPECT_STREQ(doc.rootNode()->name(), "next");
    EXPECT_STREQ(doc.docType(), "next");
}

TEST(XMLDocument, NewRootFromANodeGoesThroughItsText) {
    XMLDoc doc("r", "1.0", "UTF-8");
    XMLNode node("p", "item");
    node.attribute("a", "1");
    node.attribute("a2", String());
    node.addNode("child", "t");
    doc.rootNode(node);
    EXPECT_STREQ(doc.docType(), "item");
    EXPECT_STREQ(doc.rootNode()->nameSpace(), "p");
    EXPECT_STREQ(doc.rootNode()->findChild("child", nullptr)->value(), "t");
    EXPECT_TRUE(doc.rootNode()->attribute(String("a2")).isNull());

    // From the document's own tree: the old root goes only after the node has been written.
    doc.rootNode(*doc.rootNode()->findChild("child", nullptr));
    EXPECT_STREQ(doc.rootNode()->name(), "child");
    EXPECT_STREQ(doc.rootNode()->value(), "t");
    doc.rootNode(*doc.rootNode());
    EXPECT_STREQ(doc.rootNode()->name(), "child");
}

TEST(XMLDocument, CopiesHaveTheirOwnTree) {
    XMLDoc doc("r", "1.0", "UTF-8");
    doc.docType("r");
    doc.rootNode()->addNode("a", "1");
    XMLDoc copy(doc);
    copy.rootNode()->nextChild(nullptr)->value("2");
    EXPECT_STREQ(doc.rootNode()->nextChild(nullptr)->value(), "1");
    XMLDoc assigned;
    assigned = doc;
    doc.rootNode()->deleteContent();
    EXPECT_STREQ(assigned.rootNode()->nextChild(nullptr)->value(), "1");
    EXPECT_STREQ(assigned.docType(), "r");
    assigned = assigned;
    EXPECT_NE(assigned.rootNode(), nullptr);
    assigned = XMLDoc();
    EXPECT_TRUE(assigned.isNull());
}

TEST(XMLDocument, FromFileReadsFilesAndRefusesMissingTinyAndBadOnes) {
    kel_test::TempDir dir;
    XMLDoc doc("keep", true, "1.0", "UTF-8");
    EXPECT_THROW_REASON(doc.fromFile(dir.file("missing.xml").c_str()), XMLException, 403);
    EXPECT_TRUE(doc.isNull());
    EXPECT_STREQ(doc.docType(), "keep");
    EXPECT_THROW_REASON(doc.fromFile(nullptr), XMLException, 401);

    const std::string tiny = dir.file("tiny.xml");
    writeFile(tiny, "<a/>");
    EXPECT_THROW_REASON(doc.fromFile(tiny.c_str()), XMLException, 401);

    const std::string good = dir.file("good.xml");
    writeFile(good, "<?xml version=\"1.0\"?>\r\n<r>\r\n<a x=\"1\">t</a>\r\n</r>\r\n");
    doc.fromFile(good.c_str());
    EXPECT_STREQ(doc.version(), "1.0");
    EXPECT_TRUE(doc.encoding().isNull());
    EXPECT_STREQ(doc.rootNode()->findChild("a", nullptr)->value(), "t");

    // A directory, whatever its size on disk, is no file to read: no silent empty document.
    XMLDoc fromDirectory("keep", true, "1.0", "UTF-8");
    EXPECT_THROW_REASON(fromDirectory.fromFile(dir.path().c_str()), XMLException, 403);
    EXPECT_TRUE(fromDirectory.isNull());

    const std::string bad = dir.file("bad.xml");
    writeFile(bad, "<r>&nope;</r>");
    EXPECT_THROW_REASON(doc.fromFile(bad.c_str()), XMLException, 102);
}

TEST(XMLDocument, DumpIsTheTextAndOneMoreLine) {
    XMLDoc doc("r", "1.0", "UTF-8");
    EXPECT_EQ(kel_test::dumpOf(doc),
              "@ class Kel::XMLDoc\n<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<r/>\n\n");
}
