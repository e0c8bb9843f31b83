// Write transactions: on SQLite, beginWrite() takes the write lock at once, so writers that read before
// they write queue behind one another instead of failing with "database is locked"; elsewhere it is
// begin(). Commit, rollback and the connection's commit mode behave as after begin().

#include "db_fixture.h"

#include <atomic>
#include <string>
#include <thread>
#include <vector>

using namespace Kel;
using db_test::BackendTest;
using db_test::run;
using db_test::scalar;
using db_test::text;

namespace {

class WriteTest : public BackendTest {
protected:
    std::string table() const override { return "kwt_counter (n INTEGER)"; }
};

} // namespace

TEST_P(WriteTest, CommitKeepsRollbackDiscardsAndTheCommitModeIsRestored) {
    ASSERT_EQ(_d.beginWrite(), Database::ok) << text(_d.lastError());
    EXPECT_EQ(_d.isInTransaction(), 1);
    run(_d, "INSERT INTO kwt_counter (n) VALUES (1)");
    EXPECT_EQ(_d.rollback(), Database::ok);
    EXPECT_EQ(_d.isInTransaction(), 0);
    EXPECT_EQ(scalar(_d, "SELECT COUNT(*) FROM kwt_counter"), 0);
    EXPECT_EQ(_d.isAutoCommit(), 1);

    ASSERT_EQ(_d.enableAutoCommit(0), Database::ok);
    ASSERT_EQ(_d.beginWrite(), Database::ok) << text(_d.lastError());
    run(_d, "INSERT INTO kwt_counter (n) VALUES (2)");
    EXPECT_EQ(_d.commit(), Database::ok) << text(_d.lastError());
    EXPECT_EQ(_d.isAutoCommit(), 0);
    // Still in manual mode: this insert needs a commit of its own.
    run(_d, "INSERT INTO kwt_counter (n) VALUES (3)");
    EXPECT_EQ(_d.rollback(), Database::ok);
    ASSERT_EQ(_d.enableAutoCommit(1), Database::ok);
    EXPECT_EQ(scalar(_d, "SELECT SUM(n) FROM kwt_counter"), 2);
}

DB_TEST_BACKENDS(WriteTest);

// Four writers each read the largest number and insert the next one, forty times: each transaction sees
// the others' committed work, so the numbers come out 1 to 160 without a gap, a twin or a failure.
TEST(WriteThreads, SQLiteWritersQueueForTheWriteLock) {
    DB_TEST_REQUIRE(db_test::SQLite);
    {
        Database d;
        ASSERT_EQ(d.open("kel_sqlite", "", ""), Database::ok);
        db_test::recreate(d, "kwt_counter (n INTEGER)");
    }
    const int writers = 4;
    const int rounds = 40;
    std::atomic<int> failures{0};
    std::string firstFailure;
    std::vector<std::thread> threads;
    for (int w = 0; w < writers; ++w) {
        threads.emplace_back([&] {
            Database d;
            if (d.open("kel_sqlite", "", "") != Database::ok) {
                ++failures;
                return;
            }
            for (int i = 0; i < rounds; ++i) {
                if (d.beginWrite() != Database::ok) {
                    if (failures++ == 0) {
                        firstFailure = text(d.lastError());
                    }
                    continue;
                }
                const long next = scalar(d, "SELECT COALESCE(MAX(n), 0) + 1 FROM kwt_counter");
                const std::string insert =
                    "INSERT INTO kwt_counter (n) VALUES (" + std::to_string(next) + ")";
                if (d.execute(insert.c_str()) != Database::ok || d.commit() != Database::ok) {
                    if (failures++ == 0) {
                        firstFailure = text(d.lastError());
                    }
                    d.rollback();
                }
            }
        });
    }
    for (std::thread& t : threads) {
        t.join();
    }
    EXPECT_EQ(failures, 0) << firstFailure;
    Database d;
    ASSERT_EQ(d.open("kel_sqlite", "", ""), Database::ok);
    EXPECT_EQ(scalar(d, "SELECT COUNT(DISTINCT n) FROM kwt_counter"), writers * rounds);
    EXPECT_EQ(scalar(d, "SELECT MAX(n) FROM kwt_counter"), writers * rounds);
}
