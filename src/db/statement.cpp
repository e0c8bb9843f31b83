#include "db/values.h"

#include "foundation/dump.h"

#include <kel/datetime.h>

#include <cstring>

namespace Kel {

namespace {

SQLHSTMT stmtOf(void* h) {
    return static_cast<SQLHSTMT>(h);
}

// Asks the driver to take rows parameter sets in one execution. A driver may refuse, or take fewer and
// say so with SQL_SUCCESS_WITH_INFO; either way it cannot run the whole batch at once.
bool takesRows(SQLHSTMT stmt, SQLULEN rows) {
    const SQLRETURN r = SQLSetStmtAttr(stmt, SQL_ATTR_PARAMSET_SIZE, reinterpret_cast<SQLPOINTER>(rows), 0);
    if (r != SQL_SUCCESS_WITH_INFO) {
        return r == SQL_SUCCESS;
    }
    SQLULEN taken = 0;
    return detail::succeeded(SQLGetStmtAttr(stmt, SQL_ATTR_PARAMSET_SIZE, &taken, 0, nullptr)) &&
           taken == rows;
}

// The rows that the execution just done affected, -1 when the driver gives no count. A driver that counts
// each parameter set on its own gives one count per set, each reached with SQLMoreResults.
long rowsAffected(SQLHSTMT stmt, SQLHDBC hdbc, unsigned long rows) {
    SQLLEN count = -1;
    SQLRowCount(stmt, &count);
    SQLUINTEGER counting = 0;
    SQLSMALLINT columns = 0;
    // A query's further results are rows to fetch, not counts.
    if (rows < 2 || !detail::succeeded(SQLNumResultCols(stmt, &columns)) || columns != 0 ||
        !detail::succeeded(
            SQLGetInfo(hdbc, SQL_PARAM_ARRAY_ROW_COUNTS, &counting, sizeof counting, nullptr)) ||
        counting != SQL_PARC_BATCH) {
        return static_cast<long>(count);
    }
    long total = static_cast<long>(count);
    while (detail::succeeded(SQLMoreResults(stmt))) {
        SQLLEN more = -1;
        SQLRowCount(stmt, &more);
        total = total < 0 || more < 0 ? -1 : total + static_cast<long>(more);
    }
    return total;
}

} // namespace

Statement::Statement(Database* db)
    : _pDatabase(db), _hStmt(nullptr), _lPrepared(0), _lRowCount(-1), _text(String::null),
      _pParameters(new detail::ParameterList), _pColumns(new detail::ColumnBindings) {
    _link.handle = &_hStmt;
    _link.open = &_lPrepared;
}

Statement::~Statement() {
    release();
    delete _pParameters;
    delete _pColumns;
}

long Statement::prepare(const char* sql) {
    release();
    if (!_pDatabase) {
        return Database::noStatement;
    }
    sql = sql ? sql : "";
    _text = sql;
    SQLHDBC hdbc = static_cast<SQLHDBC>(_pDatabase->_hDbc);
    SQLHSTMT allocated = SQL_NULL_HSTMT;
    if (!detail::succeeded(SQLAllocHandle(SQL_HANDLE_STMT, hdbc, &allocated))) {
        _pDatabase->recordError(SQL_HANDLE_DBC, hdbc, hdbc ? detail::noDiagnostic : detail::notConnected);
        return Database::noStatement;
    }
    detail::StatementGuard stmt(allocated);
    if (!detail::succeeded(SQLPrepare(stmt.get(), reinterpret_cast<SQLCHAR*>(const_cast<char*>(sql)),
                                      static_cast<SQLINTEGER>(std::strlen(sql))))) {
        _pDatabase->recordError(SQL_HANDLE_STMT, stmt.get(), detail::noDiagnostic);
        return Database::failed;
    }
    _hStmt = stmt.release();
    _lPrepared = 1;
    _pDatabase->attach(_link);
    return Database::ok;
}

long Statement::isPrepared() const {
    return _lPrepared;
}

long Statement::setText(unsigned short n, const char* value) {
    return set(n, ResultSet::typeChar, value, 0);
}

long Statement::setText(unsigned short n, const String& value) {
    return set(n, ResultSet::typeChar, static_cast<const char*>(value), 0);
}

long Statement::setInt32(unsigned short n, std::int32_t value) {
    return set(n, ResultSet::typeLong, &value, sizeof value);
}

long Statement::setInt64(unsigned short n, std::int64_t value) {
    return set(n, ResultSet::typeBigInt, &value, sizeof value);
}

long Statement::setDouble(unsigned short n, double value) {
    return set(n, ResultSet::typeDouble, &value, sizeof value);
}

long Statement::setDate(unsigned short n, const Date& value) {
    return set(n, ResultSet::typeKelDate, &value, 0);
}

long Statement::setTime(unsigned short n, const Time& value) {
    return set(n, ResultSet::typeKelTime, &value, 0);
}

long Statement::setTimestamp(unsigned short n, const Timestamp& value) {
    return set(n, ResultSet::typeKelTimestamp, &value, 0);
}

long Statement::setBinary(unsigned short n, const void* bytes, unsigned long size) {
    if (n == 0) {
        return Database::failed;
    }
    _pParameters->set(n, SQL_C_BINARY, SQL_VARBINARY, bytes, bytes ? size : 0);
    return Database::ok;
}

long Statement::setNull(unsigned short n) {
    return set(n, ResultSet::typeChar, nullptr, 0);
}

long Statement::bindArray(unsigned short n, int type, const void* values, int elementSize,
                          std::int64_t* lengths) {
    if (n == 0 || !_pParameters->setArray(n, type, values, elementSize, lengths)) {
        return Database::failed;
    }
    return Database::ok;
}

long Statement::execute() {
    return run(1);
}

long Statement::executeBatch(unsigned long rows) {
    return run(rows);
}

long Statement::rowCount() const {
    return _lRowCount;
}

long Statement::bindColumn(unsigned short column, void* buffer, int type, int size) {
    if (!_lPrepared || column == 0) {
        return Database::failed;
    }
    _pColumns->bind(stmtOf(_hStmt), column, buffer, type, size);
    return Database::ok;
}

long Statement::fetch() {
    if (!_lPrepared) {
        fail("the statement is not prepared");
        return -1;
    }
    const SQLRETURN r = SQLFetch(stmtOf(_hStmt));
    if (r == SQL_NO_DATA) {
        return 1;
    }
    if (!detail::succeeded(r)) {
        fail(detail::noDiagnostic);
        return -1;
    }
    String why;
    if (!_pColumns->convertRow(why)) {
        _pDatabase->_lastError = why;
        return -1;
    }
    return 0;
}

bool Statement::isNull(unsigned short column) const {
    const SQLLEN* cell = _pColumns->cell(column);
    return cell && *cell == SQL_NULL_DATA;
}

std::int64_t Statement::columnLength(unsigned short column) const {
    const SQLLEN* cell = _pColumns->cell(column);
    return cell ? *cell : 0;
}

void Statement::dump(Socket& s) {
    detail::dumpHeader(s, "Kel::Statement");
    detail::dumpLine(s, _text);
}

void Statement::dump(std::ostream& os) {
    detail::dumpHeader(os, "Kel::Statement");
    detail::dumpLine(os, _text);
}

void Statement::release() {
    Database::detach(_link);
    if (_hStmt) {
        SQLFreeStmt(stmtOf(_hStmt), SQL_CLOSE);
        SQLFreeHandle(SQL_HANDLE_STMT, stmtOf(_hStmt));
        _hStmt = nullptr;
    }
    _lPrepared = 0;
    _pParameters->clear();
    _pColumns->reset();
}

long Statement::fail(const char* whenNone) {
    if (_pDatabase) {
        if (_hStmt) {
            _pDatabase->recordError(SQL_HANDLE_STMT, _hStmt, whenNone);
        } else {
            _pDatabase->_lastError = whenNone;
        }
    }
    return Database::failed;
}

long Statement::run(unsigned long rows) {
    if (!_lPrepared) {
        return fail("the statement is not prepared");
    }
    SQLHSTMT stmt = stmtOf(_hStmt);
    SQLFreeStmt(stmt, SQL_CLOSE);
    if (rows == 0) {
        _lRowCount = 0;
        return Database::ok;
    }
    // One row needs no array: a driver that knows nothing of parameter sets runs it all the same.
    if (!takesRows(stmt, rows) && rows > 1) {
        _lRowCount = 0;
        fail("the driver refused the number of rows");
        _pDatabase->_lastError = String("the driver cannot take the batch's rows in one execution, and none "
                                        "was run: ") +
                                 _pDatabase->_lastError;
        return Database::failed;
    }
    if (!_pParameters->bindTo(stmt)) {
        return fail(detail::noDiagnostic);
    }
    const SQLRETURN r = SQLExecute(stmt);
    if (r == SQL_NO_DATA) {
        _lRowCount = 0;
        return Database::ok;
    }
    if (!detail::succeeded(r)) {
        SQLLEN count = -1;
        SQLRowCount(stmt, &count);
        _lRowCount = static_cast<long>(count);
        return fail(detail::noDiagnostic);
    }
    _pDatabase->noteExecuted(stmt);
    _lRowCount = rowsAffected(stmt, static_cast<SQLHDBC>(_pDatabase->_hDbc), rows);
    return Database::ok;
}

long Statement::set(unsigned short n, int type, const void* value, int size) {
    if (n == 0) {
        return Database::failed;
    }
    _pParameters->setFromVariable(n, type, value, size);
    return Database::ok;
}

} // namespace Kel
