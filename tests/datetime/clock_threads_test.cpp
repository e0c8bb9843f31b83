// Clock reads, formatting and parsing from several threads at once: no shared broken-down time and no
// writable shared state.

#include "kel_test.h"

#include <kel/datetime.h>

#include <atomic>
#include <thread>
#include <vector>

using namespace Kel;

TEST(DateTimeThreads, ConcurrentClockReadsFormatsAndParses) {
    std::atomic<int> failures{0};
    std::vector<std::thread> threads;
    for (int i = 0; i < 4; ++i) {
        threads.emplace_back([&failures, i] {
            for (int n = 0; n < 500; ++n) {
                const Timestamp local = Timestamp::now(i % 2 == 0 ? Time::Local : Time::UTC);
                const String text = local.format(GetFCCString(2));
                const Timestamp back(text, GetFCCString(2));
                if (back.format(GetFCCString(2)) != text || Date::now().year() < 2024) {
                    ++failures;
                }
            }
        });
    }
    for (std::thread& t : threads) {
        t.join();
    }
    EXPECT_EQ(failures.load(), 0);
}
