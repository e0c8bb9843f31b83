// Connections: opening, executing, transactions, and how connections, result sets and their statement
// handles end: a connection closes even with result sets left open on it, and no handle outlives what it
// belongs to, whatever order things are destroyed in and whatever a subclass's hooks throw. Also what
// dumps reveal of passwords.

#include "db_fixture.h"

#include <filesystem>
#include <memory>
#include <stdexcept>
#include <string>
#include <system_error>

#if defined(__ELF__)
#include "db/odbc.h"

#include <dlfcn.h>

#include <atomic>

// This program stands in for the driver manager's SQLAllocHandle and SQLFreeHandle with versions that
// count statement handles and pass the call on; only ELF systems let a program take a library's place
// this way, so elsewhere nothing is counted.
namespace {
std::atomic<long> liveStatements{0};

template <typename F> F nextDefinition(const char* name) {
    return reinterpret_cast<F>(dlsym(RTLD_NEXT, name));
}
} // namespace

// Exported, so that the library binds to them rather than to the driver manager.
extern "C" __attribute__((visibility("default"))) SQLRETURN SQL_API SQLAllocHandle(SQLSMALLINT type,
                                                                                   SQLHANDLE in,
                                                                                   SQLHANDLE* out) {
    using Alloc = SQLRETURN(SQL_API*)(SQLSMALLINT, SQLHANDLE, SQLHANDLE*);
    static const Alloc next = nextDefinition<Alloc>("SQLAllocHandle");
    const SQLRETURN r = next(type, in, out);
    if (type == SQL_HANDLE_STMT && (r == SQL_SUCCESS || r == SQL_SUCCESS_WITH_INFO)) {
        ++liveStatements;
    }
    return r;
}

extern "C" __attribute__((visibility("default"))) SQLRETURN SQL_API SQLFreeHandle(SQLSMALLINT type,
                                                                                  SQLHANDLE handle) {
    using Free = SQLRETURN(SQL_API*)(SQLSMALLINT, SQLHANDLE);
    static const Free next = nextDefinition<Free>("SQLFreeHandle");
    const SQLRETURN r = next(type, handle);
    if (type == SQL_HANDLE_STMT && r == SQL_SUCCESS) {
        --liveStatements;
    }
    return r;
}
#endif

using namespace Kel;
using namespace db_test;
using kel_test::dumpOf;

namespace {

// The number of file descriptors open in this process, or -1 where it cannot be counted.
long openDescriptors() {
#if defined(_WIN32)
    const char* const dir = "Z:\\proc\\self\\fd"; // Wine: the host's view of this process
#else
    const char* const dir = "/proc/self/fd";
#endif
    std::error_code error;
    long count = 0;
    for (std::filesystem::directory_iterator it(dir, error), end; !error && it != end; it.increment(error)) {
        ++count;
    }
    return error || count == 0 ? -1 : count;
}

// Throws from tableName() when failAt is -1, else from bindColumns(failAt).
class Faulty : public Ints {
public:
    Faulty(Database* d, int f) : Ints(d, "kdb_t", "id"), failAt(f) {}
    int failAt;

protected:
    void bindColumns(bindType what) override {
        if (what == failAt) {
            throw std::runtime_error("hook failed");
        }
        Ints::bindColumns(what);
    }
    String tableName() override {
        if (failAt < 0) {
            throw std::runtime_error("hook failed");
        }
        return Ints::tableName();
    }
};

} // namespace

TEST(DatabaseOpen, UnknownSourceFailsKeepingNamesAndOverLongNamesAreRefusedWithoutChange) {
    Sources::get();
    const std::string limit(31, 'n');
    const std::string over(32, 'n');
    Database d;
    EXPECT_EQ(d.open("kel_missing", "someone", "secret"), Database::failed);
    EXPECT_EQ(d.isOpen(), 0);
    EXPECT_EQ(d.handle(), nullptr);
    EXPECT_FALSE(text(d.lastError()).empty());
    // The names stay after a failed open; the password follows the user without a blank.
    EXPECT_EQ(dumpOf(d), "@ class Kel::Database\nSrc=kel_missing Usr=someonePwd=****\n");
    EXPECT_EQ(d.open(over.c_str(), "u", "p"), Database::nameTooLong);
    EXPECT_EQ(d.open("kel_missing", over.c_str(), "p"), Database::nameTooLong);
    EXPECT_EQ(d.open("kel_missing", "u", over.c_str()), Database::nameTooLong);
    EXPECT_EQ(dumpOf(d), "@ class Kel::Database\nSrc=kel_missing Usr=someonePwd=****\n");
    EXPECT_NE(text(d.lastError()).find("31"), std::string::npos);
    // 31 characters fit: the driver manager gets to look the name up.
    EXPECT_EQ(d.open(limit.c_str(), limit.c_str(), limit.c_str()), Database::failed);
    EXPECT_EQ(dumpOf(d), "@ class Kel::Database\nSrc=" + limit + " Usr=" + limit + "Pwd=****\n");
    d.close();
    EXPECT_EQ(dumpOf(d), "@ class Kel::Database\nSrc= Usr=Pwd=\n");
}

TEST(DatabaseClosed, OperationsFailWithoutTouchingAnythingButTransactionCallsRecordTheirState) {
    Database d;
    EXPECT_EQ(d.rowCount(), -1);
    EXPECT_EQ(d.execute("SELECT 1"), Database::noStatement);
    EXPECT_EQ(text(d.lastError()), "the connection is not open");
    EXPECT_EQ(d.commit(), Database::failed);
    EXPECT_EQ(d.isInTransaction(), 0);
    EXPECT_EQ(d.close(), Database::ok);

    EXPECT_EQ(d.isAutoCommit(), 0);
    Database fresh;
    EXPECT_EQ(fresh.rollback(), Database::failed);
    EXPECT_EQ(text(fresh.lastError()), "the connection is not open");
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
    char dest[32];
    EXPECT_EQ(Database::DeQuote(dest, "O'Brien"), dest);
    EXPECT_STREQ(dest, "O''Brien");
    EXPECT_STREQ(Database::DeQuote(dest, "'''"), "''''''");
    EXPECT_STREQ(Database::DeQuote(dest, "a"), "a");
    EXPECT_STREQ(Database::DeQuote(dest, "a'"), "a''");
    EXPECT_STREQ(Database::DeQuote(dest, ""), "");
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

// begin() and beginWrite() alike: rollback discards, commit keeps, and the commit mode is restored.
TEST_P(DatabaseBackend, RollbackDiscardsAndCommitKeepsWithTheCommitModeRestored) {
    Database other;
    connect(other);
    for (long (Database::*start)() : {&Database::begin, &Database::beginWrite}) {
        SCOPED_TRACE(start == &Database::begin ? "begin" : "beginWrite");
        _d.execute("DELETE FROM kdb_t");
        ASSERT_EQ((_d.*start)(), 0) << text(_d.lastError());
        EXPECT_EQ(_d.isInTransaction(), 1);
        run(_d, "INSERT INTO kdb_t VALUES (1, 'gone')");
        EXPECT_EQ(_d.rollback(), 0);
        EXPECT_EQ(_d.isInTransaction(), 0);
        EXPECT_EQ(rows(_d), 0);

        EXPECT_EQ((_d.*start)(), 0);
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

        // In manual mode the mode stays after the commit: the next insert needs a commit of its own.
        ASSERT_EQ(_d.enableAutoCommit(0), Database::ok);
        ASSERT_EQ((_d.*start)(), Database::ok) << text(_d.lastError());
        run(_d, "INSERT INTO kdb_t VALUES (4, 'manual')");
        EXPECT_EQ(_d.commit(), Database::ok) << text(_d.lastError());
        EXPECT_EQ(_d.isAutoCommit(), 0);
        run(_d, "INSERT INTO kdb_t VALUES (5, 'manual')");
        EXPECT_EQ(_d.rollback(), Database::ok);
        ASSERT_EQ(_d.enableAutoCommit(1), Database::ok);
        EXPECT_EQ(scalar(_d, "SELECT SUM(id) FROM kdb_t"), 9);
    }
}

// Work done in manual-commit mode stays uncommitted whatever beginWrite() answers: on SQLite, where taking
// the write lock means switching auto-commit on, it refuses while work is pending.
TEST_P(DatabaseBackend, BeginWriteNeverCommitsTheWorkPendingInManualMode) {
    Database other;
    connect(other);
    const long refused = GetParam() == SQLite ? Database::failed : Database::ok;
    ASSERT_EQ(_d.enableAutoCommit(0), Database::ok);
    // A query leaves nothing to lose.
    EXPECT_EQ(rows(_d), 0);
    EXPECT_EQ(_d.beginWrite(), Database::ok) << text(_d.lastError());
    EXPECT_EQ(_d.rollback(), Database::ok);

    run(_d, "INSERT INTO kdb_t VALUES (1, 'pending')");
    EXPECT_EQ(_d.beginWrite(), refused);
    if (refused) {
        EXPECT_NE(text(_d.lastError()).find("pending"), std::string::npos) << text(_d.lastError());
        EXPECT_EQ(_d.isInTransaction(), 0);
    }
    EXPECT_EQ(rows(other), 0);
    EXPECT_EQ(_d.rollback(), Database::ok);
    EXPECT_EQ(rows(_d), 0);

    // Work through a statement counts as well; once committed, beginWrite() works in manual mode.
    Statement insert(&_d);
    ASSERT_EQ(insert.prepare("INSERT INTO kdb_t VALUES (2, 'statement')"), Database::ok);
    ASSERT_EQ(insert.execute(), Database::ok) << text(_d.lastError());
    EXPECT_EQ(_d.beginWrite(), refused);
    EXPECT_EQ(rows(other), 0);
    EXPECT_EQ(_d.commit(), Database::ok);
    EXPECT_EQ(rows(other), 1);
    ASSERT_EQ(_d.beginWrite(), Database::ok) << text(_d.lastError());
    run(_d, "INSERT INTO kdb_t VALUES (3, 'written')");
    EXPECT_EQ(rows(other), 1);
    EXPECT_EQ(_d.commit(), Database::ok);
    EXPECT_EQ(rows(other), 2);
    EXPECT_EQ(_d.isAutoCommit(), 0);
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
    EXPECT_EQ(d.close(), Database::ok) << text(d.lastError());
    EXPECT_EQ(d.isOpen(), 0);
    EXPECT_EQ(rows(_d), 0);
}

// Whether the connection is closed or destroyed, result sets left open on it end with it, and a result
// set closed and opened again by hand is ended once.
TEST_P(DatabaseBackend, CloseEndsTheResultSetsLeftOpenAndKeepsNothingOpen) {
    run(_d, "INSERT INTO kdb_t (id) VALUES (1), (2)");
    // A connection to the server takes far longer to make than one to a file.
    const int cycles = GetParam() == SQLite ? 1002 : 21;
    const long before = openDescriptors();
    for (int cycle = 0; cycle < cycles; ++cycle) {
        auto d = std::make_unique<Database>();
        connect(*d);
        Ints rows(d.get(), "kdb_t", "id");
        Ints other(d.get(), "kdb_t", "id");
        rows.open();
        other.open();
        other.close();
        other.open();
        ASSERT_EQ(rows.fetch(), 0);
        ASSERT_EQ(rows.value, 1);
        // The result sets end with the connection: closed, no more rows, nothing to free twice. Once
        // the connection is destroyed, a result set may only be asked whether it is open, and destroyed.
        if (cycle % 3 == 2) {
            d.reset();
        } else {
            ASSERT_EQ(d->close(), Database::ok) << text(d->lastError());
            ASSERT_EQ(d->isOpen(), 0);
            ASSERT_EQ(rows.fetch(), -1);
            ASSERT_EQ(rows.rowCount(), -1);
        }
        ASSERT_EQ(rows.isOpen(), 0);
        ASSERT_EQ(other.isOpen(), 0);
        if (cycle % 3 == 1) {
            d.reset(); // the connection goes first, the result sets after it
        }
    }
    // A connection left open keeps its database file open: a leak would add one descriptor per cycle.
    // Under Wine the count also moves with Wine's own descriptors, by a few either way.
    if (before >= 0) {
        EXPECT_LE(openDescriptors(), before + 20);
    }
}

#if defined(__ELF__)
// Every statement handle a result set allocates is released again, also when a subclass's hook throws
// in the middle of open().
TEST_P(DatabaseBackend, OpenReleasesItsHandleWhenAHookThrows) {
    run(_d, "INSERT INTO kdb_t (id) VALUES (7)");
    const long before = liveStatements;
    for (int hook : {-1, int(ResultSet::selectColumn), int(ResultSet::resultColumn)}) {
        Faulty rows(&_d, hook);
        EXPECT_THROW(rows.open(), std::runtime_error);
        EXPECT_EQ(rows.isOpen(), 0);
        EXPECT_EQ(liveStatements, before) << "hook " << hook;
    }
    Faulty working(&_d, 99);
    working.open();
    EXPECT_EQ(liveStatements, before + 1);
    EXPECT_EQ(working.fetch(), 0);
    EXPECT_EQ(working.value, 7);
    working.close();
    EXPECT_EQ(liveStatements, before);
}
#endif

DB_TEST_BACKENDS(DatabaseBackend);

using DatabasePostgreSQL = On<PostgreSQL>;

TEST_F(DatabasePostgreSQL, WrongPasswordGivesTheServersMessage) {
    Database d;
    EXPECT_EQ(d.open(target().dsn.c_str(), target().user.c_str(), "wrong"), Database::failed);
    EXPECT_EQ(d.isOpen(), 0);
    EXPECT_NE(text(d.lastError()).find("password authentication failed"), std::string::npos)
        << text(d.lastError());
}
