#ifndef KEL_BENCH_DB_BENCH_SOURCE_H
#define KEL_BENCH_DB_BENCH_SOURCE_H

// The benchmarks' data source: an SQLite file through the SQLite ODBC driver, defined in a private
// odbc.ini that is written before the first connection. KEL_SQLITE_DRIVER names another driver file.
// The PostgreSQL server of scripts/pg-start.sh, when its KEL_PG_* variables are set, through a
// connection string.

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>

namespace db_bench {

class DataSource {
public:
    DataSource() {
        namespace fs = std::filesystem;
        const char* driver = std::getenv("KEL_SQLITE_DRIVER");
        _dir = fs::temp_directory_path() / ("kel-db-bench-" + std::to_string(std::random_device()()));
        fs::create_directories(_dir);
        std::ofstream ini(_dir / "odbc.ini");
        ini << "[kel_bench]\nDriver="
            << (driver ? driver : "/usr/lib/x86_64-linux-gnu/odbc/libsqlite3odbc.so")
            << "\nDatabase=" << (_dir / "bench.db").string() << "\nTimeout=2000\n";
        ini.close();
#if defined(_WIN32)
        _putenv_s("ODBCINI", (_dir / "odbc.ini").string().c_str());
#else
        setenv("ODBCINI", (_dir / "odbc.ini").string().c_str(), 1);
#endif
    }
    ~DataSource() {
        std::error_code ignored;
        std::filesystem::remove_all(_dir, ignored);
    }
    const char* name() const { return "kel_bench"; }
    // A connection string for the PostgreSQL server of scripts/pg-start.sh, or null when KEL_PG_PORT is
    // not set.
    const char* postgresConnection() {
        const char* port = std::getenv("KEL_PG_PORT");
        if (!port) {
            return nullptr;
        }
        const char* driver = std::getenv("KEL_PG_DRIVER");
        _postgres =
            std::string("Driver=") + (driver ? driver : "/usr/lib/x86_64-linux-gnu/odbc/psqlodbca.so") +
            ";Servername=" + text("KEL_PG_HOST") + ";Port=" + port + ";Database=" + text("KEL_PG_DATABASE") +
            ";UID=" + text("KEL_PG_USER") + ";PWD=" + text("KEL_PG_PASSWORD");
        return _postgres.c_str();
    }

private:
    static std::string text(const char* variable) {
        const char* v = std::getenv(variable);
        return v ? v : "";
    }

    std::filesystem::path _dir;
    std::string _postgres;
};

} // namespace db_bench

#endif
