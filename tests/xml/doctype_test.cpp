// DOCTYPE internal subsets, the general entities they declare, processing instructions, nodes outside
// the root, and the place every reading failure reports.

#include "kel_test.h"
#include "xml_content.h"

#include <kel/xml.h>

#include <chrono>
#include <string>

using namespace Kel;

namespace {

std::string text(const String& s) {
    return s.isNull() ? "(null)" : static_cast<const char*>(s);
}

// The names (or "#" for a comment, "?name" for an instruction) of a holder's children.
std::string topLevel(const XMLNode* holder) {
    std::string names;
    for (const XMLNode* n = holder ? holder->nextChild(nullptr) : nullptr; n; n = holder->nextChild(n)) {
        names += n->type() == XMLNode::Comment       ? "#"
                 : n->type() == XMLNode::Instruction ? "?" + text(n->name())
                                                     : text(n->name());
    }
    return names;
}

std::string bomb(int levels) {
    std::string subset = "<!ENTITY lol0 \"lol\">";
    for (int i = 1; i <= levels; ++i) {
        subset += "<!ENTITY lol" + std::to_string(i) + " \"";
        for (int j = 0; j < 10; ++j) {
            subset += "&lol" + std::to_string(i - 1) + ";";
        }
        subset += "\">";
    }
    return "<?xml version=\"1.0\"?><!DOCTYPE lolz [" + subset + "]><lolz>&lol" + std::to_string(levels) +
           ";</lolz>";
}

} // namespace

TEST(XMLDocType, InternalSubsetIsKeptAndWrittenBack) {
    const char* source =
        "<?xml version=\"1.0\"?>\n<!DOCTYPE svg PUBLIC \"-//W3C//DTD SVG 1.1//EN\" \"x.dtd\" [\n"
        "\t<!ENTITY ns_svg \"http://www.w3.org/2000/svg\">\n\t<!-- a > in a comment -->\n"
        "\t<!ENTITY gt \"a>b\">\n]>\n<svg xmlns=\"&ns_svg;\">&gt;</svg>\n";
    XMLDoc doc(source);
    EXPECT_EQ(text(doc.docType()),
              "svg PUBLIC \"-//W3C//DTD SVG 1.1//EN\" \"x.dtd\" [\n\t<!ENTITY ns_svg "
              "\"http://www.w3.org/2000/svg\">\n\t<!-- a > in a comment -->\n\t<!ENTITY gt "
              "\"a>b\">\n]");
    ASSERT_NE(doc.rootNode(), nullptr);
    EXPECT_EQ(text(doc.rootNode()->attribute(String("xmlns"))), "http://www.w3.org/2000/svg");
    // XML's five predefined entities cannot be declared otherwise: "&gt;" stays ">".
    EXPECT_EQ(text(doc.rootNode()->value()), ">");
    const String written = doc.stream();
    EXPECT_NE(std::string(written).find("<!DOCTYPE svg PUBLIC"), std::string::npos);
    XMLDoc again(static_cast<const char*>(written));
    EXPECT_EQ(text(again.docType()), text(doc.docType()));
    EXPECT_EQ(kel_test::contentOf(again.rootNode()), kel_test::contentOf(doc.rootNode()));
}

TEST(XMLDocType, EntitiesExpandInTextAndAttributesAndInsideEachOther) {
    XMLDoc doc("<!DOCTYPE r [<!ENTITY a 'x&b;y'><!ENTITY b \"&#233;&amp;\"><!ENTITY a 'second'>"
               "<!ENTITY % p 'param'> %p; <?pi in subset?>]><r k=\"[&a;]\">&a;&b;<c>&a;</c>&a;</r>");
    const XMLNode* r = doc.rootNode();
    ASSERT_NE(r, nullptr);
    EXPECT_EQ(text(r->attribute(String("k"))), "[x\xC3\xA9&y]");
    EXPECT_EQ(kel_test::contentOf(r),
              "(r\n@k=[x\xC3\xA9&y]\n\"x\xC3\xA9&y\xC3\xA9&\n(c\n\"x\xC3\xA9&y\n)\n\"x\xC3\xA9&y\n)\n");
    // Undeclared names still go to the table, and fail as before.
    EXPECT_THROW_REASON(XMLDoc("<!DOCTYPE r [<!ENTITY a 'x'>]><r>&b;</r>"), XMLException, 102);
}

TEST(XMLDocType, ExpansionLimits) {
    // The classic bomb: 10^9 "lol"s from a few hundred bytes, refused long before.
    const auto start = std::chrono::steady_clock::now();
    EXPECT_THROW_REASON(XMLDoc(bomb(9).c_str()), XMLException, 105);
    EXPECT_LT(std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count(),
              2.0 * kel_test::slowdown());
    // Three levels (1,000 "lol"s) are within the limit.
    EXPECT_EQ(XMLDoc(bomb(3).c_str()).rootNode()->value().length(), 3000ul);
    // Recursion, direct or through another entity, and nesting deeper than 16.
    EXPECT_THROW_REASON(XMLDoc("<!DOCTYPE r [<!ENTITY a '&a;'>]><r>&a;</r>"), XMLException, 105);
    EXPECT_THROW_REASON(XMLDoc("<!DOCTYPE r [<!ENTITY a '&b;'><!ENTITY b '&a;'>]><r x='&a;'/>"), XMLException,
                        105);
    std::string chain = "<!DOCTYPE r [<!ENTITY e0 'end'>";
    for (int i = 1; i <= 17; ++i) {
        chain += "<!ENTITY e" + std::to_string(i) + " '&e" + std::to_string(i - 1) + ";'>";
    }
    EXPECT_EQ(text(XMLDoc((chain + "]><r>&e15;</r>").c_str()).rootNode()->value()), "end");
    EXPECT_THROW_REASON(XMLDoc((chain + "]><r>&e17;</r>").c_str()), XMLException, 105);
    // Markup in a replacement text is not read.
    EXPECT_THROW_REASON(XMLDoc("<!DOCTYPE r [<!ENTITY m '<b/>'>]><r>&m;</r>"), XMLException, 106);
}

TEST(XMLDocType, ExternalEntitiesAreNeverRead) {
    const char* source =
        "<!DOCTYPE r [<!ENTITY secret SYSTEM \"file:///etc/passwd\">"
        "<!ENTITY pub PUBLIC \"-//X//EN\" \"http://example.invalid/x\">]>\n<r>\n&secret;</r>";
    try {
        XMLDoc doc(source);
        ADD_FAILURE() << "an external entity was expanded";
    } catch (const XMLException& e) {
        EXPECT_EQ(e.reason(), 104);
        EXPECT_EQ(e.line(), 3);
        EXPECT_EQ(e.column(), 1);
    }
    EXPECT_THROW_REASON(XMLDoc("<!DOCTYPE r [<!ENTITY pub PUBLIC '-//X//EN' 'x.ent'>]><r a='&pub;'/>"),
                        XMLException, 104);
    // Declared but not used: the document reads.
    EXPECT_STREQ(XMLDoc("<!DOCTYPE r [<!ENTITY x SYSTEM 'x.ent'>]><r>t</r>").rootNode()->value(), "t");
}

TEST(XMLDocType, InstructionsAreKeptAsNodes) {
    XMLDoc doc(
        "<?xml version=\"1.0\"?>\n<?xml-stylesheet type=\"text/xsl\" href=\"s.xsl\"?>\n<!-- before -->\n"
        "<page><?php echo $a > 1; ?><p>x</p></page>\n<!-- after --><?done?>\n");
    EXPECT_EQ(topLevel(doc.prolog()), "?xml-stylesheet#");
    EXPECT_EQ(topLevel(doc.epilog()), "#?done");
    const XMLNode* style = doc.prolog()->nextChild(nullptr);
    EXPECT_EQ(text(style->attribute(String("href"))), "s.xsl");
    const XMLNode* php = doc.rootNode()->nextChild(nullptr);
    EXPECT_EQ(php->type(), XMLNode::Instruction);
    EXPECT_EQ(text(php->name()), "php");
    EXPECT_EQ(text(php->value()), "echo $a > 1; ");
    EXPECT_EQ(std::string(doc.stream()), "<?xml version=\"1.0\"?>\n"
                                         "<?xml-stylesheet type=\"text/xsl\" href=\"s.xsl\"?>\n"
                                         "<!-- before -->\n"
                                         "<page>\n"
                                         "\t<?php echo $a > 1; ?>\n"
                                         "\t<p>x</p>\n"
                                         "</page>\n"
                                         "<!-- after -->\n"
                                         "<?done?>\n");
    // Copies carry the nodes outside the root; a new parse drops them.
    XMLDoc copy(doc);
    EXPECT_EQ(topLevel(copy.epilog()), "#?done");
    XMLDoc assigned;
    assigned = doc;
    EXPECT_EQ(std::string(assigned.stream()), std::string(doc.stream()));
    const char* plain = "<r/>";
    doc.fromStream(plain);
    EXPECT_EQ(static_cast<const XMLDoc&>(doc).prolog(), nullptr);
    EXPECT_EQ(static_cast<const XMLDoc&>(doc).epilog(), nullptr);
    EXPECT_EQ(doc.prolog()->nextChild(nullptr), nullptr); // an empty holder on demand
}

// Each reason the reader raises points at the offending character: lines end with LF, CR LF or CR, and
// columns count bytes ("\xC3\xA9" is two).
TEST(XMLPositions, EveryReadingFailureSaysWhere) {
    const struct {
        const char* text;
        long reason;
        long line;
        long column;
        long offset;
    } rows[] = {
        {"<r>\r\n  <a>\xC3\xA9 &bad;</a></r>", 102, 2, 9, 13},
        {"<r>\n\n<a>x &amp no end</a></r>", 101, 3, 6, 10},
        {"<r>\r\r<a x='&#xD800;'/></r>", 103, 3, 7, 11},
        {"<!DOCTYPE r [<!ENTITY e SYSTEM 'e'>]>\n<r>\n\t<x>\xC3\xA9&e;</x></r>", 104, 3, 7, 48},
        {"<!DOCTYPE r [<!ENTITY e '&e;'>]><r>\n&e;</r>", 105, 2, 1, 36},
        {"<!DOCTYPE r [<!ENTITY e '<b/>'>]><r>\r\n &e;</r>", 106, 2, 2, 39},
        {"<r>\n  <a b=\"1\" c>", 205, 2, 13, 16}, // where the "=" should stand
        {"<r>\n<a x=1/></r>", 205, 2, 6, 9},
        {"<r>\n  <a", 205, 2, 3, 6},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.text);
        try {
            XMLDoc doc(row.text);
            ADD_FAILURE() << "no exception";
        } catch (const XMLException& e) {
            EXPECT_EQ(e.reason(), row.reason);
            EXPECT_EQ(e.line(), row.line);
            EXPECT_EQ(e.column(), row.column);
            EXPECT_EQ(e.offset(), row.offset);
            const std::string place = "line " + std::to_string(row.line) + ", column " +
                                      std::to_string(row.column) + ", offset " + std::to_string(row.offset);
            EXPECT_NE(std::string(e.what()).find(place), std::string::npos) << e.what();
        }
    }
    // Reason 203 ends a document quietly; from a node parse it reaches the caller with its place.
    XMLNode parent("p");
    for (const char* bad : {"no tag", "<a><!-- open > </a>", "<a><![CDATA[x</a>"}) {
        SCOPED_TRACE(bad);
        const char* cursor = bad;
        try {
            parent.addNode(cursor);
            ADD_FAILURE() << "no exception";
        } catch (const XMLException& e) {
            EXPECT_EQ(e.reason(), 203);
            EXPECT_EQ(e.line(), 1);
            EXPECT_EQ(e.column(), e.offset() + 1);
            EXPECT_EQ(e.column(), bad[0] == 'n' ? 1 : 4);
        }
    }
    // Failures that do not come from a text have no place.
    try {
        XMLDoc().fromFile(nullptr);
    } catch (const XMLException& e) {
        EXPECT_EQ(e.line(), 0);
        EXPECT_EQ(e.offset(), 0);
    }
}
