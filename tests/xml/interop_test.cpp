// Documents as other programs write them: comments holding markup, CDATA, mixed content, either quote,
// white space inside tags, character references above 127, XML files that Debian ships, and a writer whose
// output every XML reader reads back to the same content.

#include "kel_test.h"
#include "xml_content.h"

#include <kel/xml.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <system_error>
#include <vector>

using namespace Kel;
using kel_test::shapeOf;

namespace {

bool exists(const std::string& path) {
    std::error_code error;
    return std::filesystem::exists(path, error);
}

std::vector<std::string> filesIn(const std::string& directory, const std::string& suffix) {
    std::vector<std::string> files;
    std::error_code error;
    for (std::filesystem::directory_iterator it(directory, error), end; !error && it != end;
         it.increment(error)) {
        if (it->path().extension() == suffix) {
            files.push_back(directory + "/" + it->path().filename().string());
        }
    }
    return files;
}

// tests/xml/data beside this source. The compiler may name the source relative to the build directory,
// and the test runs in a directory below that one, so the name is tried from the levels above as well.
std::string dataDirectory() {
    const std::string file = __FILE__;
    const std::size_t slash = file.find_last_of("/\\");
    const std::string data = file.substr(0, slash == std::string::npos ? 0 : slash + 1) + "data";
    if (!data.empty() && (data[0] == '/' || data[0] == '\\' || (data.size() > 1 && data[1] == ':'))) {
        return data;
    }
    std::string up;
    for (int level = 0; level < 4; ++level, up += "../") {
        if (exists(up + data)) {
            return up + data;
        }
    }
    std::string down = data;
    while (down.compare(0, 3, "../") == 0) {
        down.erase(0, 3);
        if (exists(down)) {
            return down;
        }
    }
    return data;
}

// Writes doc, reads the text again: the content must stay, and the second writing must give the same text.
std::string expectSameContent(const XMLDoc& doc) {
    String written;
    EXPECT_NO_THROW(written = doc.stream());
    XMLDoc again(static_cast<const char*>(written));
    EXPECT_EQ(kel_test::contentOf(again.rootNode()), kel_test::contentOf(doc.rootNode())) << written;
    EXPECT_EQ(std::string(again.stream()), std::string(written));
    return std::string(written);
}

std::string roundTrip(const char* text) {
    return expectSameContent(XMLDoc(text));
}

// Reads a file; fails the test (and returns a null document) when it cannot.
XMLDoc readFile(const std::string& path) {
    XMLDoc doc;
    EXPECT_NO_THROW(doc.fromFile(path.c_str())) << path;
    EXPECT_FALSE(doc.isNull()) << path;
    return doc;
}

} // namespace

TEST(XMLInterop, CommentsStayCommentsWhateverTheyHold) {
    XMLDoc doc(
        "<settings>\n  <!--\n  <profile>\n    <id>jdk</id>\n  </profile>\n  -->\n  <offline>true</offline>\n"
        "<!--x--><!--a <b/> c--></settings>");
    EXPECT_EQ(shapeOf(*doc.rootNode()),
              "settings(#!--=<!--\n  <profile>\n    <id>jdk</id>\n  </profile>\n  --> "
              "offline=true #!--=<!--x--> #!--=<!--a <b/> c-->)");
    EXPECT_EQ(roundTrip("<r><!--a <b/> c--><!-- <x y=\"1\"> --></r>"),
              "<r>\n\t<!--a <b/> c-->\n\t<!-- <x y=\"1\"> -->\n</r>\n");
}

TEST(XMLInterop, CdataIsText) {
    EXPECT_STREQ(XMLDoc("<a><![CDATA[x < y && z]]></a>").rootNode()->value(), "x < y && z");
    EXPECT_STREQ(XMLDoc("<a>one &amp; <![CDATA[<two>]]> three</a>").rootNode()->value(), "one & <two> three");
    EXPECT_EQ(roundTrip("<a><![CDATA[]]>]]&gt;<![CDATA[&amp;]]></a>"), "<a>]]&gt;&amp;amp;</a>\n");
    // Unterminated: the document ends there, as for a comment without "-->".
    EXPECT_EQ(XMLDoc("<a><![CDATA[x</a>").rootNode(), nullptr);
}

TEST(XMLInterop, MixedContentKeepsEveryRunInOrder) {
    EXPECT_EQ(shapeOf(*XMLDoc("<a>x <b>y</b> tail</a>").rootNode()), "a('x ' b=y ' tail')");
    // Blank runs are kept once the content shows itself mixed, also those before the first text.
    EXPECT_EQ(shapeOf(*XMLDoc("<p>\n  <b>x</b>\n  <i>y</i> tail<br/>\n</p>").rootNode()),
              "p('\n  ' b=x '\n  ' i=y ' tail' br '\n')");
    // Comments and instructions in mixed content stay in their places.
    EXPECT_EQ(shapeOf(*XMLDoc("<p>a<!-- c -->b<?pi x?></p>").rootNode()), "p('a' #!--=<!-- c --> 'b' ?pi=x)");
    // The writer adds no indentation inside mixed content, and indents around it as before.
    EXPECT_EQ(roundTrip("<r><p>Fish <b>and <i>hot</i></b> chips<c><d/></c></p><q/></r>"),
              "<r>\n\t<p>Fish <b>and <i>hot</i></b> chips<c><d/></c></p>\n\t<q/>\n</r>\n");
    // Text that first shows after child elements, themselves with children or mixed, makes the whole
    // content mixed from its start.
    EXPECT_EQ(roundTrip("<r><a><b><i>x</i></b><c>y<d/></c> tail</a><e><f/></e></r>"),
              "<r>\n\t<a><b><i>x</i></b><c>y<d/></c> tail</a>\n\t<e>\n\t\t<f/>\n\t</e>\n</r>\n");
    roundTrip("<p>\n  <b>x</b>\n  <i>y</i> tail<br/>\n</p>");
}

TEST(XMLInterop, WhiteSpaceBetweenElementsStaysOutOfTheTree) {
    EXPECT_EQ(shapeOf(*XMLDoc("\n\t <r>\n\t<a>t</a>\n\t<b>\n\t\t<c/>\n\t</b>\n</r>\n").rootNode()),
              "r(a=t b(c))");
    EXPECT_EQ(shapeOf(*XMLDoc("<a>  </a>").rootNode()), "a");
    // White space written as references counts as white space: the tree reads as if it were written out,
    // and once the content is mixed the blank comes back decoded.
    EXPECT_EQ(shapeOf(*XMLDoc("<r>&#32;<a/>&#10;<b/>&#9;</r>").rootNode()), "r(a b)");
    roundTrip("<r>&#32;<a/>&#x20;<b/></r>");
    EXPECT_EQ(shapeOf(*XMLDoc("<r><a/>&#10;<b/>x</r>").rootNode()), "r(a '\n' b 'x')");
    EXPECT_STREQ(XMLDoc("<r>&#10;</r>").rootNode()->value(), "\n");
}

TEST(XMLInterop, QuotesAndWhiteSpaceInsideTags) {
    EXPECT_EQ(shapeOf(*XMLDoc("<a\n\tx = 'say \"hi\"'\ty\t=\t\"it's\"\r\n z='&apos;&#x41;'\n/>").rootNode()),
              "a{x=say \"hi\";y=it's;z='A;}");
    EXPECT_STREQ(XMLDoc("<b\n>t</b\n>").rootNode()->value(), "t");
    roundTrip("<a x = 'say \"hi\"' y=\"it's\"/>");
}

TEST(XMLInterop, CharacterReferencesGiveUtf8InUtf8Documents) {
    const auto shapeRead = [](const char* text) { return shapeOf(*XMLDoc(text).rootNode()); };
    EXPECT_EQ(shapeRead("<a>&#233;&#x20AC;&#x1F600;</a>"), "a=\xC3\xA9\xE2\x82\xAC\xF0\x9F\x98\x80");
    EXPECT_EQ(shapeRead("<?xml version=\"1.0\" encoding=\"utf-8\"?><a>&#233;</a>"), "a=\xC3\xA9");
    EXPECT_EQ(shapeRead("<?xml version=\"1.0\"?><a x=\"&#x142;\">&#65;</a>"), "a=A{x=\xC5\x82;}");
    // The library's no-break space, whatever the encoding.
    EXPECT_EQ(shapeRead("<a>&#160;</a>"), "a=\xA0");
    EXPECT_EQ(shapeRead("<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?><a>&#233;&#321;</a>"), "a=\xE9"
                                                                                               "A");
    EXPECT_THROW_REASON(XMLDoc("<a>&#xD800;</a>"), XMLException, 103);
    EXPECT_THROW_REASON(XMLDoc("<a>&#x110000;</a>"), XMLException, 103);
    // XMLUtil keeps the low-8-bit rule.
    EXPECT_STREQ(XMLUtil::XMLDecode("&#233;"), "\xE9");
}

TEST(XMLInterop, LoneNoBreakSpaceIsWrittenAsACharacterReference) {
    XMLDoc doc("r", "1.0", "UTF-8");
    doc.rootNode()->addNode("a", "x\xA0y \xC3\xA0")->attribute("k", "\xA0\xD0\xA0");
    EXPECT_EQ(std::string(doc.stream()),
              "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<r>\n\t<a k=\"&#160;\xD0\xA0\">x&#160;y "
              "\xC3\xA0</a>\n</r>\n");
}

TEST(XMLInterop, TextNodesAreCopiedButNeverFound) {
    XMLDoc doc("<r><p>a<b/>c</p></r>");
    XMLNode* p = doc.rootNode()->nextChild(nullptr);
    EXPECT_EQ(p->findChild(String(), nullptr), nullptr);
    XMLNodeList list;
    doc.rootNode()->findNodeS(list, String());
    EXPECT_EQ(list.begin(), list.end());
    EXPECT_EQ(shapeOf(XMLNode(*p)), "p('a' b 'c')");
    EXPECT_EQ(XMLDoc(doc).stream(), doc.stream());
    // A document root set from a node with mixed content keeps it (through the node's text).
    XMLDoc other;
    other.rootNode(*p);
    EXPECT_EQ(shapeOf(*other.rootNode()), "p('a' b 'c')");
}

// Copies of some files are in tests/xml/data, each with the content a standard reader (expat) reads from it
// (NAME.content, written by scripts/xml_compare.py --expected): exact facts are checked on those copies only.
TEST(XMLRealFiles, KeyboardRulesCopyReadsTheDeclarations) {
    XMLDoc doc = readFile(dataDirectory() + "/xkb-rules-base.xml");
    EXPECT_STREQ(doc.version(), "1.0");
    EXPECT_STREQ(doc.encoding(), "UTF-8");
    EXPECT_STREQ(doc.docType(), "xkbConfigRegistry SYSTEM \"xkb.dtd\"");
}

TEST(XMLRealFiles, CopiesInTheTreeReadAsAStandardReaderReadsThem) {
    const std::string directory = dataDirectory();
    int files = 0;
    for (const char* suffix : {".xml", ".conf", ".policy", ".svg"}) {
        for (const std::string& path : filesIn(directory, suffix)) {
            SCOPED_TRACE(path);
            ++files;
            const XMLDoc doc = readFile(path);
            std::ifstream in(path + ".content", std::ios::binary);
            EXPECT_EQ(kel_test::contentOf(doc.rootNode()),
                      std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()));
            expectSameContent(doc);
        }
    }
    EXPECT_GE(files, 8) << "no copies found in " << directory;
}

// The installed files (xkb-data, fontconfig-config, polkitd, shared-mime-info) change from version to
// version: whatever their version, they read, and what Kel writes reads back to the same content. The MIME
// database has mixed content, CDATA, comments holding markup, two megabytes.
TEST(XMLRealFiles, InstalledFilesRoundTrip) {
    const struct {
        std::vector<std::string> files;
        const char* root;
    } sets[] = {
        {{"/usr/share/X11/xkb/rules/base.xml"}, "xkbConfigRegistry"},
        {filesIn("/usr/share/fontconfig/conf.avail", ".conf"), "fontconfig"},
        {filesIn("/usr/share/polkit-1/actions", ".policy"), "policyconfig"},
        {{"/usr/share/mime/packages/freedesktop.org.xml"}, "mime-info"},
    };
    int checked = 0;
    for (const auto& set : sets) {
        for (const std::string& path : set.files) {
            if (exists(path)) {
                SCOPED_TRACE(path);
                const XMLDoc doc = readFile(path);
                ASSERT_FALSE(doc.isNull());
                EXPECT_STREQ(doc.rootNode()->name(), set.root);
                expectSameContent(doc);
                ++checked;
            }
        }
    }
    if (checked == 0) {
        GTEST_SKIP() << "none of xkb-data, fontconfig-config, polkitd, shared-mime-info is installed";
    }
}

// A stylesheet whose DOCTYPE declares an external entity and uses it: refused where it is used, and nothing
// is read from outside.
TEST(XMLRealFiles, ExternalEntityIsRefused) {
    try {
        XMLDoc().fromFile((dataDirectory() + "/xorg-xhtml.xsl.in").c_str());
        ADD_FAILURE() << "read";
    } catch (const XMLException& e) {
        EXPECT_EQ(e.reason(), 104);
        EXPECT_EQ(e.line(), 18);
    }
}
