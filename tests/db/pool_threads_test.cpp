#include "db_fixture.h"

#include <atomic>
#include <chrono>
#include <map>
#include <thread>
#include <vector>

using namespace Kel;

// Four threads borrow and return 1,000 times each from a pool of two connections. A connection is
// never held by two borrowers at once, and every borrow is accounted for.
TEST(PoolThreads, TwoConnectionsServeFourThreadsOneBorrowerAtATime) {
    DB_TEST_REQUIRE(db_test::SQLite);
    DBPoolMgr pool;
    pool.addPooledDB("kel_sqlite", "", "");
    pool.addPooledDB("kel_sqlite", "", "");
    Database* connections[2];
    {
        DB a(&pool);
        DB b(&pool);
        connections[0] = a.db();
        connections[1] = b.db();
    }
    std::atomic<int> holders[2] = {{0}, {0}};
    std::atomic<long> uses[2] = {{0}, {0}};
    std::atomic<long> refusals{0};
    std::atomic<bool> overlap{false};
    std::atomic<bool> stranger{false};
    std::atomic<bool> queryFailed{false};

    const int threads = 4;
    const int borrowsEach = 1000;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(120);
    std::vector<std::thread> workers;
    for (int t = 0; t < threads; ++t) {
        workers.emplace_back([&, t] {
            for (int done = 0; done < borrowsEach && std::chrono::steady_clock::now() < deadline;) {
                try {
                    DB d(&pool);
                    const int i = d.db() == connections[0] ? 0 : d.db() == connections[1] ? 1 : -1;
                    if (i < 0) {
                        stranger = true;
                        return;
                    }
                    if (holders[i].fetch_add(1) != 0) {
                        overlap = true;
                    }
                    // Now and then the borrower really uses its connection.
                    if (done % 100 == t && d.db()->execute("SELECT 1") != 0) {
                        queryFailed = true;
                    }
                    uses[i].fetch_add(1);
                    holders[i].fetch_sub(1);
                    ++done;
                } catch (const DBPoolException&) {
                    refusals.fetch_add(1);
                    std::this_thread::yield();
                }
            }
        });
    }
    for (std::thread& w : workers) {
        w.join();
    }
    EXPECT_FALSE(stranger);
    EXPECT_FALSE(overlap);
    EXPECT_FALSE(queryFailed);
    EXPECT_EQ(uses[0] + uses[1], static_cast<long>(threads) * borrowsEach);
    EXPECT_EQ(pool.count(), 2);
    // Everything was given back: both connections can be borrowed again, oldest first.
    DB a(&pool);
    DB b(&pool);
    EXPECT_EQ(a.db(), connections[0]);
    EXPECT_EQ(b.db(), connections[1]);
    RecordProperty("refusals", static_cast<int>(refusals.load()));
}

// Eight threads borrow and use connections while another marks the whole pool for refresh over and
// over: every borrower gets a working connection, and a mark set while a connection reconnects is
// neither lost nor raced on.
TEST(PoolThreads, RefreshWhileEightThreadsBorrow) {
    DB_TEST_REQUIRE(db_test::SQLite);
    DBPoolMgr pool;
    pool.setResizeable("kel_sqlite", "", "", 2, 4);
    std::atomic<bool> stop{false};
    std::atomic<long> borrows{0};
    std::atomic<long> queryFailures{0};
    std::atomic<long> refreshes{0};
    std::thread refresher([&] {
        while (!stop) {
            pool.refresh();
            refreshes.fetch_add(1);
            std::this_thread::yield();
        }
    });
    while (refreshes == 0) {
        std::this_thread::yield();
    }
    const int threads = 8;
    const int borrowsEach = 150;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(120);
    std::vector<std::thread> workers;
    for (int t = 0; t < threads; ++t) {
        workers.emplace_back([&] {
            for (int done = 0; done < borrowsEach && std::chrono::steady_clock::now() < deadline;) {
                try {
                    DB d(&pool);
                    if (d.db()->execute("SELECT 1") != 0) {
                        queryFailures.fetch_add(1);
                    }
                    borrows.fetch_add(1);
                    ++done;
                } catch (const DBPoolException&) {
                    std::this_thread::yield();
                }
            }
        });
    }
    for (std::thread& w : workers) {
        w.join();
    }
    stop = true;
    refresher.join();
    EXPECT_EQ(queryFailures, 0);
    EXPECT_EQ(borrows, static_cast<long>(threads) * borrowsEach);
    EXPECT_LE(pool.count(), 4);
}
