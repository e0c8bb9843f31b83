// Searching a 1 MB text with String and with std::string, and the cost of field() as lines grow.
// Compare BM_String* with the BM_Std* line of the same search: both run in this one process.

#include <kel/string.h>

#include <benchmark/benchmark.h>

#include <cstdint>
#include <string>

namespace {

constexpr std::size_t textSize = 1 << 20;
const char* const needle = "needle in a haystack";

// Words of pseudo-random lowercase letters, with the needle and a '#' only at the very end, so that
// every search reads the whole text.
const std::string& haystack() {
    static const std::string text = [] {
        std::string t;
        t.reserve(textSize);
        std::uint32_t state = 12345;
        while (t.size() < textSize - 64) {
            state = state * 1103515245u + 12345u;
            const char c = static_cast<char>('a' + (state >> 16) % 27);
            t += c == 'a' + 26 ? ' ' : c;
        }
        t += needle;
        t += '#';
        return t;
    }();
    return text;
}

void BM_StringFindIndexText(benchmark::State& state) {
    const Kel::String text(haystack().c_str());
    for (auto _ : state) {
        benchmark::DoNotOptimize(text.findIndex(needle));
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * textSize));
}
BENCHMARK(BM_StringFindIndexText);

void BM_StdFindText(benchmark::State& state) {
    const std::string& text = haystack();
    for (auto _ : state) {
        benchmark::DoNotOptimize(text.find(needle));
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * textSize));
}
BENCHMARK(BM_StdFindText);

void BM_StringFindChar(benchmark::State& state) {
    const Kel::String text(haystack().c_str());
    for (auto _ : state) {
        benchmark::DoNotOptimize(text.find('#'));
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * textSize));
}
BENCHMARK(BM_StringFindChar);

void BM_StdFindChar(benchmark::State& state) {
    const std::string& text = haystack();
    for (auto _ : state) {
        benchmark::DoNotOptimize(text.find('#'));
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * textSize));
}
BENCHMARK(BM_StdFindChar);

void BM_StringFindCharFromEnd(benchmark::State& state) {
    const Kel::String text(haystack().c_str());
    for (auto _ : state) {
        benchmark::DoNotOptimize(text.find('q', true));
    }
}
BENCHMARK(BM_StringFindCharFromEnd);

void BM_StdRFindChar(benchmark::State& state) {
    const std::string& text = haystack();
    for (auto _ : state) {
        benchmark::DoNotOptimize(text.rfind('q'));
    }
}
BENCHMARK(BM_StdRFindChar);

// The last field of a line of n fields, some of them quoted: the whole line is scanned.
void BM_StringFieldLast(benchmark::State& state) {
    const auto fields = static_cast<unsigned long>(state.range(0));
    std::string line;
    for (unsigned long i = 0; i < fields; ++i) {
        if (i) {
            line += ',';
        }
        line += i % 4 == 0 ? "\"quoted, text\"" : "field" + std::to_string(i);
    }
    const Kel::String text(line.c_str());
    for (auto _ : state) {
        benchmark::DoNotOptimize(text.field(',', fields - 1, '"'));
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * line.size()));
}
BENCHMARK(BM_StringFieldLast)->Arg(1000)->Arg(10000);

} // namespace

BENCHMARK_MAIN();
