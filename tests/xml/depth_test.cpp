#include "kel_test.h"

#include <kel/xml.h>

#include <string>

using namespace Kel;

namespace {

constexpr int deep = 100000;

std::string nested(int depth) {
    std::string text;
    text.reserve(static_cast<std::size_t>(depth) * 7 + 16);
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

// Every operation on a tree walks it with loops: a deep tree must not exhaust the stack, which is 1 MiB
// for Windows threads.
TEST(XMLDepth, ParseCopySearchAndDestroyAHundredThousandLevels) {
    const std::string text = nested(deep);
    XMLDoc doc(text.c_str());
    ASSERT_FALSE(doc.isNull());
    const XMLNode* leaf = deepest(doc.rootNode());
    EXPECT_STREQ(leaf->name(), "leaf");
    EXPECT_STREQ(leaf->value(), "x");
    EXPECT_EQ(leaf->level(), deep);

    XMLDoc copy(doc);
    EXPECT_EQ(deepest(copy.rootNode())->level(), deep);
    XMLNodeList list;
    copy.rootNode()->findNodeS(list, "a");
    int count = 0;
    XMLSNode* cell = nullptr;
    const XMLNode* first = list.next(cell);
    for (; cell; list.next(cell)) {
        ++count;
    }
    EXPECT_EQ(count, deep - 1);
    EXPECT_EQ(first->level(), deep - 1);

    XMLNode assigned("x");
    assigned = *doc.rootNode();
    EXPECT_EQ(deepest(&assigned)->level(), deep);
    doc.rootNode()->deleteContent();
}

TEST(XMLDepth, BuildingByHandAndDestroyingOneNode) {
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
    XMLDoc doc(nested(10000).c_str());
    const String text = doc.stream();
    // No declaration (the document has no version or encoding), an opening and a closing line per level,
    // the indented leaf.
    unsigned long expected = 0;
    for (unsigned long d = 0; d < 10000; ++d) {
        expected += 2 * d + 9;
    }
    expected += 10000 + 15;
    EXPECT_EQ(text.length(), expected);
    XMLDoc back;
    const char* cursor = text;
    back.fromStream(cursor);
    EXPECT_EQ(deepest(back.rootNode())->level(), 10000);

    // 100,000 levels would need about 10^10 characters, more than a String holds.
    XMLDoc deeper(nested(deep).c_str());
    EXPECT_THROW_REASON(deeper.stream(), XMLException, 301);
}
