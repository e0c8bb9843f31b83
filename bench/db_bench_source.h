#ifndef KEL_BENCH_DB_BENCH_SOURCE_H
#define KEL_BENCH_DB_BENCH_SOURCE_H

// The benchmarks' data source: an SQLite file through the SQLite ODBC driver, defined in a private
// odbc.ini that is written before the first connection. KEL_SQLITE_DRIVER names another driver file.

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
    const char* name() const {
        return "kel_bench";
    }

private:
    std::filesystem::path _dir;
};

} // namespace db_bench

#endif
