// The DOCTYPE and entity paths: a document whose internal subset declares entities built from the input
// (values that refer to each other, to themselves, to external entities, holding markup or references),
// and a body that refers to them in text and attributes. Reading must end in a tree or an XMLException,
// within the expansion limits; a tree must write and read back to the same content and DOCTYPE text.

#include "../tests/xml/xml_content.h"
#include "fuzz_bytes.h"

#include <kel/xml.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

using namespace Kel;

namespace {

using kel_fuzz::Bytes;

std::string entityName(Bytes& in) {
    return std::string(1, static_cast<char>('a' + in.next() % 6));
}

// Text for an entity value or the body: plain characters, references to entities, character references.
std::string content(Bytes& in, char quote) {
    static const char* const pieces[] = {"x", " ", "&amp;", "&#233;", "&#x41;", "<",        ">",        "]",
                                         "%", "'", "\"",    "&#0;",   "&nbsp;", "\xC3\xA0", "&#xD800;", "&"};
    std::string s;
    for (std::size_t n = in.next() % 12; n > 0 && !in.empty(); --n) {
        const std::uint8_t k = in.next();
        if (k % 3 == 0) {
            s += "&" + entityName(in) + ";";
        } else {
            const std::string piece = pieces[k % (sizeof pieces / sizeof pieces[0])];
            if (piece[0] != quote) {
                s += piece;
            }
        }
    }
    return s;
}

std::string document(Bytes& in) {
    std::string subset;
    for (std::size_t n = in.next() % 8; n > 0 && !in.empty(); --n) {
        switch (in.next() % 6) {
        case 0:
            subset += "<!ENTITY " + entityName(in) + " SYSTEM \"file:///etc/passwd\">";
            break;
        case 1:
            subset += "<!-- > ] --><?pi ]>?>";
            break;
        case 2:
            subset += "<!ENTITY % p 'x'> %p; <!ELEMENT r ANY>";
            break;
        default: {
            const char quote = in.next() % 2 ? '"' : '\'';
            subset += "<!ENTITY " + entityName(in) + " " + quote + content(in, quote) + quote + ">";
            break;
        }
        }
    }
    return "<?xml version=\"1.0\"?>\n<!DOCTYPE r PUBLIC \"-//X//EN\" \"r.dtd\" [" + subset + "]>\n<r a=\"" +
           content(in, '"') + "\">" + content(in, '\0') + "<c>" + content(in, '\0') + "</c></r>";
}

// The input under test, shown when a check fails.
std::string current;

[[noreturn]] void fail(const char* what, const String& text) {
    std::fprintf(stderr, "%s\n--- input\n%s\n--- written\n%s---\n", what, current.c_str(),
                 text.isNull() ? "" : static_cast<const char*>(text));
    std::abort();
}

void check(const char* text) {
    current = text;
    XMLDoc doc;
    try {
        doc = XMLDoc(text);
    } catch (const XMLException& e) {
        if (e.reason() < 101 || e.reason() > 205) {
            fail("unexpected reason", text);
        }
        return;
    }
    String written;
    try {
        written = doc.stream();
    } catch (const XMLException& e) {
        if (e.reason() != 302 && e.reason() != 303) {
            fail("unexpected writing reason", String());
        }
        return;
    }
    XMLDoc again(static_cast<const char*>(written));
    if (kel_test::contentOf(again.rootNode()) != kel_test::contentOf(doc.rootNode()) ||
        again.docType() != doc.docType()) {
        fail("round trip differs", written);
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    // The input itself as a document, then one built from it.
    const std::string text(reinterpret_cast<const char*>(data), size);
    check(text.c_str());
    Bytes bytes(data, size);
    check(document(bytes).c_str());
    return 0;
}
