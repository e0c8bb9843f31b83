#include "kel_test.h"

#include <kel/xml.h>

#include <string>

using namespace Kel;

namespace {

std::string walk(XMLNodeList& list) {
    std::string text;
    XMLSNode* cell = nullptr;
    while (XMLNode* n = list.next(cell))
        text +=
            std::string(n->name()) + (n->value().isNull() ? "" : static_cast<const char*>(n->value())) + ",";
    EXPECT_EQ(cell, nullptr);
    return text;
}

} // namespace

TEST(XMLFindChild, ContinuesAfterTheGivenChild) {
    XMLNode root("r");
    XMLNode* first = root.addNode("item", "1");
    root.addNode("other", "");
    XMLNode* third = root.addNode("item", "3");
    EXPECT_EQ(root.findChild("item", nullptr), first);
    EXPECT_EQ(root.findChild("item", first), third);
    EXPECT_EQ(root.findChild("item", third), nullptr);
    const XMLNode& constRoot = root;
    EXPECT_EQ(constRoot.findChild("other", nullptr), root.nextChild(first));
}

TEST(XMLFindChild, MatchesNamespaceAndAttribute) {
    XMLNode root("r");
    root.addNode("item", "")->attribute("id", "8");
    XMLNode* seven = root.addNode("item", "");
    seven->attribute("id", "7");
    XMLNode* bare = root.addNode("item", "");
    XMLNode* qualified = root.addNode("p", "item", "");
    qualified->attribute("id", "7");
    EXPECT_EQ(root.findChild("item", "id", "7", nullptr), seven);
    EXPECT_EQ(root.findChild("item", "id", String(), nullptr), bare);
    EXPECT_EQ(root.findChild("p", "item", nullptr), qualified);
    EXPECT_EQ(root.findChild("p", "item", "id", "7", nullptr), qualified);
    EXPECT_EQ(root.findChild("p", "item", "id", "8", nullptr), nullptr);
    EXPECT_EQ(root.findChild(String(), "item", nullptr), root.nextChild(nullptr));
    EXPECT_EQ(root.findChild("ITEM", nullptr), nullptr);
}

TEST(XMLFindNodeS, ListsMatchesInPostOrderAndAppends) {
    XMLNode a("a");
    XMLNode* b = a.addNode("b", "");
    XMLNode* c1 = b->addNode("c", "1");
    c1->addNode("c", "0");
    a.addNode("c", "2");
    XMLNodeList list;
    a.findNodeS(list, "c");
    EXPECT_EQ(walk(list), "c0,c1,c2,");
    b->findNodeS(list, "b");
    EXPECT_EQ(walk(list), "c0,c1,c2,");
    a.findNodeS(list, String(), "b");
    EXPECT_EQ(walk(list), "c0,c1,c2,b,");
    c1->attribute("k", "v");
    a.findNodeS(list, "c", "k", "v");
    a.findNodeS(list, "x", "c", "k", "v");
    EXPECT_EQ(walk(list), "c0,c1,c2,b,c1,");

    XMLNodeList copy(list);
    list.clear();
    EXPECT_EQ(walk(list), "");
    EXPECT_EQ(walk(copy), "c0,c1,c2,b,c1,");
    list = copy;
    copy.clear();
    EXPECT_EQ(walk(list), "c0,c1,c2,b,c1,");
}
