// Uncontended lock and unlock: Kel's Mutex against std::recursive_mutex (and std::mutex for scale) in the
// same run.

#include "ratio_report.h"

#include <kel/net.h>

#include <cstdlib>
#include <mutex>
#include <thread>

namespace {

void BM_KelMutexLockUnlock(benchmark::State& state) {
    Kel::Mutex m;
    for (auto _ : state) {
        m.lock();
        benchmark::ClobberMemory();
        m.unlock();
    }
}
BENCHMARK(BM_KelMutexLockUnlock);

void BM_StdRecursiveMutexLockUnlock(benchmark::State& state) {
    std::recursive_mutex m;
    for (auto _ : state) {
        m.lock();
        benchmark::ClobberMemory();
        m.unlock();
    }
}
BENCHMARK(BM_StdRecursiveMutexLockUnlock);

void BM_StdMutexLockUnlock(benchmark::State& state) {
    std::mutex m;
    for (auto _ : state) {
        m.lock();
        benchmark::ClobberMemory();
        m.unlock();
    }
}
BENCHMARK(BM_StdMutexLockUnlock);

} // namespace

int main(int argc, char** argv) {
    // The C library, and Kel's lock on Linux, skip the bus lock while the process has a single thread.
    // KEL_BENCH_THREADED=1 starts (and ends) a thread first, so that both sides pay it as in a program
    // with threads.
    if (std::getenv("KEL_BENCH_THREADED")) {
        std::thread([] {}).join();
    }
    benchmark::Initialize(&argc, argv);
    kel_bench::RatioReporter reporter;
    reporter.compare("BM_KelMutexLockUnlock", "BM_StdRecursiveMutexLockUnlock");
    reporter.compare("BM_KelMutexLockUnlock", "BM_StdMutexLockUnlock");
    benchmark::RunSpecifiedBenchmarks(&reporter);
    benchmark::Shutdown();
    return 0;
}
