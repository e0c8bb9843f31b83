// Writing a parsed tree back to text, in MB/s of the generated document (about 100 KB, 5 MB and 50 MB):
// Kel's XMLDoc::stream against pugixml's save, tinyxml2's printer and libxml2's xmlDocDumpMemory, each
// writing its own tree of the same document.
//
//   bench_xml_write --benchmark_repetitions=5 --benchmark_report_aggregates_only=true

#include "xml_bench_documents.h"

#include <kel/xml.h>

#include <benchmark/benchmark.h>

#include <string>

namespace {

using kel_bench::document;

void setBytes(benchmark::State& state, const std::string& text) {
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) *
                            static_cast<std::int64_t>(text.size()));
}

void BM_KelWrite(benchmark::State& state) {
    const std::string& text = document(static_cast<std::size_t>(state.range(0)));
    const Kel::XMLDoc doc(text.c_str());
    for (auto _ : state) {
        const Kel::String out = doc.stream();
        benchmark::DoNotOptimize(static_cast<const char*>(out));
    }
    setBytes(state, text);
}

#ifdef KEL_BENCH_PUGIXML
struct StringWriter : pugi::xml_writer {
    std::string text;
    void write(const void* data, size_t size) override { text.append(static_cast<const char*>(data), size); }
};

void BM_PugixmlWrite(benchmark::State& state) {
    const std::string& text = document(static_cast<std::size_t>(state.range(0)));
    pugi::xml_document doc;
    doc.load_buffer(text.data(), text.size());
    for (auto _ : state) {
        StringWriter out;
        doc.save(out);
        benchmark::DoNotOptimize(out.text.data());
    }
    setBytes(state, text);
}
#endif

#ifdef KEL_BENCH_TINYXML2
void BM_Tinyxml2Write(benchmark::State& state) {
    const std::string& text = document(static_cast<std::size_t>(state.range(0)));
    tinyxml2::XMLDocument doc;
    doc.Parse(text.data(), text.size());
    for (auto _ : state) {
        tinyxml2::XMLPrinter printer;
        doc.Print(&printer);
        benchmark::DoNotOptimize(printer.CStr());
    }
    setBytes(state, text);
}
#endif

#ifdef KEL_BENCH_LIBXML2
void BM_Libxml2Write(benchmark::State& state) {
    const std::string& text = document(static_cast<std::size_t>(state.range(0)));
    xmlDoc* doc = xmlReadMemory(text.data(), static_cast<int>(text.size()), "bench.xml", nullptr, 0);
    for (auto _ : state) {
        xmlChar* out = nullptr;
        int size = 0;
        xmlDocDumpMemory(doc, &out, &size);
        benchmark::DoNotOptimize(out);
        xmlFree(out);
    }
    xmlFreeDoc(doc);
    setBytes(state, text);
}
#endif

BENCHMARK(BM_KelWrite)->Apply(kel_bench::documentSizes);
#ifdef KEL_BENCH_PUGIXML
BENCHMARK(BM_PugixmlWrite)->Apply(kel_bench::documentSizes);
#endif
#ifdef KEL_BENCH_TINYXML2
BENCHMARK(BM_Tinyxml2Write)->Apply(kel_bench::documentSizes);
#endif
#ifdef KEL_BENCH_LIBXML2
BENCHMARK(BM_Libxml2Write)->Apply(kel_bench::documentSizes);
#endif

} // namespace

int main(int argc, char** argv) {
    return kel_bench::runAgainstPeers(argc, argv, "Write");
}
