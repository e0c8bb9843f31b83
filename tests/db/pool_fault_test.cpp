#include "db_fixture.h"

#include <cstdlib>
#include <string>

using namespace Kel;
using db_test::text;

namespace {

// Runs the cluster's pg_ctl with the given action; the server is started again when the scope ends.
class ServerControl {
public:
    explicit ServerControl(const std::string& ctl) : _ctl(ctl) {}
    ~ServerControl() {
        if (_stopped) {
            start();
        }
    }
    bool stop() {
        _stopped = std::system((_ctl + " stop -m fast >/dev/null 2>&1").c_str()) == 0;
        return _stopped;
    }
    bool start() {
        const bool started = std::system((_ctl + " start >/dev/null 2>&1").c_str()) == 0;
        _stopped = _stopped && !started;
        return started;
    }

private:
    std::string _ctl;
    bool _stopped = false;
};

class Probe : public ResultSet {
public:
    explicit Probe(Database* d) : ResultSet(d) {}
    std::int32_t id = 0;

protected:
    void prepareFetch() override {}
    void bindColumns(bindType what) override { bindColumn(what, "id", &id, typeLong, sizeof id); }
    String tableName() override { return "kft_t"; }
};

} // namespace

// The server goes away while connections are lent: every operation fails with a code or a
// DatabaseException carrying the driver's message, nothing crashes, and a refreshed pool serves again
// once the server is back.
TEST(PoolFault, ServerStoppedWhileLentThenRefreshedPoolServesAgain) {
    DB_TEST_REQUIRE(db_test::PostgreSQLFault);
    const std::string ctl = db_test::envText("KEL_PG_FAULT_CTL");
    ASSERT_FALSE(ctl.empty()) << "KEL_PG_FAULT_CTL is needed to stop and start the server";
    const db_test::Target& t = db_test::Sources::get().target(db_test::PostgreSQLFault);

    DBPoolMgr pool;
    pool.setResizeable(t.dsn.c_str(), t.user.c_str(), t.password.c_str(), 2, 2);
    DBAutoMgr automatic;
    automatic.setup(t.dsn.c_str(), t.user.c_str(), t.password.c_str());
    ServerControl server(ctl);
    {
        DB a(&pool);
        DB b(&pool);
        ASSERT_EQ(a.db()->execute("DROP TABLE IF EXISTS kft_t"), 0);
        ASSERT_EQ(a.db()->execute("CREATE TABLE kft_t (id INTEGER)"), 0);
        a.db()->begin();
        ASSERT_EQ(a.db()->execute("INSERT INTO kft_t VALUES (1)"), 0);

        ASSERT_TRUE(server.stop());
        EXPECT_LT(a.db()->execute("INSERT INTO kft_t VALUES (2)"), 0);
        EXPECT_FALSE(text(a.db()->lastError()).empty());
        // The driver may or may not report the lost transaction; its work is gone either way.
        a.db()->commit();
        Probe p(b.db());
        bool thrown = false;
        try {
            p.open();
        } catch (const DatabaseException& e) {
            thrown = true;
            EXPECT_FALSE(text(e.message()).empty());
        }
        EXPECT_TRUE(thrown);
        EXPECT_THROW_REASON(DB c(&automatic), DatabaseException, -1);
    }
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
    Probe p(b.db());
    p.open();
    ASSERT_EQ(p.fetch(), 0);
    EXPECT_EQ(p.id, 3);
    EXPECT_EQ(p.fetch(), 1);
    DB c(&automatic);
    EXPECT_EQ(c.db()->isOpen(), 1);
}
