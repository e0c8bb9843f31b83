#include "kel_test.h"
#include "xml_content.h"
#include "xml_tree_compare.h"

#include <kel/xml.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <system_error>
#include <vector>

using namespace Kel;

// XML files that Debian ships. Copies of some are in tests/xml/data, each with the content a standard reader
// (expat) reads from it (NAME.content, written by scripts/xml_compare.py --expected): exact facts are
// checked on those copies only. The installed files (xkb-data, fontconfig-config, polkitd,
// shared-mime-info) change from version to version, so they are only read and written back, and skipped
// where their package is not installed.

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

std::string fileText(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// Reads path, writes it, reads the text again: the content must stay, and the second writing must give
// the same text.
void expectSameContent(const std::string& path) {
    SCOPED_TRACE(path);
    XMLDoc doc;
    ASSERT_NO_THROW(doc.fromFile(path.c_str()));
    ASSERT_FALSE(doc.isNull());
    String text;
    ASSERT_NO_THROW(text = doc.stream());
    XMLDoc again(static_cast<const char*>(text));
    EXPECT_EQ(kel_test::contentOf(again.rootNode()), kel_test::contentOf(doc.rootNode()));
    EXPECT_EQ(std::string(again.stream()), std::string(text));
}

// Reads path, writes it, reads the text again: both trees and both declarations must agree.
void expectRoundTrip(const std::string& path, const char* rootName) {
    SCOPED_TRACE(path);
    XMLDoc doc;
    ASSERT_NO_THROW(doc.fromFile(path.c_str()));
    ASSERT_FALSE(doc.isNull());
    EXPECT_STREQ(doc.rootNode()->name(), rootName);
    const String text = doc.stream();
    XMLDoc again(static_cast<const char*>(text));
    EXPECT_EQ(kel_test::treeDifference(doc.rootNode(), again.rootNode()), "");
    EXPECT_TRUE(kel_test::sameText(doc.version(), again.version()));
    EXPECT_TRUE(kel_test::sameText(doc.encoding(), again.encoding()));
    EXPECT_TRUE(kel_test::sameText(doc.docType(), again.docType()));
    EXPECT_EQ(std::string(again.stream()), std::string(text));
    expectSameContent(path);
}

int count(XMLNode* from, const char* name) {
    XMLNodeList list;
    from->findNodeS(list, name);
    int n = 0;
    XMLSNode* cell = nullptr;
    while (list.next(cell)) {
        ++n;
    }
    return n;
}

} // namespace

TEST(XMLRealFiles, KeyboardRulesCopyReadsDeclarationsTreeAndEntities) {
    XMLDoc doc;
    doc.fromFile((dataDirectory() + "/xkb-rules-base.xml").c_str());
    EXPECT_STREQ(doc.version(), "1.0");
    EXPECT_STREQ(doc.encoding(), "UTF-8");
    EXPECT_STREQ(doc.docType(), "xkbConfigRegistry SYSTEM \"xkb.dtd\"");
    XMLNode* root = doc.rootNode();
    ASSERT_NE(root, nullptr);
    EXPECT_STREQ(root->name(), "xkbConfigRegistry");
    EXPECT_STREQ(root->attribute(nullptr)->name(), "version");
    EXPECT_STREQ(root->attribute(String("version")), "1.1");

    XMLNode* models = root->findChild("modelList", nullptr);
    ASSERT_NE(models, nullptr);
    const XMLNode* item = models->findChild("model", nullptr)->findChild("configItem", nullptr);
    ASSERT_NE(item, nullptr);
    EXPECT_STREQ(item->findChild("name", nullptr)->value(), "pc86");
    EXPECT_STREQ(item->findChild("description", nullptr)->value(), "Generic 86-key PC");
    EXPECT_STREQ(item->findChild("vendor", nullptr)->value(), "Generic");
    EXPECT_EQ(count(root, "model"), 2);
    EXPECT_EQ(count(root, "layout"), 3);
    EXPECT_EQ(count(root, "option"), 2);
    EXPECT_EQ(count(root, "description"), 9);

    // Entities in leaf text are decoded.
    const XMLNode* option = root->findChild("optionList", nullptr)->findChild("group", nullptr);
    option = option->findChild("option", nullptr)->findChild("configItem", nullptr);
    EXPECT_STREQ(option->findChild("description", nullptr)->value(), "The \"< >\" key");
}

TEST(XMLRealFiles, FontconfigCopyKeepsAttributeOrderAndComments) {
    XMLDoc doc;
    doc.fromFile((dataDirectory() + "/fontconfig-10-hinting-full.conf").c_str());
    const XMLNode* match = doc.rootNode()->findChild("match", nullptr);
    ASSERT_NE(match, nullptr);
    EXPECT_STREQ(match->attribute(String("target")), "pattern");
    const XMLNode* edit = match->findChild("edit", "name", "hintstyle", nullptr);
    ASSERT_NE(edit, nullptr);
    EXPECT_STREQ(edit->attribute(edit->attribute(nullptr))->name(), "mode");
    EXPECT_STREQ(edit->findChild("const", nullptr)->value(), "hintfull");
    EXPECT_EQ(match->nextChild(nullptr)->type(), XMLNode::Comment);
}

// Whatever their version, the installed files read, and what Kel writes reads back to the same tree.
TEST(XMLRealFiles, InstalledFilesRoundTrip) {
    const struct {
        std::vector<std::string> files;
        const char* root;
    } sets[] = {
        {{"/usr/share/X11/xkb/rules/base.xml"}, "xkbConfigRegistry"},
        {filesIn("/usr/share/fontconfig/conf.avail", ".conf"), "fontconfig"},
        {filesIn("/usr/share/polkit-1/actions", ".policy"), "policyconfig"},
    };
    int checked = 0;
    for (const auto& set : sets) {
        for (const std::string& path : set.files) {
            if (exists(path)) {
                expectRoundTrip(path, set.root);
                ++checked;
            }
        }
    }
    if (checked == 0) {
        GTEST_SKIP() << "none of xkb-data, fontconfig-config, polkitd is installed";
    }
}

TEST(XMLRealFiles, CopiesInTheTreeReadAsAStandardReaderReadsThem) {
    const std::string directory = dataDirectory();
    int files = 0;
    for (const char* suffix : {".xml", ".conf", ".policy", ".svg"}) {
        for (const std::string& path : filesIn(directory, suffix)) {
            SCOPED_TRACE(path);
            ++files;
            XMLDoc doc;
            ASSERT_NO_THROW(doc.fromFile(path.c_str()));
            EXPECT_EQ(kel_test::contentOf(doc.rootNode()), fileText(path + ".content"));
            expectSameContent(path);
        }
    }
    EXPECT_GE(files, 8) << "no copies found in " << directory;
}

// A stylesheet whose DOCTYPE declares an external entity and uses it: refused where it is used, and nothing
// is read from outside.
TEST(XMLRealFiles, ExternalEntityIsRefused) {
    const std::string path = dataDirectory() + "/xorg-xhtml.xsl.in";
    XMLDoc doc;
    try {
        doc.fromFile(path.c_str());
        ADD_FAILURE() << "read " << path;
    } catch (const XMLException& e) {
        EXPECT_EQ(e.reason(), 104);
        EXPECT_EQ(e.line(), 18);
    }
}

// The shared MIME database: mixed content, CDATA, comments holding markup, two megabytes.
TEST(XMLRealFiles, InstalledMimeDatabaseKeepsItsContent) {
    const std::string mime = "/usr/share/mime/packages/freedesktop.org.xml";
    if (!exists(mime)) {
        GTEST_SKIP() << mime << " is not installed (package shared-mime-info)";
    }
    expectSameContent(mime);
}

TEST(XMLRealFiles, AttributesOnLinesOfTheirOwn) {
    // Attributes on a new line after the tag name.
    XMLDoc doc("<match\n   target=\"pattern\"\n   kind=\"x\"><test/></match>");
    ASSERT_FALSE(doc.isNull());
    EXPECT_STREQ(doc.rootNode()->name(), "match");
    EXPECT_STREQ(doc.rootNode()->attribute(String("target")), "pattern");
    XMLDoc noSpace("<match\ntarget=\"pattern\"><test/></match>");
    EXPECT_STREQ(noSpace.rootNode()->name(), "match");
}
