#ifndef KEL_BENCH_XML_BENCH_DOCUMENTS_H
#define KEL_BENCH_XML_BENCH_DOCUMENTS_H

// Deterministic test documents for the XML benchmarks, within what the Kel parser reads: double-quoted
// attributes without spaces around "=", elements with either text or children, comments, entities in
// text. A catalogue of records, about 330 bytes each, indented with TABs.

#include "ratio_report.h"

#include <benchmark/benchmark.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <map>
#include <string>

#if defined(__GLIBC__)
#include <malloc.h>
#endif

// The peers that are installed take part; the others are left out of the run.
#if __has_include(<pugixml.hpp>)
#include <pugixml.hpp>
#define KEL_BENCH_PUGIXML 1
#endif
#if __has_include(<tinyxml2.h>)
#include <tinyxml2.h>
#define KEL_BENCH_TINYXML2 1
#endif
#if __has_include(<libxml/parser.h>)
#include <libxml/parser.h>
#include <libxml/tree.h>
#define KEL_BENCH_LIBXML2 1
#endif

namespace kel_bench {

class Lcg {
public:
    explicit Lcg(std::uint32_t seed) : _state(seed) {}
    std::uint32_t next(std::uint32_t bound) {
        _state = _state * 1664525u + 1013904223u;
        return (_state >> 8) % bound;
    }

private:
    std::uint32_t _state;
};

// The catalogue; with mixed set, each description mixes text with inline elements and a CDATA section,
// as documentation formats do.
inline std::string makeDocument(std::size_t targetBytes, bool mixed = false) {
    static const char* const genres[] = {"Computer", "Fantasy", "Romance", "Horror", "Science Fiction"};
    static const char* const words[] = {
        "an",    "in-depth", "look", "at",     "creating", "applications", "with",      "XML",     "tools",
        "&amp;", "systems",  "for",  "people", "who",      "read",         "&lt;b&gt;", "quickly", "data"};
    Lcg random(20240601u);
    std::string text = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<catalog>\n";
    text.reserve(targetBytes + 1024);
    char line[256];
    for (unsigned record = 1; text.size() < targetBytes; ++record) {
        std::snprintf(line, sizeof line, "\t<book id=\"bk%06u\" lang=\"%s\" available=\"%s\">\n", record,
                      random.next(3) ? "en" : "fr", random.next(2) ? "yes" : "no");
        text += line;
        std::snprintf(line, sizeof line, "\t\t<author>Surname%u, Given%u</author>\n", random.next(5000),
                      random.next(100));
        text += line;
        std::snprintf(line, sizeof line, "\t\t<title>Title of book %u, volume %u</title>\n", record,
                      random.next(12) + 1);
        text += line;
        std::snprintf(line, sizeof line, "\t\t<genre>%s</genre>\n\t\t<price>%u.%02u</price>\n",
                      genres[random.next(5)], random.next(90) + 5, random.next(100));
        text += line;
        if (random.next(3) == 0) {
            std::snprintf(line, sizeof line, "\t\t<!-- reviewed 20%02u-%02u-%02u -->\n", random.next(25),
                          random.next(12) + 1, random.next(28) + 1);
            text += line;
        }
        text += "\t\t<description>";
        for (unsigned w = 0, n = 8 + random.next(14); w < n; ++w) {
            if (w) {
                text += ' ';
            }
            const char* word = words[random.next(sizeof words / sizeof words[0])];
            if (mixed && w % 4 == 1) {
                text += std::string("<em>") + word + "</em>";
            } else if (mixed && w % 7 == 3) {
                text += std::string("<![CDATA[<b>") + word + "</b>]]>";
            } else {
                text += word;
            }
        }
        text += ".</description>\n\t</book>\n";
    }
    text += "</catalog>\n";
    return text;
}

// Bytes of heap in use: what a parsed document keeps is the difference before and after parsing.
inline std::size_t heapInUse() {
#if defined(__GLIBC__)
    const struct mallinfo2 info = mallinfo2();
    return info.uordblks + info.hblkhd;
#else
    return 0;
#endif
}

// The generated document of about `bytes` bytes, made once per size and kept for the whole run.
inline const std::string& document(std::size_t bytes) {
    static std::map<std::size_t, std::string> documents;
    std::string& text = documents[bytes];
    if (text.empty()) {
        text = makeDocument(bytes);
    }
    return text;
}

// The same catalogue with mixed content and CDATA in every description.
inline const std::string& mixedDocument(std::size_t bytes) {
    static std::map<std::size_t, std::string> documents;
    std::string& text = documents[bytes];
    if (text.empty()) {
        text = makeDocument(bytes, true);
    }
    return text;
}

// The document sizes every XML benchmark runs at, timed in real milliseconds.
inline void documentSizes(benchmark::internal::Benchmark* b) {
    b->Arg(100 << 10)->Arg(5 << 20)->Arg(50 << 20)->Unit(benchmark::kMillisecond)->UseRealTime();
}

// Runs the registered benchmarks and reports BM_Kel<operation> against each peer's BM_<Peer><operation>
// at every document size.
inline int runAgainstPeers(int argc, char** argv, const char* operation) {
    benchmark::Initialize(&argc, argv);
    RatioReporter reporter;
    for (const char* size : {"102400", "5242880", "52428800"}) {
        for (const char* peer : {"Pugixml", "Tinyxml2", "Libxml2"}) {
            reporter.compare(std::string("BM_Kel") + operation + "/" + size + "/real_time",
                             std::string("BM_") + peer + operation + "/" + size + "/real_time");
        }
        // Mixed content and CDATA against the subset document of the same size, where measured.
        reporter.compare(std::string("BM_Kel") + operation + "Mixed/" + size + "/real_time",
                         std::string("BM_Kel") + operation + "/" + size + "/real_time");
    }
    benchmark::RunSpecifiedBenchmarks(&reporter);
    benchmark::Shutdown();
    return 0;
}

} // namespace kel_bench

#endif
