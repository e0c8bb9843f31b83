// One parse or one write of the 5 MB benchmark document, by Kel or pugixml, for counting instructions under
// callgrind (scripts/xml_instructions.sh): counts do not move with the load of the machine as times do.
// Usage: xml_instructions kel-parse | kel-parse-mixed | kel-write | pugixml-parse | pugixml-parse-mixed |
// pugixml-write

#include "xml_bench_documents.h"

#include <kel/xml.h>

#include <cstdio>
#include <cstring>
#include <string>

namespace {

struct StringWriter : pugi::xml_writer {
    std::string text;
    void write(const void* data, std::size_t size) override {
        text.append(static_cast<const char*>(data), size);
    }
};

} // namespace

int main(int argc, char** argv) {
    const std::string what = argc > 1 ? argv[1] : "";
    const std::string text = kel_bench::makeDocument(5 << 20, what.find("mixed") != std::string::npos);
    std::size_t result = 0;
    if (what == "kel-parse" || what == "kel-parse-mixed") {
        Kel::XMLDoc doc;
        const char* cursor = text.c_str();
        doc.fromStream(cursor);
        result = doc.rootNode() != nullptr;
    } else if (what == "kel-write") {
        const Kel::XMLDoc doc(text.c_str());
        result = std::strlen(doc.stream());
    } else if (what == "pugixml-parse" || what == "pugixml-parse-mixed") {
        pugi::xml_document doc;
        doc.load_buffer(text.data(), text.size());
        result = !doc.first_child().empty();
    } else if (what == "pugixml-write") {
        pugi::xml_document doc;
        doc.load_buffer(text.data(), text.size());
        StringWriter out;
        doc.save(out);
        result = out.text.size();
    } else {
        std::fprintf(stderr,
                     "usage: %s kel-parse|kel-parse-mixed|kel-write|pugixml-parse|pugixml-parse-mixed|"
                     "pugixml-write\n",
                     argv[0]);
        return 2;
    }
    std::printf("%zu\n", result);
    return 0;
}
