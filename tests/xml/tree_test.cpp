#include "kel_test.h"

#include <kel/xml.h>

#include <chrono>
#include <string>

using namespace Kel;
using kel_test::dumpOf;

namespace {

std::string walk(XMLNodeList& list) {
    std::string text;
    XMLSNode* cell = nullptr;
    while (XMLNode* n = list.next(cell)) {
        text +=
            std::string(n->name()) + (n->value().isNull() ? "" : static_cast<const char*>(n->value())) + ",";
    }
    EXPECT_EQ(cell, nullptr);
    return text;
}

std::string childNames(const XMLNode& node) {
    std::string names;
    for (const XMLNode* c = node.nextChild(nullptr); c; c = node.nextChild(c)) {
        names += static_cast<const char*>(c->name());
        if (c->parent() != &node) {
            names += "(bad parent)";
        }
    }
    return names;
}

std::string attributes(const XMLNode& node) {
    std::string text;
    for (XMLAttr* a = node.attribute(nullptr); a; a = node.attribute(a)) {
        text += std::string(a->name()) + "=" +
                (a->value().isNull() ? "null" : static_cast<const char*>(a->value())) + ";";
    }
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

TEST(XMLDump, NodeAndAttributeLinesShowNullAsNull) {
    XMLNode n("a");
    n.value("1");
    EXPECT_EQ(dumpOf(n), "@ class Kel::XMLNode\nNs=(null) Nm=a Va=1\n");
    n.attribute("k", String());
    EXPECT_EQ(dumpOf(*n.attribute(nullptr)), "@ class Kel::XMLAttr\nNm=k Va=(null)\n");
}

// Attributes that share a name collapse on copy; with many attributes the copy must stay linear (a
// quadratic copy of this node takes minutes).
TEST(XMLNodeTree, CopiesOfNodesWithManyAttributesAreLinear) {
    constexpr int count = 200000;
    XMLNode many("many");
    for (int i = 0; i < count; ++i) {
        const std::string name = "a" + std::to_string(i);
        new XMLAttr(&many, name.c_str(), "v");
    }
    new XMLAttr(&many, "a17", "late");
    new XMLAttr(&many, "a199999", "last");
    new XMLAttr(&many, String(), "null name");
    new XMLAttr(&many, String(), "null again");
    new XMLAttr(&many, "", "empty name");

    const auto start = std::chrono::steady_clock::now();
    const XMLNode copy(many);
    XMLDoc doc("r", "1.0", "UTF-8");
    doc.rootNode()->addNode(many);
    const XMLDoc docCopy(doc);
    const auto seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    EXPECT_LT(seconds, 10.0 * kel_test::slowdown());

    int n = 0;
    for (XMLAttr* a = copy.attribute(nullptr); a; a = copy.attribute(a)) {
        ++n;
    }
    EXPECT_EQ(n, count + 2);
    EXPECT_STREQ(copy.attribute(String("a17")), "late");
    EXPECT_STREQ(copy.attribute(String("a199999")), "last");
    EXPECT_STREQ(copy.attribute(String()), "null again");
    EXPECT_STREQ(copy.attribute(String("")), "empty name");
    EXPECT_STREQ(copy.attribute(copy.attribute(copy.attribute(nullptr)))->name(), "a2");
}

// Setters given text that lies in the object's own storage behave as if the text had been copied first.
TEST(XMLSetters, TextFromTheObjectItselfIsCopiedFirst) {
    const struct {
        const char* what;
        void (*run)(XMLNode& node, XMLDoc& doc);
        const char* expected;
        String (*result)(XMLNode& node, XMLDoc& doc);
    } rows[] = {
        {"node value from its own value",
         [](XMLNode& n, XMLDoc&) { n.value(static_cast<const char*>(n.value()) + 1); }, "alue",
         [](XMLNode& n, XMLDoc&) { return n.value(); }},
        {"attribute value from its own value",
         [](XMLNode& n, XMLDoc&) {
             const XMLAttr* a = n.attribute(nullptr);
             n.attribute(a->name(), a->value());
         },
         "one", [](XMLNode& n, XMLDoc&) { return n.attribute(String("first")); }},
        {"attribute value from the middle of its own value",
         [](XMLNode& n, XMLDoc&) {
             XMLAttr* a = n.attribute(nullptr);
             a->value(static_cast<const char*>(a->value()) + 1);
         },
         "ne", [](XMLNode& n, XMLDoc&) { return n.attribute(String("first")); }},
        {"attribute value from its own name",
         [](XMLNode& n, XMLDoc&) {
             XMLAttr* a = n.attribute(nullptr);
             a->value(a->name());
         },
         "first", [](XMLNode& n, XMLDoc&) { return n.attribute(String("first")); }},
        {"new attribute named after an existing one's value",
         [](XMLNode& n, XMLDoc&) {
             const XMLAttr* a = n.attribute(nullptr);
             n.attribute(a->value(), a->name());
         },
         "first", [](XMLNode& n, XMLDoc&) { return n.attribute(String("one")); }},
        {"node value from an attribute", [](XMLNode& n, XMLDoc&) { n.value(n.attribute(nullptr)->value()); },
         "one", [](XMLNode& n, XMLDoc&) { return n.value(); }},
        {"node assigned from its own child", [](XMLNode& n, XMLDoc&) { n = *n.nextChild(nullptr); }, "child",
         [](XMLNode& n, XMLDoc&) { return n.name(); }},
        {"DOCTYPE text from itself",
         [](XMLNode&, XMLDoc& d) { d.docType(static_cast<const char*>(d.docType()) + 2); }, "type",
         [](XMLNode&, XMLDoc& d) { return d.docType(); }},
        {"DOCTYPE text from the root's name", [](XMLNode&, XMLDoc& d) { d.docType(d.rootNode()->name()); },
         "root", [](XMLNode&, XMLDoc& d) { return d.docType(); }},
        {"new root named after the old root's attribute",
         [](XMLNode&, XMLDoc& d) { d.rootNode(d.rootNode()->attribute(nullptr)->value(), true); }, "next",
         [](XMLNode&, XMLDoc& d) { return d.rootNode()->name(); }},
        {"new root copied from a node of the old tree",
         [](XMLNode&, XMLDoc& d) { d.rootNode(*d.rootNode()->nextChild(nullptr)); }, "leaf",
         [](XMLNode&, XMLDoc& d) { return d.rootNode()->value(); }},
        {"document assigned from itself",
         [](XMLNode&, XMLDoc& d) {
             const XMLDoc& same = d;
             d = same;
         },
         "root", [](XMLNode&, XMLDoc& d) { return d.rootNode()->name(); }},
        {"node parsed from its own value",
         [](XMLNode& n, XMLDoc&) {
             n.value("<x>inner</x>");
             const XMLNode* child = n.nextChild(nullptr);
             const String& text = n.attribute(nullptr)->value(); // keeps storage alive below
             (void)text;
             XMLAttr* a = n.attribute(nullptr);
             a->value("<y>parsed</y>");
             const char* cursor = a->value();
             n.nextChild(child)->fromStream(cursor);
         },
         "parsed", [](XMLNode& n, XMLDoc&) { return n.nextChild(n.nextChild(nullptr))->value(); }},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.what);
        XMLNode node("node");
        node.value("value");
        node.attribute("first", "one");
        node.addNode("child", "c");
        node.addNode("second", "s");
        XMLDoc doc("root", "1.0", "UTF-8");
        doc.docType("a type");
        doc.rootNode()->attribute("a", "next");
        doc.rootNode()->addNode("leaf", "leaf");
        row.run(node, doc);
        EXPECT_STREQ(row.result(node, doc), row.expected);
    }
}

// Names and values come back as the Strings they were given: null apart from empty, texts on either side
// of the room a node keeps in place, and the fixed length and numeric mark of a String, through copies,
// moves and a write and read.
TEST(XMLNodeTree, FieldsComeBackAsGiven) {
    const std::string fifteen(15, 'f'), sixteen(16, 's'), long_(1000, 'l');
    XMLNode root("root");
    root.addNode(String("empty"), String(""));
    root.addNode(String("null"), String());
    root.addNode(String("fifteen"), String(fifteen));
    root.addNode(String("sixteen"), String(sixteen));
    root.addNode(String("long"), String(long_));
    String number;
    number = 42L;
    root.addNode(String("number"), number);
    root.addNode(String("fixed"), String("ab", 8));
    root.addNode(String("ns"), String("name"), String("text"));

    XMLNode copy(root);
    XMLNode source(copy);
    XMLNode moved(std::move(source));
    for (const XMLNode* tree : {&root, &copy, &moved}) {
        const XMLNode* c = tree->findChild(String("empty"), nullptr);
        ASSERT_NE(c, nullptr);
        EXPECT_FALSE(c->value().isNull());
        EXPECT_STREQ(c->value(), "");
        EXPECT_TRUE(tree->findChild(String("null"), nullptr)->value().isNull());
        EXPECT_EQ(std::string(tree->findChild(String("fifteen"), nullptr)->value()), fifteen);
        EXPECT_EQ(std::string(tree->findChild(String("sixteen"), nullptr)->value()), sixteen);
        EXPECT_EQ(std::string(tree->findChild(String("long"), nullptr)->value()), long_);
        String n = tree->findChild(String("number"), nullptr)->value();
        EXPECT_STREQ(n.sql(), "42");
        String f = tree->findChild(String("fixed"), nullptr)->value();
        EXPECT_EQ(f.fixedLength(), 8ul);
        EXPECT_STREQ(f, "ab");
        const XMLNode* ns = tree->findChild(String("ns"), String("name"), nullptr);
        ASSERT_NE(ns, nullptr);
        EXPECT_STREQ(ns->value(), "text");
        EXPECT_TRUE(tree->nameSpace().isNull());
    }

    XMLDoc doc;
    doc.rootNode(root);
    const XMLNode* read = doc.rootNode();
    EXPECT_EQ(std::string(read->findChild(String("long"), nullptr)->value()), long_);
    EXPECT_STREQ(read->findChild(String("number"), nullptr)->value(), "42");
    EXPECT_TRUE(read->findChild(String("empty"), nullptr)->value().isNull());
}

// Attributes that repeat a name, and the texts of one parse, may share storage: each keeps its name and
// text whatever becomes of the others, their trees and the parse that read them.
TEST(XMLNodeTree, ParsedNamesAndTextsOutliveEachOther) {
    XMLNode* copy = nullptr;
    XMLAttr* single = nullptr;
    XMLNode* kept = nullptr;
    {
        XMLDoc doc("<r><a id='1' x='y'/><a id='2'/><b id='3' x='z'/><t>a text longer than fifteen</t></r>");
        kept = new XMLNode(std::move(*doc.rootNode()->findChild(String("t"), nullptr)));
        copy = new XMLNode(*doc.rootNode());
        XMLNode* b = doc.rootNode()->findChild(String("b"), nullptr);
        single = new XMLAttr(*b->attribute(nullptr));
        XMLNode moved(std::move(*doc.rootNode()->findChild(String("a"), nullptr)));
        EXPECT_STREQ(moved.attribute(String("id")), "1");
    }
    EXPECT_STREQ(single->name(), "id");
    EXPECT_STREQ(single->value(), "3");
    delete single;
    std::string seen;
    for (const XMLNode& child : copy->children()) {
        for (const XMLAttr& a : child.attributes()) {
            seen += std::string(a.name()) + "=" + std::string(a.value()) + ";";
        }
    }
    EXPECT_EQ(seen, "id=1;x=y;id=2;id=3;x=z;");
    delete copy;
    EXPECT_STREQ(kept->value(), "a text longer than fifteen");
    delete kept;
}

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
