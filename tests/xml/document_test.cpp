#include "kel_test.h"
#include "xml_content.h"

#include <kel/xml.h>

#include <cerrno>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>

using namespace Kel;

namespace {

constexpr int deep = 100000;

std::string nested(int depth) {
    std::string text;
    for (int i = 0; i < depth; ++i) {
        text += "<a>";
    }
    text += "<leaf>x</leaf>";
    for (int i = 0; i < depth; ++i) {
        text += "</a>";
    }
    return text;
}

const XMLNode* deepest(const XMLNode* n) {
    while (n->nextChild(nullptr)) {
        n = n->nextChild(nullptr);
    }
    return n;
}

} // namespace

TEST(XMLDocument, ConstructorsSetRootDeclarationAndDocType) {
    const auto textOf = [](const XMLDoc& doc) { return std::string(doc.stream()); };
    EXPECT_TRUE(XMLDoc().isNull());
    EXPECT_THROW_REASON(XMLDoc(static_cast<const char*>(nullptr)), XMLException, 401);
    EXPECT_EQ(textOf(XMLDoc("root", "1.0", "UTF-8")),
              "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<root/>\n");
    XMLDoc doc("cfg", true, "1.0", "ISO-8859-1");
    EXPECT_EQ(textOf(doc), "<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?><!DOCTYPE cfg>\n<cfg/>\n");
    // A new root by name keeps the declaration.
    doc.rootNode("new", false);
    EXPECT_EQ(textOf(doc), "<?xml version=\"1.0\" encoding=\"UTF-8\"?><!DOCTYPE cfg>\n<new/>\n");
    // A name taken from the old tree itself.
    doc.rootNode()->attribute("next", "x");
    doc.rootNode(doc.rootNode()->attribute(nullptr)->name(), true);
    EXPECT_EQ(textOf(doc), "<?xml version=\"1.0\" encoding=\"UTF-8\"?><!DOCTYPE next>\n<next/>\n");
}

TEST(XMLDocument, NewRootFromANodeGoesThroughItsText) {
    XMLDoc doc("r", "1.0", "UTF-8");
    XMLNode node("p", "item");
    node.attribute("a", "1");
    node.attribute("a2", String());
    node.addNode("child", "t");
    doc.rootNode(node);
    EXPECT_STREQ(doc.docType(), "item");
    EXPECT_EQ(kel_test::shapeOf(*doc.rootNode()), "p:item{a=1;a2=(null);}(child=t)");

    // From the document's own tree: the old root goes only after the node has been written.
    doc.rootNode(*doc.rootNode()->findChild("child", nullptr));
    EXPECT_EQ(kel_test::shapeOf(*doc.rootNode()), "child=t");
    doc.rootNode(*doc.rootNode());
    EXPECT_EQ(kel_test::shapeOf(*doc.rootNode()), "child=t");
}

TEST(XMLDocument, CopiesHaveTheirOwnTree) {
    XMLDoc doc("r", "1.0", "UTF-8");
    doc.docType("r");
    doc.rootNode()->addNode("a", "1");
    XMLDoc copy(doc);
    copy.rootNode()->nextChild(nullptr)->value("2");
    XMLDoc assigned;
    assigned = doc;
    doc.rootNode()->deleteContent();
    EXPECT_EQ(kel_test::shapeOf(*copy.rootNode()), "r(a=2)");
    EXPECT_EQ(std::string(assigned.stream()),
              "<?xml version=\"1.0\" encoding=\"UTF-8\"?><!DOCTYPE r>\n<r>\n\t<a>1</a>\n</r>\n");
    assigned = assigned;
    EXPECT_NE(assigned.rootNode(), nullptr);
    assigned = XMLDoc();
    EXPECT_TRUE(assigned.isNull());
}

TEST(XMLDocument, FromFileReadsFilesAndRefusesMissingTinyAndBadOnes) {
    kel_test::TempDir dir;
    const auto write = [&dir](const char* name, const char* content) {
        std::ofstream(dir.file(name), std::ios::binary) << content;
        return dir.file(name);
    };
    XMLDoc doc("keep", true, "1.0", "UTF-8");
    EXPECT_THROW_REASON(doc.fromFile(dir.file("missing.xml").c_str()), XMLException, 403);
    EXPECT_TRUE(doc.isNull());
    EXPECT_STREQ(doc.docType(), "keep");
    EXPECT_THROW_REASON(doc.fromFile(nullptr), XMLException, 401);
    EXPECT_THROW_REASON(doc.fromFile(write("tiny.xml", "<a/>").c_str()), XMLException, 401);

    doc.fromFile(write("good.xml", "<?xml version=\"1.0\"?>\r\n<r>\r\n<a x=\"1\">t</a>\r\n</r>\r\n").c_str());
    EXPECT_STREQ(doc.version(), "1.0");
    EXPECT_TRUE(doc.encoding().isNull());
    EXPECT_STREQ(doc.rootNode()->findChild("a", nullptr)->value(), "t");

    // A directory, whatever its size on disk, is no file to read: no silent empty document.
    XMLDoc fromDirectory("keep", true, "1.0", "UTF-8");
    EXPECT_THROW_REASON(fromDirectory.fromFile(dir.path().c_str()), XMLException, 403);
    EXPECT_TRUE(fromDirectory.isNull());
    // The message names the file and what the system said of it.
    try {
        doc.fromFile(dir.file("missing.xml").c_str());
    } catch (const std::exception& e) {
        const std::string what = e.what();
        EXPECT_NE(what.find(dir.file("missing.xml")), std::string::npos) << what;
        EXPECT_NE(what.find(std::strerror(ENOENT)), std::string::npos) << what;
    }
    EXPECT_THROW_REASON(doc.fromFile(write("bad.xml", "<r>&nope;</r>").c_str()), XMLException, 102);
}

// Every operation on a tree walks it with loops: a deep tree must not exhaust the stack, which is 1 MiB
// for Windows threads.
TEST(XMLDepth, ParseCopySearchAndDestroyAHundredThousandLevels) {
    XMLDoc doc(nested(deep).c_str());
    const XMLNode* leaf = deepest(doc.rootNode());
    EXPECT_STREQ(leaf->name(), "leaf");
    EXPECT_STREQ(leaf->value(), "x");
    EXPECT_EQ(leaf->level(), deep);

    XMLDoc copy(doc);
    EXPECT_EQ(deepest(copy.rootNode())->level(), deep);
    XMLNodeList list;
    copy.rootNode()->findNodeS(list, "a");
    EXPECT_EQ(std::distance(list.begin(), list.end()), deep - 1); // below the root
    EXPECT_EQ(list.begin()->level(), deep - 1);

    XMLNode assigned("x");
    assigned = *doc.rootNode();
    EXPECT_EQ(deepest(&assigned)->level(), deep);
    doc.rootNode()->deleteContent();

    XMLNode* root = new XMLNode("r");
    XMLNode* n = root;
    for (int i = 0; i < deep; ++i) {
        n = n->addNode("n", String());
    }
    EXPECT_EQ(n->level(), deep);
    delete root;
}

TEST(XMLDepth, WritingDeepTrees) {
    // 10,000 levels: about 10^8 TABs of indentation, written without recursion.
    const String text = XMLDoc(nested(10000).c_str()).stream();
    // No declaration (the document has no version or encoding), an opening and a closing line per level,
    // the indented leaf.
    unsigned long expected = 10000 + 15;
    for (unsigned long d = 0; d < 10000; ++d) {
        expected += 2 * d + 9;
    }
    EXPECT_EQ(text.length(), expected);
    EXPECT_EQ(deepest(XMLDoc(static_cast<const char*>(text)).rootNode())->level(), 10000);

    // 100,000 levels would need about 10^10 characters, more than a String holds.
    EXPECT_THROW_REASON(XMLDoc(nested(deep).c_str()).stream(), XMLException, 301);
}
