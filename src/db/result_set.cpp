#include "db/values.h"

#include <kel/datetime.h>

#include "foundation/dump.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace Kel {

namespace {

SQLHSTMT stmtOf(void* h) {
    return static_cast<SQLHSTMT>(h);
}

bool isEmpty(const String& s) {
    return s.length() == 0;
}

// Appends keyword and value to a composed statement, or nothing when the value is empty.
void appendClause(String& text, const char* keyword, const String& value) {
    if (!isEmpty(value)) {
        text += keyword;
        text += value;
    }
}

// Reads a value of type T from a buffer that need not be aligned for it.
template <typename T> T valueAt(const void* buffer) {
    T v;
    std::memcpy(&v, buffer, sizeof v);
    return v;
}

// The shortest text that reads back as the same value (a float from 6 digits, a double from 15).
void formatReal(char (&text)[96], double v, bool single) {
    for (int digits = single ? 6 : 15;; ++digits) {
        std::snprintf(text, sizeof text, "%.*g", digits, v);
        const double back = std::strtod(text, nullptr);
        const bool same = single ? static_cast<float>(back) == static_cast<float>(v) : back == v;
        if (same || digits >= (single ? 9 : 17)) {
            return;
        }
    }
}

void appendText(String& out, const char* text, int size) {
    std::size_t n;
    if (size > 0) {
        const void* end = std::memchr(text, '\0', static_cast<std::size_t>(size));
        n = end ? static_cast<std::size_t>(static_cast<const char*>(end) - text)
                : static_cast<std::size_t>(size);
    } else {
        n = std::strlen(text);
    }
    if (size <= 0 || n < static_cast<std::size_t>(size)) {
        out += text;
    } else {
        String bounded;
        bounded.copy(text, static_cast<unsigned long>(n));
        out += bounded;
    }
}

void appendHex(String& out, const unsigned char* bytes, int size) {
    static const char digits[] = "0123456789ABCDEF";
    out += "X'";
    for (int i = 0; i < size; ++i) {
        out += digits[bytes[i] >> 4];
        out += digits[bytes[i] & 15];
    }
    out += '\'';
}

// The decimal text of an ODBC numeric: a 128-bit little-endian magnitude, a sign (1 positive) and a
// scale (digits after the decimal point; negative scales multiply by powers of ten).
void appendNumeric(String& out, const SQL_NUMERIC_STRUCT& v) {
    unsigned char magnitude[SQL_MAX_NUMERIC_LEN];
    std::memcpy(magnitude, v.val, sizeof magnitude);
    char digits[SQL_MAX_NUMERIC_LEN * 3 + 140]; // least significant first
    int count = 0;
    bool zero = true;
    do {
        unsigned remainder = 0;
        zero = true;
        for (int i = SQL_MAX_NUMERIC_LEN - 1; i >= 0; --i) {
            const unsigned current = remainder * 256u + magnitude[i];
            magnitude[i] = static_cast<unsigned char>(current / 10u);
            remainder = current % 10u;
            zero = zero && magnitude[i] == 0;
        }
        digits[count++] = static_cast<char>('0' + remainder);
    } while (!zero);
    const bool isZero = count == 1 && digits[0] == '0';
    const int scale = static_cast<signed char>(v.scale);
    if (v.sign == 0 && !isZero) {
        out += '-';
    }
    if (scale <= 0) {
        for (int i = count - 1; i >= 0; --i) {
            out += digits[i];
        }
        for (int i = 0; i < -scale && !isZero; ++i) {
            out += '0';
        }
        return;
    }
    while (count <= scale) {
        digits[count++] = '0';
    }
    for (int i = count - 1; i >= 0; --i) {
        out += digits[i];
        if (i == scale) {
            out += '.';
        }
    }
}

void appendEscape(String& out, const char* opening, const String& value) {
    out += opening;
    out += value;
    out += "'}";
}

// The SQL literal of the value at buffer.
void appendValue(String& out, const void* buffer, int type, int size) {
    char text[96];
    if (!buffer) {
        out += "NULL";
        return;
    }
    switch (type) {
    case ResultSet::typeChar:
        out += '\'';
        appendText(out, static_cast<const char*>(buffer), size);
        out += '\'';
        return;
    case ResultSet::typeShort:
        std::snprintf(text, sizeof text, "%i", static_cast<int>(valueAt<std::int16_t>(buffer)));
        break;
    case ResultSet::typeUShort:
        std::snprintf(text, sizeof text, "%u", static_cast<unsigned>(valueAt<std::uint16_t>(buffer)));
        break;
    case ResultSet::typeLong:
        std::snprintf(text, sizeof text, "%li", static_cast<long>(valueAt<std::int32_t>(buffer)));
        break;
    case ResultSet::typeULong:
        std::snprintf(text, sizeof text, "%lu", static_cast<unsigned long>(valueAt<std::uint32_t>(buffer)));
        break;
    case ResultSet::typeFloat:
        formatReal(text, static_cast<double>(valueAt<float>(buffer)), true);
        break;
    case ResultSet::typeDouble:
        formatReal(text, valueAt<double>(buffer), false);
        break;
    case ResultSet::typeBit:
        std::snprintf(text, sizeof text, "%u", valueAt<unsigned char>(buffer) ? 1u : 0u);
        break;
    case ResultSet::typeTinyInt:
        std::snprintf(text, sizeof text, "%i", static_cast<int>(valueAt<signed char>(buffer)));
        break;
    case ResultSet::typeUTinyInt:
        std::snprintf(text, sizeof text, "%u", static_cast<unsigned>(valueAt<unsigned char>(buffer)));
        break;
    case ResultSet::typeBigInt:
        std::snprintf(text, sizeof text, "%lld", static_cast<long long>(valueAt<std::int64_t>(buffer)));
        break;
    case ResultSet::typeUBigInt:
        std::snprintf(text, sizeof text, "%llu",
                      static_cast<unsigned long long>(valueAt<std::uint64_t>(buffer)));
        break;
    case ResultSet::typeBinary:
        appendHex(out, static_cast<const unsigned char*>(buffer), size);
        return;
    case ResultSet::typeDate: {
        const SQL_DATE_STRUCT d = valueAt<SQL_DATE_STRUCT>(buffer);
        std::snprintf(text, sizeof text, "{d '%04d-%02u-%02u'}", static_cast<int>(d.year),
                      static_cast<unsigned>(d.month), static_cast<unsigned>(d.day));
        break;
    }
    case ResultSet::typeTime: {
        const SQL_TIME_STRUCT t = valueAt<SQL_TIME_STRUCT>(buffer);
        std::snprintf(text, sizeof text, "{t '%02u:%02u:%02u'}", static_cast<unsigned>(t.hour),
                      static_cast<unsigned>(t.minute), static_cast<unsigned>(t.second));
        break;
    }
    case ResultSet::typeTimestamp: {
        const SQL_TIMESTAMP_STRUCT t = valueAt<SQL_TIMESTAMP_STRUCT>(buffer);
        int n = std::snprintf(text, sizeof text, "{ts '%04d-%02u-%02u %02u:%02u:%02u",
                              static_cast<int>(t.year), static_cast<unsigned>(t.month),
                              static_cast<unsigned>(t.day), static_cast<unsigned>(t.hour),
                              static_cast<unsigned>(t.minute), static_cast<unsigned>(t.second));
        if (t.fraction != 0) {
            // Nanoseconds, without the trailing zeros.
            n += std::snprintf(text + n, sizeof text - static_cast<std::size_t>(n), ".%09lu",
                               static_cast<unsigned long>(t.fraction));
            while (text[n - 1] == '0') {
                text[--n] = '\0';
            }
        }
        std::snprintf(text + n, sizeof text - static_cast<std::size_t>(n), "'}");
        break;
    }
    case ResultSet::typeNumeric:
        appendNumeric(out, valueAt<SQL_NUMERIC_STRUCT>(buffer));
        return;
    case ResultSet::typeKelDate:
        if (static_cast<const Date*>(buffer)->year() == 0) {
            out += "NULL";
        } else {
            appendEscape(out, "{d '", static_cast<const Date*>(buffer)->format("YYYY-MM-DD"));
        }
        return;
    case ResultSet::typeKelTime:
        appendEscape(out, "{t '", static_cast<const Time*>(buffer)->format("HH:NN:SS"));
        return;
    case ResultSet::typeKelTimestamp: {
        const Timestamp& t = *static_cast<const Timestamp*>(buffer);
        if (t.year() == 0) {
            out += "NULL";
            return;
        }
        appendEscape(out, "{ts '", t.Date::format("YYYY-MM-DD") + " " + t.Time::format("HH:NN:SS"));
        return;
    }
    default:
        out += "NULL";
        return;
    }
    out += text;
}

// Runs the statement text on stmt.
SQLRETURN executeText(SQLHSTMT stmt, const char* text) {
    return SQLExecDirect(stmt, reinterpret_cast<SQLCHAR*>(const_cast<char*>(text)),
                         static_cast<SQLINTEGER>(std::strlen(text)));
}

} // namespace

ResultSet::ResultSet(Database* db)
    : _usNextColumn(1), _pColumns(new detail::ColumnBindings), _pParameters(nullptr), _lOpen(0), _lEOF(0),
      _statement(""), _filter(""), _sort(""), _hStmt(nullptr), _pDatabase(db) {
    _link.handle = &_hStmt;
    _link.open = &_lOpen;
}

ResultSet::ResultSet(const ResultSet& o)
    : KELBase(o), _usNextColumn(1), _pColumns(new detail::ColumnBindings), _pParameters(nullptr), _lOpen(0),
      _lEOF(0), _statement(o._statement), _filter(o._filter), _sort(o._sort), _hStmt(nullptr),
      _pDatabase(o._pDatabase) {
    _link.handle = &_hStmt;
    _link.open = &_lOpen;
}

ResultSet& ResultSet::operator=(const ResultSet& o) {
    if (this != &o) {
        close();
        KELBase::operator=(o);
        _lEOF = 0;
        _statement = o._statement;
        _filter = o._filter;
        _sort = o._sort;
        _pDatabase = o._pDatabase;
    }
    return *this;
}

ResultSet::~ResultSet() {
    close();
    delete _pColumns;
}

long ResultSet::setFilter(const String& filter) {
    _filter = filter;
    return 1;
}

long ResultSet::setSort(const String& sort) {
    _sort = sort;
    return 1;
}

using detail::StatementGuard;

long ResultSet::open(const String& sql) {
    if (_lOpen) {
        close();
    }
    _lEOF = 0;
    if (!_pDatabase) {
        throw DatabaseException(detail::notConnected);
    }
    // The hooks may throw: the text is composed before any handle exists.
    if (isEmpty(sql)) {
        composeSelect();
    } else {
        _statement = sql;
    }
    StatementGuard stmt(static_cast<SQLHSTMT>(allocateStatement()));
    const SQLRETURN r = executeText(stmt.get(), _statement);
    _hStmt = stmt.get();
    if (r == SQL_SUCCESS_WITH_INFO) {
        getCommunication();
    } else if (r != SQL_SUCCESS) {
        getCommunication();
        if (r == SQL_NO_DATA) {
            _pDatabase->_lastError = detail::noRowAffected;
        }
        _hStmt = nullptr;
        throw DatabaseException(_pDatabase->_lastError);
    }
    _pColumns->reset();
    _usNextColumn = 1;
    try {
        bindColumns(resultColumn);
    } catch (...) {
        _hStmt = nullptr;
        throw;
    }
    _pDatabase->noteExecuted(stmt.get());
    stmt.release();
    _lOpen = 1;
    _pDatabase->attach(_link);
    return 0;
}

long ResultSet::fetch() {
    prepareFetch();
    if (!_lOpen) {
        getCommunication();
        return -1;
    }
    const SQLRETURN r = SQLFetch(stmtOf(_hStmt));
    if (r == SQL_SUCCESS_WITH_INFO) {
        getCommunication();
    }
    if (r == SQL_SUCCESS || r == SQL_SUCCESS_WITH_INFO) {
        String why;
        if (!_pColumns->convertRow(why)) {
            _pDatabase->_lastError = why;
            return -1;
        }
        return 0;
    }
    if (r == SQL_NO_DATA) {
        _lEOF = 1;
        return 1;
    }
    getCommunication();
    return -1;
}

long ResultSet::isEOF() const {
    return _lEOF;
}

long ResultSet::isOpen() const {
    return _lOpen;
}

long ResultSet::rowCount() {
    SQLLEN rows = -1;
    if (_hStmt) {
        SQLRowCount(stmtOf(_hStmt), &rows);
    }
    return static_cast<long>(rows);
}

long ResultSet::close() {
    if (!_lOpen) {
        return 0;
    }
    _lOpen = 0;
    freeStatement();
    return 0;
}

long ResultSet::insertRow() {
    _statement = "";
    bindColumns(selectColumn);
    String text("INSERT INTO ");
    text += tableName();
    text += " ( ";
    text += _statement;
    text += " ) VALUES ( ";
    _statement = "";
    bindColumns(insertValue);
    text += _statement;
    text += " )";
    appendClause(text, " WHERE ", _filter);
    _statement = text;
    if (_pDatabase) {
        _pDatabase->_lTransaction = 1;
    }
    return 0;
}

long ResultSet::updateRows() {
    _statement = "";
    bindColumns(updateValue);
    String text("UPDATE ");
    text += tableName();
    text += " SET ";
    text += _statement;
    appendClause(text, " WHERE ", _filter);
    _statement = text;
    if (_pDatabase) {
        _pDatabase->_lTransaction = 1;
    }
    return 0;
}

// Runs the subclass's bindColumns in a parameter pass: the values go into parameters and the
// placeholders into _statement. The column counter and the collecting list are restored on every way out.
void ResultSet::collectParameters(bindType pass, detail::ParameterList& parameters) {
    struct Restore {
        ResultSet& rs;
        unsigned short column;
        ~Restore() {
            rs._pParameters = nullptr;
            rs._usNextColumn = column;
        }
    } restore{*this, _usNextColumn};
    _pParameters = &parameters;
    _usNextColumn = 1;
    _statement = "";
    bindColumns(pass);
}

long ResultSet::insertBound() {
    _statement = "";
    bindColumns(selectColumn);
    String names(_statement);
    detail::ParameterList parameters;
    collectParameters(insertParameter, parameters);
    String text("INSERT INTO ");
    text += tableName();
    text += " ( ";
    text += names;
    text += " ) VALUES ( ";
    text += _statement;
    text += " )";
    _statement = text;
    return executeBound(parameters);
}

long ResultSet::updateBound() {
    detail::ParameterList parameters;
    collectParameters(updateParameter, parameters);
    String text("UPDATE ");
    text += tableName();
    text += " SET ";
    text += _statement;
    appendClause(text, " WHERE ", _filter);
    _statement = text;
    return executeBound(parameters);
}

long ResultSet::deleteRows() {
    String text("DELETE FROM ");
    text += tableName();
    appendClause(text, " WHERE ", _filter);
    _statement = text;
    if (_pDatabase) {
        _pDatabase->_lTransaction = 1;
    }
    return 0;
}

const String& ResultSet::statement() const {
    return _statement;
}

Database* ResultSet::database() const {
    return _pDatabase;
}

bool ResultSet::isNull(unsigned short column) const {
    const std::int64_t* cell = _pColumns->cell(column);
    return cell && *cell == SQL_NULL_DATA;
}

std::int64_t ResultSet::columnLength(unsigned short column) const {
    const std::int64_t* cell = _pColumns->cell(column);
    return cell ? *cell : 0;
}

void ResultSet::dump(Socket& s) {
    detail::dumpHeader(s, "Kel::ResultSet");
    detail::dumpLine(s, _statement);
}

void ResultSet::dump(std::ostream& os) {
    detail::dumpHeader(os, "Kel::ResultSet");
    detail::dumpLine(os, _statement);
}

long ResultSet::bindColumn(bindType what, const char* name, void* buffer, bindDataType type, int size) {
    switch (what) {
    case selectColumn:
        if (!isEmpty(_statement)) {
            _statement += ", ";
        }
        _statement += name;
        break;
    case insertValue:
        if (!isEmpty(_statement)) {
            _statement += ", ";
        }
        appendValue(_statement, buffer, type, size);
        break;
    case updateValue:
        if (!isEmpty(_statement)) {
            _statement += ", ";
        }
        _statement += name;
        _statement += " = ";
        appendValue(_statement, buffer, type, size);
        break;
    case resultColumn:
        _pColumns->bind(stmtOf(_hStmt), _usNextColumn++, buffer, type, size);
        break;
    case insertParameter:
    case updateParameter:
        if (!isEmpty(_statement)) {
            _statement += ", ";
        }
        if (what == updateParameter) {
            _statement += name;
            _statement += " = ";
        }
        if (_pParameters && _pParameters->setFromVariable(_usNextColumn++, type, buffer, size)) {
            _statement += "?";
        } else {
            _statement += "NULL";
        }
        break;
    default:
        break;
    }
    return 0;
}

long ResultSet::getCommunication() {
    char message[400];
    SQLINTEGER native = 0;
    const bool found = detail::readDiagnostic(SQL_HANDLE_STMT, _hStmt, message, &native);
    if (_pDatabase) {
        _pDatabase->_lastError =
            found ? message : (_hStmt ? detail::noDiagnostic : "the result set is not open");
    }
    return static_cast<long>(native);
}

std::int64_t* ResultSet::lengthCell(unsigned short column) {
    return _pColumns->cell(column);
}

void* ResultSet::allocateStatement() {
    SQLHDBC hdbc = static_cast<SQLHDBC>(_pDatabase->_hDbc);
    SQLHSTMT allocated = SQL_NULL_HSTMT;
    if (!detail::succeeded(SQLAllocHandle(SQL_HANDLE_STMT, hdbc, &allocated))) {
        _pDatabase->recordError(SQL_HANDLE_DBC, hdbc, hdbc ? detail::noDiagnostic : detail::notConnected);
        throw DatabaseException(_pDatabase->_lastError);
    }
    return allocated;
}

long ResultSet::executeBound(detail::ParameterList& parameters) {
    if (!_pDatabase) {
        throw DatabaseException(detail::notConnected);
    }
    StatementGuard stmt(static_cast<SQLHSTMT>(allocateStatement()));
    if (!parameters.bindTo(stmt.get())) {
        _pDatabase->recordError(SQL_HANDLE_STMT, stmt.get(), detail::noDiagnostic);
        throw DatabaseException(_pDatabase->_lastError);
    }
    const SQLRETURN r = executeText(stmt.get(), _statement);
    if (r == SQL_NO_DATA) {
        return 0; // an update that matched no row
    }
    if (!detail::succeeded(r)) {
        _pDatabase->recordError(SQL_HANDLE_STMT, stmt.get(), detail::noDiagnostic);
        throw DatabaseException(_pDatabase->_lastError);
    }
    _pDatabase->noteExecuted(stmt.get());
    SQLLEN rows = -1;
    SQLRowCount(stmt.get(), &rows);
    return static_cast<long>(rows);
}

void ResultSet::composeSelect() {
    _statement = "";
    bindColumns(selectColumn);
    String text("SELECT ");
    text += _statement;
    text += " FROM ";
    text += tableName();
    appendClause(text, " WHERE ", _filter);
    appendClause(text, " ORDER BY ", _sort);
    _statement = text;
}

void ResultSet::freeStatement() {
    Database::detach(_link);
    SQLHSTMT stmt = stmtOf(_hStmt);
    if (!stmt) {
        return;
    }
    SQLFreeStmt(stmt, SQL_UNBIND);
    SQLFreeStmt(stmt, SQL_RESET_PARAMS);
    SQLFreeStmt(stmt, SQL_CLOSE);
    if (!detail::succeeded(SQLFreeHandle(SQL_HANDLE_STMT, stmt))) {
        getCommunication();
    }
    _hStmt = nullptr;
}

} // namespace Kel
