// Inserting 100,000 rows (text, 32-bit integer, double) inside one transaction into a table of a database
// file (SQLite) and of a server (PostgreSQL, when scripts/pg-start.sh has set KEL_PG_*):
//   Kel batch         Statement::bindArray() and executeBatch(): ODBC parameter arrays;
//   Kel one at a time the same prepared Statement, setText/setInt32/setDouble and execute() per row;
//   raw ODBC arrays   the same parameter arrays bound and executed by hand.
// Each timed insert empties the table first and inserts every row in one transaction that it commits.
//
// The machine this runs on has slow spells of seconds, in which single inserts of the same rows took from
// 450 to 820 ms. Timed as separate benchmarks, the spells fall on either side of the comparison at
// random. So Kel's batch and the raw arrays run in turns within one benchmark, each pair side by side,
// the one going first changing from pair to pair; the counters kel_ms and raw_ms are each side's mean
// time per insert of all the rows.

#include "db_bench_source.h"
#include "ratio_report.h"

#include "db/odbc.h"

#include <benchmark/benchmark.h>
#include <kel/database.h>

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

namespace {

constexpr long rowCount = 100000;
constexpr int nameWidth = 32;
const char* const insertText = "INSERT INTO bench_batch (name, quantity, price) VALUES (?, ?, ?)";

// The rows, built once, column by column as parameter arrays want them.
struct Rows {
    std::vector<char> names = std::vector<char>(static_cast<std::size_t>(rowCount) * nameWidth);
    std::vector<std::int32_t> quantities = std::vector<std::int32_t>(rowCount);
    std::vector<double> prices = std::vector<double>(rowCount);

    Rows() {
        for (long i = 0; i < rowCount; ++i) {
            std::snprintf(&names[static_cast<std::size_t>(i) * nameWidth], nameWidth, "product '%ld'", i);
            quantities[static_cast<std::size_t>(i)] = static_cast<std::int32_t>(i);
            prices[static_cast<std::size_t>(i)] = static_cast<double>(i) * 0.25;
        }
    }
    const char* name(long i) const { return &names[static_cast<std::size_t>(i) * nameWidth]; }
};

const Rows& rows() {
    static const Rows built;
    return built;
}

// Empties the table before the timed part of each run, and checks the count after it.
bool emptyTable(Kel::Database& db) {
    return db.execute("DELETE FROM bench_batch") != Kel::Database::failed || db.rowCount() == 0;
}

bool inserted(Kel::Database& db) {
    Kel::Statement count(&db);
    std::int64_t n = 0;
    count.prepare("SELECT COUNT(*) FROM bench_batch");
    count.bindColumn(1, &n, Kel::ResultSet::typeBigInt, sizeof n);
    return count.execute() == Kel::Database::ok && count.fetch() == 0 && n == rowCount;
}

void finish(benchmark::State& state, Kel::Database& db) {
    if (!inserted(db)) {
        state.SkipWithError(("rows missing: " + std::string(db.lastError())).c_str());
    }
    state.SetItemsProcessed(rowCount * static_cast<long>(state.iterations()));
}

// Inserts every row with Kel's parameter arrays; false on a failure, which lastError() tells.
bool insertWithKelBatch(Kel::Database& db, const Rows& r) {
    db.begin();
    Kel::Statement insert(&db);
    insert.prepare(insertText);
    insert.bindArray(1, Kel::ResultSet::typeChar, r.names.data(), nameWidth);
    insert.bindArray(2, Kel::ResultSet::typeLong, r.quantities.data(), sizeof(std::int32_t));
    insert.bindArray(3, Kel::ResultSet::typeDouble, r.prices.data(), sizeof(double));
    const bool done = insert.executeBatch(rowCount) == Kel::Database::ok;
    db.commit();
    return done;
}

// The same by hand with ODBC's own calls.
bool insertWithRawArrays(Kel::Database& db, const Rows& r) {
    SQLHDBC hdbc = static_cast<SQLHDBC>(db.handle());
    SQLSetConnectAttr(hdbc, SQL_ATTR_AUTOCOMMIT, reinterpret_cast<SQLPOINTER>(SQL_AUTOCOMMIT_OFF), 0);
    SQLHSTMT stmt;
    SQLAllocHandle(SQL_HANDLE_STMT, hdbc, &stmt);
    SQLPrepare(stmt, reinterpret_cast<SQLCHAR*>(const_cast<char*>(insertText)), SQL_NTS);
    SQLSetStmtAttr(stmt, SQL_ATTR_PARAMSET_SIZE, reinterpret_cast<SQLPOINTER>(static_cast<SQLULEN>(rowCount)),
                   0);
    SQLBindParameter(stmt, 1, SQL_PARAM_INPUT, SQL_C_CHAR, SQL_VARCHAR, nameWidth, 0,
                     const_cast<char*>(r.names.data()), nameWidth, nullptr);
    SQLBindParameter(stmt, 2, SQL_PARAM_INPUT, SQL_C_SLONG, SQL_INTEGER, 0, 0,
                     const_cast<std::int32_t*>(r.quantities.data()), sizeof(std::int32_t), nullptr);
    SQLBindParameter(stmt, 3, SQL_PARAM_INPUT, SQL_C_DOUBLE, SQL_DOUBLE, 0, 0,
                     const_cast<double*>(r.prices.data()), sizeof(double), nullptr);
    const SQLRETURN executed = SQLExecute(stmt);
    SQLFreeHandle(SQL_HANDLE_STMT, stmt);
    SQLEndTran(SQL_HANDLE_DBC, hdbc, SQL_COMMIT);
    SQLSetConnectAttr(hdbc, SQL_ATTR_AUTOCOMMIT, reinterpret_cast<SQLPOINTER>(SQL_AUTOCOMMIT_ON), 0);
    return executed == SQL_SUCCESS || executed == SQL_SUCCESS_WITH_INFO;
}

// The seconds one insert of every row takes, into an emptied table; negative when it failed.
double timedInsert(Kel::Database& db, bool (*insert)(Kel::Database&, const Rows&)) {
    emptyTable(db);
    const auto start = std::chrono::steady_clock::now();
    const bool done = insert(db, rows());
    const std::chrono::duration<double> took = std::chrono::steady_clock::now() - start;
    return done && inserted(db) ? took.count() : -1.0;
}

// One iteration is a pair: Kel's batch and the raw arrays, side by side. Manual time: the pair's time.
void batchAgainstRaw(benchmark::State& state, Kel::Database* db) {
    double kel = 0.0;
    double raw = 0.0;
    long pairs = 0;
    for (auto _ : state) {
        const bool kelFirst = pairs % 2 == 0;
        const double first = timedInsert(*db, kelFirst ? insertWithKelBatch : insertWithRawArrays);
        const double second = timedInsert(*db, kelFirst ? insertWithRawArrays : insertWithKelBatch);
        if (first < 0 || second < 0) {
            state.SkipWithError(("insert failed: " + std::string(db->lastError())).c_str());
            break;
        }
        kel += kelFirst ? first : second;
        raw += kelFirst ? second : first;
        state.SetIterationTime(first + second);
        ++pairs;
    }
    if (pairs > 0) {
        state.counters["kel_ms"] = kel / static_cast<double>(pairs) * 1e3;
        state.counters["raw_ms"] = raw / static_cast<double>(pairs) * 1e3;
        state.counters["kel_rows_per_s"] = static_cast<double>(rowCount * pairs) / kel;
        state.counters["raw_rows_per_s"] = static_cast<double>(rowCount * pairs) / raw;
    }
}

void kelOneAtATime(benchmark::State& state, Kel::Database* db) {
    const Rows& r = rows();
    for (auto _ : state) {
        state.PauseTiming();
        emptyTable(*db);
        state.ResumeTiming();
        db->begin();
        Kel::Statement insert(db);
        insert.prepare(insertText);
        for (long i = 0; i < rowCount; ++i) {
            insert.setText(1, r.name(i));
            insert.setInt32(2, r.quantities[static_cast<std::size_t>(i)]);
            insert.setDouble(3, r.prices[static_cast<std::size_t>(i)]);
            if (insert.execute() != Kel::Database::ok) {
                state.SkipWithError(static_cast<const char*>(db->lastError()));
                break;
            }
        }
        db->commit();
    }
    finish(state, *db);
}

bool prepareTable(Kel::Database& db) {
    db.execute("DROP TABLE bench_batch");
    return db.execute(
               "CREATE TABLE bench_batch (name VARCHAR(31), quantity INTEGER, price DOUBLE PRECISION)") ==
           Kel::Database::ok;
}

// Registers the two benchmarks on one connection; the name suffix tells the backend. The pairs run nine
// to a repetition; the one-at-a-time inserts, with no goal and half a minute a run on a server, once.
void registerOn(Kel::Database* db, const std::string& backend, kel_bench::RatioReporter& reporter) {
    const std::string pairs = "BM_BatchAgainstRaw/" + backend;
    const std::string single = "BM_KelOneAtATimeInsert/" + backend;
    benchmark::RegisterBenchmark(pairs.c_str(), batchAgainstRaw, db)
        ->Unit(benchmark::kMillisecond)
        ->Iterations(9)
        ->UseManualTime();
    benchmark::RegisterBenchmark(single.c_str(), kelOneAtATime, db)
        ->Unit(benchmark::kMillisecond)
        ->Iterations(1)
        ->UseRealTime();
    reporter.compare(pairs + "/iterations:9/manual_time@kel_ms", pairs + "/iterations:9/manual_time@raw_ms");
    reporter.compare(single + "/iterations:1/real_time", pairs + "/iterations:9/manual_time@kel_ms");
}

} // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    db_bench::DataSource source;
    kel_bench::RatioReporter reporter;
    Kel::Database sqlite;
    if (sqlite.open(source.name(), "", "") != 0 || !prepareTable(sqlite)) {
        std::fprintf(stderr, "SQLite: %s\n", static_cast<const char*>(sqlite.lastError()));
        return 1;
    }
    registerOn(&sqlite, "SQLite", reporter);
    Kel::Database postgres;
    if (const char* connection = source.postgresConnection()) {
        if (postgres.openConnectionString(connection) != 0 || !prepareTable(postgres)) {
            std::fprintf(stderr, "PostgreSQL: %s\n", static_cast<const char*>(postgres.lastError()));
            return 1;
        }
        registerOn(&postgres, "PostgreSQL", reporter);
    }
    benchmark::RunSpecifiedBenchmarks(&reporter);
    benchmark::Shutdown();
    return 0;
}
