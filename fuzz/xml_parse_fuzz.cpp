// Arbitrary bytes as a document: every input gives a tree or an XMLException, and the tree can be
// written, copied and searched. The reader is lenient, so it may build names or texts that XML cannot
// hold; writing such a tree is refused with 302 or 303, never written broken.

#include <kel/xml.h>

#include <cstddef>
#include <cstdint>
#include <string>

using namespace Kel;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string text(reinterpret_cast<const char*>(data), size);
    XMLDoc doc;
    const char* cursor = text.c_str();
    try {
        doc.fromStream(cursor);
    } catch (const XMLException&) {
    }
    if (XMLNode* root = doc.rootNode()) {
        XMLDoc copy(doc);
        XMLNodeList list;
        root->findNodeS(list, root->name());
        try {
            (void)copy.stream();
        } catch (const XMLException& e) {
            if (e.reason() != 302 && e.reason() != 303) {
                __builtin_trap();
            }
        }
        // Parsing into an existing node appends to it.
        const char* again = text.c_str();
        try {
            root->fromStream(again);
        } catch (const XMLException&) {
        }
    }
    return 0;
}
