// format() of a typical line into a fresh String, against snprintf into a stack buffer.

#include <kel/string.h>

#include <benchmark/benchmark.h>

#include <cstdio>

namespace {

const char* const lineFormat = "%s=%li (%0.2f)";

void BM_StringFormat(benchmark::State& state) {
    long i = 0;
    for (auto _ : state) {
        Kel::String s;
        s.format(lineFormat, "temperature", ++i, 21.375);
        benchmark::DoNotOptimize(static_cast<const char*>(s));
    }
}
BENCHMARK(BM_StringFormat);

void BM_Snprintf(benchmark::State& state) {
    long i = 0;
    for (auto _ : state) {
        char buffer[256];
        std::snprintf(buffer, sizeof buffer, lineFormat, "temperature", ++i, 21.375);
        benchmark::DoNotOptimize(buffer);
        benchmark::ClobberMemory();
    }
}
BENCHMARK(BM_Snprintf);

// Formatting again into the same String reuses its storage.
void BM_StringFormatReused(benchmark::State& state) {
    Kel::String s;
    long i = 0;
    for (auto _ : state) {
        s.format(lineFormat, "temperature", ++i, 21.375);
        benchmark::DoNotOptimize(static_cast<const char*>(s));
    }
}
BENCHMARK(BM_StringFormatReused);

} // namespace

BENCHMARK_MAIN();
