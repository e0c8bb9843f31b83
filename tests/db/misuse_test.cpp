// What callers get back when connections, result sets and borrowers are used out of order: return codes
// and messages on a closed connection, result sets without a usable connection, copies and assignments
// of borrowers against a pool that runs dry, and fetching into the less common variable types.

#include "db_fixture.h"

#include <cstdint>
#include <cstring>
#include <string>

using namespace Kel;
using db_test::text;

namespace {

class Numbers : public ResultSet {
public:
    explicit Numbers(Database* d) : ResultSet(d) {}
    std::uint16_t us = 0;
    std::uint32_t ul = 0;
    float f = 0;
    signed char tiny = 0;
    unsigned char utiny = 0;
    unsigned char bit = 0;
    std::uint64_t ubig = 0;

protected:
    void prepareFetch() override {}
    void bindColumns(bindType what) override {
        bindColumn(what, "us", &us, typeUShort, sizeof us);
        bindColumn(what, "ul", &ul, typeULong, sizeof ul);
        bindColumn(what, "f", &f, typeFloat, sizeof f);
        bindColumn(what, "tiny", &tiny, typeTinyInt, sizeof tiny);
        bindColumn(what, "utiny", &utiny, typeUTinyInt, sizeof utiny);
        bindColumn(what, "bit", &bit, typeBit, sizeof bit);
        bindColumn(what, "ubig", &ubig, typeUBigInt, sizeof ubig);
    }
    String tableName() override { return "kms_numbers"; }
};

void borrowCopy(const DB& o) {
    DB copy(o);
}

} // namespace

TEST(DatabaseClosed, TransactionCallsFailButRecordTheirState) {
    Database d;
    EXPECT_EQ(d.isAutoCommit(), 0);
    EXPECT_EQ(d.enableAutoCommit(1), Database::failed);
    EXPECT_EQ(text(d.lastError()), "the connection is not open");
    EXPECT_EQ(d.isAutoCommit(), 1);

    EXPECT_EQ(d.begin(), Database::failed);
    EXPECT_EQ(d.isInTransaction(), 1);
    EXPECT_EQ(d.rollback(), Database::failed);
    EXPECT_EQ(d.isInTransaction(), 0);
    EXPECT_EQ(d.enableAutoCommit(0), Database::failed);
    EXPECT_EQ(d.isAutoCommit(), 0);
}

TEST(ResultSetMisuse, OpenWithoutAUsableConnectionThrowsAndStaysClosed) {
    Numbers none(nullptr);
    EXPECT_EQ(none.database(), nullptr);
    try {
        none.open("SELECT 1");
        ADD_FAILURE() << "no exception";
    } catch (const DatabaseException& e) {
        EXPECT_EQ(text(e.message()), "the connection is not open");
    }
    EXPECT_EQ(none.isOpen(), 0);
    EXPECT_EQ(none.rowCount(), -1);
    EXPECT_EQ(none.close(), 0);

    Database closed;
    Numbers onClosed(&closed);
    EXPECT_EQ(onClosed.database(), &closed);
    try {
        onClosed.open();
        ADD_FAILURE() << "no exception";
    } catch (const DatabaseException& e) {
        EXPECT_EQ(text(e.message()), "the connection is not open");
    }
    EXPECT_EQ(text(closed.lastError()), "the connection is not open");
    EXPECT_EQ(onClosed.isOpen(), 0);
}

TEST(ResultSetMisuse, AssigningOverAnOpenResultSetClosesIt) {
    DB_TEST_REQUIRE(db_test::SQLite);
    Database d;
    ASSERT_EQ(d.open("kel_sqlite", "", ""), 0);
    ASSERT_EQ(d.execute("DROP TABLE IF EXISTS kms_numbers"), 0);
    ASSERT_EQ(d.execute("CREATE TABLE kms_numbers (us INTEGER, ul INTEGER, f REAL, tiny INTEGER, "
                        "utiny INTEGER, bit INTEGER, ubig INTEGER)"),
              0);
    ASSERT_EQ(d.execute("INSERT INTO kms_numbers VALUES (65535, 4294967295, 0.5, -128, 255, 1, "
                        "9223372036854775807)"),
              0);

    Numbers open(&d);
    open.setFilter("tiny < 0");
    ASSERT_EQ(open.open(), 0);
    ASSERT_EQ(open.fetch(), 0);
    EXPECT_EQ(open.us, 65535u);
    EXPECT_EQ(open.ul, 4294967295u);
    EXPECT_EQ(open.f, 0.5f);
    EXPECT_EQ(open.tiny, -128);
    EXPECT_EQ(open.utiny, 255);
    EXPECT_EQ(open.bit, 1);
    EXPECT_EQ(open.ubig, 9223372036854775807ull);
    EXPECT_EQ(open.fetch(), 1);
    EXPECT_EQ(open.isEOF(), 1);

    Numbers other(nullptr);
    open = other;
    EXPECT_EQ(open.isOpen(), 0);
    EXPECT_EQ(open.isEOF(), 0);
    EXPECT_EQ(open.database(), nullptr);

    Numbers copy(&d);
    copy.setFilter("tiny > 0");
    ASSERT_EQ(copy.open(), 0);
    open = copy;
    EXPECT_EQ(open.isOpen(), 0);
    EXPECT_EQ(open.database(), &d);
    EXPECT_EQ(text(open.statement()), text(copy.statement()));
    // The source keeps its own statement.
    EXPECT_EQ(copy.isOpen(), 1);
    EXPECT_EQ(copy.fetch(), 1);
    copy.close();
}

TEST(BorrowerMisuse, CopiesAndAssignmentsBorrowBeforeGivingBack) {
    DB_TEST_REQUIRE(db_test::SQLite);
    DBPoolMgr pool;
    for (int i = 0; i < 3; ++i)
        ASSERT_EQ(pool.addPooledDB("kel_sqlite", "", ""), 0);

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

TEST(BorrowerMisuse, AssignedAutoManagerConnectsWhereTheSourceDoes) {
    DB_TEST_REQUIRE(db_test::SQLite);
    DBAutoMgr source;
    source.setup("kel_sqlite", "", "");
    DBAutoMgr target;
    target.setup("kel_missing", "", "");
    target = source;
    const DBAutoMgr& same = target;
    target = same;
    DB a(&target);
    EXPECT_EQ(a.db()->isOpen(), 1);
    DB b(a);
    EXPECT_NE(b.db(), a.db());
    EXPECT_EQ(b.db()->isOpen(), 1);

    DB c(&target);
    c = b;
    EXPECT_NE(c.db(), b.db());
    EXPECT_EQ(c.db()->isOpen(), 1);
}

TEST(PoolMisuse, CopiesStartEmptyAndAssignmentKeepsTheTargetsConnections) {
    DB_TEST_REQUIRE(db_test::SQLite);
    DBPoolMgr growing;
    ASSERT_EQ(growing.setResizeable("kel_sqlite", "", "", 1, 2), 0);
    ASSERT_EQ(growing.count(), 1);

    DBPoolMgr copy(growing);
    EXPECT_EQ(copy.count(), 0);
    EXPECT_EQ(db_test::dumpOf(copy), "@ class Kel::DBPoolMgr\nSrc=kel_sqlite Uid= Pwd=\n");
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
    ASSERT_EQ(fixed.addPooledDB("kel_sqlite", "", ""), 0);
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
