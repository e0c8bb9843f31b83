#include "db_fixture.h"

#include <string>

using namespace Kel;
using db_test::BackendTest;
using db_test::masked;
using db_test::run;
using db_test::scalar;
using db_test::text;
using kel_test::dumpOf;

TEST(DatabaseOpen, UnknownSourceFailsKeepingNamesAndMessage) {
    db_test::Sources::get();
    Database d;
    EXPECT_EQ(d.open("kel_missing", "someone", "secret"), Database::failed);
    EXPECT_EQ(d.isOpen(), 0);
    EXPECT_EQ(d.handle(), nullptr);
    EXPECT_FALSE(text(d.lastError()).empty());
    // The names stay after a failed open; the password follows the user without a blank.
    EXPECT_EQ(dumpOf(d), "@ class Kel::Database\nSrc=kel_missing Usr=someonePwd=****\n");
    d.close();
    EXPECT_EQ(dumpOf(d), "@ class Kel::Database\nSrc= Usr=Pwd=\n");
}

TEST(DatabaseOpen, OverLongNamesAreRefusedWithoutChange) {
    db_test::Sources::get();
    const std::string limit(31, 'n');
    const std::string over(32, 'n');
    Database d;
    EXPECT_EQ(d.open("kel_missing", "u", "p"), Database::failed);
    EXPECT_EQ(d.open(over.c_str(), "u", "p"), Database::nameTooLong);
    EXPECT_EQ(d.open("kel_missing", over.c_str(), "p"), Database::nameTooLong);
    EXPECT_EQ(d.open("kel_missing", "u", over.c_str()), Database::nameTooLong);
    EXPECT_EQ(dumpOf(d), "@ class Kel::Database\nSrc=kel_missing Usr=uPwd=****\n");
    EXPECT_NE(text(d.lastError()).find("31"), std::string::npos);
    // 31 characters fit: the driver manager gets to look the name up.
    EXPECT_EQ(d.open(limit.c_str(), limit.c_str(), limit.c_str()), Database::failed);
    EXPECT_EQ(dumpOf(d), "@ class Kel::Database\nSrc=" + limit + " Usr=" + limit + "Pwd=****\n");
}

TEST(DatabaseClosed, OperationsFailWithoutTouchingAnything) {
    Database d;
    EXPECT_EQ(d.rowCount(), -1);
    EXPECT_EQ(d.execute("SELECT 1"), Database::noStatement);
    EXPECT_EQ(text(d.lastError()), "the connection is not open");
    EXPECT_EQ(d.commit(), Database::failed);
    EXPECT_EQ(d.isInTransaction(), 0);
    EXPECT_EQ(d.close(), Database::ok);
}

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

TEST(DatabaseDeQuote, DoublesEverySingleQuote) {
    const struct {
        const char* in;
        const char* out;
    } cases[] = {{"O'Brien", "O''Brien"}, {"'''", "''''''"}, {"", ""}, {"plain", "plain"}, {"a'", "a''"}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.in);
        char dest[32];
        EXPECT_EQ(Database::DeQuote(dest, c.in), dest);
        EXPECT_STREQ(dest, c.out);
    }
}

class DatabaseBackend : public BackendTest {
protected:
    std::string table() const override { return "kdb_t (id INTEGER, name VARCHAR(40))"; }
    long rows(Database& d) { return scalar(d, "SELECT COUNT(*) FROM kdb_t"); }
};

TEST_P(DatabaseBackend, OpenConnectsInAutoCommitModeAndCloseForgets) {
    EXPECT_EQ(_d.isOpen(), 1);
    EXPECT_EQ(_d.isAutoCommit(), 1);
    EXPECT_NE(_d.handle(), nullptr);
    EXPECT_EQ(dumpOf(_d), "@ class Kel::Database\nSrc=" + target().dsn + " Usr=" + target().user +
                              "Pwd=" + masked(target().password) + "\n");
    // A copy has a connection of its own to make, never the source's.
    {
        Database copy(_d);
        EXPECT_EQ(copy.isOpen(), 0);
        EXPECT_EQ(copy.handle(), nullptr);
    }
    run(_d, "INSERT INTO kdb_t VALUES (1, 'a')");
    EXPECT_EQ(_d.close(), 0);
    EXPECT_EQ(_d.isOpen(), 0);
    EXPECT_EQ(_d.handle(), nullptr);
}

TEST_P(DatabaseBackend, ExecuteReportsFailuresAndRowCounts) {
    run(_d, "INSERT INTO kdb_t VALUES (1, 'a')");
    run(_d, "INSERT INTO kdb_t VALUES (2, 'b')");
    EXPECT_EQ(_d.rowCount(), 1);
    run(_d, "UPDATE kdb_t SET name = 'c'");
    EXPECT_EQ(_d.rowCount(), 2);

    EXPECT_EQ(_d.execute("SELECT nosuchcolumn FROM kdb_t"), Database::failed);
    EXPECT_FALSE(text(_d.lastError()).empty());
    EXPECT_NE(_d.rowCount(), 2);

    // A searched update that touches nothing comes back as SQL_NO_DATA.
    EXPECT_EQ(_d.execute("UPDATE kdb_t SET name = 'x' WHERE id = 77"), Database::failed);
    EXPECT_EQ(_d.rowCount(), 0);
}

TEST_P(DatabaseBackend, RollbackDiscardsAndCommitKeepsWithAutoCommitRestored) {
    Database other;
    connect(other);

    EXPECT_EQ(_d.begin(), 0);
    EXPECT_EQ(_d.isInTransaction(), 1);
    run(_d, "INSERT INTO kdb_t VALUES (1, 'gone')");
    EXPECT_EQ(_d.rollback(), 0);
    EXPECT_EQ(_d.isInTransaction(), 0);
    EXPECT_EQ(rows(_d), 0);

    EXPECT_EQ(_d.begin(), 0);
    run(_d, "INSERT INTO kdb_t VALUES (2, 'kept')");
    // Another connection does not see uncommitted work.
    EXPECT_EQ(rows(other), 0);
    EXPECT_EQ(_d.commit(), 0);
    EXPECT_EQ(rows(other), 1);

    // Back in auto-commit mode: this row is visible at once and survives a rollback.
    EXPECT_EQ(_d.isAutoCommit(), 1);
    run(_d, "INSERT INTO kdb_t VALUES (3, 'auto')");
    _d.rollback();
    EXPECT_EQ(rows(other), 2);
}

TEST_P(DatabaseBackend, UnfinishedWorkIsRolledBackByDestructorReopenAndClose) {
    {
        Database d;
        connect(d);
        d.begin();
        run(d, "INSERT INTO kdb_t VALUES (1, 'destructor')");
    }
    EXPECT_EQ(rows(_d), 0);

    Database d;
    connect(d);
    d.begin();
    run(d, "INSERT INTO kdb_t VALUES (2, 'reopen')");
    connect(d);
    EXPECT_EQ(d.isInTransaction(), 0);
    EXPECT_EQ(rows(_d), 0);

    // Manual mode without begin(): nothing records the work, closing must still not keep it.
    EXPECT_EQ(d.enableAutoCommit(0), 0);
    EXPECT_EQ(d.isAutoCommit(), 0);
    run(d, "INSERT INTO kdb_t VALUES (3, 'manual')");
    d.close();
    EXPECT_EQ(rows(_d), 0);
}

DB_TEST_BACKENDS(DatabaseBackend);

TEST(DatabasePostgreSQL, WrongPasswordGivesTheServersMessage) {
    DB_TEST_REQUIRE(db_test::PostgreSQL);
    const db_test::Target& t = db_test::Sources::get().target(db_test::PostgreSQL);
    Database d;
    EXPECT_EQ(d.open(t.dsn.c_str(), t.user.c_str(), "wrong"), Database::failed);
    EXPECT_EQ(d.isOpen(), 0);
    EXPECT_NE(text(d.lastError()).find("password authentication failed"), std::string::npos)
        << text(d.lastError());
}
