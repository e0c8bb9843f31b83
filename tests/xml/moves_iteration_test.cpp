// Moves of documents, nodes and search lists, and range-for over children, attributes and search lists.

#include "kel_test.h"

#include <kel/xml.h>

#include <string>
#include <type_traits>
#include <vector>

using namespace Kel;

static_assert(std::is_nothrow_move_constructible<XMLDoc>::value, "XMLDoc moves without throwing");
static_assert(std::is_nothrow_move_assignable<XMLDoc>::value, "XMLDoc moves without throwing");
static_assert(std::is_nothrow_move_constructible<XMLNode>::value, "XMLNode moves without throwing");
static_assert(std::is_nothrow_move_assignable<XMLNode>::value, "XMLNode moves without throwing");
static_assert(std::is_nothrow_move_constructible<XMLNodeList>::value, "XMLNodeList moves without throwing");
static_assert(std::is_nothrow_move_assignable<XMLNodeList>::value, "XMLNodeList moves without throwing");

namespace {

XMLDoc makeDocument(const char* rootName) {
    XMLDoc doc(rootName, "1.0", "UTF-8");
    doc.rootNode()->addNode("a", "1");
    doc.rootNode()->addNode("b", "2");
    return doc;
}

std::string names(const XMLNode& node) {
    std::string text;
    for (const XMLNode& child : node.children()) {
        text += std::string(child.name()) + (child.parent() == &node ? "" : "(bad parent)") + ",";
    }
    return text;
}

} // namespace

TEST(XMLMoves, DocumentsMoveIntoContainersAndOutOfFunctions) {
    std::vector<XMLDoc> docs;
    docs.push_back(makeDocument("first"));
    docs.push_back(makeDocument("second"));
    docs.emplace_back("<third><!-- c --></third>");
    docs.resize(40); // reallocation moves the documents
    EXPECT_STREQ(docs[0].rootNode()->name(), "first");
    EXPECT_EQ(names(*docs[1].rootNode()), "a,b,");
    EXPECT_STREQ(docs[2].rootNode()->name(), "third");

    const XMLNode* root = docs[0].rootNode();
    XMLDoc moved(std::move(docs[0]));
    EXPECT_EQ(moved.rootNode(), root); // the tree keeps its addresses
    EXPECT_STREQ(moved.version(), "1.0");
    EXPECT_TRUE(docs[0].isNull());
    EXPECT_TRUE(docs[0].version().isNull());
    EXPECT_TRUE(docs[0].encoding().isNull());
    EXPECT_EQ(std::string(docs[0].stream()), "");

    XMLDoc withTopLevel("<!-- before --><r/><?after?>");
    moved = std::move(withTopLevel);
    EXPECT_STREQ(moved.rootNode()->name(), "r");
    EXPECT_EQ(std::string(moved.stream()), "<!-- before -->\n<r/>\n<?after?>\n");
    EXPECT_TRUE(withTopLevel.isNull());
    EXPECT_EQ(std::string(withTopLevel.stream()), "");
    XMLDoc& same = moved;
    moved = std::move(same);
    EXPECT_STREQ(moved.rootNode()->name(), "r");
}

TEST(XMLMoves, NodesTakeTheirChildrenAlong) {
    XMLNode source("ns", "src");
    source.value("v");
    source.type(XMLNode::Instruction);
    source.attribute("k", "1");
    source.addNode("x", "")->addNode("deep", "d");
    source.addNode("y", "");

    XMLNode moved(std::move(source));
    EXPECT_STREQ(moved.name(), "src");
    EXPECT_STREQ(moved.nameSpace(), "ns");
    EXPECT_EQ(moved.type(), XMLNode::Instruction);
    EXPECT_STREQ(moved.attribute(String("k")), "1");
    EXPECT_EQ(names(moved), "x,y,");
    EXPECT_EQ(moved.nextChild(nullptr)->nextChild(nullptr)->level(), 2);
    // The moved-from node: empty.
    EXPECT_TRUE(source.name().isNull());
    EXPECT_TRUE(source.value().isNull());
    EXPECT_EQ(source.type(), XMLNode::Element);
    EXPECT_EQ(source.nextChild(nullptr), nullptr);
    EXPECT_EQ(source.attribute(nullptr), nullptr);

    // Assignment keeps the target's place; from a node inside its own subtree as well.
    XMLNode root("root");
    XMLNode* slot = root.addNode("slot", "");
    root.addNode("after", "");
    *slot = std::move(moved);
    EXPECT_EQ(names(root), "src,after,");
    EXPECT_EQ(slot->parent(), &root);
    EXPECT_EQ(names(*slot), "x,y,");
    *slot = std::move(*slot->nextChild(nullptr));
    EXPECT_STREQ(slot->name(), "x");
    EXPECT_EQ(names(*slot), "deep,");
    // From an ancestor, or itself: nothing changes.
    XMLNode* deep = slot->nextChild(nullptr);
    *deep = std::move(root);
    EXPECT_EQ(names(root), "x,after,");
    *deep = std::move(*deep);
    EXPECT_STREQ(deep->value(), "d");

    // A node in a vector: moved on reallocation, children follow.
    std::vector<XMLNode> nodes;
    for (int i = 0; i < 20; ++i) {
        nodes.emplace_back("n");
        nodes.back().addNode("c", "");
    }
    for (const XMLNode& n : nodes) {
        EXPECT_EQ(n.nextChild(nullptr)->parent(), &n);
    }
}

TEST(XMLMoves, SearchListsMoveTheirCells) {
    XMLDoc doc("<r><a/><b><a/></b></r>");
    XMLNodeList list;
    doc.rootNode()->findNodeS(list, "a");
    XMLNodeList moved(std::move(list));
    int n = 0;
    for (XMLNode& found : moved) {
        EXPECT_STREQ(found.name(), "a");
        ++n;
    }
    EXPECT_EQ(n, 2);
    EXPECT_EQ(list.begin(), list.end());
    list = std::move(moved);
    EXPECT_NE(list.begin(), list.end());
    EXPECT_EQ(moved.begin(), moved.end());
}

TEST(XMLIteration, ChildrenAttributesAndSearchLists) {
    XMLDoc doc("<r x='1' y='2'><a/>text<b/><!-- c --></r>");
    XMLNode* root = doc.rootNode();
    std::string seen;
    for (XMLNode& child : root->children()) {
        seen += child.type() == XMLNode::Text ? "'" + std::string(child.value()) + "'"
                                              : std::string(child.name()) + ";";
    }
    EXPECT_EQ(seen, "a;'text'b;!--;");
    std::string attributes;
    for (XMLAttr& a : root->attributes()) {
        attributes += std::string(a.name()) + "=" + std::string(a.value()) + ";";
        a.value("changed");
    }
    EXPECT_EQ(attributes, "x=1;y=2;");
    const XMLNode& constRoot = *root;
    for (const XMLAttr& a : constRoot.attributes()) {
        EXPECT_STREQ(a.value(), "changed");
    }
    EXPECT_TRUE(XMLNode("empty").children().empty());
    EXPECT_TRUE(XMLNode("empty").attributes().empty());

    // Adding children while iterating reaches them too.
    int visits = 0;
    XMLNode grow("g");
    grow.addNode("first", "");
    for (XMLNode& child : grow.children()) {
        (void)child;
        if (++visits < 3) {
            grow.addNode("more", "");
        }
    }
    EXPECT_EQ(visits, 3);

    XMLNodeList none;
    for (XMLNode& n : none) {
        (void)n;
        ADD_FAILURE();
    }
}
