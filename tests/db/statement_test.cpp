// Values bound to "?" placeholders: prepared statements of every parameter type executed once and again,
// rows read back through column bindings (Kel dates included), result sets that insert and update with
// bound values, text shaped like SQL stored as it is, batches of parameter arrays (and drivers that cannot
// take them whole), and connections opened from a full connection string.

#include "db_fixture.h"

#include <kel/datetime.h>

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>
#include <tuple>
#include <vector>

#if defined(__ELF__)
#include "db/odbc.h"

#include <dlfcn.h>

#include <atomic>

// This program stands in for the driver manager's SQLSetStmtAttr, so that a test can play a driver that
// takes at most rowLimit rows of parameters at once: asked for more, it refuses, or, with offerFewer,
// takes rowLimit rows and says so. Only ELF systems let a program take a library's place this way.
namespace {
std::atomic<long> rowLimit{-1}; // -1: no limit
std::atomic<bool> offerFewer{false};
} // namespace

// Exported, so that the library binds to it rather than to the driver manager.
extern "C" __attribute__((visibility("default"))) SQLRETURN SQL_API SQLSetStmtAttr(SQLHSTMT stmt,
                                                                                   SQLINTEGER attribute,
                                                                                   SQLPOINTER value,
                                                                                   SQLINTEGER length) {
    using Set = SQLRETURN(SQL_API*)(SQLHSTMT, SQLINTEGER, SQLPOINTER, SQLINTEGER);
    static const Set next = reinterpret_cast<Set>(dlsym(RTLD_NEXT, "SQLSetStmtAttr"));
    const long limit = rowLimit;
    if (attribute != SQL_ATTR_PARAMSET_SIZE || limit < 0 ||
        reinterpret_cast<SQLULEN>(value) <= SQLULEN(limit)) {
        return next(stmt, attribute, value, length);
    }
    if (!offerFewer || limit == 0) {
        return SQL_ERROR;
    }
    const SQLRETURN r =
        next(stmt, attribute, reinterpret_cast<SQLPOINTER>(static_cast<SQLULEN>(limit)), length);
    return r == SQL_SUCCESS ? SQL_SUCCESS_WITH_INFO : r;
}
#endif

using namespace Kel;
using namespace db_test;

class StatementTest : public BackendTest {
protected:
    std::string table() const override {
        return std::string("kst_products (name VARCHAR(60), quantity INTEGER, big BIGINT, price DOUBLE "
                           "PRECISION, day DATE, at TIME, moved TIMESTAMP, data ") +
               (GetParam() == SQLite ? "BLOB)" : "BYTEA)");
    }

    std::string nameWhere(const std::string& condition) {
        Statement q(&_d);
        EXPECT_EQ(q.prepare(("SELECT name FROM kst_products WHERE " + condition).c_str()), Database::ok);
        q.bindColumn(1, name, ResultSet::typeChar, sizeof name);
        EXPECT_EQ(q.execute(), Database::ok) << text(_d.lastError());
        return q.fetch() == 0 ? name : "(no row)";
    }

    // One product row: text, an integer, a real and Kel dates.
    char name[64] = "";
    std::int32_t quantity = 0;
    double price = 0;
    Date day;
    Time at;
    Timestamp moved;
    Bound product{&_d,
                  "kst_products",
                  {{"name", name, ResultSet::typeChar, sizeof name},
                   {"quantity", &quantity, ResultSet::typeLong, sizeof quantity},
                   {"price", &price, ResultSet::typeDouble, sizeof price},
                   {"day", &day, ResultSet::typeKelDate, 0},
                   {"at", &at, ResultSet::typeKelTime, 0},
                   {"moved", &moved, ResultSet::typeKelTimestamp, 0}}};
};

TEST_P(StatementTest, EveryParameterTypeRoundTripsOnceAndAgain) {
    Statement insert(&_d);
    ASSERT_EQ(insert.prepare("INSERT INTO kst_products (name, quantity, big, price, day, at, moved, data) "
                             "VALUES (?, ?, ?, ?, ?, ?, ?, ?)"),
              Database::ok)
        << text(_d.lastError());
    const unsigned char bytes[] = {0x00, 0xFF, 0x27, 0x00, 0x41};
    insert.setText(1, "tea");
    insert.setInt32(2, -2147483647 - 1);
    insert.setInt64(3, 9007199254740993LL);
    insert.setDouble(4, 0.1);
    insert.setDate(5, Date(2031, 2, 28));
    insert.setTime(6, Time(23, 59, 58L));
    insert.setTimestamp(7, Timestamp(2024, 12, 31, 23, 59, 58.25));
    insert.setBinary(8, bytes, sizeof bytes);
    ASSERT_EQ(insert.execute(), Database::ok) << text(_d.lastError());
    EXPECT_EQ(insert.rowCount(), 1);
    // Values stay bound: only the name changes for the second row; the third is all NULL.
    insert.setText(1, String("coffee"));
    // A fraction that rounds up to a whole second stays within its second.
    insert.setTimestamp(7, Timestamp(2024, 12, 31, 23, 59, 58.9999996));
    ASSERT_EQ(insert.execute(), Database::ok) << text(_d.lastError());
    for (unsigned short n = 1; n <= 8; ++n) {
        insert.setNull(n);
    }
    insert.setText(1, String::null);
    ASSERT_EQ(insert.execute(), Database::ok) << text(_d.lastError());
    EXPECT_EQ(scalar(_d, "SELECT COUNT(*) FROM kst_products"), 3);

    Statement q(&_d);
    ASSERT_EQ(q.prepare("SELECT name, big, data FROM kst_products ORDER BY name"), Database::ok);
    std::int64_t big = 0;
    unsigned char data[8] = {};
    q.bindColumn(1, name, ResultSet::typeChar, sizeof name);
    q.bindColumn(2, &big, ResultSet::typeBigInt, sizeof big);
    q.bindColumn(3, data, ResultSet::typeBinary, sizeof data);
    ASSERT_EQ(q.execute(), Database::ok) << text(_d.lastError());
    // NULL names sort first on SQLite and last on PostgreSQL: collect the rows by name.
    int seen = 0;
    while (q.fetch() == 0) {
        ++seen;
        if (q.isNull(1)) {
            EXPECT_TRUE(q.isNull(2) && q.isNull(3));
            continue;
        }
        EXPECT_TRUE(std::string(name) == "tea" || std::string(name) == "coffee") << name;
        EXPECT_EQ(big, 9007199254740993LL);
        ASSERT_EQ(q.columnLength(3), static_cast<std::int64_t>(sizeof bytes));
        EXPECT_EQ(std::memcmp(data, bytes, sizeof bytes), 0);
    }
    EXPECT_EQ(seen, 3);
    EXPECT_EQ(q.fetch(), 1);

    // A result set reads the others, into Kel dates too, NULL ones as empty.
    product.setFilter("name = 'tea'");
    product.open();
    ASSERT_EQ(product.fetch(), 0) << text(_d.lastError());
    EXPECT_EQ(std::make_tuple(quantity, price, product.isNull(4)),
              std::make_tuple(-2147483647 - 1, 0.1, false));
    EXPECT_EQ(text(day.format("YYYY-MM-DD")) + text(at.format(" HH:NN:SS")), "2031-02-28 23:59:58");
    EXPECT_EQ(std::make_tuple(at.second(), moved.year(), moved.day(), moved.minute(), moved.second()),
              std::make_tuple(58.0, 2024L, 31L, 59L, 58.25));
    EXPECT_EQ(product.fetch(), 1);
    product.setFilter("name = 'coffee'");
    product.open();
    ASSERT_EQ(product.fetch(), 0);
    EXPECT_GE(moved.second(), 58.999);
    EXPECT_LT(moved.second(), 59);
    product.setFilter("name IS NULL");
    day = Date(2000, 1, 1);
    product.open();
    ASSERT_EQ(product.fetch(), 0);
    for (unsigned short c = 2; c <= 6; ++c) {
        EXPECT_TRUE(product.isNull(c)) << c;
    }
    EXPECT_EQ(std::make_tuple(day.year(), moved.year()), std::make_tuple(0L, 0L));
}

// Kel dates through Statement's column bindings (ResultSet's share them), and dates before Kel's calendar
// begins: the row fails with a message, its date variables are left empty, and the next row reads well.
TEST_P(StatementTest, KelDateColumnsReadInTheCalendarAndFailOutsideIt) {
    run(_d, "INSERT INTO kst_products (name, day, at, moved) VALUES "
            "('new', '2031-02-28', '23:59:58', '2024-12-31 23:59:58'), "
            "('old', '1500-06-01', '12:00:00', '0001-01-01 12:00:00'), ('tea', NULL, NULL, NULL)");
    Statement q(&_d);
    ASSERT_EQ(q.prepare("SELECT day, at, moved FROM kst_products ORDER BY name"), Database::ok);
    q.bindColumn(1, &day, ResultSet::typeKelDate, 0);
    q.bindColumn(2, &at, ResultSet::typeKelTime, 0);
    q.bindColumn(3, &moved, ResultSet::typeKelTimestamp, 0);
    ASSERT_EQ(q.execute(), Database::ok) << text(_d.lastError());
    ASSERT_EQ(q.fetch(), 0) << text(_d.lastError());
    EXPECT_EQ(text(day.format("YYYY-MM-DD")) + text(at.format(" HH:NN:SS")), "2031-02-28 23:59:58");
    EXPECT_EQ(std::make_tuple(moved.year(), moved.month(), moved.second()),
              std::make_tuple(2024L, 12L, 58.0));
    EXPECT_EQ(q.fetch(), -1);
    EXPECT_NE(text(_d.lastError()).find("outside the calendar"), std::string::npos) << text(_d.lastError());
    EXPECT_EQ(std::make_tuple(day.year(), moved.year(), moved.hour()), std::make_tuple(0L, 0L, 0L));
    EXPECT_FALSE(q.isNull(1));
    day = Date(2000, 1, 1);
    ASSERT_EQ(q.fetch(), 0);
    EXPECT_TRUE(q.isNull(1) && q.isNull(3));
    EXPECT_EQ(std::make_tuple(day.year(), moved.year()), std::make_tuple(0L, 0L));
    EXPECT_EQ(q.fetch(), 1);
}

TEST_P(StatementTest, SqlShapedTextIsStoredAsItIsAndTouchesOneRow) {
    const char* const shapes[] = {"O'Brien", "x' WHERE 1=1 --", "'); DROP TABLE kst_products; --", "a\\'b"};
    quantity = 1;
    for (const char* shape : shapes) {
        std::strcpy(name, shape);
        EXPECT_EQ(product.insertBound(), 1) << shape;
    }
    EXPECT_EQ(text(product.statement()), "INSERT INTO kst_products ( name, quantity, price, day, at, moved ) "
                                         "VALUES ( ?, ?, ?, ?, ?, ? )");
    EXPECT_EQ(scalar(_d, "SELECT COUNT(*) FROM kst_products"), 4);

    // An update aimed by a filter changes the one row, even with a value that looks like a condition.
    product.setFilter("name = 'O''Brien'");
    std::strcpy(name, "x' WHERE 1=1 --");
    quantity = 7;
    EXPECT_EQ(product.updateBound(), 1);
    EXPECT_EQ(text(product.statement()),
              "UPDATE kst_products SET name = ?, quantity = ?, price = ?, day = ?, at = ?, "
              "moved = ? WHERE name = 'O''Brien'");
    EXPECT_EQ(scalar(_d, "SELECT COUNT(*) FROM kst_products WHERE quantity = 7"), 1);
    EXPECT_EQ(scalar(_d, "SELECT COUNT(*) FROM kst_products WHERE name = 'x'' WHERE 1=1 --'"), 2);
    EXPECT_EQ(nameWhere("name LIKE '%DROP%'"), "'); DROP TABLE kst_products; --");
    EXPECT_EQ(nameWhere("name LIKE 'a%'"), "a\\'b");
    product.setFilter("name = 'nobody'");
    EXPECT_EQ(product.updateBound(), 0);

    // The composed texts stay as they were: quotes go in as they are, Kel dates take the ODBC escapes.
    std::strcpy(name, "O'Brien");
    day = Date(2031, 1, 2);
    at = Time(3, 4, 5L);
    moved = Timestamp(2032, 5, 6, 7, 8, 9L);
    product.setFilter("");
    product.insertRow();
    EXPECT_EQ(text(product.statement()),
              "INSERT INTO kst_products ( name, quantity, price, day, at, moved ) VALUES "
              "( 'O'Brien', 7, 0, {d '2031-01-02'}, {t '03:04:05'}, {ts '2032-05-06 07:08:09'} )");
}

TEST_P(StatementTest, BatchesInsertEveryRowOfTheirArrays) {
    const int rows = 1000;
    std::vector<std::int32_t> quantities(rows);
    std::vector<char> names(static_cast<std::size_t>(rows) * 16);
    std::vector<std::int64_t> nameLengths(rows);
    for (int i = 0; i < rows; ++i) {
        quantities[i] = i;
        std::snprintf(&names[static_cast<std::size_t>(i) * 16], 16, "item'%d", i);
        nameLengths[i] = i % 100 == 0 ? -1 : -3; // every hundredth name NULL, the others NUL-terminated
    }
    Statement insert(&_d);
    ASSERT_EQ(insert.prepare("INSERT INTO kst_products (name, quantity) VALUES (?, ?)"), Database::ok);
    EXPECT_EQ(insert.bindArray(1, ResultSet::typeChar, names.data(), 16, nameLengths.data()), Database::ok);
    EXPECT_EQ(insert.bindArray(2, ResultSet::typeLong, quantities.data(), sizeof(std::int32_t)),
              Database::ok);
    EXPECT_EQ(insert.bindArray(3, ResultSet::typeKelDate, quantities.data(), 4), Database::failed);
    ASSERT_EQ(_d.begin(), Database::ok);
    ASSERT_EQ(insert.executeBatch(rows), Database::ok) << text(_d.lastError());
    EXPECT_EQ(insert.rowCount(), rows);
    ASSERT_EQ(_d.commit(), Database::ok);
    // An empty batch runs nothing, whatever size the batch before it had.
    EXPECT_EQ(insert.executeBatch(0), Database::ok) << text(_d.lastError());
    EXPECT_EQ(insert.rowCount(), 0);
    EXPECT_EQ(scalar(_d, "SELECT COUNT(*) FROM kst_products"), rows);
    EXPECT_EQ(scalar(_d, "SELECT COUNT(*) FROM kst_products WHERE name IS NULL"), rows / 100);
    EXPECT_EQ(scalar(_d, "SELECT SUM(quantity) FROM kst_products"), rows * (rows - 1) / 2);
    EXPECT_EQ(nameWhere("quantity = 999"), "item'999");

    // The count of a batch covers all its rows, those that touch nothing counting 0.
    std::int32_t targets[] = {-1, 5, 7, -2, 9};
    Statement update(&_d);
    ASSERT_EQ(update.prepare("UPDATE kst_products SET price = 1 WHERE quantity = ?"), Database::ok);
    ASSERT_EQ(update.bindArray(1, ResultSet::typeLong, targets, sizeof targets[0]), Database::ok);
    ASSERT_EQ(update.executeBatch(5), Database::ok) << text(_d.lastError());
    EXPECT_EQ(update.rowCount(), 3);
    EXPECT_EQ(scalar(_d, "SELECT COUNT(*) FROM kst_products WHERE price = 1"), 3);
}

#if defined(__ELF__)
// A driver that cannot take a batch whole, refusing its size or offering fewer rows, runs none of it and
// says so; a batch it can take, and single executions, run as usual.
TEST_P(StatementTest, BatchesADriverCannotTakeWholeRunNothing) {
    struct Limit {
        ~Limit() {
            rowLimit = -1;
            offerFewer = false;
        }
    } restore;
    // A driver that takes no arrays at all still runs statements one row at a time.
    rowLimit = 0;
    Statement single(&_d);
    ASSERT_EQ(single.prepare("INSERT INTO kst_products (quantity) VALUES (?)"), Database::ok);
    single.setInt32(1, 9);
    ASSERT_EQ(single.execute(), Database::ok) << text(_d.lastError());
    run(_d, "DELETE FROM kst_products");

    std::int32_t quantities[] = {1, 2, 3, 4, 5};
    Statement insert(&_d);
    ASSERT_EQ(insert.prepare("INSERT INTO kst_products (quantity) VALUES (?)"), Database::ok);
    ASSERT_EQ(insert.bindArray(1, ResultSet::typeLong, quantities, sizeof quantities[0]), Database::ok);
    rowLimit = 3;
    for (bool fewer : {false, true}) {
        SCOPED_TRACE(fewer ? "offers fewer rows" : "refuses");
        offerFewer = fewer;
        EXPECT_EQ(insert.executeBatch(5), Database::failed);
        EXPECT_NE(text(_d.lastError()).find("none was run"), std::string::npos) << text(_d.lastError());
        EXPECT_EQ(insert.rowCount(), 0);
        EXPECT_EQ(scalar(_d, "SELECT COUNT(*) FROM kst_products"), 0);
    }
    ASSERT_EQ(insert.executeBatch(3), Database::ok) << text(_d.lastError());
    EXPECT_EQ(insert.rowCount(), 3);
    EXPECT_EQ(scalar(_d, "SELECT SUM(quantity) FROM kst_products"), 6);
}
#endif

// Every statement, however often prepared and in whatever order, ends with the connection.
TEST_P(StatementTest, ClosingTheConnectionEndsItsStatements) {
    Statement q(&_d), other(&_d);
    EXPECT_EQ(other.prepare(nullptr), Database::failed);
    ASSERT_EQ(other.prepare("SELECT 1"), Database::ok);
    ASSERT_EQ(q.prepare("SELECT quantity FROM kst_products"), Database::ok);
    ASSERT_EQ(other.prepare("SELECT 2"), Database::ok);
    ASSERT_EQ(q.execute(), Database::ok);
    EXPECT_EQ(_d.close(), Database::ok);
    EXPECT_EQ(q.isPrepared() + other.isPrepared(), 0);
    EXPECT_EQ(q.execute(), Database::failed);
    EXPECT_EQ(q.fetch(), -1);
    EXPECT_EQ(q.prepare("SELECT 1"), Database::noStatement);
    EXPECT_EQ(text(_d.lastError()), "the connection is not open");
}

DB_TEST_BACKENDS(StatementTest);

using ConnectionString = DbTest;

TEST_F(ConnectionString, SQLiteOpensWithoutADataSourceFromAStringOfAnyLength) {
    Sources& sources = Sources::get();
    // A long string: the database file sits below a directory with a 300-character name.
    const std::string part(100, 'd');
    const std::string longName = part + "/" + part + "/" + part;
    std::filesystem::create_directories(sources.file(longName));
    const std::string connection = "Driver=" + sources.sqliteDriver() +
                                   ";Database=" + sources.hostFile(longName + "/direct.db") + ";Timeout=2000";
    ASSERT_GT(connection.size(), 255u);
    ASSERT_EQ(_d.openConnectionString(connection.c_str()), Database::ok) << text(_d.lastError());
    EXPECT_EQ(_d.isOpen(), 1);
    run(_d, "CREATE TABLE kcs_t (v INTEGER)");
    run(_d, "INSERT INTO kcs_t (v) VALUES (41)");
    EXPECT_EQ(scalar(_d, "SELECT v + 1 FROM kcs_t"), 42);
    EXPECT_EQ(kel_test::dumpOf(_d), "@ class Kel::Database\nSrc=" +
                                        ("Driver=" + sources.sqliteDriver()).substr(0, 31) + " Usr=Pwd=\n");
    EXPECT_EQ(_d.close(), Database::ok);

    // A source holding '=' is a connection string for open(), and so for pools and automatic managers.
    ASSERT_EQ(_d.open(connection.c_str(), "alice", "s3cret"), Database::ok) << text(_d.lastError());
    EXPECT_EQ(scalar(_d, "SELECT v FROM kcs_t"), 41);
    EXPECT_EQ(kel_test::dumpOf(_d).find("s3cret"), std::string::npos);
    DBPoolMgr pool;
    pool.setResizeable((connection + ";PWD=zz9plural").c_str(), "", "", 1, 2);
    {
        DB a(&pool);
        DB b(&pool);
        EXPECT_EQ(scalar(*b.db(), "SELECT v FROM kcs_t"), 41);
    }
    const std::string poolDump = kel_test::dumpOf(pool);
    EXPECT_EQ(poolDump.find("zz9plural"), std::string::npos);
    EXPECT_NE(poolDump.find(";PWD=**** Uid="), std::string::npos) << poolDump;

    EXPECT_EQ(_d.openConnectionString("Driver=/nowhere/libnothing.so;PWD=hunter2;Database=x"),
              Database::failed);
    EXPECT_EQ(text(_d.lastError()).find("hunter2"), std::string::npos) << text(_d.lastError());
    EXPECT_EQ(_d.openConnectionString("PWD={hun;ter2};Driver=/nowhere/libnothing.so"), Database::failed);
    EXPECT_EQ(kel_test::dumpOf(_d).find("hun"), std::string::npos);
    EXPECT_EQ(text(_d.lastError()).find("hun;ter2"), std::string::npos) << text(_d.lastError());
}

using ConnectionStringPostgreSQL = On<PostgreSQL>;

TEST_F(ConnectionStringPostgreSQL, ConnectsAndNeverShowsThePassword) {
    const std::string base = "Driver=" + findDriver("KEL_PG_DRIVER", "psqlodbca.so") +
                             ";Servername=" + envText("KEL_PG_HOST") + ";Port=" + envText("KEL_PG_PORT") +
                             ";Database=" + envText("KEL_PG_DATABASE") + ";UID=" + envText("KEL_PG_USER");
    const std::string password = envText("KEL_PG_PASSWORD");
    ASSERT_EQ(_d.openConnectionString((base + ";PWD=" + password).c_str()), Database::ok)
        << text(_d.lastError());
    EXPECT_EQ(scalar(_d, "SELECT 6 * 7"), 42);
    EXPECT_EQ(kel_test::dumpOf(_d).find(password), std::string::npos);
    EXPECT_EQ(_d.openConnectionString((base + ";PWD=" + password + "x").c_str()), Database::failed);
    EXPECT_EQ(text(_d.lastError()).find(password), std::string::npos) << text(_d.lastError());
    EXPECT_EQ(kel_test::dumpOf(_d).find(password), std::string::npos);
}
