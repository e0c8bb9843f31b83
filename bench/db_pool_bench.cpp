// Borrowing and returning a connection through DB on a pool of four SQLite connections, from one and
// from two threads.

#include "db_bench_source.h"

#include <benchmark/benchmark.h>
#include <kel/database.h>

#include <cstdio>

namespace {

Kel::DBPoolMgr* pool = nullptr;

void BM_PoolBorrowReturn(benchmark::State& state) {
    for (auto _ : state) {
        Kel::DB borrowed(pool);
        benchmark::DoNotOptimize(borrowed.db());
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_PoolBorrowReturn)->Threads(1)->Threads(2)->UseRealTime();

} // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    db_bench::DataSource source;
    Kel::DBPoolMgr manager;
    try {
        for (int i = 0; i < 4; ++i) {
            manager.addPooledDB(source.name(), "", "");
        }
    } catch (const Kel::DatabaseException& e) {
        std::fprintf(stderr, "cannot connect: %s\n", static_cast<const char*>(e.message()));
        return 1;
    }
    pool = &manager;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
