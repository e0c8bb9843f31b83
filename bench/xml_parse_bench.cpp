// Parsing the same generated documents (about 100 KB, 5 MB and 50 MB) into each library's tree: Kel's
// XMLDoc::fromStream against pugixml, tinyxml2 and libxml2, in MB/s of document text. Each benchmark
// also reports the heap its parsed document keeps, as a multiple of the document's size (heap_x).
//
//   bench_xml_parse --benchmark_repetitions=5 --benchmark_report_aggregates_only=true

#include "xml_bench_documents.h"

#include <kel/xml.h>

#include <benchmark/benchmark.h>

#include <memory>
#include <string>

namespace {

using kel_bench::document;

// Times parsing only: the tree is released outside the timed part. Parse returns an owner of the tree;
// the heap it keeps is measured once, before the timed loop.
template <class Parse> void runParse(benchmark::State& state, Parse parse, bool mixed = false) {
    const std::size_t size = static_cast<std::size_t>(state.range(0));
    const std::string& text = mixed ? kel_bench::mixedDocument(size) : document(size);
    parse(text); // first-use set-up of the library stays out of the measurement
    {
        const std::size_t before = kel_bench::heapInUse();
        auto tree = parse(text);
        const std::size_t after = kel_bench::heapInUse();
        state.counters["heap_x"] = static_cast<double>(after - before) / static_cast<double>(text.size());
        if (!tree) {
            state.SkipWithError("parse failed");
        }
    }
    for (auto _ : state) {
        auto tree = parse(text);
        benchmark::DoNotOptimize(tree.get());
        state.PauseTiming();
        tree.reset();
        state.ResumeTiming();
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) *
                            static_cast<std::int64_t>(text.size()));
}

void BM_KelParse(benchmark::State& state) {
    runParse(state, [](const std::string& text) {
        std::unique_ptr<Kel::XMLDoc> doc(new Kel::XMLDoc());
        const char* cursor = text.c_str();
        doc->fromStream(cursor);
        return doc->isNull() ? nullptr : std::move(doc);
    });
}

// The document with mixed content and CDATA in every description.
void BM_KelParseMixed(benchmark::State& state) {
    runParse(
        state,
        [](const std::string& text) {
            std::unique_ptr<Kel::XMLDoc> doc(new Kel::XMLDoc());
            const char* cursor = text.c_str();
            doc->fromStream(cursor);
            return doc->isNull() ? nullptr : std::move(doc);
        },
        true);
}

#ifdef KEL_BENCH_PUGIXML
void BM_PugixmlParse(benchmark::State& state) {
    runParse(state, [](const std::string& text) {
        std::unique_ptr<pugi::xml_document> doc(new pugi::xml_document());
        return doc->load_buffer(text.data(), text.size()) ? std::move(doc) : nullptr;
    });
}
#endif

#ifdef KEL_BENCH_TINYXML2
void BM_Tinyxml2Parse(benchmark::State& state) {
    runParse(state, [](const std::string& text) {
        std::unique_ptr<tinyxml2::XMLDocument> doc(new tinyxml2::XMLDocument());
        return doc->Parse(text.data(), text.size()) == tinyxml2::XML_SUCCESS ? std::move(doc) : nullptr;
    });
}
#endif

#ifdef KEL_BENCH_LIBXML2
struct XmlDocFree {
    void operator()(xmlDoc* d) const { xmlFreeDoc(d); }
};

void BM_Libxml2Parse(benchmark::State& state) {
    runParse(state, [](const std::string& text) {
        return std::unique_ptr<xmlDoc, XmlDocFree>(
            xmlReadMemory(text.data(), static_cast<int>(text.size()), "bench.xml", nullptr, 0));
    });
}
#endif

BENCHMARK(BM_KelParse)->Apply(kel_bench::documentSizes);
BENCHMARK(BM_KelParseMixed)->Apply(kel_bench::documentSizes);
#ifdef KEL_BENCH_PUGIXML
BENCHMARK(BM_PugixmlParse)->Apply(kel_bench::documentSizes);
#endif
#ifdef KEL_BENCH_TINYXML2
BENCHMARK(BM_Tinyxml2Parse)->Apply(kel_bench::documentSizes);
#endif
#ifdef KEL_BENCH_LIBXML2
BENCHMARK(BM_Libxml2Parse)->Apply(kel_bench::documentSizes);
#endif

} // namespace

int main(int argc, char** argv) {
    return kel_bench::runAgainstPeers(argc, argv, "Parse");
}
