#include <kel/collection.h>
#include <kel/net.h>

#include "kel_test.h"
#include "list_check.h"

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <future>
#include <memory>
#include <thread>
#include <vector>

using namespace Kel;
using kel_test::keysOf;

namespace {
// Runs f(0) to f(n-1) on n threads and waits at most 60 s for them: a thread still running then is stuck
// on a lock, and the program stops with a failure instead of hanging.
template <typename F> void onThreads(int n, F f) {
    auto done = std::make_shared<std::promise<void>>();
    std::thread([n, f, done] {
        std::vector<std::thread> threads;
        for (int t = 0; t < n; ++t) {
            threads.emplace_back(f, t);
        }
        for (auto& each : threads) {
            each.join();
        }
        done->set_value();
    }).detach();
    if (done->get_future().wait_for(std::chrono::seconds(60 * kel_test::slowdown())) !=
        std::future_status::ready) {
        std::fprintf(stderr, "threads did not finish in time\n");
        std::_Exit(1);
    }
}
} // namespace

TEST(CollectionThreads, FailedOperationsReleaseTheLocksAndConcurrentChangesKeepTheCount) {
    constexpr int threads = 4, perThread = 200;
    Collection shared, other;
    Collectable held(String("held")), loose(String("loose"));
    MultiCollectable multi(String("multi"));
    shared.addTail(&held);
    shared.addTail(&multi);
    // Each refusal must release the collection's lock and the element's records, or the threads below wait.
    EXPECT_THROW_REASON(shared.addTail(&held), CollectionException, 1);
    EXPECT_THROW_REASON(shared.addHead(&multi), CollectionException, 1);
    EXPECT_THROW_REASON(shared.remove(&loose, 0), CollectionException, 3);
    EXPECT_THROW_REASON(shared.addTail(&shared), CollectionException, 2);
    EXPECT_THROW_REASON(multi.remove(&other, 0), CollectionException, 3);
    std::vector<Collectable> items(threads * perThread);
    onThreads(threads, [&](int t) {
        Collectable* mine = &items[t * perThread];
        if (t == 0) {
            other.addTail(&multi);
        }
        for (int round = 0; round < 50; ++round) {
            for (int i = 0; i < perThread; ++i) {
                (i % 2) ? shared.addHead(mine + i) : shared.addTail(mine + i);
            }
            for (int i = 0; i < perThread; ++i) {
                if (i % 2 == 0 || round < 49) { // the odd ones stay after the last round
                    (i % 4) ? shared.remove(mine + i, 0) : mine[i].remove(0);
                }
            }
        }
    });
    EXPECT_EQ(shared.count(), static_cast<unsigned long>(threads * perThread / 2 + 2));
    EXPECT_EQ(keysOf(shared).find("count"), std::string::npos); // the walks agree with the count
    EXPECT_EQ(keysOf(other), "multi");
    shared.removeAll(0);
}

TEST(CollectionThreads, MultiCollectablesMovedBetweenCollectionsByManyThreads) {
    constexpr int elements = 24;
    Collection c[3];
    std::vector<MultiCollectable> items(elements);
    for (int i = 0; i < elements; ++i) {
        c[0].addTail(&items[i]);
        c[i % 2 + 1].addHead(&items[i]);
    }
    // Two threads meeting on one element see reasons 3 and 1, which leave everything as it was.
    std::atomic<long> refused{0};
    onThreads(4, [&](int t) {
        unsigned seed = 17u * static_cast<unsigned>(t) + 1u;
        for (int k = 0; k < 4000; ++k) {
            seed = seed * 1103515245u + 12345u;
            MultiCollectable* m = &items[(seed >> 8) % elements];
            try {
                c[(seed >> 16) % 3].remove(m, 0);
            } catch (const CollectionException& e) {
                refused += e.reason() == 3;
            }
            try {
                Collection& to = c[(seed >> 20) % 3];
                (seed & 1) ? to.addHead(m) : to.addTail(m);
            } catch (const CollectionException& e) {
                refused += e.reason() == 1;
            }
        }
    });
    EXPECT_GT(refused.load(), 0);
    unsigned long memberships = 0, recorded = 0;
    for (Collection& each : c) {
        EXPECT_EQ(keysOf(each).find("count"), std::string::npos);
        memberships += each.count();
    }
    for (auto& m : items) {
        recorded += m.collectionCount();
    }
    EXPECT_EQ(recorded, memberships);
}

// Range-for takes no lock: walkers and changers share a lock of the caller's, and the walks always see a
// whole list.
TEST(CollectionThreads, WalksUnderTheCallersLockWhileOthersChangeTheCollection) {
    Collection shared;
    Mutex guard;
    std::vector<Collectable> items(64); // null keys
    std::atomic<long> badWalks{0};
    onThreads(4, [&](int t) {
        for (int round = 0; round < 300; ++round) {
            guard.lock();
            if (t < 2) {
                long seen = 0;
                for (Collectable& each : shared.items()) {
                    seen += each.key().isNull();
                }
                badWalks += seen != static_cast<long>(shared.count());
            } else {
                Collectable& mine = items[static_cast<std::size_t>((round * 2 + t) % 64)];
                mine.remove(0);
                shared.addTail(&mine);
            }
            guard.unlock();
        }
    });
    EXPECT_EQ(badWalks.load(), 0);
    shared.removeAll(0);
}
