#include "kel_test.h"

#include <kel/xml.h>

#include <sstream>

using namespace Kel;

namespace {

// Exposes the protected dump operations.
template <class T> std::string dumpOf(T& object) {
    std::ostringstream os;
    KELDump(&object).dump(os);
    return os.str();
}

std::string childNames(const XMLNode& node) {
    std::string names;
    for (const XMLNode* c = node.nextChild(nullptr); c; c = node.nextChild(c)) {
        names += static_cast<const char*>(c->name());
        if (c->parent() != &node)
            names += "(bad parent)";
    }
    return names;
}

std::string attributes(const XMLNode& node) {
    std::string text;
    for (XMLAttr* a = node.attribute(nullptr); a; a = node.attribute(a))
        text += std::string(a->name()) + "=" +
                (a->value().isNull() ? "null" : static_cast<const char*>(a->value())) + ";";
    return text;
}

} // namespace

TEST(XMLNodeTree, AttributesKeepTheirPlaceWhenSet) {
    XMLNode n("n");
    n.attribute("a", "1");
    n.attribute("b", "2");
    n.attribute("a", "3");
    EXPECT_EQ(attributes(n), "a=3;b=2;");
    EXPECT_STREQ(n.attribute(String("b")), "2");
    EXPECT_TRUE(n.attribute(String("missing")).isNull());
}

TEST(XMLNodeTree, NewNodesGoToTheEndOfTheParent) {
    XMLNode root("r");
    EXPECT_EQ(root.level(), 0);
    XMLNode* first = root.addNode("a", "1");
    EXPECT_TRUE(first->nameSpace().isNull());
    EXPECT_STREQ(root.addNode("ns", "b", "2")->nameSpace(), "ns");
    root.addNode("c", String());
    XMLNode* fourth = first->insertNodeAfter("d", "4");
    EXPECT_EQ(childNames(root), "abcd");
    EXPECT_EQ(root.nextChild(fourth), nullptr);
    EXPECT_EQ(first->level(), 1);
    EXPECT_EQ(fourth->addNode("e", "")->level(), 2);

    // Without a parent the new node is free and belongs to the caller.
    XMLNode free("f");
    XMLNode* orphan = free.insertNodeAfter("g", "x");
    EXPECT_EQ(orphan->parent(), nullptr);
    EXPECT_EQ(free.nextChild(nullptr), nullptr);
    delete orphan;
}

TEST(XMLNodeTree, DestroyingAChildUnlinksIt) {
    XMLNode root("r");
    root.addNode("a", "");
    XMLNode* b = root.addNode("b", "");
    root.addNode("c", "");
    delete b;
    EXPECT_EQ(childNames(root), "ac");
    const XMLNode* c = root.nextChild(root.nextChild(nullptr));
    delete root.nextChild(nullptr);
    delete c;
    EXPECT_EQ(root.nextChild(nullptr), nullptr);
    root.addNode("d", "");
    EXPECT_EQ(childNames(root), "d");
}

TEST(XMLNodeTree, DeleteContentKeepsTheNodeItself) {
    XMLNode root("ns", "r");
    root.value("v");
    root.attribute("a", "1");
    root.addNode("x", "")->addNode("y", "");
    root.deleteContent();
    EXPECT_EQ(root.nextChild(nullptr), nullptr);
    EXPECT_EQ(root.attribute(nullptr), nullptr);
    EXPECT_STREQ(root.name(), "r");
    EXPECT_STREQ(root.value(), "v");
}

TEST(XMLNodeTree, CopiesAreDeepAndCollapseRepeatedAttributes) {
    const char* text = "<r a=\"1\" b=\"2\" a=\"3\"><x><y k=\"v\">t</y></x><z/></r>";
    XMLNode source("s");
    XMLNode* parsed = source.addNode(text);
    EXPECT_EQ(attributes(*parsed), "a=1;b=2;a=3;");

    XMLNode copy(*parsed);
    EXPECT_EQ(copy.parent(), nullptr);
    EXPECT_EQ(attributes(copy), "a=3;b=2;");
    EXPECT_EQ(childNames(copy), "xz");
    XMLNode* y = copy.nextChild(nullptr)->nextChild(nullptr);
    EXPECT_STREQ(y->value(), "t");
    y->value("changed");
    EXPECT_STREQ(parsed->nextChild(nullptr)->nextChild(nullptr)->value(), "t");

    // A node copied into its own subtree is copied as it was before.
    parsed->addNode(*parsed);
    EXPECT_EQ(childNames(*parsed), "xzr");
    EXPECT_EQ(childNames(*parsed->nextChild(parsed->nextChild(parsed->nextChild(nullptr)))), "xz");
}

TEST(XMLNodeTree, AssignmentReplacesContentButKeepsThePlace) {
    XMLNode root("root");
    XMLNode* a = root.addNode("a", "");
    a->attribute("old", "1");
    a->addNode("gone", "");
    root.addNode("b", "");
    XMLNode other("p", "other");
    other.value("v");
    other.type(XMLNode::Comment);
    other.addNode("kid", "");

    *a = other;
    EXPECT_EQ(childNames(root), "otherb");
    EXPECT_EQ(a->parent(), &root);
    EXPECT_STREQ(a->nameSpace(), "p");
    EXPECT_EQ(a->type(), XMLNode::Comment);
    EXPECT_EQ(childNames(*a), "kid");
    EXPECT_EQ(a->attribute(nullptr), nullptr);

    *a = *a;
    EXPECT_EQ(childNames(*a), "kid");
    // From inside its own subtree and from an ancestor.
    *a = *a->nextChild(nullptr);
    EXPECT_STREQ(a->name(), "kid");
    EXPECT_EQ(a->nextChild(nullptr), nullptr);
    XMLNode* leaf = a->addNode("leaf", "");
    *leaf = root;
    EXPECT_EQ(childNames(*leaf), "kidb");
    EXPECT_EQ(childNames(*leaf->nextChild(nullptr)), "leaf");
}

TEST(XMLAttrCopy, KeepsTheNeighbourLinksOfTheSource) {
    XMLNode n("n");
    n.attribute("a", "1");
    n.attribute("b", "2");
    XMLAttr copy(*n.attribute(nullptr));
    EXPECT_STREQ(copy.name(), "a");
    EXPECT_EQ(n.attribute(&copy), n.attribute(n.attribute(nullptr)));
    XMLAttr free(nullptr, "x", "y");
    free = copy;
    EXPECT_STREQ(free.value(), "1");
    EXPECT_EQ(n.attribute(&free)->name(), "b");
}

TEST(XMLDump, NodeAndAttributeLines) {
    XMLNode n("a");
    n.value("1");
    EXPECT_EQ(dumpOf(n), "@ class Kel::XMLNode\nNs=(null) Nm=a Va=1\n");
    n.attribute("k", String());
    EXPECT_EQ(dumpOf(*n.attribute(nullptr)), "@ class Kel::XMLAttr\nNm=k Va=(null)\n");
}
