// Fetching 100,000 rows of four columns (text, 32-bit integer, double, 16-bit integer) from SQLite:
// through a ResultSet subclass against the same query with raw ODBC calls on the same connection.

#include "db_bench_source.h"

#include "db/odbc.h"

#include <benchmark/benchmark.h>
#include <kel/database.h>

#include <cstdint>
#include <cstdio>
#include <memory>

namespace {

constexpr long rowCount = 100000;
const char* const query = "SELECT name, quantity, price, code FROM bench_rows";

Kel::Database* connection = nullptr;

class Rows : public Kel::ResultSet {
public:
    explicit Rows(Kel::Database* db) : Kel::ResultSet(db) {}
    char name[32];
    std::int32_t quantity;
    double price;
    std::int16_t code;

protected:
    void prepareFetch() override {}
    void bindColumns(bindType what) override {
        bindColumn(what, "name", name, typeChar, sizeof name);
        bindColumn(what, "quantity", &quantity, typeLong, sizeof quantity);
        bindColumn(what, "price", &price, typeDouble, sizeof price);
        bindColumn(what, "code", &code, typeShort, sizeof code);
    }
    Kel::String tableName() override { return "bench_rows"; }
};

void BM_KelResultSetFetch(benchmark::State& state) {
    Rows rows(connection);
    long fetched = 0;
    for (auto _ : state) {
        rows.open();
        while (rows.fetch() == 0) {
            ++fetched;
            benchmark::DoNotOptimize(rows.quantity);
        }
        rows.close();
    }
    if (fetched != rowCount * static_cast<long>(state.iterations())) {
        state.SkipWithError("wrong row count");
    }
    state.SetItemsProcessed(fetched);
}
BENCHMARK(BM_KelResultSetFetch)->Unit(benchmark::kMillisecond);

void BM_RawOdbcFetch(benchmark::State& state) {
    SQLHDBC hdbc = static_cast<SQLHDBC>(connection->handle());
    char name[32];
    SQLINTEGER quantity;
    double price;
    SQLSMALLINT code;
    SQLLEN lengths[4];
    long fetched = 0;
    for (auto _ : state) {
        SQLHSTMT stmt;
        SQLAllocHandle(SQL_HANDLE_STMT, hdbc, &stmt);
        SQLExecDirect(stmt, reinterpret_cast<SQLCHAR*>(const_cast<char*>(query)), SQL_NTS);
        SQLBindCol(stmt, 1, SQL_C_CHAR, name, sizeof name, &lengths[0]);
        SQLBindCol(stmt, 2, SQL_C_SLONG, &quantity, sizeof quantity, &lengths[1]);
        SQLBindCol(stmt, 3, SQL_C_DOUBLE, &price, sizeof price, &lengths[2]);
        SQLBindCol(stmt, 4, SQL_C_SSHORT, &code, sizeof code, &lengths[3]);
        while (SQLFetch(stmt) == SQL_SUCCESS) {
            ++fetched;
            benchmark::DoNotOptimize(quantity);
        }
        SQLFreeHandle(SQL_HANDLE_STMT, stmt);
    }
    if (fetched != rowCount * static_cast<long>(state.iterations())) {
        state.SkipWithError("wrong row count");
    }
    state.SetItemsProcessed(fetched);
}
BENCHMARK(BM_RawOdbcFetch)->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    db_bench::DataSource source;
    Kel::Database db;
    if (db.open(source.name(), "", "") != 0) {
        std::fprintf(stderr, "cannot connect: %s\n", static_cast<const char*>(db.lastError()));
        return 1;
    }
    char fill[256];
    std::snprintf(fill, sizeof fill,
                  "INSERT INTO bench_rows WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n "
                  "WHERE i < %ld) SELECT 'row number ' || i, i, i * 0.25, i %% 1000 FROM n",
                  rowCount);
    if (db.execute("CREATE TABLE bench_rows (name VARCHAR(31), quantity INTEGER, price DOUBLE PRECISION, "
                   "code SMALLINT)") != 0 ||
        db.execute(fill) != 0) {
        std::fprintf(stderr, "cannot fill the table: %s\n", static_cast<const char*>(db.lastError()));
        return 1;
    }
    connection = &db;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
