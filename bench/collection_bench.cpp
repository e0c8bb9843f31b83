// Linking and unlinking elements: Kel's Collection against std::list of node pointers, and
// MultiCollectable membership in 1 to 8 collections, in the same run.

#include "ratio_report.h"

#include <kel/collection.h>

#include <list>
#include <memory>
#include <vector>

namespace {

constexpr int elementCount = 1000000;

// addTail every element, then remove every element from the head on.
void BM_CollectionAddTailRemove(benchmark::State& state) {
    std::vector<Kel::Collectable> items(elementCount);
    Kel::Collection c;
    for (auto _ : state) {
        for (Kel::Collectable& e : items) {
            c.addTail(&e);
        }
        for (Kel::Collectable& e : items) {
            c.remove(&e, 0);
        }
        benchmark::DoNotOptimize(c.count());
    }
    state.SetItemsProcessed(state.iterations() * elementCount * 2);
}
BENCHMARK(BM_CollectionAddTailRemove)->Unit(benchmark::kMillisecond);

// The same with std::list: push_back of each node's pointer, then erase through the iterator kept for it.
struct Node {
    long payload = 0;
};

void BM_StdListPushBackErase(benchmark::State& state) {
    std::vector<Node> nodes(elementCount);
    std::vector<std::list<Node*>::iterator> where(elementCount);
    std::list<Node*> l;
    for (auto _ : state) {
        for (int i = 0; i < elementCount; ++i) {
            where[i] = l.insert(l.end(), &nodes[i]);
        }
        for (int i = 0; i < elementCount; ++i) {
            l.erase(where[i]);
        }
        benchmark::DoNotOptimize(l.size());
    }
    state.SetItemsProcessed(state.iterations() * elementCount * 2);
}
BENCHMARK(BM_StdListPushBackErase)->Unit(benchmark::kMillisecond);

// Every element joins k collections, then leaves them one by one. Time per membership should grow
// linearly with k at most: each step walks the records of the element and of one neighbour.
constexpr int multiCount = 100000;

void BM_MultiCollectableAddRemove(benchmark::State& state) {
    const int k = static_cast<int>(state.range(0));
    std::vector<Kel::MultiCollectable> items(multiCount);
    std::vector<std::unique_ptr<Kel::Collection>> collections;
    for (int j = 0; j < k; ++j) {
        collections.push_back(std::make_unique<Kel::Collection>());
    }
    for (auto _ : state) {
        for (auto& c : collections) {
            for (Kel::MultiCollectable& e : items) {
                c->addTail(&e);
            }
        }
        for (auto& c : collections) {
            for (Kel::MultiCollectable& e : items) {
                c->remove(&e, 0);
            }
        }
        benchmark::DoNotOptimize(collections.front()->count());
    }
    state.SetItemsProcessed(state.iterations() * multiCount * k * 2);
}
BENCHMARK(BM_MultiCollectableAddRemove)->Arg(1)->Arg(2)->Arg(4)->Arg(8)->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    kel_bench::RatioReporter reporter;
    reporter.compare("BM_CollectionAddTailRemove", "BM_StdListPushBackErase");
    // Per membership, against one collection.
    reporter.compare("BM_MultiCollectableAddRemove/2", "BM_MultiCollectableAddRemove/1", 1.0 / 2);
    reporter.compare("BM_MultiCollectableAddRemove/4", "BM_MultiCollectableAddRemove/1", 1.0 / 4);
    reporter.compare("BM_MultiCollectableAddRemove/8", "BM_MultiCollectableAddRemove/1", 1.0 / 8);
    reporter.compare("BM_MultiCollectableAddRemove/1", "BM_CollectionAddTailRemove", 10.0);
    benchmark::RunSpecifiedBenchmarks(&reporter);
    benchmark::Shutdown();
    return 0;
}
