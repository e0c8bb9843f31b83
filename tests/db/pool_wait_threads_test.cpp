// A pool that waits: a borrower waits up to its limit for a connection to come back, waiting borrowers
// are served in the order they came, and a stopped server sends waiters away within their limit.

#include "db_fixture.h"

#include <atomic>
#include <chrono>
#include <cstdlib>
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
    {
        DB held(&pool);
        ASSERT_EQ(std::system((ctl + " stop -m fast >/dev/null 2>&1").c_str()), 0);
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
    const bool restarted = std::system((ctl + " start >/dev/null 2>&1").c_str()) == 0;
    EXPECT_EQ(databaseErrors + refusals, 3);
    EXPECT_GE(databaseErrors, 1);
    EXPECT_LT(longest, limit + 2000 * kel_test::slowdown());
    ASSERT_TRUE(restarted);
    DB again(&pool);
    EXPECT_EQ(again.db()->execute("SELECT 1"), 0);
}
