// Pools shared by threads: borrowers that never share a connection, refreshes while threads borrow, and
// a pool that waits: a borrower waits up to its limit for a connection to come back, waiting borrowers
// are served in the order they came, and a stopped server sends waiters away within their limit.

#include "db_fixture.h"

#include <atomic>
#include <chrono>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

using namespace Kel;

namespace {

using Clock = std::chrono::steady_clock;

long millisecondsSince(Clock::time_point start) {
    return static_cast<long>(
        std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count());
}

void sleepFor(long milliseconds) {
    std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds * kel_test::slowdown()));
}

} // namespace

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

TEST(PoolWait, ABorrowerWaitsForAConnectionToComeBackOrGivesUpAtItsLimit) {
    DB_TEST_REQUIRE(db_test::SQLite);
    DBPoolMgr pool;
    pool.addPooledDB("kel_sqlite", "", "");
    EXPECT_EQ(pool.waitLimit(), 0ul);
    {
        DB held(&pool);
        // The default refuses at once.
        const Clock::time_point start = Clock::now();
        EXPECT_THROW_REASON(DB refused(&pool), DBPoolException, 1);
        EXPECT_LT(millisecondsSince(start), 100 * kel_test::slowdown());

        pool.setWait(static_cast<unsigned long>(300 * kel_test::slowdown()));
        const Clock::time_point waited = Clock::now();
        try {
            DB late(&pool);
            ADD_FAILURE() << "a borrower got a connection that was lent";
        } catch (const DBPoolException& e) {
            EXPECT_EQ(e.reason(), 1);
            EXPECT_STREQ(e.detail(), "no connection came back within the waiting limit");
        }
        const long elapsed = millisecondsSince(waited);
        EXPECT_GE(elapsed, 290 * kel_test::slowdown());
        EXPECT_LT(elapsed, 2000 * kel_test::slowdown());
    }

    pool.setWait(static_cast<unsigned long>(10000 * kel_test::slowdown()));
    Database* lent = nullptr;
    std::atomic<bool> holding{false};
    std::thread holder([&] {
        DB d(&pool);
        lent = d.db();
        holding = true;
        sleepFor(200);
    });
    while (!holding) {
        std::this_thread::yield();
    }
    const Clock::time_point start = Clock::now();
    DB next(&pool);
    EXPECT_GE(millisecondsSince(start), 100);
    EXPECT_EQ(next.db(), lent);
    EXPECT_EQ(next.db()->execute("SELECT 1"), 0);
    holder.join();
}

TEST(PoolWait, WaitingBorrowersAreServedInTheOrderTheyCame) {
    DB_TEST_REQUIRE(db_test::SQLite);
    DBPoolMgr pool;
    pool.addPooledDB("kel_sqlite", "", "");
    pool.setWait(static_cast<unsigned long>(30000 * kel_test::slowdown()));
    std::mutex orderLock;
    std::vector<int> order;
    std::vector<std::thread> waiters;
    {
        DB first(&pool);
        for (int i = 0; i < 5; ++i) {
            waiters.emplace_back([&, i] {
                DB d(&pool);
                std::lock_guard<std::mutex> guard(orderLock);
                order.push_back(i);
            });
            // Each waiter is surely queued before the next one comes.
            sleepFor(100);
        }
    }
    for (std::thread& w : waiters) {
        w.join();
    }
    EXPECT_EQ(order, (std::vector<int>{0, 1, 2, 3, 4}));
}

// The server stops while every connection is lent and marked for refresh: the waiters each get the
// driver's DatabaseException or, past their limit, DBPoolException(1), and none waits much beyond it.
TEST(PoolWait, AStoppedServerSendsWaitersAwayWithinTheirLimit) {
    DB_TEST_REQUIRE(db_test::PostgreSQLFault);
    const std::string ctl = db_test::envText("KEL_PG_FAULT_CTL");
    ASSERT_FALSE(ctl.empty()) << "KEL_PG_FAULT_CTL is needed to stop and start the server";
    const db_test::Target& t = db_test::Sources::get().target(db_test::PostgreSQLFault);
    DBPoolMgr pool;
    pool.setResizeable(t.dsn.c_str(), t.user.c_str(), t.password.c_str(), 1, 1);
    const long limit = 1500 * kel_test::slowdown();
    pool.setWait(static_cast<unsigned long>(limit));
    std::atomic<int> databaseErrors{0};
    std::atomic<int> refusals{0};
    std::atomic<long> longest{0};
    std::vector<std::thread> waiters;
    db_test::ServerControl server(ctl);
    {
        DB held(&pool);
        ASSERT_TRUE(server.stop());
        pool.refresh();
        for (int i = 0; i < 3; ++i) {
            waiters.emplace_back([&] {
                const Clock::time_point start = Clock::now();
                try {
                    DB d(&pool);
                } catch (const DatabaseException&) {
                    ++databaseErrors;
                } catch (const DBPoolException&) {
                    ++refusals;
                }
                const long elapsed = millisecondsSince(start);
                long seen = longest;
                while (elapsed > seen && !longest.compare_exchange_weak(seen, elapsed)) {
                }
            });
        }
        sleepFor(100);
    }
    for (std::thread& w : waiters) {
        w.join();
    }
    const bool restarted = server.start();
    EXPECT_EQ(databaseErrors + refusals, 3);
    EXPECT_GE(databaseErrors, 1);
    EXPECT_LT(longest, limit + 2000 * kel_test::slowdown());
    ASSERT_TRUE(restarted);
    DB again(&pool);
    EXPECT_EQ(again.db()->execute("SELECT 1"), 0);
}
