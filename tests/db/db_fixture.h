#ifndef KEL_TESTS_DB_DB_FIXTURE_H
#define KEL_TESTS_DB_DB_FIXTURE_H

// Where the database tests connect. Each test program writes its own odbc.ini into a temporary
// directory and points ODBCINI at it before its first connection (the driver manager reads that file
// at connect time and caches each lookup, so every data source is written once, up front):
//   kel_sqlite         an SQLite file through the SQLite ODBC driver: always on POSIX builds;
//   kel_sqlite_moving  an SQLite file inside a directory that tests remove and restore;
//   kel_pg             the PostgreSQL server described by the KEL_PG_* variables (scripts/pg-start.sh);
//   kel_pg_fault       the second server of pg-start.sh, which only the fault test stops and starts.
// A backend that cannot be reached fails the test where it must work (SQLite on POSIX, PostgreSQL when
// configured on POSIX) and skips it otherwise: PostgreSQL without configuration, any driver on Windows.

#include "kel_test.h"

#include <kel/database.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>

#if defined(__linux__)
#include <dlfcn.h>
#endif

namespace db_test {

enum Backend { SQLite, PostgreSQL, PostgreSQLFault };

inline const char* backendName(Backend b) {
    return b == SQLite ? "SQLite" : b == PostgreSQL ? "PostgreSQL" : "PostgreSQLFault";
}

struct Target {
    std::string dsn;
    std::string user;
    std::string password;
    bool mandatory = false;
    std::string unavailable; // why the backend is not configured here, empty when it is
};

inline std::string envText(const char* name, const char* fallback = "") {
    const char* v = std::getenv(name);
    return v ? v : fallback;
}

// The driver file named by variable, or the first place where Debian installs file.
inline std::string findDriver(const char* variable, const std::string& file) {
    const std::string chosen = envText(variable);
    if (!chosen.empty()) {
        return chosen;
    }
    const char* const dirs[] = {"/usr/lib/x86_64-linux-gnu/odbc/", "/usr/lib/aarch64-linux-gnu/odbc/",
                                "/usr/lib/odbc/"};
    for (const char* dir : dirs) {
        if (std::ifstream(dir + file).good()) {
            return dir + file;
        }
    }
    return dirs[0] + file;
}

class Sources {
public:
    static Sources& get() {
        static Sources sources;
        return sources;
    }

    const Target& target(Backend b) const { return _targets[b]; }
    std::string movingDir() const { return _dir.file("moving"); }

    // Empty when a connection to b works; otherwise why not.
    const std::string& probe(Backend b) {
        const int i = b;
        if (!_probed[i]) {
            _probed[i] = true;
            const Target& t = target(b);
            _why[i] = t.unavailable;
            if (_why[i].empty()) {
                Kel::Database d;
                if (d.open(t.dsn.c_str(), t.user.c_str(), t.password.c_str()) != 0) {
                    _why[i] = std::string(backendName(b)) +
                              " is not reachable through ODBC: " + static_cast<const char*>(d.lastError());
                }
            }
        }
        return _why[i];
    }

    bool open(Kel::Database& d, Backend b) const {
        const Target& t = target(b);
        return d.open(t.dsn.c_str(), t.user.c_str(), t.password.c_str()) == 0;
    }

private:
    Sources() {
#if defined(__linux__)
        // The SQLite driver loads and unloads the driver manager's installer library around every
        // connection, and the settings that library caches would be reported as leaks once it is gone.
        // Kept loaded, they stay reachable.
        dlopen("libodbcinst.so.2", RTLD_NOW | RTLD_NODELETE);
#endif
#ifdef _WIN32
        const bool posix = false;
#else
        const bool posix = true;
#endif
        const std::string sqliteDriver = findDriver("KEL_SQLITE_DRIVER", "libsqlite3odbc.so");
        std::ofstream ini(_dir.file("odbc.ini"));
        ini << "[kel_sqlite]\nDriver=" << sqliteDriver << "\nDatabase=" << _dir.file("kel.db")
            << "\nTimeout=2000\n\n";
        ini << "[kel_sqlite_moving]\nDriver=" << sqliteDriver << "\nDatabase=" << movingDir() << "/kel.db"
            << "\nTimeout=2000\n\n";
        _targets[SQLite].dsn = "kel_sqlite";
        _targets[SQLite].mandatory = posix;
        const struct {
            Backend backend;
            const char* dsn;
            const char* portVariable;
        } servers[] = {{PostgreSQL, "kel_pg", "KEL_PG_PORT"},
                       {PostgreSQLFault, "kel_pg_fault", "KEL_PG_FAULT_PORT"}};
        for (const auto& server : servers) {
            Target& t = _targets[server.backend];
            if (envText(server.portVariable).empty()) {
                t.unavailable =
                    std::string("PostgreSQL is not configured (") + server.portVariable +
                    " is not set): run eval \"$(scripts/pg-start.sh)\" first to include these tests";
                continue;
            }
            ini << "[" << server.dsn
                << "]\nDriver=" << envText("KEL_PG_DRIVER", "/usr/lib/x86_64-linux-gnu/odbc/psqlodbca.so")
                << "\nServername=" << envText("KEL_PG_HOST", "127.0.0.1")
                << "\nPort=" << envText(server.portVariable) << "\nDatabase=" << envText("KEL_PG_DATABASE")
                << "\n\n";
            t.dsn = server.dsn;
            t.user = envText("KEL_PG_USER");
            t.password = envText("KEL_PG_PASSWORD");
            t.mandatory = posix;
        }
        ini.close();
        kel_test::setEnv("ODBCINI", _dir.file("odbc.ini").c_str());
    }

    kel_test::TempDir _dir;
    Target _targets[3];
    bool _probed[3] = {false, false, false};
    std::string _why[3];
};

// Ends the current test (from the test body or SetUp) when backend b cannot be used: a failure where it
// must work, a skip with the reason otherwise.
#define DB_TEST_REQUIRE(b)                                                                                   \
    do {                                                                                                     \
        const std::string dbWhy_ = db_test::Sources::get().probe(b);                                         \
        if (!dbWhy_.empty()) {                                                                               \
            if (db_test::Sources::get().target(b).mandatory) {                                               \
                FAIL() << dbWhy_;                                                                            \
            }                                                                                                \
            GTEST_SKIP() << dbWhy_;                                                                          \
        }                                                                                                    \
    } while (0)

// Runs each test of a suite once per backend.
class BackendTest : public ::testing::TestWithParam<Backend> {
protected:
    void SetUp() override { DB_TEST_REQUIRE(GetParam()); }

    Backend backend() const { return GetParam(); }
    const Target& target() const { return Sources::get().target(GetParam()); }
    void connect(Kel::Database& d) const {
        ASSERT_EQ(d.open(target().dsn.c_str(), target().user.c_str(), target().password.c_str()), 0)
            << static_cast<const char*>(d.lastError());
    }
    // Runs sql, expecting success.
    static void run(Kel::Database& d, const std::string& sql) {
        EXPECT_EQ(d.execute(sql.c_str()), 0) << sql << ": " << static_cast<const char*>(d.lastError());
    }
    // The single integer that sql selects, read through a one-column result set.
public:
    static long scalar(Kel::Database& d, const std::string& sql);
};

inline std::string paramName(const ::testing::TestParamInfo<Backend>& info) {
    return backendName(info.param);
}

#define DB_TEST_BACKENDS(Suite)                                                                              \
    INSTANTIATE_TEST_SUITE_P(Backends, Suite, ::testing::Values(db_test::SQLite, db_test::PostgreSQL),       \
                             db_test::paramName)

// A one-column query, for counting rows.
class Scalar : public Kel::ResultSet {
public:
    Scalar(Kel::Database* d) : Kel::ResultSet(d) {}
    std::int32_t value = 0;

protected:
    void prepareFetch() override { value = -1; }
    void bindColumns(bindType what) override { bindColumn(what, "v", &value, typeLong, sizeof value); }
    Kel::String tableName() override { return "unused"; }
};

inline long BackendTest::scalar(Kel::Database& d, const std::string& sql) {
    Scalar s(&d);
    s.open(sql.c_str());
    const long r = s.fetch() == 0 ? s.value : -999;
    s.close();
    return r;
}

} // namespace db_test

#endif
