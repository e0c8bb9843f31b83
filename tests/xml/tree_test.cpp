// Building, copying, moving, searching and iterating trees of nodes and attributes.

#include "kel_test.h"
#include "xml_content.h"

#include <kel/xml.h>

#include <chrono>
#include <iterator>
#include <string>
#include <type_traits>
#include <vector>

using namespace Kel;
using kel_test::attributeList;
using kel_test::shapeOf;

static_assert(std::is_nothrow_move_constructible<XMLDoc>::value &&
                  std::is_nothrow_move_assignable<XMLDoc>::value &&
                  std::is_nothrow_move_constructible<XMLNode>::value &&
                  std::is_nothrow_move_assignable<XMLNode>::value &&
                  std::is_nothrow_move_constructible<XMLNodeList>::value &&
                  std::is_nothrow_move_assignable<XMLNodeList>::value,
              "documents, nodes and search lists move without throwing");

namespace {

std::string walk(XMLNodeList& list) {
    std::string text;
    XMLSNode* cell = nullptr;
    while (XMLNode* n = list.next(cell)) {
        text += kel_test::orEmpty(n->name()) + kel_test::orEmpty(n->value()) + ",";
    }
    EXPECT_EQ(cell, nullptr);
    return text;
}

} // namespace

TEST(XMLNodeTree, NewNodesAndAttributesGoToTheEnd) {
    XMLNode root("r");
    root.attribute("a", "1");
    root.attribute("b", "2");
    root.attribute("a", "3");
    EXPECT_STREQ(root.attribute(String("b")), "2");
    EXPECT_TRUE(root.attribute(String("missing")).isNull());
    EXPECT_EQ(root.level(), 0);
    XMLNode* first = root.addNode("a", "1");
    root.addNode("ns", "b", "2");
    root.addNode("c", String());
    XMLNode* fourth = first->insertNodeAfter("d", "4");
    EXPECT_EQ(first->level(), 1);
    EXPECT_EQ(fourth->addNode("e", "")->level(), 2);
    EXPECT_EQ(shapeOf(root), "r{a=3;b=2;}(a=1 ns:b=2 c d=4(e=))");

    // Without a parent the new node is free and belongs to the caller.
    XMLNode free("f");
    XMLNode* orphan = free.insertNodeAfter("g", "x");
    EXPECT_EQ(orphan->parent(), nullptr);
    EXPECT_EQ(free.nextChild(nullptr), nullptr);
    delete orphan;
}

TEST(XMLNodeTree, DestroyingAChildUnlinksItAndDeleteContentKeepsTheNode) {
    XMLNode root("ns", "r");
    root.value("v");
    root.attribute("a", "1");
    root.addNode("a", "");
    XMLNode* b = root.addNode("b", "");
    XMLNode* c = root.addNode("c", "");
    delete b;
    EXPECT_EQ(shapeOf(root), "ns:r=v{a=1;}(a= c=)");
    delete root.nextChild(nullptr);
    delete c;
    EXPECT_EQ(root.nextChild(nullptr), nullptr);
    root.addNode("d", "")->addNode("y", "");
    EXPECT_EQ(shapeOf(root), "ns:r=v{a=1;}(d=(y=))");
    root.deleteContent();
    EXPECT_EQ(shapeOf(root), "ns:r=v");
}

TEST(XMLNodeTree, CopiesAreDeepAndCollapseRepeatedAttributes) {
    XMLNode source("s");
    XMLNode* parsed =
        kel_test::parseNode(source, "<r a=\"1\" b=\"2\" a=\"3\"><x><y k=\"v\">t</y></x><z/></r>");
    EXPECT_EQ(shapeOf(*parsed), "r{a=1;b=2;a=3;}(x(y=t{k=v;}) z)");
    XMLNode copy(*parsed);
    EXPECT_EQ(copy.parent(), nullptr);
    EXPECT_EQ(shapeOf(copy), "r{a=3;b=2;}(x(y=t{k=v;}) z)");
    copy.nextChild(nullptr)->nextChild(nullptr)->value("changed");
    EXPECT_EQ(shapeOf(*parsed), "r{a=1;b=2;a=3;}(x(y=t{k=v;}) z)");
    // A node copied into its own subtree is copied as it was before.
    parsed->addNode(*parsed);
    EXPECT_EQ(shapeOf(*parsed), "r{a=1;b=2;a=3;}(x(y=t{k=v;}) z r{a=3;b=2;}(x(y=t{k=v;}) z))");
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
    EXPECT_EQ(shapeOf(root), "root(#p:other=v(kid=) b=)");
    *a = *a;
    EXPECT_EQ(shapeOf(*a), "#p:other=v(kid=)");
    // From inside its own subtree and from an ancestor.
    *a = *a->nextChild(nullptr);
    EXPECT_EQ(shapeOf(root), "root(kid= b=)");
    *a->addNode("leaf", "") = root;
    EXPECT_EQ(shapeOf(root), "root(kid=(root(kid=(leaf=) b=)) b=)");
}

TEST(XMLNodeTree, AttributeCopiesKeepTheNeighbourLinksOfTheSource) {
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

TEST(XMLDump, NodeAttributeAndDocumentLines) {
    XMLNode n("a");
    n.value("1");
    EXPECT_EQ(kel_test::dumpOf(n), "@ class Kel::XMLNode\nNs=(null) Nm=a Va=1\n");
    n.attribute("k", String());
    EXPECT_EQ(kel_test::dumpOf(*n.attribute(nullptr)), "@ class Kel::XMLAttr\nNm=k Va=(null)\n");
    XMLDoc doc("r", "1.0", "UTF-8");
    EXPECT_EQ(kel_test::dumpOf(doc),
              "@ class Kel::XMLDoc\n<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<r/>\n\n");
}

// Attributes that share a name collapse on copy; with many attributes the copy must stay linear (a
// quadratic copy of this node takes minutes).
TEST(XMLNodeTree, CopiesOfNodesWithManyAttributesAreLinear) {
    constexpr int count = 200000;
    XMLNode many("many");
    for (int i = 0; i < count; ++i) {
        new XMLAttr(&many, ("a" + std::to_string(i)).c_str(), "v");
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

    EXPECT_EQ(std::distance(copy.attributes().begin(), copy.attributes().end()), count + 2);
    EXPECT_STREQ(copy.attribute(String("a17")), "late");
    EXPECT_STREQ(copy.attribute(String("a199999")), "last");
    EXPECT_STREQ(copy.attribute(String()), "null again");
    EXPECT_STREQ(copy.attribute(String("")), "empty name");
    EXPECT_STREQ(copy.attribute(copy.attribute(copy.attribute(nullptr)))->name(), "a2");
}

// Setters given text that lies in the object's own storage behave as if the text had been copied first.
TEST(XMLSetters, TextFromTheObjectItselfIsCopiedFirst) {
    XMLNode n("node");
    n.value("value");
    n.value(static_cast<const char*>(n.value()) + 1);
    EXPECT_STREQ(n.value(), "alue");
    n.attribute("first", "one");
    XMLAttr* a = n.attribute(nullptr);
    n.attribute(a->name(), a->value());
    EXPECT_STREQ(n.attribute("first"), "one");
    n.attribute(a->value(), a->name()); // a new attribute named after a value
    EXPECT_STREQ(n.attribute("one"), "first");
    n.value(a->value());
    EXPECT_STREQ(n.value(), "one");
    a->value(static_cast<const char*>(a->value()) + 1);
    EXPECT_STREQ(a->value(), "ne");
    a->value(a->name());
    EXPECT_STREQ(a->value(), "first");

    // Parsed from its own value.
    n.addNode("child", "c");
    n.value("<x>inner</x>");
    a->value("<y>parsed</y>");
    const char* cursor = a->value();
    n.nextChild(nullptr)->fromStream(cursor);
    EXPECT_STREQ(n.nextChild(nullptr)->value(), "parsed");
    n = *n.nextChild(nullptr);
    EXPECT_STREQ(n.name(), "y");

    XMLDoc d("root", "1.0", "UTF-8");
    d.docType("a type");
    d.docType(static_cast<const char*>(d.docType()) + 2);
    EXPECT_STREQ(d.docType(), "type");
    d.docType(d.rootNode()->name());
    EXPECT_STREQ(d.docType(), "root");
    d = static_cast<const XMLDoc&>(d);
    EXPECT_STREQ(d.rootNode()->name(), "root");
    d.rootNode()->attribute("a", "next");
    d.rootNode(d.rootNode()->attribute(nullptr)->value(), true);
    EXPECT_STREQ(d.rootNode()->name(), "next");
    d.rootNode()->addNode("leaf", "leaf");
    d.rootNode(*d.rootNode()->nextChild(nullptr));
    EXPECT_STREQ(d.rootNode()->value(), "leaf");
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
        EXPECT_EQ(shapeOf(*tree), "root(empty= null fifteen=" + fifteen + " sixteen=" + sixteen +
                                      " long=" + long_ + " number=42 fixed=ab ns:name=text)");
        EXPECT_STREQ(String(tree->findChild(String("number"), nullptr)->value()).sql(), "42");
        EXPECT_EQ(tree->findChild(String("fixed"), nullptr)->value().fixedLength(), 8ul);
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
        single = new XMLAttr(*doc.rootNode()->findChild(String("b"), nullptr)->attribute(nullptr));
        XMLNode moved(std::move(*doc.rootNode()->findChild(String("a"), nullptr)));
        EXPECT_STREQ(moved.attribute(String("id")), "1");
    }
    EXPECT_STREQ(single->name(), "id");
    EXPECT_STREQ(single->value(), "3");
    delete single;
    EXPECT_EQ(shapeOf(*copy), "r(a{id=1;x=y;} a{id=2;} b{id=3;x=z;} (null))");
    delete copy;
    EXPECT_STREQ(kept->value(), "a text longer than fifteen");
    delete kept;

    // A name repeated by more attributes than one parse hands out at a time.
    std::string many = "<r>";
    for (int i = 0; i < 150; ++i) {
        many += "<e k='" + std::to_string(i) + "'/>";
    }
    std::vector<XMLNode> outlived;
    {
        XMLDoc doc((many + "</r>").c_str());
        for (XMLNode& e : doc.rootNode()->children()) {
            if (e.attribute(String("k")).length() == 2) {
                outlived.push_back(std::move(e));
            }
        }
    }
    // The declaration is dropped while the parse goes on, and its attribute names with it.
    EXPECT_STREQ(XMLDoc("<?xml version='1.0'?><r version='2'/>").rootNode()->attribute(nullptr)->name(),
                 "version");
    ASSERT_EQ(outlived.size(), 90u);
    EXPECT_STREQ(outlived.back().attribute(nullptr)->name(), "k");
    EXPECT_STREQ(outlived.back().attribute(String("k")), "99");
}

TEST(XMLFindChild, ContinuesAfterTheGivenChildAndMatchesNamespaceAndAttribute) {
    XMLNode root("r");
    XMLNode* first = root.addNode("item", "1");
    first->attribute("id", "8");
    root.addNode("other", "");
    XMLNode* seven = root.addNode("item", "");
    seven->attribute("id", "7");
    XMLNode* bare = root.addNode("item", "");
    XMLNode* qualified = root.addNode("p", "item", "");
    qualified->attribute("id", "7");
    EXPECT_EQ(root.findChild("item", nullptr), first);
    EXPECT_EQ(root.findChild("item", first), seven);
    EXPECT_EQ(root.findChild("item", qualified), nullptr);
    const XMLNode& constRoot = root;
    EXPECT_EQ(constRoot.findChild("other", nullptr), root.nextChild(first));
    EXPECT_EQ(root.findChild("item", "id", "7", nullptr), seven);
    EXPECT_EQ(root.findChild("item", "id", String(), nullptr), bare);
    EXPECT_EQ(root.findChild("p", "item", nullptr), qualified);
    EXPECT_EQ(root.findChild("p", "item", "id", "7", nullptr), qualified);
    EXPECT_EQ(root.findChild("p", "item", "id", "8", nullptr), nullptr);
    EXPECT_EQ(root.findChild(String(), "item", nullptr), first);
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

    // Moves take the cells along.
    XMLNodeList moved(std::move(list));
    EXPECT_EQ(list.begin(), list.end());
    list = std::move(moved);
    EXPECT_EQ(moved.begin(), moved.end());
    EXPECT_EQ(walk(list), "c0,c1,c2,b,c1,");
}

TEST(XMLMoves, DocumentsMoveIntoContainersAndOutOfFunctions) {
    const auto make = [](const char* rootName) {
        XMLDoc doc(rootName, "1.0", "UTF-8");
        doc.rootNode()->addNode("a", "1");
        doc.rootNode()->addNode("b", "2");
        return doc;
    };
    std::vector<XMLDoc> docs;
    docs.push_back(make("first"));
    docs.push_back(make("second"));
    docs.emplace_back("<third><!-- c --></third>");
    docs.resize(40); // reallocation moves the documents
    EXPECT_STREQ(docs[0].rootNode()->name(), "first");
    EXPECT_EQ(shapeOf(*docs[1].rootNode()), "second(a=1 b=2)");
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
    EXPECT_EQ(shapeOf(moved), "?ns:src=v{k=1;}(x=(deep=d) y=)");
    EXPECT_EQ(moved.nextChild(nullptr)->nextChild(nullptr)->level(), 2);
    EXPECT_EQ(shapeOf(source), "(null)"); // an element without name, value, attributes or children

    // Assignment keeps the target's place; from a node inside its own subtree as well.
    XMLNode root("root");
    XMLNode* slot = root.addNode("slot", "");
    root.addNode("after", "");
    *slot = std::move(moved);
    EXPECT_EQ(shapeOf(root), "root(?ns:src=v{k=1;}(x=(deep=d) y=) after=)");
    *slot = std::move(*slot->nextChild(nullptr));
    EXPECT_EQ(shapeOf(root), "root(x=(deep=d) after=)");
    // From an ancestor, or itself: nothing changes.
    XMLNode* deep = slot->nextChild(nullptr);
    *deep = std::move(root);
    *deep = std::move(*deep);
    EXPECT_EQ(shapeOf(root), "root(x=(deep=d) after=)");

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

TEST(XMLIteration, ChildrenAndAttributes) {
    XMLDoc doc("<r x='1' y='2'><a/>text<b/><!-- c --></r>");
    XMLNode* root = doc.rootNode();
    std::string seen;
    for (XMLNode& child : root->children()) {
        seen += shapeOf(child) + ";";
    }
    EXPECT_EQ(seen, "a;'text';b;#!--=<!-- c -->;");
    for (XMLAttr& a : root->attributes()) {
        a.value((std::string(a.name()) + "=" + std::string(a.value())).c_str());
    }
    std::string values;
    for (const XMLAttr& a : static_cast<const XMLNode&>(*root).attributes()) {
        values += std::string(a.value()) + ";";
    }
    EXPECT_EQ(values, "x=1;y=2;");
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
}
