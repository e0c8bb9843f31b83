// Reading: tags, texts, entities and character references, DOCTYPE internal subsets, instructions and
// nodes outside the root, and the place every reading failure reports.

#include "kel_test.h"
#include "xml_content.h"

#include <kel/xml.h>

#include <chrono>
#include <string>
#include <vector>

using namespace Kel;
using kel_test::parseNode;
using kel_test::shapeOf;
using kel_test::text;

namespace {

String decode(const char* text) {
    return XMLUtil::XMLDecode(String(text));
}

// Entities lol1 to lol<levels>, each ten references to the one below, over lol0 = innermost.
std::string bomb(int levels, const std::string& innermost = "lol") {
    std::string subset = "<!ENTITY lol0 \"" + innermost + "\">";
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

// A root referring references times to an entity of valueLength characters, the text padded with
// blanks behind the root to size characters.
std::string expanding(std::size_t valueLength, std::size_t references, std::size_t size = 0) {
    std::string text = "<!DOCTYPE r [<!ENTITY e '" + std::string(valueLength, 'x') + "'>]><r>";
    for (std::size_t i = 0; i < references; ++i) {
        text += "&e;";
    }
    text += "</r>";
    if (text.size() < size) {
        text.append(size - text.size(), ' ');
    }
    return text;
}

} // namespace

TEST(XMLParser, ReadsADocumentWithDeclaration) {
    XMLDoc doc("<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<root><a x=\"1\">t</a><b/></root>\n");
    EXPECT_STREQ(doc.version(), "1.0");
    EXPECT_STREQ(doc.encoding(), "UTF-8");
    EXPECT_TRUE(doc.docType().isNull());
    EXPECT_EQ(shapeOf(*doc.rootNode()), "root(a=t{x=1;} b)");
}

TEST(XMLParser, TextOtherThanATagEndsTheDocumentQuietly) {
    // White space may come before the first tag; other text may not.
    EXPECT_STREQ(XMLDoc(" <a/>").rootNode()->name(), "a");
    EXPECT_STREQ(XMLDoc("\n\t\r\n<a/>").rootNode()->name(), "a");
    EXPECT_TRUE(XMLDoc("x<a/>").isNull());
    EXPECT_TRUE(XMLDoc("").isNull());
    // A second element right behind the root is read and dropped; after white space it is not read.
    EXPECT_THROW_REASON(XMLDoc("<a></a><b x=\"&bad;\"/>"), XMLException, 102);
    EXPECT_STREQ(XMLDoc("<a></a> <b x=\"&bad;\"/>").rootNode()->name(), "a");
    EXPECT_STREQ(XMLDoc("<a></a><b/>").rootNode()->name(), "a");
    const char* null = nullptr;
    EXPECT_THROW_REASON(XMLDoc().fromStream(null), XMLException, 401);
}

TEST(XMLParser, EachKindOfTagReadsToItsNode) {
    // White space before "/" or ">" means no attribute, end tags are not compared with start tags, and text
    // beside a child element is mixed content: text nodes in document order.
    XMLNode parent("p");
    const auto expectShape = [&parent](const char* text, const char* shape) {
        const char* cursor = text;
        EXPECT_EQ(shapeOf(*parent.addNode(cursor)), shape) << text;
        EXPECT_STREQ(cursor, "");
    };
    expectShape("<a/>", "a");
    expectShape("<a x=\"1\"/>", "a{x=1;}");
    expectShape("<p:item>x</p:item>", "p:item=x");
    expectShape("<a:b:c/>", "a:b");
    expectShape("<:b/>", "b");
    expectShape("<br />", "br");
    expectShape("<a >text</a>", "a=text");
    expectShape("<a><b/></z>", "a(b)");
    expectShape("<x>5 &lt; 6</x>", "x=5 < 6");
    expectShape("<a>  hi </a>", "a=  hi ");
    expectShape("<a></a>", "a");
    expectShape("<r><a>hello<b/></a><c/></r>", "r(a('hello' b) c)");
    expectShape("<a x=\"\" y=\"a=b\" z=\"&quot;q&quot;\" w=\"1 &amp; 2\"/>",
                "a{x=(null);y=a=b;z=\"q\";w=1 & 2;}");
    expectShape("<m\n   target=\"p\"\n   kind=\"x\"><t/></m>", "m{target=p;kind=x;}(t)");
    expectShape("<match\ntarget=\"pattern\"><test/></match>", "match{target=pattern;}(test)");
    // Whatever follows "<!--", the value is the whole comment.
    expectShape("<!-- note -->", "#!--=<!-- note -->");
    expectShape("<!--   x -->", "#!--=<!--   x -->");
    expectShape("<!--x-->", "#!--=<!--x-->");
    expectShape("<?pi a=\"1\"?>", "?pi{a=1;}");
    expectShape("<?pi a=\"1\" b=\"2?>", "?pi=a=\"1\" b=\"2");
    expectShape("<!ELEMENT a (b|c)>", "!ELEMENT{a (b|c)=(null);}");
    EXPECT_THROW_REASON(parseNode(parent, "<!-- open >"), XMLException, 203);
    EXPECT_THROW_REASON(parseNode(parent, "<x>a &copy; b</x>"), XMLException, 102);
    EXPECT_THROW_REASON(parseNode(parent, "<a x=\"&zz;\"/>"), XMLException, 102);

    const char* cursor = "k=\"v\" rest";
    const XMLAttr* attr = new XMLAttr(&parent, cursor);
    EXPECT_STREQ(attr->name(), "k");
    EXPECT_STREQ(attr->value(), "v");
    EXPECT_STREQ(cursor, " rest");
    EXPECT_STREQ(parent.attribute(String("k")), "v");
    const char* nothing = nullptr;
    EXPECT_THROW_REASON(XMLAttr(&parent, nothing), XMLException, 205);
}

TEST(XMLParser, DocTypeIsTheTextAfterTheUpperCaseKeyword) {
    XMLNode parent("p");
    EXPECT_STREQ(XMLDoc("<!DOCTYPE html><html/>").docType(), "html");
    EXPECT_TRUE(XMLDoc("<!doctype html><html/>").docType().isNull());
    EXPECT_STREQ(XMLDoc("<!DOCTYPE x SYSTEM \"x>.dtd\"><x/>").docType(), "x SYSTEM \"x>.dtd\"");
    EXPECT_THROW_REASON(parseNode(parent, "<!DOCTYPE "), XMLException, 205);
}

TEST(XMLParser, FromStreamOnAnExistingNodeAppendsAndFailuresLeaveNothing) {
    XMLNode node("ns", "old");
    node.value("kept");
    node.attribute("first", "1");
    node.addNode("child1", "");
    const char* cursor = "<new second=\"2\"><child2/></new>";
    node.fromStream(cursor);
    EXPECT_EQ(shapeOf(node), "ns:new=kept{first=1;second=2;}(child1= child2)");
    EXPECT_STREQ(cursor, "");

    // Failures discard the node under construction.
    XMLNode parent("p");
    EXPECT_THROW_REASON(parseNode(parent, "no tag"), XMLException, 203);
    EXPECT_THROW_REASON(parseNode(parent, "<a"), XMLException, 205);
    EXPECT_THROW_REASON(parseNode(parent, "<a><b><c>&x;</c></b></a>"), XMLException, 102);
    EXPECT_EQ(parent.nextChild(nullptr), nullptr);
}

// Inputs the scanner cannot make sense of: each gives a result or an XMLException, and reads nothing
// outside the text (the sanitizer builds check that).
TEST(XMLParser, MalformedInputStaysInsideTheText) {
    for (const char* text : {"<a>text without end", "<r><a>t</a", "<r><a><b/></a", "<r><a/></", "<!--- x ->",
                             "<>", "</>", "<a>t<", "<? x=\"1\"?>"}) {
        const char* cursor = text;
        EXPECT_NO_THROW(XMLDoc().fromStream(cursor)) << text;
    }
    const struct {
        long reason;
        std::vector<const char*> texts;
    } refused[] = {
        {205, {"<a x>", "<a x=\"1>", "<a x=1>", "<a x='1>", "<!ELEMENT a", "<!-- x", "<", "<a", "<?"}},
        {101, {"<a>&", "<a x=\"&amp\"/>"}}};
    for (const auto& row : refused) {
        for (const char* text : row.texts) {
            SCOPED_TRACE(text);
            const char* cursor = text;
            EXPECT_THROW_REASON(XMLDoc().fromStream(cursor), XMLException, row.reason);
        }
    }
    EXPECT_STREQ(XMLDoc("<a>text without end").rootNode()->value(), "text without end");
    EXPECT_EQ(shapeOf(*XMLDoc("<r><a><b>t").rootNode()), "r(a(b=t))");
}

TEST(XMLDecode, ReplacesEveryEntityOfTheTableInOnePass) {
    EXPECT_STREQ(
        decode("a &amp; b, x &lt;y&gt;&per;&slash;&qm;&em;&dash;&ob;&cb;&eq;&dq;&quot;&sq;&apos;&nbsp;."),
        "a & b, x <y>%/?!-[]=\"\"''\xA0.");
    EXPECT_STREQ(decode("plain text"), "plain text");
    EXPECT_STREQ(decode("&amp;lt;&amp;amp;x"), "&lt;&amp;x");
    EXPECT_STREQ(XMLUtil::XMLDecode(XMLUtil::XMLEncode("&lt; & \xA0 <>")), "&lt; & \xA0 <>");
}

// Decimal and hexadecimal references keep the low eight bits of the number; an entity must end within
// sixteen characters.
TEST(XMLDecode, CharacterReferencesAndMalformedEntities) {
    const char* pairs[] = {// text, decoded
                           "&#65;", "A", "&#321;", "A", "x&#x41;y", "xAy", "&#;", "", "&#-1;", "\xFF",
                           "&#-191;", "A", "&# +66;", "B", "&#0000000000065;", "A", "a&#256;b", "ab",
                           "&#x41;&#x6a;&#x6A;", "Ajj", "&#x141;", "A", "a&#x100;b", "ab", "&#x000000000041;",
                           "A",
                           // 2^32 + 65: a reader that saturates or wraps at 32 bits gives no 'A'
                           "&#4294967361;", "A"};
    for (std::size_t i = 0; i < sizeof pairs / sizeof *pairs; i += 2) {
        EXPECT_STREQ(decode(pairs[i]), pairs[i + 1]) << pairs[i];
    }
    EXPECT_FALSE(decode("&#0;").isNull());
    for (const char* text :
         {"&#x0000000000041;", "&#00000000000065;", "&#99999999999999;", "fish & chips", "tail &amp"}) {
        SCOPED_TRACE(text);
        EXPECT_THROW_REASON(decode(text), XMLException, 101);
    }
    for (const char* text : {"&AMP;", "&APOS;", "a & b; c", "&;"}) {
        SCOPED_TRACE(text);
        EXPECT_THROW_REASON(decode(text), XMLException, 102);
    }
}

TEST(XMLEncode, ReplacesOnlyAmpersandAnglesAndNoBreakSpaceKeepingUtf8) {
    EXPECT_STREQ(XMLUtil::XMLEncode("a<b & \"c\""), "a&lt;b &amp; \"c\"");
    EXPECT_STREQ(XMLUtil::XMLEncode("x>y\xA0z"), "x&gt;y&nbsp;z");
    EXPECT_STREQ(XMLUtil::XMLEncode("'/?!-[]=%"), "'/?!-[]=%");
    const auto expectEncoded = [](const char* text, const char* encoded) {
        EXPECT_STREQ(XMLUtil::XMLEncode(text), encoded) << text;
        EXPECT_STREQ(decode(encoded), text) << encoded;
    };
    expectEncoded("voil\xC3\xA0", "voil\xC3\xA0");                                   // a grave: C3 A0
    expectEncoded("\xD0\xA0\xD0\xB0", "\xD0\xA0\xD0\xB0");                           // Cyrillic: D0 A0
    expectEncoded("\xE0\xA0\x80 \xF0\x90\xA0\x80", "\xE0\xA0\x80 \xF0\x90\xA0\x80"); // A0 in 3 and 4 bytes
    expectEncoded("\xA0", "&nbsp;");                                                 // alone
    expectEncoded("x\xA0\xA0", "x&nbsp;&nbsp;");
    expectEncoded("\xC3\xA0\xA0", "\xC3\xA0&nbsp;");                     // one too many continuations
    expectEncoded("\xE0\xA0", "\xE0&nbsp;");                             // a character cut short
    expectEncoded("\xC0\xA0 \xED\xA0\x80", "\xC0&nbsp; \xED&nbsp;\x80"); // overlong form, surrogate
    expectEncoded("\xC3<\xA0", "\xC3&lt;&nbsp;");
    // Null stays null and empty stays empty.
    EXPECT_TRUE(XMLUtil::XMLEncode(String()).isNull());
    EXPECT_TRUE(XMLUtil::XMLDecode(String()).isNull());
    EXPECT_STREQ(XMLUtil::XMLEncode(""), "");
    EXPECT_FALSE(XMLUtil::XMLDecode("").isNull());
}

TEST(XMLUtilGetNode, AlwaysNullAndLeavesTheFlag) {
    bool found = true;
    EXPECT_TRUE(XMLUtil::getNode("a/b", &found).isNull());
    EXPECT_TRUE(found);
    EXPECT_EQ(&XMLUtil::getNode(String(), nullptr), &String::null);
}

TEST(XMLDocType, InternalSubsetIsKeptAndWrittenBack) {
    const char* source = "<?xml version=\"1.0\"?>\n<!DOCTYPE svg PUBLIC \"-//W3C//DTD SVG 1.1//EN\" "
                         "\"x.dtd\" [\n\t<!ENTITY ns_svg \"http://www.w3.org/2000/svg\">\n\t<!-- a > in a "
                         "comment -->\n\t<!ENTITY gt \"a>b\">\n]>\n<svg xmlns=\"&ns_svg;\">&gt;</svg>\n";
    XMLDoc doc(source);
    EXPECT_EQ(text(doc.docType()),
              "svg PUBLIC \"-//W3C//DTD SVG 1.1//EN\" \"x.dtd\" [\n\t<!ENTITY ns_svg "
              "\"http://www.w3.org/2000/svg\">\n\t<!-- a > in a comment -->\n\t<!ENTITY gt \"a>b\">\n]");
    // XML's five predefined entities cannot be declared otherwise: "&gt;" stays ">".
    EXPECT_EQ(shapeOf(*doc.rootNode()), "svg=>{xmlns=http://www.w3.org/2000/svg;}");
    const String written = doc.stream();
    XMLDoc again(static_cast<const char*>(written));
    EXPECT_EQ(text(again.docType()), text(doc.docType()));
    EXPECT_EQ(kel_test::contentOf(again.rootNode()), kel_test::contentOf(doc.rootNode()));
}

TEST(XMLDocType, EntitiesExpandInTextAndAttributesAndInsideEachOther) {
    XMLDoc doc("<!DOCTYPE r [<!ENTITY a 'x&b;y'><!ENTITY b \"&#233;&amp;\"><!ENTITY a 'second'><!ENTITY % p "
               "'param'> %p; <?pi in subset?>]><r k=\"[&a;]\">&a;&b;<c>&a;</c>&a;</r>");
    EXPECT_EQ(kel_test::contentOf(doc.rootNode()),
              "(r\n@k=[x\xC3\xA9&y]\n\"x\xC3\xA9&y\xC3\xA9&\n(c\n\"x\xC3\xA9&y\n)\n\"x\xC3\xA9&y\n)\n");
    // The first DOCTYPE counts, its text as its declarations: the document writes and reads back the same.
    XMLDoc twice("<!DOCTYPE r [<!ENTITY e 'first'>]><!DOCTYPE s [<!ENTITY e 'second'>]><r>&e;</r>");
    EXPECT_EQ(text(twice.docType()), "r [<!ENTITY e 'first'>]");
    EXPECT_EQ(text(XMLDoc(static_cast<const char*>(twice.stream())).rootNode()->value()), "first");
    // Undeclared names still go to the table, and fail as before.
    EXPECT_THROW_REASON(XMLDoc("<!DOCTYPE r [<!ENTITY a 'x'>]><r>&b;</r>"), XMLException, 102);
    // Declared names may be longer than the 16 characters other references take, in text, in attribute
    // values and in other entities; other long references still have no ";" in reach.
    const std::string longName(40, 'n');
    XMLDoc named(("<!DOCTYPE r [<!ENTITY nextfullreldate 'Tue'><!ENTITY " + longName +
                  " '&nextfullreldate;!'>]>" + "<r d='&nextfullreldate;' e='&" + longName + ";'>&" +
                  longName + ";&nextfullreldate;</r>")
                     .c_str());
    EXPECT_EQ(kel_test::contentOf(named.rootNode()), "(r\n@d=Tue\n@e=Tue!\n\"Tue!Tue\n)\n");
    EXPECT_THROW_REASON(XMLDoc("<!DOCTYPE r [<!ENTITY nextfullreldate 'Tue'>]><r>&nextfullreldatf;</r>"),
                        XMLException, 101);
    EXPECT_THROW_REASON(XMLDoc("<!DOCTYPE r [<!ENTITY nextfullreldate 'Tue'>]><r>&#00000000000000065;</r>"),
                        XMLException, 101);
}

TEST(XMLDocType, ExpansionLimits) {
    // The classic bomb: 10^9 "lol"s from a few hundred bytes, refused long before.
    const auto start = std::chrono::steady_clock::now();
    EXPECT_THROW_REASON(XMLDoc(bomb(9).c_str()), XMLException, 105);
    EXPECT_LT(std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count(),
              2.0 * kel_test::slowdown());
    // Three levels (1,000 "lol"s) are within the limit.
    EXPECT_EQ(XMLDoc(bomb(3).c_str()).rootNode()->value().length(), 3000ul);
    // Expansions that give nothing are charged too: 10^8 expansions of an empty entity, or 10^4 readings
    // of 25,000 references to the character 0, are refused as soon.
    std::string nothing;
    for (int i = 0; i < 25000; ++i) {
        nothing += "&#0;";
    }
    for (const std::string& idle : {bomb(8, ""), bomb(4, nothing)}) {
        const auto idleStart = std::chrono::steady_clock::now();
        EXPECT_THROW_REASON(XMLDoc(idle.c_str()), XMLException, 105);
        EXPECT_LT(std::chrono::duration<double>(std::chrono::steady_clock::now() - idleStart).count(),
                  0.5 * kel_test::slowdown());
    }
    EXPECT_TRUE(XMLDoc(bomb(3, "").c_str()).rootNode()->value().isNull());
    // The characters charged may reach 1 MiB, or 10 times the size of a larger text, and no more.
    EXPECT_NO_THROW(XMLDoc(expanding(1024, 1024).c_str()));
    EXPECT_THROW_REASON(XMLDoc(expanding(1024, 1025).c_str()), XMLException, 105);
    EXPECT_NO_THROW(XMLDoc(expanding(1000, 1100, 110000).c_str()));
    EXPECT_THROW_REASON(XMLDoc(expanding(1000, 1100, 109999).c_str()), XMLException, 105);
    // Recursion, direct or through another entity, and nesting deeper than 16.
    EXPECT_THROW_REASON(XMLDoc("<!DOCTYPE r [<!ENTITY a '&a;'>]><r>&a;</r>"), XMLException, 105);
    EXPECT_THROW_REASON(XMLDoc("<!DOCTYPE r [<!ENTITY a '&b;'><!ENTITY b '&a;'>]><r x='&a;'/>"), XMLException,
                        105);
    std::string chain = "<!DOCTYPE r [<!ENTITY e0 'end'>";
    for (int i = 1; i <= 17; ++i) {
        chain += "<!ENTITY e" + std::to_string(i) + " '&e" + std::to_string(i - 1) + ";'>";
    }
    // &e15; takes 16 expansions inside one another, &e16; 17.
    EXPECT_EQ(text(XMLDoc((chain + "]><r>&e15;</r>").c_str()).rootNode()->value()), "end");
    EXPECT_THROW_REASON(XMLDoc((chain + "]><r>&e16;</r>").c_str()), XMLException, 105);
    // Markup in a replacement text is not read.
    EXPECT_THROW_REASON(XMLDoc("<!DOCTYPE r [<!ENTITY m '<b/>'>]><r>&m;</r>"), XMLException, 106);
}

TEST(XMLDocType, ExternalEntitiesAreNeverRead) {
    EXPECT_THROW_REASON(XMLDoc("<!DOCTYPE r [<!ENTITY pub PUBLIC '-//X//EN' 'x.ent'>]><r a='&pub;'/>"),
                        XMLException, 104);
    // Declared but not used: the document reads.
    EXPECT_STREQ(XMLDoc("<!DOCTYPE r [<!ENTITY x SYSTEM 'x.ent'>]><r>t</r>").rootNode()->value(), "t");
}

TEST(XMLDocType, InstructionsAndNodesOutsideTheRootAreKept) {
    XMLDoc doc("<?xml version=\"1.0\"?>\n<?xml-stylesheet type=\"text/xsl\" href=\"s.xsl\"?>\n<!-- before "
               "-->\n<page><?php echo $a > 1; ?><p>x</p></page>\n<!-- after --><?done?>\n");
    EXPECT_EQ(shapeOf(*doc.prolog()),
              "(null)(?xml-stylesheet{type=text/xsl;href=s.xsl;} #!--=<!-- before -->)");
    EXPECT_EQ(shapeOf(*doc.epilog()), "(null)(#!--=<!-- after --> ?done)");
    EXPECT_EQ(shapeOf(*doc.rootNode()), "page(?php=echo $a > 1;  p=x)");
    EXPECT_EQ(std::string(doc.stream()),
              "<?xml version=\"1.0\"?>\n<?xml-stylesheet type=\"text/xsl\" href=\"s.xsl\"?>\n<!-- before "
              "-->\n<page>\n\t<?php echo $a > 1; ?>\n\t<p>x</p>\n</page>\n<!-- after -->\n<?done?>\n");
    // Copies carry the nodes outside the root; a new parse drops them.
    XMLDoc copy(doc);
    EXPECT_EQ(shapeOf(*copy.epilog()), "(null)(#!--=<!-- after --> ?done)");
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
        long reason, line, column, offset;
    } rows[] = {
        {"<r>\r\n  <a>\xC3\xA9 &bad;</a></r>", 102, 2, 9, 13},
        {"<r>\n\n<a>x &amp no end</a></r>", 101, 3, 6, 10},
        {"<r>\r\r<a x='&#xD800;'/></r>", 103, 3, 7, 11},
        {"<!DOCTYPE r [<!ENTITY e SYSTEM 'e'>]>\n<r>\n\t<x>\xC3\xA9&e;</x></r>", 104, 3, 7, 48},
        {"<!DOCTYPE r [<!ENTITY secret SYSTEM \"file:///etc/passwd\"><!ENTITY pub PUBLIC \"-//X//EN\" "
         "\"http://example.invalid/x\">]>\n<r>\n&secret;</r>",
         104, 3, 1, 122},
        {"<!DOCTYPE r [<!ENTITY e '&e;'>]><r>\n&e;</r>", 105, 2, 1, 36},
        {"<!DOCTYPE r [<!ENTITY e '<b/>'>]><r>\r\n &e;</r>", 106, 2, 2, 39},
        {"<!DOCTYPE r [<!ATTLIST r a CDATA '&bad;'>]>\n<r/>", 102, 1, 35, 34}, // a default read where used
        {"<r>\n  <a b=\"1\" c>", 205, 2, 13, 16},                              // where the "=" should stand
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
        try {
            parseNode(parent, bad);
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
