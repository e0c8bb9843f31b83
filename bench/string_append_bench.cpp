// Appending one character at a time: Kel's String against std::string in the same run.

#include <benchmark/benchmark.h>
#include <kel/string.h>

#include <cstdlib>
#include <string>
#if defined(__GLIBC__)
#include <malloc.h>
#endif

namespace {

constexpr int appendCount = 1000000;

void BM_KelStringAppendChar(benchmark::State& state) {
    for (auto _ : state) {
        Kel::String text("");
        for (int i = 0; i < appendCount; ++i) {
            text += static_cast<char>('a' + i % 26);
        }
        benchmark::DoNotOptimize(text.length());
    }
    state.SetItemsProcessed(state.iterations() * appendCount);
}
BENCHMARK(BM_KelStringAppendChar)->Unit(benchmark::kMillisecond);

void BM_StdStringAppendChar(benchmark::State& state) {
    for (auto _ : state) {
        std::string text;
        for (int i = 0; i < appendCount; ++i) {
            text += static_cast<char>('a' + i % 26);
        }
        benchmark::DoNotOptimize(text.size());
    }
    state.SetItemsProcessed(state.iterations() * appendCount);
}
BENCHMARK(BM_StdStringAppendChar)->Unit(benchmark::kMillisecond);

} // namespace

// Both sides take their memory from what the process already holds. Left to its dynamic thresholds, glibc
// trims the top of the heap once std::string has freed its last two buffers (it copies into a new one,
// where realloc grows Kel's in place), so every iteration of the peer gives ~1,200 pages back to the system
// and faults them in again: on a machine with costly page faults the peer then measures the kernel, not
// appending.
void keepFreedMemory() {
#if defined(__GLIBC__)
    mallopt(M_MMAP_THRESHOLD, 64 << 20);
    mallopt(M_TRIM_THRESHOLD, 256 << 20);
#endif
}

int main(int argc, char** argv) {
    keepFreedMemory();
    benchmark::Initialize(&argc, argv);
    benchmark::AddCustomContext("sizeof(Kel::String)", std::to_string(sizeof(Kel::String)));
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
