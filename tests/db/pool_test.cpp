#include "db_fixture.h"

#include <filesystem>
#include <string>

using namespace Kel;
using namespace db_test;
using kel_test::dumpOf;

namespace {

// True when the connection still has the temporary table made on it: a reconnect loses it.
bool hasSessionTable(Database* d) {
    return d->execute("SELECT COUNT(*) FROM kpl_session") == 0;
}

void borrowCopy(const DB& o) {
    DB copy(o);
}

} // namespace

class PoolBackend : public BackendTest {
protected:
    std::string table() const override { return "kpl_t (v INTEGER)"; }
    long rows() { return scalar(_d, "SELECT COUNT(*) FROM kpl_t"); }
};

TEST_P(PoolBackend, FixedPoolLendsEachConnectionOnceThenRefuses) {
    DBPoolMgr pool;
    fill(pool, 2);
    EXPECT_EQ(pool.count(), 2);
    EXPECT_EQ(dumpOf(pool), "@ class Kel::DBPoolMgr\nSrc=(null) Uid=(null) Pwd=(null)\n");
    Database* first = nullptr;
    {
        DB a(&pool);
        DB b(&pool);
        ASSERT_NE(a.db(), nullptr);
        EXPECT_NE(a.db(), b.db());
        EXPECT_EQ(a.db()->isOpen(), 1);
        EXPECT_EQ(b.db()->isOpen(), 1);
        EXPECT_THROW_REASON(DB c(&pool), DBPoolException, 1);
        first = a.db();
        // A copy is one more borrower, so there is nothing left for it either.
        EXPECT_THROW_REASON(DB copy(a), DBPoolException, 1);
    }
    DB again(&pool);
    EXPECT_EQ(again.db(), first);
    EXPECT_EQ(pool.count(), 2);
}

TEST_P(PoolBackend, ReturnedConnectionsCarryNoTransactionOrManualMode) {
    DBPoolMgr pool;
    fill(pool, 1);
    {
        DB d(&pool);
        d.db()->begin();
        run(*d.db(), "INSERT INTO kpl_t VALUES (1)");
    }
    EXPECT_EQ(rows(), 0);
    {
        DB d(&pool);
        EXPECT_EQ(d.db()->isInTransaction(), 0);
        EXPECT_EQ(d.db()->isAutoCommit(), 1);
        d.db()->enableAutoCommit(0);
        run(*d.db(), "INSERT INTO kpl_t VALUES (2)");
    }
    EXPECT_EQ(rows(), 0);
    {
        DB d(&pool);
        EXPECT_EQ(d.db()->isAutoCommit(), 1);
        run(*d.db(), "INSERT INTO kpl_t VALUES (3)");
    }
    EXPECT_EQ(rows(), 1);
}

TEST_P(PoolBackend, ResizeablePoolGrowsToItsMaximumAndRefreshReconnectsOnlyIt) {
    DBPoolMgr fixed;
    fill(fixed, 1);
    DBPoolMgr growing;
    resizeable(growing, 1, 2);
    EXPECT_EQ(growing.count(), 1);
    EXPECT_EQ(dumpOf(growing), "@ class Kel::DBPoolMgr\nSrc=" + target().dsn + " Uid=" + target().user +
                                   " Pwd=" + masked(target().password) + "\n");
    {
        DB a(&growing);
        DB b(&growing);
        EXPECT_EQ(growing.count(), 2);
        EXPECT_NE(a.db(), b.db());
        EXPECT_THROW_REASON(DB c(&growing), DBPoolException, 1);
        EXPECT_EQ(growing.count(), 2);
    }
    for (DBPoolMgr* pool : {&fixed, &growing}) {
        DB d(pool);
        run(*d.db(), "CREATE TEMPORARY TABLE kpl_session (id INTEGER)");
    }
    fixed.refresh();
    growing.refresh();
    {
        DB d(&fixed);
        EXPECT_TRUE(hasSessionTable(d.db()));
    }
    {
        DB d(&growing);
        EXPECT_FALSE(hasSessionTable(d.db()));
        EXPECT_EQ(d.db()->isOpen(), 1);
        run(*d.db(), "CREATE TEMPORARY TABLE kpl_session (id INTEGER)");
    }
    // Reconnected once: the mark is gone.
    DB d(&growing);
    EXPECT_TRUE(hasSessionTable(d.db()));
}

DB_TEST_BACKENDS(PoolBackend);

TEST(PoolFailures, ConnectionFailuresPropagateWhileFillingAndAreSwallowedWhileGrowing) {
    Sources::get();
    DBPoolMgr pool;
    EXPECT_NE(errorOf([&] { pool.addPooledDB("kel_missing", "", ""); }), "");
    EXPECT_EQ(pool.count(), 0);

    EXPECT_THROW_REASON(pool.setResizeable("kel_missing", "u", "p", 2, 3), DatabaseException, -1);
    EXPECT_EQ(pool.count(), 0);
    EXPECT_EQ(dumpOf(pool), "@ class Kel::DBPoolMgr\nSrc=kel_missing Uid=u Pwd=****\n");
    DBPoolMgr assigned;
    assigned = pool;
    EXPECT_EQ(dumpOf(assigned), dumpOf(pool));
    // Growing with parameters that do not connect: nothing to lend, not a DatabaseException.
    EXPECT_THROW_REASON(DB d(&pool), DBPoolException, 1);
    EXPECT_THROW_REASON(DB d(static_cast<DBPoolMgr*>(nullptr)), DBPoolException, 1);
}

using PoolSQLite = DbTest;

TEST_F(PoolSQLite, FailedReconnectGivesTheConnectionBackStillMarked) {
    namespace fs = std::filesystem;
    const std::string dir = Sources::get().movingDir();
    fs::create_directories(dir);
    DBPoolMgr pool;
    pool.setResizeable("kel_sqlite_moving", "", "", 1, 1);

    // The database file's directory goes away, so reconnecting fails until it is back.
    fs::remove_all(dir);
    pool.refresh();
    for (int attempt = 0; attempt < 3; ++attempt) {
        EXPECT_THROW_REASON(DB d(&pool), DatabaseException, -1);
    }
    EXPECT_EQ(pool.count(), 1);
    fs::create_directories(dir);
    DB d(&pool);
    EXPECT_EQ(d.db()->isOpen(), 1);
    EXPECT_EQ(d.db()->execute("CREATE TABLE kpl_moved (id INTEGER)"), 0);
}

TEST_F(PoolSQLite, AutoManagerConnectsEachBorrowerAndClosesOnReturn) {
    DBAutoMgr manager;
    EXPECT_EQ(dumpOf(manager), "@ class Kel::DBAutoMgr\nSrc=(null) Uid=(null) Pwd=(null)\n");
    manager.setup("kel_sqlite", "", "");
    recreate(_d, "kpl_auto (id INTEGER)");
    {
        DB a(&manager);
        DB b(a);
        EXPECT_NE(a.db(), b.db());
        EXPECT_EQ(a.db()->isOpen(), 1);
        EXPECT_EQ(b.db()->isOpen(), 1);
        a.db()->begin();
        EXPECT_EQ(a.db()->execute("INSERT INTO kpl_auto VALUES (1)"), 0);
        DB c(&manager);
        c = b;
        EXPECT_NE(c.db(), b.db());
        EXPECT_EQ(c.db()->isOpen(), 1);
    }
    EXPECT_EQ(scalar(_d, "SELECT COUNT(*) FROM kpl_auto"), 0);

    DBAutoMgr copy(manager);
    EXPECT_EQ(dumpOf(copy), "@ class Kel::DBAutoMgr\nSrc=kel_sqlite Uid= Pwd=\n");
    manager.setup("kel_sqlite", "u", "p");
    EXPECT_EQ(dumpOf(manager), "@ class Kel::DBAutoMgr\nSrc=kel_sqlite Uid=u Pwd=****\n");
    manager.setup("kel_missing", "", "");
    EXPECT_NE(errorOf([&] { DB d(&manager); }), "");
    DB fromCopy(&copy);
    EXPECT_EQ(fromCopy.db()->isOpen(), 1);
    // An assigned manager connects where its source does.
    manager = copy;
    const DBAutoMgr& same = manager;
    manager = same;
    DB assigned(&manager);
    EXPECT_EQ(assigned.db()->isOpen(), 1);
}

TEST_F(PoolSQLite, BorrowerCopiesAndAssignmentsBorrowBeforeGivingBack) {
    DBPoolMgr pool;
    fill(pool, 3);
    DB a(&pool);
    DB b(a);
    EXPECT_NE(a.db(), b.db());
    Database* held = b.db();
    {
        DB c(&pool);
        EXPECT_THROW_REASON(borrowCopy(a), DBPoolException, 1);
        // Assignment needs a free connection before it gives its own back: with none free it fails
        // and b keeps what it had.
        EXPECT_THROW_REASON(b = a, DBPoolException, 1);
        EXPECT_EQ(b.db(), held);
        const DB& same = b;
        EXPECT_NO_THROW(b = same);
        EXPECT_EQ(b.db(), held);
    }
    // One connection free again: the assignment takes it and returns the old one.
    b = a;
    EXPECT_NE(b.db(), held);
    EXPECT_NE(b.db(), a.db());
    EXPECT_NO_THROW(borrowCopy(a)); // held went back to the pool
}

TEST_F(PoolSQLite, PoolCopiesStartEmptyAndAssignmentKeepsTheTargetsConnections) {
    DBPoolMgr growing;
    ASSERT_EQ(growing.setResizeable("kel_sqlite", "", "", 1, 2), 0);
    ASSERT_EQ(growing.count(), 1);

    DBPoolMgr copy(growing);
    EXPECT_EQ(copy.count(), 0);
    EXPECT_EQ(dumpOf(copy), "@ class Kel::DBPoolMgr\nSrc=kel_sqlite Uid= Pwd=\n");
    PooledDB* own = copy.getPooledDB();
    ASSERT_NE(own, nullptr);
    EXPECT_EQ(copy.count(), 1);
    EXPECT_EQ(growing.count(), 1);
    copy.freePooledDB(own);
    copy.freePooledDB(nullptr);
    EXPECT_EQ(copy.getPooledDB(), own);
    copy.freePooledDB(own);

    // A fixed pool given the growing one's settings keeps its connection and may now grow to two.
    DBPoolMgr fixed;
    fill(fixed, 1);
    fixed = growing;
    const DBPoolMgr& same = fixed;
    fixed = same;
    EXPECT_EQ(fixed.count(), 1);
    PooledDB* first = fixed.getPooledDB();
    PooledDB* second = fixed.getPooledDB();
    ASSERT_NE(first, nullptr);
    ASSERT_NE(second, nullptr);
    EXPECT_NE(first, second);
    EXPECT_EQ(fixed.getPooledDB(), nullptr);
    EXPECT_EQ(fixed.count(), 2);
    fixed.freePooledDB(first);
    fixed.freePooledDB(second);
}
