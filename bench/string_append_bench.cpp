// Appending one character at a time: Kel's String against std::string in the same run.

#include <benchmark/benchmark.h>
#include <kel/string.h>

#include <string>

namespace {

constexpr int appendCount = 1000000;

void BM_KelStringAppendChar(benchmark::State& state) {
    for (auto _ : state) {
        Kel::String text("");
        for (int i = 0; i < appendCount; ++i)
            text += static_cast<char>('a' + i % 26);
        benchmark::DoNotOptimize(text.length());
    }
    state.SetItemsProcessed(state.iterations() * appendCount);
}
BENCHMARK(BM_KelStringAppendChar)->Unit(benchmark::kMillisecond);

void BM_StdStringAppendChar(benchmark::State& state) {
    for (auto _ : state) {
        std::string text;
        for (int i = 0; i < appendCount; ++i)
            text += static_cast<char>('a' + i % 26);
        benchmark::DoNotOptimize(text.size());
    }
    state.SetItemsProcessed(state.iterations() * appendCount);
}
BENCHMARK(BM_StdStringAppendChar)->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    benchmark::AddCustomContext("sizeof(Kel::String)", std::to_string(sizeof(Kel::String)));
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
