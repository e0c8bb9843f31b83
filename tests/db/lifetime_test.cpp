// How connections, result sets and their statement handles end: a connection closes even with result
// sets left open on it, and no handle outlives what it belongs to, whatever order things are destroyed
// in and whatever a subclass's hooks throw. Also what dumps reveal of passwords.

#include "db_fixture.h"

#include <filesystem>
#include <memory>
#include <stdexcept>
#include <string>
#include <system_error>

using namespace Kel;
using db_test::BackendTest;
using db_test::run;
using db_test::text;
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

class Numbers : public ResultSet {
public:
    explicit Numbers(Database* d) : ResultSet(d) {}
    std::int32_t v = 0;

protected:
    void prepareFetch() override {}
    void bindColumns(bindType what) override { bindColumn(what, "v", &v, typeLong, sizeof v); }
    String tableName() override { return "klt_numbers"; }
};

class LifetimeTest : public BackendTest {
protected:
    std::string table() const override { return "klt_numbers (v INTEGER)"; }
    void SetUp() override {
        BackendTest::SetUp();
        if (!IsSkipped() && !HasFatalFailure()) {
            run(_d, "INSERT INTO klt_numbers (v) VALUES (1), (2)");
        }
    }
};

} // namespace

TEST_P(LifetimeTest, CloseEndsTheResultSetsLeftOpenAndKeepsNothingOpen) {
    // A connection to the server takes far longer to make than one to a file.
    const int cycles = GetParam() == db_test::SQLite ? 1000 : 20;
    const long before = openDescriptors();
    for (int cycle = 0; cycle < cycles; ++cycle) {
        auto d = std::make_unique<Database>();
        connect(*d);
        Numbers rows(d.get());
        Numbers other(d.get());
        rows.open();
        other.open();
        ASSERT_EQ(rows.fetch(), 0);
        ASSERT_EQ(rows.v, 1);
        ASSERT_EQ(d->close(), Database::ok) << text(d->lastError());
        ASSERT_EQ(d->isOpen(), 0);
        // The result sets were ended with the connection: closed, no more rows, nothing to free twice.
        ASSERT_EQ(rows.isOpen(), 0);
        ASSERT_EQ(other.isOpen(), 0);
        ASSERT_EQ(rows.fetch(), -1);
        ASSERT_EQ(rows.rowCount(), -1);
        if (cycle % 2) {
            d.reset(); // the connection goes first, the result sets after it
        }
    }
    // A connection left open keeps its database file open: a leak would add one descriptor per cycle.
    // Under Wine the count also moves with Wine's own descriptors, by a few either way.
    if (before >= 0) {
        EXPECT_LE(openDescriptors(), before + 20);
    }
}

TEST_P(LifetimeTest, DestroyingTheConnectionUnderAnOpenResultSetLeavesItClosed) {
    auto d = std::make_unique<Database>();
    connect(*d);
    auto rows = std::make_unique<Numbers>(d.get());
    rows->open();
    d.reset();
    EXPECT_EQ(rows->isOpen(), 0);
    rows.reset();

    // A result set closed by hand is not ended a second time by the connection.
    Database again;
    connect(again);
    Numbers once(&again);
    once.open();
    once.close();
    once.open();
    EXPECT_EQ(once.fetch(), 0);
    EXPECT_EQ(again.close(), Database::ok);
    EXPECT_EQ(once.isOpen(), 0);
}

DB_TEST_BACKENDS(LifetimeTest);

TEST(PasswordInDumps, SetPasswordsAreMaskedAndTheRestOfTheLineIsKept) {
    DB_TEST_REQUIRE(db_test::SQLite);
    Database d;
    ASSERT_EQ(d.open("kel_sqlite", "alice", "s3cret"), Database::ok) << text(d.lastError());
    EXPECT_EQ(dumpOf(d), "@ class Kel::Database\nSrc=kel_sqlite Usr=alicePwd=****\n");
    EXPECT_EQ(d.open("kel_sqlite", "alice", ""), Database::ok);
    EXPECT_EQ(dumpOf(d), "@ class Kel::Database\nSrc=kel_sqlite Usr=alicePwd=\n");

    DBAutoMgr automatic;
    automatic.setup("kel_sqlite", "u", "p");
    EXPECT_EQ(dumpOf(automatic), "@ class Kel::DBAutoMgr\nSrc=kel_sqlite Uid=u Pwd=****\n");
    automatic.setup("kel_sqlite", "u", "");
    EXPECT_EQ(dumpOf(automatic), "@ class Kel::DBAutoMgr\nSrc=kel_sqlite Uid=u Pwd=\n");
    automatic.setup("kel_sqlite", "u", String::null);
    EXPECT_EQ(dumpOf(automatic), "@ class Kel::DBAutoMgr\nSrc=kel_sqlite Uid=u Pwd=(null)\n");

    DBPoolMgr pool;
    pool.setResizeable("kel_sqlite", "u", "p", 0, 1);
    EXPECT_EQ(dumpOf(pool), "@ class Kel::DBPoolMgr\nSrc=kel_sqlite Uid=u Pwd=****\n");
}
