#include "db_fixture.h"

#include "db/odbc.h"

#include <cstring>
#include <string>
#include <tuple>
#include <vector>

using namespace Kel;
using namespace db_test;
using R = ResultSet;

namespace {

// The literal that a composed text writes for the value at v, bound as type.
std::string valueText(const void* v, R::bindDataType type, int size) {
    Bound one(nullptr, "t", {{"v", const_cast<void*>(v), type, size}});
    one.updateRows();
    return text(one.statement()).substr(std::strlen("UPDATE t SET v = "));
}

template <typename T> std::string literal(T value, R::bindDataType type) {
    return valueText(&value, type, sizeof value);
}

} // namespace

TEST(ResultSetCompose, InsertUpdateDeleteTextsWithTextsBetweenQuotesAsTheyAre) {
    Database d;
    char a[16] = "x";
    std::int16_t b = -5;
    Bound p(&d, "t", {{"a", a, R::typeChar, sizeof a}, {"b", &b, R::typeShort, sizeof b}});
    EXPECT_EQ(p.insertRow(), 0);
    EXPECT_EQ(text(p.statement()), "INSERT INTO t ( a, b ) VALUES ( 'x', -5 )");
    EXPECT_EQ(d.isInTransaction(), 1);
    EXPECT_EQ(p.updateRows(), 0);
    EXPECT_EQ(text(p.statement()), "UPDATE t SET a = 'x', b = -5");
    EXPECT_EQ(p.deleteRows(), 0);
    EXPECT_EQ(text(p.statement()), "DELETE FROM t");

    EXPECT_EQ(p.setFilter("b < 0"), 1);
    p.insertRow();
    EXPECT_EQ(text(p.statement()), "INSERT INTO t ( a, b ) VALUES ( 'x', -5 ) WHERE b < 0");
    p.updateRows();
    EXPECT_EQ(text(p.statement()), "UPDATE t SET a = 'x', b = -5 WHERE b < 0");
    p.deleteRows();
    EXPECT_EQ(text(p.statement()), "DELETE FROM t WHERE b < 0");
    EXPECT_EQ(kel_test::dumpOf(p), "@ class Kel::ResultSet\nDELETE FROM t WHERE b < 0\n");

    p.setFilter("");
    std::strcpy(a, "O'Brien");
    p.insertRow();
    EXPECT_EQ(text(p.statement()), "INSERT INTO t ( a, b ) VALUES ( 'O'Brien', -5 )");
    Database::DeQuote(a, "O'Brien");
    p.insertRow();
    EXPECT_EQ(text(p.statement()), "INSERT INTO t ( a, b ) VALUES ( 'O''Brien', -5 )");

    // A text that fills its buffer without a terminator is read no further than the buffer.
    const char unterminated[3] = {'a', 'b', 'c'};
    EXPECT_EQ(valueText(unterminated, R::typeChar, 3), "'abc'");
}

TEST(ResultSetCompose, ValuesOfEveryTypeAreLiterals) {
    EXPECT_EQ(literal<std::int16_t>(-32768, R::typeShort), "-32768");
    EXPECT_EQ(literal<std::uint16_t>(65535, R::typeUShort), "65535");
    EXPECT_EQ(literal<std::int32_t>(-2147483647 - 1, R::typeLong), "-2147483648");
    EXPECT_EQ(literal<std::uint32_t>(4294967295u, R::typeULong), "4294967295");
    EXPECT_EQ(literal(0.1f, R::typeFloat), "0.1");
    EXPECT_EQ(literal(0.1, R::typeDouble), "0.1");
    EXPECT_EQ(literal(1.0f / 3, R::typeFloat), "0.33333334");
    EXPECT_EQ(literal(1.0 / 3, R::typeDouble), "0.3333333333333333");
    EXPECT_EQ(literal<unsigned char>(7, R::typeBit), "1");
    EXPECT_EQ(literal<signed char>(-128, R::typeTinyInt), "-128");
    EXPECT_EQ(literal<unsigned char>(255, R::typeUTinyInt), "255");
    EXPECT_EQ(literal<std::int64_t>(-9223372036854775807LL - 1, R::typeBigInt), "-9223372036854775808");
    EXPECT_EQ(literal<std::uint64_t>(18446744073709551615ULL, R::typeUBigInt), "18446744073709551615");
    const unsigned char bytes[3] = {0x00, 0xAB, 0x7F};
    EXPECT_EQ(valueText(bytes, R::typeBinary, 3), "X'00AB7F'");
    EXPECT_EQ(literal(SQL_DATE_STRUCT{2024, 3, 5}, R::typeDate), "{d '2024-03-05'}");
    EXPECT_EQ(literal(SQL_TIME_STRUCT{7, 8, 9}, R::typeTime), "{t '07:08:09'}");
    EXPECT_EQ(literal(SQL_TIMESTAMP_STRUCT{2024, 12, 31, 23, 59, 58, 250000000}, R::typeTimestamp),
              "{ts '2024-12-31 23:59:58.25'}");
    // Unscaled values are little-endian: 12345 = 0x3039.
    EXPECT_EQ(literal(SQL_NUMERIC_STRUCT{10, 2, 0, {0x39, 0x30}}, R::typeNumeric), "-123.45");
    EXPECT_EQ(literal(SQL_NUMERIC_STRUCT{10, 3, 1, {5}}, R::typeNumeric), "0.005");
    EXPECT_EQ(literal(SQL_NUMERIC_STRUCT{10, static_cast<SQLSCHAR>(-2), 1, {7}}, R::typeNumeric), "700");
    SQL_NUMERIC_STRUCT huge = {38, 0, 1, {0}};
    std::memset(huge.val, 0xFF, sizeof huge.val); // 2^128 - 1
    EXPECT_EQ(literal(huge, R::typeNumeric), "340282366920938463463374607431768211455");
    EXPECT_EQ(literal<std::int16_t>(1, static_cast<R::bindDataType>(31)), "NULL");
    EXPECT_EQ(valueText(nullptr, R::typeLong, 4), "NULL");
}

namespace {

// A 32-bit variable between two guards: a binding that writes more than 32 bits hits a guard.
struct Guarded32 {
    std::int32_t before;
    std::int32_t value;
    std::int32_t after;
};

const std::int64_t poison = 0x5A5A5A5A5A5A5A5ALL;
const std::int32_t guard = 0x11223344;

class Row : public ResultSet {
public:
    explicit Row(Database* d) : ResultSet(d) {}
    std::int32_t id = 0;
    char txt[1024] = "";
    Guarded32 qty = {guard, 0, guard};
    double price = 0;
    std::int16_t code = 0;
    std::int64_t big = 0;
    SQL_DATE_STRUCT day = {0, 0, 0};

protected:
    void prepareFetch() override {
        // Poison every cell and variable so that a partial write shows.
        for (unsigned short c = 1; c <= 7; ++c) {
            if (std::int64_t* cell = lengthCell(c)) {
                *cell = poison;
            }
        }
        std::memset(txt, 'Z', sizeof txt);
        qty.value = 0x5A5A5A5A;
        id = -1;
    }
    void bindColumns(bindType what) override {
        bindColumn(what, "id", &id, typeLong, sizeof id);
        bindColumn(what, "txt", txt, typeChar, sizeof txt);
        bindColumn(what, "qty", &qty.value, typeLong, sizeof qty.value);
        bindColumn(what, "price", &price, typeDouble, sizeof price);
        bindColumn(what, "code", &code, typeShort, sizeof code);
        bindColumn(what, "big", &big, typeBigInt, sizeof big);
        bindColumn(what, "day", &day, typeDate, sizeof day);
    }
    String tableName() override { return "krs_t"; }
};

} // namespace

class ResultSetBackend : public BackendTest {
protected:
    std::string table() const override {
        return "krs_t (id INTEGER, txt VARCHAR(1100), qty INTEGER, price DOUBLE PRECISION, code SMALLINT, "
               "big BIGINT, day DATE)";
    }
};

TEST_P(ResultSetBackend, ComposedRowsRoundTripAndCellsTellNullEmptyAndLong) {
    Row r(&_d);
    const std::string longText(1000, 'L');
    const struct {
        std::int32_t id;
        const char* txt;
        std::int32_t qty;
    } rows[] = {{1, "", -7}, {2, "O'Brien", 2147483647}, {3, longText.c_str(), -2147483647 - 1}};
    for (const auto& row : rows) {
        r.id = row.id;
        Database::DeQuote(r.txt, row.txt);
        r.qty.value = row.qty;
        r.price = 0.1 * row.id;
        r.code = static_cast<std::int16_t>(-row.id);
        r.big = 5000000000LL * row.id;
        r.day = {2024, 3, static_cast<SQLUSMALLINT>(row.id)};
        r.insertRow();
        run(_d, text(r.statement()));
    }
    run(_d, "INSERT INTO krs_t (id) VALUES (4)");
    _d.commit();

    r.setSort("id");
    EXPECT_EQ(r.open(), 0);
    EXPECT_EQ(text(r.statement()), "SELECT id, txt, qty, price, code, big, day FROM krs_t ORDER BY id");
    // The driver's count for a query: none from SQLite, the whole result from PostgreSQL.
    EXPECT_EQ(r.rowCount(), GetParam() == SQLite ? 0 : 4);
    for (const auto& row : rows) {
        SCOPED_TRACE("row " + std::to_string(row.id));
        ASSERT_EQ(r.fetch(), 0) << text(_d.lastError());
        EXPECT_STREQ(r.txt, row.txt);
        EXPECT_EQ(
            std::make_tuple(r.id, r.columnLength(2), r.isNull(2), r.qty.value, r.columnLength(3)),
            std::make_tuple(row.id, std::int64_t(std::strlen(row.txt)), false, row.qty, std::int64_t(4)));
        EXPECT_EQ(std::make_tuple(r.qty.before, r.qty.after, r.code, r.big, int(r.day.day)),
                  std::make_tuple(guard, guard, std::int16_t(-row.id), 5000000000LL * row.id, row.id));
        EXPECT_DOUBLE_EQ(r.price, 0.1 * row.id);
    }
    ASSERT_EQ(r.fetch(), 0);
    EXPECT_EQ(r.id, 4);
    EXPECT_FALSE(r.isNull(1));
    for (unsigned short c = 2; c <= 7; ++c) {
        EXPECT_TRUE(r.isNull(c)) << "column " << c;
        EXPECT_EQ(r.columnLength(c), -1) << "column " << c;
    }
    EXPECT_FALSE(r.isNull(8));
    EXPECT_EQ(r.fetch(), 1);
    EXPECT_EQ(r.isEOF(), 1);

    // Opening again composes the same text and starts over.
    r.setFilter("id > 2");
    EXPECT_EQ(r.open(), 0);
    EXPECT_EQ(r.isEOF(), 0);
    EXPECT_EQ(text(r.statement()),
              "SELECT id, txt, qty, price, code, big, day FROM krs_t WHERE id > 2 ORDER BY id");
    ASSERT_EQ(r.fetch(), 0);
    EXPECT_EQ(r.id, 3);
    EXPECT_EQ(r.close(), 0);
    EXPECT_EQ(r.isOpen(), 0);
    EXPECT_EQ(r.close(), 0);

    // The composed UPDATE and DELETE run through the database.
    r.id = 2;
    std::strcpy(r.txt, "changed");
    r.day = {2024, 1, 1};
    r.setFilter("id = 2");
    r.updateRows();
    run(_d, text(r.statement()));
    EXPECT_EQ(_d.rowCount(), 1);
    EXPECT_EQ(scalar(_d, "SELECT COUNT(*) FROM krs_t WHERE txt = 'changed'"), 1);
    r.deleteRows();
    run(_d, text(r.statement()));
    EXPECT_EQ(scalar(_d, "SELECT COUNT(*) FROM krs_t"), 3);
}

TEST_P(ResultSetBackend, FailedOpenThrowsTheMessageAndStaysClosed) {
    Row r(&_d);
    EXPECT_THROW_REASON(r.open("SELECT nosuchcolumn FROM krs_t"), DatabaseException, -1);
    const std::string message = errorOf([&] { r.open("SELECT nosuchcolumn FROM krs_t"); });
    EXPECT_NE(message, "");
    EXPECT_EQ(message, text(_d.lastError()));
    EXPECT_EQ(r.isOpen(), 0);
    EXPECT_EQ(r.fetch(), -1);
    // Without a connection, or on a closed one, the message says so.
    Ints none(nullptr);
    EXPECT_EQ(errorOf([&] { none.open("SELECT 1"); }), "the connection is not open");
    EXPECT_EQ(none.isOpen(), 0);
    EXPECT_EQ(none.rowCount(), -1);
    EXPECT_EQ(none.close(), 0);
    Database closed;
    Ints onClosed(&closed);
    EXPECT_EQ(errorOf([&] { onClosed.open(); }), "the connection is not open");
    EXPECT_EQ(text(closed.lastError()), "the connection is not open");
    EXPECT_EQ(onClosed.isOpen(), 0);

    // An open result set opened again releases its first statement; a copy shares none.
    EXPECT_EQ(r.open(), 0);
    EXPECT_EQ(r.open("SELECT id, txt, qty, price, code, big, day FROM krs_t"), 0);
    Row copy(r);
    EXPECT_EQ(copy.isOpen(), 0);
    EXPECT_EQ(r.fetch(), 1);
}

// A bound insert or update that breaks a constraint throws the driver's message and changes no row, not
// even those a multi-row update reached before the one that broke it; the result set carries on.
TEST_P(ResultSetBackend, BoundRowsThatBreakAConstraintThrowTheDriversMessageAndChangeNothing) {
    recreate(_d, "krs_keyed (id INTEGER PRIMARY KEY, name VARCHAR(20) NOT NULL UNIQUE)");
    std::int32_t id = 0;
    char name[21] = "";
    Bound keyed(&_d, "krs_keyed",
                {{"id", &id, R::typeLong, sizeof id}, {"name", name, R::typeChar, sizeof name}});
    for (id = 1; id <= 3; ++id) {
        name[0] = static_cast<char>('a' + id);
        ASSERT_EQ(keyed.insertBound(), 1) << text(_d.lastError());
    }
    const auto mentionsUnique = [](const std::string& m) {
        return m.find("UNIQUE") != std::string::npos || m.find("unique") != std::string::npos;
    };
    const auto listed = [&] {
        std::int32_t i = 0;
        char n[21] = "";
        Bound all(&_d, "krs_keyed", {{"id", &i, R::typeLong, sizeof i}, {"name", n, R::typeChar, sizeof n}});
        all.setSort("id");
        all.open();
        std::string rows;
        while (all.fetch() == 0) {
            rows += std::to_string(i) + n + " ";
        }
        return rows;
    };
    EXPECT_EQ(listed(), "1b 2c 3d ");

    id = 2;
    std::strcpy(name, "z");
    std::string message = errorOf([&] { keyed.insertBound(); });
    EXPECT_TRUE(mentionsUnique(message)) << message;
    EXPECT_EQ(message, text(_d.lastError()));
    EXPECT_EQ(text(keyed.statement()), "INSERT INTO krs_keyed ( id, name ) VALUES ( ?, ? )");

    // Both rows the filter selects are given the same key: the second breaks it, the first stays as it was.
    keyed.setFilter("id >= 2");
    id = 9;
    message = errorOf([&] { keyed.updateBound(); });
    EXPECT_TRUE(mentionsUnique(message)) << message;
    EXPECT_EQ(text(keyed.statement()), "UPDATE krs_keyed SET id = ?, name = ? WHERE id >= 2");
    EXPECT_EQ(listed(), "1b 2c 3d ");
    EXPECT_EQ(_d.isInTransaction(), 0);

    // The result set reads and writes as before.
    keyed.setFilter("");
    id = 4;
    std::strcpy(name, "e");
    EXPECT_EQ(keyed.insertBound(), 1) << text(_d.lastError());
    EXPECT_EQ(listed(), "1b 2c 3d 4e ");
}

DB_TEST_BACKENDS(ResultSetBackend);

class ResultSetSQLite : public DbTest {
protected:
    std::string table() const override {
        return "kms_numbers (us INTEGER, ul INTEGER, f REAL, tiny INTEGER, utiny INTEGER, bit INTEGER, "
               "ubig INTEGER)";
    }
};

TEST_F(ResultSetSQLite, UncommonTypesReadBackAndAssigningOverAnOpenResultSetClosesIt) {
    run(_d, "INSERT INTO kms_numbers VALUES (65535, 4294967295, 0.5, -128, 255, 1, 9223372036854775807)");
    std::uint16_t us = 0;
    std::uint32_t ul = 0;
    float f = 0;
    signed char tiny = 0;
    unsigned char utiny = 0, bit = 0;
    std::uint64_t ubig = 0;
    const std::vector<Bound::Column> columns = {
        {"us", &us, R::typeUShort, sizeof us},       {"ul", &ul, R::typeULong, sizeof ul},
        {"f", &f, R::typeFloat, sizeof f},           {"tiny", &tiny, R::typeTinyInt, sizeof tiny},
        {"utiny", &utiny, R::typeUTinyInt, 1},       {"bit", &bit, R::typeBit, sizeof bit},
        {"ubig", &ubig, R::typeUBigInt, sizeof ubig}};
    Bound open(&_d, "kms_numbers", columns);
    open.setFilter("tiny < 0");
    ASSERT_EQ(open.open(), 0);
    ASSERT_EQ(open.fetch(), 0);
    EXPECT_EQ(std::make_tuple(us, ul, f, int(tiny), int(utiny), int(bit), ubig),
              std::make_tuple(65535u, 4294967295u, 0.5f, -128, 255, 1, 9223372036854775807ull));
    EXPECT_EQ(open.fetch(), 1);
    EXPECT_EQ(open.isEOF(), 1);

    Bound other(nullptr, "kms_numbers", columns);
    open = other;
    EXPECT_EQ(open.isOpen(), 0);
    EXPECT_EQ(open.isEOF(), 0);
    EXPECT_EQ(open.database(), nullptr);

    Bound copy(&_d, "kms_numbers", columns);
    copy.setFilter("tiny > 0");
    ASSERT_EQ(copy.open(), 0);
    open = copy;
    EXPECT_EQ(open.isOpen(), 0);
    EXPECT_EQ(open.database(), &_d);
    EXPECT_EQ(text(open.statement()), text(copy.statement()));
    // The source keeps its own statement.
    EXPECT_EQ(copy.isOpen(), 1);
    EXPECT_EQ(copy.fetch(), 1);
    copy.close();
}
