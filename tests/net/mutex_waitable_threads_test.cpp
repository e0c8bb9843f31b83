#include <kel/net.h>

#include "kel_test.h"

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <future>
#include <thread>
#include <vector>

using namespace Kel;
using Clock = std::chrono::steady_clock;

namespace {
// Every wait has a limit; this one is surely long enough.
constexpr unsigned long patience = 20000;

// Runs f on a thread of its own; the future is ready once it has returned.
template <typename F> std::shared_future<void> start(F f) {
    return std::async(std::launch::async, f).share();
}

// A thread that never finishes is stuck for good: stop with a failure instead of hanging. The limit is
// far above what any test here needs (well under a second natively and under Wine, even with other
// programs keeping every core busy); it stretches with the slowdown of instrumented or emulated runs,
// where thread start-up and the waits around it cost many times more.
void expectFinished(const std::shared_future<void>& f) {
    if (f.wait_for(std::chrono::seconds(60) * kel_test::slowdown()) != std::future_status::ready) {
        std::fprintf(stderr, "a thread did not finish in time\n");
        std::_Exit(1);
    }
}

bool stillRunning(const std::shared_future<void>& f) {
    return f.wait_for(std::chrono::milliseconds(100)) == std::future_status::timeout;
}

long msSince(Clock::time_point start) {
    return static_cast<long>(
        std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count());
}
} // namespace

TEST(MutexThreads, ProtectsACounterAgainstLostUpdates) {
    Mutex m;
    long counter = 0;
    std::vector<std::shared_future<void>> workers;
    for (int t = 0; t < 4; ++t) {
        workers.push_back(start([&] {
            for (int i = 0; i < 20000; ++i) {
                m.lock();
                m.lock(); // re-entry by the holder
                long seen = counter;
                m.unlock();
                counter = seen + 1;
                m.unlock();
            }
        }));
    }
    for (auto& w : workers) {
        expectFinished(w);
    }
    EXPECT_EQ(counter, 80000);
}

TEST(MutexThreads, FreeOnlyWhenUnlockedAsOftenAsLockedAndCopiesAreSeparate) {
    Mutex m;
    m.lock();
    m.lock();
    m.unlock();
    Mutex copy(m), assigned;
    assigned = m;
    auto lockAndUnlock = [](Mutex& x) { return start([&x] { x.lock(), x.unlock(); }); };
    expectFinished(lockAndUnlock(copy));
    expectFinished(lockAndUnlock(assigned));
    std::shared_future<void> other = lockAndUnlock(m);
    EXPECT_TRUE(stillRunning(other));
    m.unlock();
    expectFinished(other);
}

TEST(WaitableThreads, KeepsOneSignalTimesOutOnTheLimitAndZeroWaitsWithoutLimit) {
    Waitable w;
    w.signal();
    w.signal(true);
    Waitable copy(w); // an event of its own, not signalled
    EXPECT_FALSE(copy.wait(1));
    EXPECT_TRUE(w.wait(patience));
    EXPECT_FALSE(w.wait(1));

    const Clock::time_point begin = Clock::now();
    EXPECT_FALSE(w.wait(150));
    EXPECT_GE(msSince(begin), 150);
    EXPECT_LT(msSince(begin), 5000 * kel_test::slowdown());
    w.signal();
    EXPECT_TRUE(w.wait()); // no limit, but signalled already
    w.signal();
    EXPECT_TRUE(w.wait(0));

    bool result = false;
    std::shared_future<void> waiter = start([&] { result = w.wait(0); });
    // Well past any short poll: a wait(0) that only looked would have returned false by now.
    std::this_thread::sleep_for(std::chrono::milliseconds(200 * kel_test::slowdown()));
    EXPECT_TRUE(stillRunning(waiter));
    w.signal();
    expectFinished(waiter);
    EXPECT_TRUE(result);
}

TEST(WaitableThreads, PingPongBetweenTwoThreads) {
    Waitable ping, pong;
    std::atomic<int> missed{0};
    std::shared_future<void> partner = start([&] {
        for (int i = 0; i < 2000; ++i) {
            missed += !ping.wait(patience);
            pong.signal();
        }
    });
    for (int i = 0; i < 2000; ++i) {
        ping.signal();
        missed += !pong.wait(patience);
    }
    expectFinished(partner);
    EXPECT_EQ(missed.load(), 0);
    EXPECT_FALSE(pong.wait(1));
}

TEST(WaitableThreads, EachSignalReleasesOneWaiterEvenInQuickSuccession) {
    Waitable w;
    std::atomic<int> released{0};
    std::vector<std::shared_future<void>> waiters;
    for (int t = 0; t < 3; ++t) {
        waiters.push_back(start([&] { released += w.wait(patience); }));
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(200 * kel_test::slowdown())); // let them block
    w.signal();
    for (int i = 0; i < 2000 && released.load() == 0; ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    // Time for a wrong second release to show.
    std::this_thread::sleep_for(std::chrono::milliseconds(100 * kel_test::slowdown()));
    EXPECT_EQ(released.load(), 1);
    w.signal(); // two at once: each reaches a waiting thread
    w.signal();
    for (auto& each : waiters) {
        expectFinished(each);
    }
    EXPECT_EQ(released.load(), 3);
    EXPECT_FALSE(w.wait(1));
}
