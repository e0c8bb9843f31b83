// The XML classes: build a document, write it, read it back from a file, search it, and see what the
// parser makes of a comment, mixed content and bad input.
//
// With file names, reads each file and writes it back: `example_xml IN OUT` writes what Kel makes of IN
// to OUT (scripts/xml_compare.py compares the two with a standard reader); it exits with 2 when Kel
// refuses IN, 4 when IN refers to an external entity (never read) and 3 when it cannot write IN back.

#include <kel/kel.h>

#include <cstdio>
#include <cstdlib>
#include <iostream>
#include <string>

using namespace Kel;

namespace {

// A file in the system's temporary directory, removed at the end.
std::string temporaryFile() {
    const char* dir = std::getenv("TMPDIR");
    if (!dir) {
        dir = std::getenv("TEMP");
    }
    std::string path =
        std::string(dir ? dir : "/tmp") + "/kel-example-" + std::to_string(std::rand()) + ".xml";
    return path;
}

const char* text(const String& s) {
    return s.isNull() ? "(null)" : static_cast<const char*>(s);
}

} // namespace

int rewrite(const char* in, const char* out) {
    String written;
    try {
        XMLDoc doc;
        doc.fromFile(in);
        try {
            written = doc.stream();
        } catch (const XMLException& e) {
            std::cerr << in << ": cannot be written back: " << e.name() << " " << e.reason() << "\n";
            return 3;
        }
    } catch (const XMLException& e) {
        std::cerr << in << ": refused: " << e.what() << "\n";
        // An external entity is refused on purpose: it is never read.
        return e.reason() == 104 ? 4 : 2;
    }
    std::FILE* f = std::fopen(out, "wb");
    if (!f) {
        return 1;
    }
    std::fwrite(static_cast<const char*>(written), 1, written.length(), f);
    return std::fclose(f) == 0 ? 0 : 1;
}

int main(int argc, char** argv) {
    if (argc == 3) {
        return rewrite(argv[1], argv[2]);
    }

    // Build: a root, attributes, elements with text, a namespace, a comment parsed from text.
    XMLDoc doc("library", true, "1.0", "UTF-8");
    XMLNode* root = doc.rootNode();
    root->attribute("owner", "Anna \"A.\" Smith");
    const char* comment = "<!-- two shelves -->";
    root->addNode(comment);
    XMLNode* shelf = root->addNode("shelf", String());
    shelf->attribute("id", "1");
    XMLNode* book = shelf->addNode("book", "Fish & Chips < Curry");
    book->attribute("isbn", "0-00-000000-1");
    shelf->addNode("book", "Plain Text")->attribute("isbn", "0-00-000000-2");
    root->addNode("shelf", String())->attribute("id", "2");
    root->findChild("shelf", "id", "2", nullptr)->addNode("cat", "tag", "fiction");

    // Write: one tag per line, TABs for the levels, entities for &, < and > (and " in attributes).
    const String written = doc.stream();
    std::cout << "written:\n" << written;

    // Read back from a file.
    const std::string path = temporaryFile();
    if (std::FILE* f = std::fopen(path.c_str(), "w")) {
        std::fputs(written, f);
        std::fclose(f);
    }
    XMLDoc back;
    back.fromFile(path.c_str());
    std::remove(path.c_str());
    std::cout << "\nread back: version " << text(back.version()) << ", encoding " << text(back.encoding())
              << ", DOCTYPE " << text(back.docType()) << ", owner "
              << text(back.rootNode()->attribute(String("owner"))) << "\n";

    // Search: direct children one after another, or every match below a node in post-order.
    XMLNodeList books;
    back.rootNode()->findNodeS(books, "book");
    XMLSNode* cell = nullptr;
    while (XMLNode* b = books.next(cell)) {
        std::cout << "book " << text(b->attribute(String("isbn"))) << " at level " << b->level() << ": "
                  << text(b->value()) << "\n";
    }
    for (const XMLNode* s = back.rootNode()->findChild("shelf", nullptr); s;
         s = back.rootNode()->findChild("shelf", s)) {
        std::cout << "shelf " << text(s->attribute(String("id"))) << "\n";
    }
    const XMLNode* tag = back.rootNode()->findChild("shelf", "id", "2", nullptr)->nextChild(nullptr);
    std::cout << "namespace " << text(tag->nameSpace()) << ", name " << text(tag->name()) << "\n";

    // A comment keeps its whole text as the value.
    const XMLNode* note = back.rootNode()->nextChild(nullptr);
    std::cout << "comment node \"" << text(note->name()) << "\" holds \"" << text(note->value()) << "\"\n";

    // Text beside child elements is kept as text nodes, in document order, and written back as it stands.
    XMLDoc mixed("<p>Fish <b>and</b> chips<![CDATA[ <hot> ]]></p>");
    for (const XMLNode* n = mixed.rootNode()->nextChild(nullptr); n; n = mixed.rootNode()->nextChild(n)) {
        std::cout << (n->type() == XMLNode::Text ? "text \"" : "element ")
                  << text(n->type() == XMLNode::Text ? n->value() : n->name())
                  << (n->type() == XMLNode::Text ? "\"\n" : "\n");
    }
    std::cout << mixed.stream();

    // Bad input is reported with a reason: 102 for an entity outside the table.
    try {
        XMLDoc bad("<a>&copy;</a>");
    } catch (const XMLException& e) {
        std::cout << e.name() << " " << e.reason() << " for \"<a>&copy;</a>\"\n";
    }
    return 0;
}
