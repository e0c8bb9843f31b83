// Connections used by threads. Pools: borrowers that never share a connection, refreshes while threads
// borrow, and a pool that waits: a borrower waits up to its limit for a connection to come back, waiting
// borrowers are served in the order they came, and a stopped server sends waiters away within their
// limit. Writers: on SQLite, beginWrite() takes the write lock at once, so writers that read before they
// write queue behind one another instead of failing with "database is locked".

#include "db_fixture.h"

#include <atomic>
#include <chrono>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

using namespace Kel;
using namespace db_test;

namespace {

using Clock = std::chrono::steady_clock;

long millisecondsSince(Clock::time_point start) {
    return static_cast<long>(
        std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count());
}

void sleepFor(long milliseconds) {
    std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds * kel_test::slowdown()));
}

// Runs body(t) on threads t = 0 to n - 1 and waits for them all.
template <typename F> void onThreads(int n, F body) {
    std::vector<std::thread> threads;
    for (int t = 0; t < n; ++t) {
        threads.emplace_back(body, t);
    }
    for (std::thread& t : threads) {
        t.join();
    }
}

// Each of n threads borrows from pool until use(connection, thread, borrows so far) has been called
// `each` times (or two minutes have passed); a refusal is tried again, and use() returning false ends
// the thread.
template <typename F> void borrowOnThreads(DBPoolMgr& pool, int n, int each, F use) {
    const Clock::time_point deadline = Clock::now() + std::chrono::seconds(120);
    onThreads(n, [&](int t) {
        for (int done = 0; done < each && Clock::now() < deadline;) {
            try {
                DB d(&pool);
                if (!use(d.db(), t, done)) {
                    return;
                }
                ++done;
            } catch (const DBPoolException&) {
                std::this_thread::yield();
            }
        }
    });
}

} // namespace

using PoolThreads = DbTest;

// Four threads borrow and return 1,000 times each from a pool of two connections. A connection is
// never held by two borrowers at once, and every borrow is accounted for.
TEST_F(PoolThreads, TwoConnectionsServeFourThreadsOneBorrowerAtATime) {
    DBPoolMgr pool;
    fill(pool, 2);
    Database* connections[2];
    {
        DB a(&pool);
        DB b(&pool);
        connections[0] = a.db();
        connections[1] = b.db();
    }
    std::atomic<int> holders[2] = {{0}, {0}};
    std::atomic<long> uses[2] = {{0}, {0}};
    std::atomic<bool> overlap{false};
    std::atomic<bool> stranger{false};
    std::atomic<bool> queryFailed{false};
    borrowOnThreads(pool, 4, 1000, [&](Database* d, int t, int done) {
        const int i = d == connections[0] ? 0 : d == connections[1] ? 1 : -1;
        if (i < 0) {
            stranger = true;
            return false;
        }
        if (holders[i].fetch_add(1) != 0) {
            overlap = true;
        }
        // Now and then the borrower really uses its connection.
        if (done % 100 == t && d->execute("SELECT 1") != 0) {
            queryFailed = true;
        }
        uses[i].fetch_add(1);
        holders[i].fetch_sub(1);
        return true;
    });
    EXPECT_FALSE(stranger);
    EXPECT_FALSE(overlap);
    EXPECT_FALSE(queryFailed);
    EXPECT_EQ(uses[0] + uses[1], 4000);
    EXPECT_EQ(pool.count(), 2);
    // Everything was given back: both connections can be borrowed again, oldest first.
    DB a(&pool);
    DB b(&pool);
    EXPECT_EQ(a.db(), connections[0]);
    EXPECT_EQ(b.db(), connections[1]);
}

// Eight threads borrow and use connections while another marks the whole pool for refresh over and
// over: every borrower gets a working connection, and a mark set while a connection reconnects is
// neither lost nor raced on.
TEST_F(PoolThreads, RefreshWhileEightThreadsBorrow) {
    DBPoolMgr pool;
    resizeable(pool, 2, 4);
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
    borrowOnThreads(pool, 8, 150, [&](Database* d, int, int) {
        if (d->execute("SELECT 1") != 0) {
            queryFailures.fetch_add(1);
        }
        borrows.fetch_add(1);
        return true;
    });
    stop = true;
    refresher.join();
    EXPECT_EQ(queryFailures, 0);
    EXPECT_EQ(borrows, 8 * 150);
    EXPECT_LE(pool.count(), 4);
}

// A borrower waits up to its limit for a connection to come back, and waiting borrowers are served in
// the order they came.
TEST_F(PoolThreads, ABorrowerWaitsForAConnectionToComeBackInTurnOrGivesUpAtItsLimit) {
    DBPoolMgr pool;
    fill(pool, 1);
    EXPECT_EQ(pool.waitLimit(), 0ul);
    std::mutex orderLock;
    std::vector<int> order;
    std::vector<std::thread> waiters;
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

        pool.setWait(static_cast<unsigned long>(30000 * kel_test::slowdown()));
        for (int i = 0; i < 5; ++i) {
            waiters.emplace_back([&, i, lent = held.db()] {
                DB d(&pool);
                std::lock_guard<std::mutex> guard(orderLock);
                order.push_back(d.db() == lent && d.db()->execute("SELECT 1") == 0 ? i : -1);
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

using PoolFault = On<PostgreSQLFault>;

// The server goes away while every connection is lent: every operation fails with a code or a
// DatabaseException carrying the driver's message and nothing crashes; borrowers waiting for the pool,
// whose connections are marked for refresh, each get the driver's DatabaseException or, past their
// limit, DBPoolException(1), and none waits much beyond it; the pool serves again once the server is back.
TEST_F(PoolFault, ServerStoppedWhileLentSendsWaitersAwayThenRefreshedPoolServesAgain) {
    recreate(_d, "kft_t (v INTEGER)");
    DBPoolMgr pool;
    resizeable(pool, 2, 2);
    const long limit = 1500 * kel_test::slowdown();
    pool.setWait(static_cast<unsigned long>(limit));
    DBAutoMgr automatic;
    automatic.setup(target().dsn.c_str(), target().user.c_str(), target().password.c_str());
    std::atomic<int> databaseErrors{0};
    std::atomic<int> refusals{0};
    std::atomic<long> longest{0};
    std::vector<std::thread> waiters;
    {
        DB a(&pool);
        DB b(&pool);
        a.db()->begin();
        ASSERT_EQ(a.db()->execute("INSERT INTO kft_t VALUES (1)"), 0);

        ASSERT_TRUE(server.stop());
        EXPECT_LT(a.db()->execute("INSERT INTO kft_t VALUES (2)"), 0);
        EXPECT_FALSE(text(a.db()->lastError()).empty());
        // The driver may or may not report the lost transaction; its work is gone either way.
        a.db()->commit();
        Ints p(b.db(), "kft_t");
        EXPECT_NE(errorOf([&] { p.open(); }), "");
        EXPECT_THROW_REASON(DB c(&automatic), DatabaseException, -1);
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
    EXPECT_EQ(databaseErrors + refusals, 3);
    EXPECT_GE(databaseErrors, 1);
    EXPECT_LT(longest, limit + 2000 * kel_test::slowdown());
    pool.refresh();
    // While the server is down the reconnect fails, and the connection is not lost to the pool.
    for (int attempt = 0; attempt < 3; ++attempt) {
        EXPECT_THROW_REASON(DB d(&pool), DatabaseException, -1);
    }
    EXPECT_EQ(pool.count(), 2);

    ASSERT_TRUE(server.start());
    DB a(&pool);
    DB b(&pool);
    EXPECT_EQ(a.db()->execute("INSERT INTO kft_t VALUES (3)"), 0) << text(a.db()->lastError());
    Ints p(b.db(), "kft_t");
    p.open();
    ASSERT_EQ(p.fetch(), 0);
    EXPECT_EQ(p.value, 3);
    EXPECT_EQ(p.fetch(), 1);
    DB c(&automatic);
    EXPECT_EQ(c.db()->isOpen(), 1);
}

using WriteThreads = DbTest;

// Four writers each read the largest number and insert the next one, forty times: each transaction sees
// the others' committed work, so the numbers come out 1 to 160 without a gap, a twin or a failure.
TEST_F(WriteThreads, SQLiteWritersQueueForTheWriteLock) {
    recreate(_d, "kwt_counter (n INTEGER)");
    std::atomic<int> failures{0};
    std::string firstFailure;
    onThreads(4, [&](int) {
        Database d;
        connect(d);
        for (int i = 0; i < 40; ++i) {
            bool done = d.beginWrite() == Database::ok;
            if (done) {
                const long next = scalar(d, "SELECT COALESCE(MAX(n), 0) + 1 FROM kwt_counter");
                const std::string insert =
                    "INSERT INTO kwt_counter (n) VALUES (" + std::to_string(next) + ")";
                done = d.execute(insert.c_str()) == Database::ok && d.commit() == Database::ok;
            }
            if (!done) {
                if (failures++ == 0) {
                    firstFailure = text(d.lastError());
                }
                d.rollback();
            }
        }
    });
    EXPECT_EQ(failures, 0) << firstFailure;
    EXPECT_EQ(scalar(_d, "SELECT COUNT(DISTINCT n) FROM kwt_counter"), 160);
    EXPECT_EQ(scalar(_d, "SELECT MAX(n) FROM kwt_counter"), 160);
}
