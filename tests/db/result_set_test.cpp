#include "db_fixture.h"

#include "db/odbc.h"

#include <cstring>
#include <string>

using namespace Kel;
using db_test::BackendTest;
using db_test::run;
using db_test::scalar;
using db_test::text;
using kel_test::dumpOf;

namespace {

// Two columns of table t, for the composed texts.
class Pair : public ResultSet {
public:
    explicit Pair(Database* d) : ResultSet(d) {}
    char a[16] = "x";
    std::int16_t b = -5;

protected:
    void prepareFetch() override {}
    void bindColumns(bindType what) override {
        bindColumn(what, "a", a, typeChar, sizeof a);
        bindColumn(what, "b", &b, typeShort, sizeof b);
    }
    String tableName() override { return "t"; }
};

// One column of any type, for the value texts.
class One : public ResultSet {
public:
    One(const void* value, bindDataType type, int size)
        : ResultSet(nullptr), _value(value), _type(type), _size(size) {}
    std::string valueText() {
        updateRows();
        return text(statement()).substr(std::strlen("UPDATE t SET v = "));
    }

protected:
    void prepareFetch() override {}
    void bindColumns(bindType what) override {
        bindColumn(what, "v", const_cast<void*>(_value), _type, _size);
    }
    String tableName() override { return "t"; }

private:
    const void* _value;
    bindDataType _type;
    int _size;
};

} // namespace

TEST(ResultSetCompose, InsertUpdateDeleteTexts) {
    Database d;
    Pair p(&d);
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
    EXPECT_EQ(dumpOf(p), "@ class Kel::ResultSet\nDELETE FROM t WHERE b < 0\n");
}

TEST(ResultSetCompose, TextsGoBetweenQuotesAsTheyAre) {
    Database d;
    Pair p(&d);
    std::strcpy(p.a, "O'Brien");
    p.insertRow();
    EXPECT_EQ(text(p.statement()), "INSERT INTO t ( a, b ) VALUES ( 'O'Brien', -5 )");
    Database::DeQuote(p.a, "O'Brien");
    p.insertRow();
    EXPECT_EQ(text(p.statement()), "INSERT INTO t ( a, b ) VALUES ( 'O''Brien', -5 )");

    // A text that fills its buffer without a terminator is read no further than the buffer.
    const char unterminated[3] = {'a', 'b', 'c'};
    EXPECT_EQ(One(unterminated, ResultSet::typeChar, 3).valueText(), "'abc'");
}

TEST(ResultSetCompose, ValuesOfEveryTypeAreLiterals) {
    const std::int16_t s = -32768;
    const std::uint16_t us = 65535;
    const std::int32_t l = -2147483647 - 1;
    const std::uint32_t ul = 4294967295u;
    const float f = 0.1f;
    const double dbl = 0.1;
    const double third = 1.0 / 3;
    const float fthird = 1.0f / 3;
    const unsigned char bit = 7;
    const signed char tiny = -128;
    const unsigned char utiny = 255;
    const std::int64_t big = -9223372036854775807LL - 1;
    const std::uint64_t ubig = 18446744073709551615ULL;
    const unsigned char bytes[3] = {0x00, 0xAB, 0x7F};
    SQL_DATE_STRUCT date = {2024, 3, 5};
    SQL_TIME_STRUCT time = {7, 8, 9};
    SQL_TIMESTAMP_STRUCT stamp = {2024, 12, 31, 23, 59, 58, 250000000};
    SQL_NUMERIC_STRUCT price = {10, 2, 0, {0}};
    price.val[0] = 0x39; // 12345 = 0x3039: -123.45
    price.val[1] = 0x30;
    SQL_NUMERIC_STRUCT cents = {10, 3, 1, {0}};
    cents.val[0] = 5; // 0.005
    SQL_NUMERIC_STRUCT hundreds = {10, static_cast<SQLSCHAR>(-2), 1, {0}};
    hundreds.val[0] = 7; // 700
    SQL_NUMERIC_STRUCT huge = {38, 0, 1, {0}};
    std::memset(huge.val, 0xFF, sizeof huge.val); // 2^128 - 1

    const struct {
        const void* value;
        ResultSet::bindDataType type;
        int size;
        const char* literal;
    } cases[] = {
        {&s, ResultSet::typeShort, 2, "-32768"},
        {&us, ResultSet::typeUShort, 2, "65535"},
        {&l, ResultSet::typeLong, 4, "-2147483648"},
        {&ul, ResultSet::typeULong, 4, "4294967295"},
        {&f, ResultSet::typeFloat, 4, "0.1"},
        {&dbl, ResultSet::typeDouble, 8, "0.1"},
        {&fthird, ResultSet::typeFloat, 4, "0.33333334"},
        {&third, ResultSet::typeDouble, 8, "0.3333333333333333"},
        {&bit, ResultSet::typeBit, 1, "1"},
        {&tiny, ResultSet::typeTinyInt, 1, "-128"},
        {&utiny, ResultSet::typeUTinyInt, 1, "255"},
        {&big, ResultSet::typeBigInt, 8, "-9223372036854775808"},
        {&ubig, ResultSet::typeUBigInt, 8, "18446744073709551615"},
        {bytes, ResultSet::typeBinary, 3, "X'00AB7F'"},
        {&date, ResultSet::typeDate, sizeof date, "{d '2024-03-05'}"},
        {&time, ResultSet::typeTime, sizeof time, "{t '07:08:09'}"},
        {&stamp, ResultSet::typeTimestamp, sizeof stamp, "{ts '2024-12-31 23:59:58.25'}"},
        {&price, ResultSet::typeNumeric, sizeof price, "-123.45"},
        {&cents, ResultSet::typeNumeric, sizeof cents, "0.005"},
        {&hundreds, ResultSet::typeNumeric, sizeof hundreds, "700"},
        {&huge, ResultSet::typeNumeric, sizeof huge, "340282366920938463463374607431768211455"},
        {&s, static_cast<ResultSet::bindDataType>(31), 2, "NULL"},
        {nullptr, ResultSet::typeLong, 4, "NULL"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(One(c.value, c.type, c.size).valueText(), c.literal) << "type " << c.type;
    }
}

namespace {

// Columns of the less common variable types.
class Numbers : public ResultSet {
public:
    explicit Numbers(Database* d) : ResultSet(d) {}
    std::uint16_t us = 0;
    std::uint32_t ul = 0;
    float f = 0;
    signed char tiny = 0;
    unsigned char utiny = 0;
    unsigned char bit = 0;
    std::uint64_t ubig = 0;

protected:
    void prepareFetch() override {}
    void bindColumns(bindType what) override {
        bindColumn(what, "us", &us, typeUShort, sizeof us);
        bindColumn(what, "ul", &ul, typeULong, sizeof ul);
        bindColumn(what, "f", &f, typeFloat, sizeof f);
        bindColumn(what, "tiny", &tiny, typeTinyInt, sizeof tiny);
        bindColumn(what, "utiny", &utiny, typeUTinyInt, sizeof utiny);
        bindColumn(what, "bit", &bit, typeBit, sizeof bit);
        bindColumn(what, "ubig", &ubig, typeUBigInt, sizeof ubig);
    }
    String tableName() override { return "kms_numbers"; }
};

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
    for (const auto& row : rows) {
        SCOPED_TRACE("row " + std::to_string(row.id));
        ASSERT_EQ(r.fetch(), 0) << text(_d.lastError());
        EXPECT_EQ(r.id, row.id);
        EXPECT_STREQ(r.txt, row.txt);
        EXPECT_EQ(r.columnLength(2), static_cast<std::int64_t>(std::strlen(row.txt)));
        EXPECT_FALSE(r.isNull(2));
        EXPECT_EQ(r.qty.value, row.qty);
        EXPECT_EQ(r.qty.before, guard);
        EXPECT_EQ(r.qty.after, guard);
        EXPECT_EQ(r.columnLength(3), 4);
        EXPECT_DOUBLE_EQ(r.price, 0.1 * row.id);
        EXPECT_EQ(r.code, -row.id);
        EXPECT_EQ(r.big, 5000000000LL * row.id);
        EXPECT_EQ(r.day.day, row.id);
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

TEST_P(ResultSetBackend, FailedOpenThrowsTheDriversMessageAndStaysClosed) {
    Row r(&_d);
    bool thrown = false;
    try {
        r.open("SELECT nosuchcolumn FROM krs_t");
    } catch (const DatabaseException& e) {
        thrown = true;
        EXPECT_EQ(e.reason(), -1);
        EXPECT_FALSE(text(e.message()).empty());
        EXPECT_EQ(text(e.message()), text(_d.lastError()));
    }
    EXPECT_TRUE(thrown);
    EXPECT_EQ(r.isOpen(), 0);
    EXPECT_EQ(r.fetch(), -1);

    // An open result set opened again releases its first statement; a copy shares none.
    EXPECT_EQ(r.open(), 0);
    EXPECT_EQ(r.open("SELECT id, txt, qty, price, code, big, day FROM krs_t"), 0);
    Row copy(r);
    EXPECT_EQ(copy.isOpen(), 0);
    EXPECT_EQ(r.fetch(), 1);
}

DB_TEST_BACKENDS(ResultSetBackend);

TEST(ResultSetMisuse, OpenWithoutAUsableConnectionThrowsAndStaysClosed) {
    Numbers none(nullptr);
    EXPECT_EQ(none.database(), nullptr);
    try {
        none.open("SELECT 1");
        ADD_FAILURE() << "no exception";
    } catch (const DatabaseException& e) {
        EXPECT_EQ(text(e.message()), "the connection is not open");
    }
    EXPECT_EQ(none.isOpen(), 0);
    EXPECT_EQ(none.rowCount(), -1);
    EXPECT_EQ(none.close(), 0);

    Database closed;
    Numbers onClosed(&closed);
    EXPECT_EQ(onClosed.database(), &closed);
    try {
        onClosed.open();
        ADD_FAILURE() << "no exception";
    } catch (const DatabaseException& e) {
        EXPECT_EQ(text(e.message()), "the connection is not open");
    }
    EXPECT_EQ(text(closed.lastError()), "the connection is not open");
    EXPECT_EQ(onClosed.isOpen(), 0);
}

TEST(ResultSetMisuse, AssigningOverAnOpenResultSetClosesIt) {
    DB_TEST_REQUIRE(db_test::SQLite);
    Database d;
    ASSERT_EQ(d.open("kel_sqlite", "", ""), 0);
    db_test::recreate(d, "kms_numbers (us INTEGER, ul INTEGER, f REAL, tiny INTEGER, utiny INTEGER, "
                         "bit INTEGER, ubig INTEGER)");
    run(d, "INSERT INTO kms_numbers VALUES (65535, 4294967295, 0.5, -128, 255, 1, 9223372036854775807)");

    Numbers open(&d);
    open.setFilter("tiny < 0");
    ASSERT_EQ(open.open(), 0);
    ASSERT_EQ(open.fetch(), 0);
    EXPECT_EQ(open.us, 65535u);
    EXPECT_EQ(open.ul, 4294967295u);
    EXPECT_EQ(open.f, 0.5f);
    EXPECT_EQ(open.tiny, -128);
    EXPECT_EQ(open.utiny, 255);
    EXPECT_EQ(open.bit, 1);
    EXPECT_EQ(open.ubig, 9223372036854775807ull);
    EXPECT_EQ(open.fetch(), 1);
    EXPECT_EQ(open.isEOF(), 1);

    Numbers other(nullptr);
    open = other;
    EXPECT_EQ(open.isOpen(), 0);
    EXPECT_EQ(open.isEOF(), 0);
    EXPECT_EQ(open.database(), nullptr);

    Numbers copy(&d);
    copy.setFilter("tiny > 0");
    ASSERT_EQ(copy.open(), 0);
    open = copy;
    EXPECT_EQ(open.isOpen(), 0);
    EXPECT_EQ(open.database(), &d);
    EXPECT_EQ(text(open.statement()), text(copy.statement()));
    // The source keeps its own statement.
    EXPECT_EQ(copy.isOpen(), 1);
    EXPECT_EQ(copy.fetch(), 1);
    copy.close();
}
