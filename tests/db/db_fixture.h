#ifndef KEL_TESTS_DB_DB_FIXTURE_H
#define KEL_TESTS_DB_DB_FIXTURE_H

// Where the database tests connect. Each test program writes its own odbc.ini into a temporary
// directory and points ODBCINI at it before its first connection (the driver manager reads that file
// at connect time and caches each lookup, so every data source is written once, up front):
//   kel_sqlite         an SQLite file through the SQLite ODBC driver;
//   kel_sqlite_moving  an SQLite file inside a directory that tests remove and restore;
//   kel_pg             the PostgreSQL server described by the KEL_PG_* variables (scripts/pg-start.sh);
//   kel_pg_fault       the second server of pg-start.sh, which only the fault test stops and starts.
// Under Wine the host's driver manager answers, and tests/db/wine-odbc.sh writes the same data sources
// before Wine starts. A backend that cannot be reached fails the test where it must work (SQLite always,
// PostgreSQL when configured) and skips it otherwise: PostgreSQL without configuration.

#include "kel_test.h"

#include <kel/database.h>

#include <cstdlib>
#include <fstream>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

#if defined(__linux__)
#include <dlfcn.h>
#endif

namespace db_test {

enum Backend { SQLite, PostgreSQL, PostgreSQLFault };

struct Target {
    std::string dsn, user, password, unavailable; // unavailable: why the backend is not configured here
};

inline std::string envText(const char* name) {
    const char* v = std::getenv(name);
    return v ? v : "";
}

inline std::string text(const Kel::String& s) {
    return s.isNull() ? "(null)" : static_cast<const char*>(s);
}

// The driver file named by variable, or the first place where Debian installs file.
inline std::string findDriver(const char* variable, const std::string& file) {
    const std::string chosen = envText(variable);
    const char* const dirs[] = {"/usr/lib/x86_64-linux-gnu/odbc/", "/usr/lib/aarch64-linux-gnu/odbc/"};
    for (const char* dir : dirs) {
        if (chosen.empty() && std::ifstream(dir + file).good()) {
            return dir + file;
        }
    }
    return chosen.empty() ? dirs[0] + file : chosen;
}

class Sources {
public:
    static Sources& get() {
        static Sources sources;
        return sources;
    }

    const Target& target(Backend b) const { return _targets[b]; }
    std::string movingDir() const { return file("moving"); }
    // A file in the directory that holds the SQLite databases.
    std::string file(const std::string& name) const {
#ifdef _WIN32
        return _root + "\\" + name;
#else
        return _root + "/" + name;
#endif
    }

    // The same file as the host's driver sees it: under Wine the host path, not the Z: one.
    std::string hostFile(const std::string& name) const {
#ifdef _WIN32
        return envText("KEL_ODBC_DIR") + "/" + name;
#else
        return file(name);
#endif
    }
    // The SQLite driver library, as the host's driver manager loads it.
    std::string sqliteDriver() const { return findDriver("KEL_SQLITE_DRIVER", "libsqlite3odbc.so"); }

private:
    Sources() {
#if defined(__linux__)
        // The SQLite driver loads and unloads the driver manager's installer library around every
        // connection, and the settings that library caches would be reported as leaks once it is gone.
        // Kept loaded, they stay reachable.
        dlopen("libodbcinst.so.2", RTLD_NOW | RTLD_NODELETE);
#endif
        _targets[SQLite].dsn = "kel_sqlite";
        const char* const ports[] = {"KEL_PG_PORT", "KEL_PG_FAULT_PORT"};
        const char* const names[] = {"kel_pg", "kel_pg_fault"};
        for (int i = 0; i < 2; ++i) {
            Target& t = _targets[PostgreSQL + i];
            if (envText(ports[i]).empty()) {
                t.unavailable =
                    std::string("PostgreSQL is not configured (") + ports[i] +
                    " is not set): run eval \"$(scripts/pg-start.sh)\" first to include these tests";
                continue;
            }
            t = {names[i], envText("KEL_PG_USER"), envText("KEL_PG_PASSWORD"), ""};
        }
#ifdef _WIN32
        // Under Wine the host's driver manager answers, and it reads the data sources that
        // tests/db/wine-odbc.sh wrote into KEL_ODBC_DIR before Wine started; a variable set here would
        // not reach it. The host directory is seen here through Wine's drive Z:.
        const std::string hostDir = envText("KEL_ODBC_DIR");
        if (hostDir.empty()) {
            _targets[SQLite].unavailable =
                "KEL_ODBC_DIR is not set: run the database tests through ctest, "
                "which prepares their data sources on the host (tests/db/wine-odbc.sh)";
        }
        // The fault tests stop and start their server with a host command line, which a Windows program
        // under Wine cannot run: std::system() reaches Wine's own command interpreter.
        if (_targets[PostgreSQLFault].unavailable.empty()) {
            _targets[PostgreSQLFault].unavailable = "stopping the server takes a host command line, which a "
                                                    "Windows program under Wine cannot run";
        }
        _root = "Z:" + hostDir;
        for (char& c : _root) {
            c = c == '/' ? '\\' : c;
        }
#else
        _root = _dir.path();
        const std::string sqlite = findDriver("KEL_SQLITE_DRIVER", "libsqlite3odbc.so");
        std::ofstream ini(file("odbc.ini"));
        ini << "[kel_sqlite]\nDriver=" << sqlite << "\nDatabase=" << file("kel.db") << "\nTimeout=2000\n";
        ini << "[kel_sqlite_moving]\nDriver=" << sqlite << "\nDatabase=" << movingDir() << "/kel.db\n";
        for (int i = 0; i < 2; ++i) {
            if (_targets[PostgreSQL + i].unavailable.empty()) {
                ini << "[" << names[i] << "]\nDriver=" << findDriver("KEL_PG_DRIVER", "psqlodbca.so")
                    << "\nServername=" << envText("KEL_PG_HOST") << "\nPort=" << envText(ports[i])
                    << "\nDatabase=" << envText("KEL_PG_DATABASE") << "\n";
            }
        }
        ini.close();
        kel_test::setEnv("ODBCINI", file("odbc.ini").c_str());
#endif
    }

    kel_test::TempDir _dir;
    std::string _root;
    Target _targets[3];
};

// Runs sql, expecting success.
inline void run(Kel::Database& d, const std::string& sql) {
    EXPECT_EQ(d.execute(sql.c_str()), 0) << sql << ": " << text(d.lastError());
}

// Drops the table that definition ("name (columns...)") makes, if there is one, and makes it afresh.
inline void recreate(Kel::Database& d, const std::string& definition) {
    d.execute(("DROP TABLE " + definition.substr(0, definition.find(' '))).c_str());
    run(d, "CREATE TABLE " + definition);
}

// Stops and starts the fault server (the pg_ctl command line of KEL_PG_FAULT_CTL); a server stopped
// here is started again when the object goes.
struct ServerControl {
    bool stopped = false;
    ~ServerControl() {
        if (stopped) {
            start();
        }
    }
    static bool ctl(const std::string& what) {
        return std::system((envText("KEL_PG_FAULT_CTL") + " " + what + " >/dev/null 2>&1").c_str()) == 0;
    }
    bool stop() { return stopped = ctl("stop -m fast"); }
    bool start() {
        const bool started = ctl("start");
        stopped = stopped && !started;
        return started;
    }
};

// How dumps write a password: "****" when one is set.
inline std::string masked(const std::string& password) {
    return password.empty() ? "" : "****";
}

// A result set over table with its columns bound, in order, to the variables given.
class Bound : public Kel::ResultSet {
public:
    using Column = std::tuple<const char*, void*, bindDataType, int>; // name, variable, type, size
    Bound(Kel::Database* d, const char* table, std::vector<Column> columns)
        : Kel::ResultSet(d), _table(table), _columns(std::move(columns)) {}

protected:
    void prepareFetch() override {}
    void bindColumns(bindType what) override {
        for (const auto& [name, buffer, type, size] : _columns) {
            bindColumn(what, name, buffer, type, size);
        }
    }
    Kel::String tableName() override { return _table; }

private:
    const char* _table;
    std::vector<Column> _columns;
};

// One integer column of a table, read into value.
class Ints : public Bound {
public:
    explicit Ints(Kel::Database* d, const char* table = "unused", const char* column = "v")
        : Bound(d, table, {{column, &value, typeLong, sizeof value}}) {}
    std::int32_t value = -1;
};

// The single integer that sql selects.
inline long scalar(Kel::Database& d, const std::string& sql) {
    Ints s(&d);
    s.open(sql.c_str());
    return s.fetch() == 0 ? s.value : -999;
}

// The message of the DatabaseException that f throws; empty when it throws none.
template <typename F> std::string errorOf(F f) {
    try {
        f();
    } catch (const Kel::DatabaseException& e) {
        return text(e.message());
    }
    return "";
}

// A test with _d connected to backend() (SQLite unless a suite says otherwise) and the suite's table()
// made afresh, when it names one.
class DbTest : public ::testing::Test {
protected:
    // Ends the test where the backend is not set up here: a failure for SQLite, which must always
    // work, a skip for PostgreSQL. A backend that is set up must connect.
    void SetUp() override {
        if (!target().unavailable.empty()) {
            if (backend() == SQLite) {
                FAIL() << target().unavailable;
            }
            GTEST_SKIP() << target().unavailable;
        }
        connect(_d);
        if (!HasFatalFailure() && !table().empty()) {
            recreate(_d, table());
        }
    }
    virtual Backend backend() const { return SQLite; }
    // The definition of the suite's table, as recreate() takes it.
    virtual std::string table() const { return ""; }

    const Target& target() const { return Sources::get().target(backend()); }
    void connect(Kel::Database& d) const {
        ASSERT_EQ(d.open(target().dsn.c_str(), target().user.c_str(), target().password.c_str()), 0)
            << text(d.lastError());
    }
    // Adds n connections to a fixed pool.
    void fill(Kel::DBPoolMgr& pool, int n) const {
        for (int i = 0; i < n; ++i) {
            ASSERT_EQ(
                pool.addPooledDB(target().dsn.c_str(), target().user.c_str(), target().password.c_str()), 0);
        }
    }
    void resizeable(Kel::DBPoolMgr& pool, long initial, long maximum) const {
        pool.setResizeable(target().dsn.c_str(), target().user.c_str(), target().password.c_str(), initial,
                           maximum);
    }

    Kel::Database _d;
    ServerControl server; // used by the tests on PostgreSQLFault
};

template <Backend B> class On : public DbTest {
protected:
    Backend backend() const override { return B; }
};

// Runs each test of a suite once per backend.
class BackendTest : public DbTest, public ::testing::WithParamInterface<Backend> {
protected:
    Backend backend() const override { return GetParam(); }
};

inline std::string backendName(const ::testing::TestParamInfo<Backend>& param) {
    return param.param == SQLite ? "SQLite" : "PostgreSQL";
}

#define DB_TEST_BACKENDS(Suite)                                                                              \
    INSTANTIATE_TEST_SUITE_P(Backends, Suite, ::testing::Values(db_test::SQLite, db_test::PostgreSQL),       \
                             db_test::backendName)

} // namespace db_test

#endif
