#include "db/db_internal.h"

#include "foundation/dump.h"

#include <cstring>

namespace Kel {

namespace {

SQLHDBC dbcOf(void* h) {
    return static_cast<SQLHDBC>(h);
}

SQLCHAR* sqlText(const char* s) {
    return reinterpret_cast<SQLCHAR*>(const_cast<char*>(s));
}

const char* orEmpty(const char* s) {
    return s ? s : "";
}

void copyName(char (&field)[32], const char* s) {
    const std::size_t n = std::strlen(s);
    std::memcpy(field, s, n + 1);
}

SQLRETURN setAutoCommit(SQLHDBC h, bool on) {
    const SQLULEN mode = on ? SQL_AUTOCOMMIT_ON : SQL_AUTOCOMMIT_OFF;
    return SQLSetConnectAttr(h, SQL_ATTR_AUTOCOMMIT, reinterpret_cast<SQLPOINTER>(mode), SQL_IS_UINTEGER);
}

} // namespace

Database::Database()
    : _lAllocated(0), _lConnected(0), _lAutoCommit(0), _lTransaction(0), _lRowCount(-1), _szSource(),
      _szUser(), _szPassword(), _lastError(""), _hDbc(nullptr), _pStatements(nullptr), _lNativeTransaction(0),
      _lWorkPending(0) {}

Database::Database(const Database& o) : Database() {
    KELBase::operator=(o);
}

Database& Database::operator=(const Database& o) {
    if (this != &o) {
        close();
        KELBase::operator=(o);
    }
    return *this;
}

Database::~Database() {
    close();
}

long Database::open(const char* source, const char* user, const char* password) {
    const ODBCEnvironment& environment = detail::odbcEnvironment();
    if (!environment.isReady()) {
        return notReady;
    }
    source = orEmpty(source);
    user = orEmpty(user);
    password = orEmpty(password);
    // No data source name holds '=': such a source is a connection string, which pools and automatic
    // managers pass through here.
    if (std::strchr(source, '=')) {
        if (std::strlen(user) > maxNameLength || std::strlen(password) > maxNameLength) {
            _lastError = "the user or password is longer than 31 characters";
            return nameTooLong;
        }
        String connection(source);
        if (*user) {
            connection += ";UID=";
            connection += user;
        }
        if (*password) {
            connection += ";PWD=";
            connection += password;
        }
        const long result = openConnectionString(connection);
        copyName(_szUser, user);
        copyName(_szPassword, password);
        return result;
    }
    if (std::strlen(source) > maxNameLength || std::strlen(user) > maxNameLength ||
        std::strlen(password) > maxNameLength) {
        _lastError = "the data source name, user or password is longer than 31 characters";
        return nameTooLong;
    }
    if (_lAllocated || _lConnected) {
        close();
    }
    copyName(_szSource, source);
    copyName(_szUser, user);
    copyName(_szPassword, password);

    return connectWith(nullptr, false);
}

long Database::openConnectionString(const char* connection) {
    const ODBCEnvironment& environment = detail::odbcEnvironment();
    if (!environment.isReady()) {
        return notReady;
    }
    connection = orEmpty(connection);
    if (_lAllocated || _lConnected) {
        close();
    }
    // The dump shows the part before the first ';' (normally "Driver=..." or "DSN=...").
    const char* end = std::strchr(connection, ';');
    std::size_t n = end ? static_cast<std::size_t>(end - connection) : std::strlen(connection);
    n = n > std::size_t(maxNameLength) ? std::size_t(maxNameLength) : n;
    std::memcpy(_szSource, connection, n);
    _szSource[n] = '\0';
    if (n >= 4 && detail::passwordOf(_szSource).length() > 0) {
        std::strcpy(_szSource, "PWD=****");
    }
    _szUser[0] = '\0';
    _szPassword[0] = '\0';
    _connection = connection;
    return connectWith(connection, true);
}

long Database::connectWith(const char* connection, bool connectionString) {
    const ODBCEnvironment& environment = detail::odbcEnvironment();
    SQLHENV henv = static_cast<SQLHENV>(environment.handle());
    SQLHDBC hdbc = SQL_NULL_HDBC;
    _lAllocated = 1;
    if (!detail::succeeded(SQLAllocHandle(SQL_HANDLE_DBC, henv, &hdbc))) {
        recordError(SQL_HANDLE_ENV, henv, detail::noDiagnostic);
        _lAllocated = 0;
        return noHandle;
    }
    _hDbc = hdbc;
    SQLRETURN r;
    if (connectionString) {
        SQLSMALLINT written = 0;
        r = SQLDriverConnect(hdbc, nullptr, sqlText(connection), SQL_NTS, nullptr, 0, &written,
                             SQL_DRIVER_NOPROMPT);
    } else {
        r = SQLConnect(hdbc, sqlText(_szSource), static_cast<SQLSMALLINT>(std::strlen(_szSource)),
                       sqlText(_szUser), static_cast<SQLSMALLINT>(std::strlen(_szUser)), sqlText(_szPassword),
                       static_cast<SQLSMALLINT>(std::strlen(_szPassword)));
    }
    if (!detail::succeeded(r)) {
        recordError(SQL_HANDLE_DBC, hdbc, detail::noDiagnostic);
        _connection = nullptr;
        SQLFreeHandle(SQL_HANDLE_DBC, hdbc);
        _hDbc = nullptr;
        _lAllocated = 0;
        return failed;
    }
    _lConnected = 1;
    _lTransaction = 0;
    _lNativeTransaction = 0;
    _lWorkPending = 0;
    // ODBC opens connections in auto-commit mode unless the driver or data source says otherwise.
    SQLULEN mode = SQL_AUTOCOMMIT_ON;
    if (!detail::succeeded(SQLGetConnectAttr(hdbc, SQL_ATTR_AUTOCOMMIT, &mode, 0, nullptr))) {
        mode = SQL_AUTOCOMMIT_ON;
    }
    _lAutoCommit = mode == SQL_AUTOCOMMIT_OFF ? 0 : 1;
    return ok;
}

long Database::close() {
    if (_lConnected) {
        if (_lTransaction) {
            rollback();
        }
        endStatements();
        if (!disconnect()) {
            return failed;
        }
    }
    if (_lAllocated) {
        SQLFreeHandle(SQL_HANDLE_DBC, dbcOf(_hDbc));
        _lAllocated = 0;
    }
    _hDbc = nullptr;
    _lAutoCommit = 0;
    _lTransaction = 0;
    _lNativeTransaction = 0;
    _lWorkPending = 0;
    _connection = nullptr;
    _szSource[0] = '\0';
    _szUser[0] = '\0';
    _szPassword[0] = '\0';
    return ok;
}

long Database::isOpen() const {
    return _lConnected;
}

long Database::execute(const char* sql) {
    SQLHSTMT stmt = SQL_NULL_HSTMT;
    if (!detail::succeeded(SQLAllocHandle(SQL_HANDLE_STMT, dbcOf(_hDbc), &stmt))) {
        recordError(SQL_HANDLE_DBC, _hDbc, _hDbc ? detail::noDiagnostic : detail::notConnected);
        return noStatement;
    }
    long result = ok;
    sql = orEmpty(sql);
    const SQLRETURN r = SQLExecDirect(stmt, sqlText(sql), static_cast<SQLINTEGER>(std::strlen(sql)));
    if (!detail::succeeded(r)) {
        recordError(SQL_HANDLE_STMT, stmt, r == SQL_NO_DATA ? detail::noRowAffected : detail::noDiagnostic);
        result = failed;
    } else {
        noteExecuted(stmt);
    }
    // Some drivers leave the count alone when they have none to give.
    SQLLEN rows = -1;
    SQLRowCount(stmt, &rows);
    _lRowCount = static_cast<long>(rows);
    if (!detail::succeeded(SQLFreeHandle(SQL_HANDLE_STMT, stmt))) {
        recordError(SQL_HANDLE_STMT, stmt, detail::noDiagnostic);
        result = notReleased;
    }
    return result;
}

long Database::rowCount() const {
    return _lRowCount;
}

long Database::begin() {
    long result = ok;
    if (_lAutoCommit && !detail::succeeded(setAutoCommit(dbcOf(_hDbc), false))) {
        recordError(SQL_HANDLE_DBC, _hDbc, _hDbc ? detail::noDiagnostic : detail::notConnected);
        result = failed;
    }
    _lTransaction = 1;
    return result;
}

long Database::beginWrite() {
    if (_lConnected && isSQLite()) {
        // The driver's own transactions start deferred, and a deferred transaction that comes to write
        // after another writer fails at once: BEGIN IMMEDIATE waits for the write lock instead. It needs
        // the driver in auto-commit mode, and switching to it would commit the work of manual mode.
        if (!_lAutoCommit && (_lWorkPending || _lTransaction)) {
            _lastError = "work is pending in manual-commit mode, and beginWrite() would commit it: commit "
                         "or roll it back first";
            return failed;
        }
        if (!_lAutoCommit && !detail::succeeded(setAutoCommit(dbcOf(_hDbc), true))) {
            recordError(SQL_HANDLE_DBC, _hDbc, detail::noDiagnostic);
            return failed;
        }
        if (execute("BEGIN IMMEDIATE") != ok) {
            if (!_lAutoCommit) {
                setAutoCommit(dbcOf(_hDbc), false);
            }
            return failed;
        }
        _lNativeTransaction = 1;
        _lTransaction = 1;
        return ok;
    }
    return begin();
}

long Database::commit() {
    return endTransaction(SQL_COMMIT);
}

long Database::rollback() {
    return endTransaction(SQL_ROLLBACK);
}

long Database::endTransaction(short completion) {
    if (_lNativeTransaction) {
        _lNativeTransaction = 0;
        _lTransaction = 0;
        const long result = execute(completion == SQL_COMMIT ? "COMMIT" : "ROLLBACK");
        if (!_lAutoCommit) {
            setAutoCommit(dbcOf(_hDbc), false);
        }
        _lWorkPending = 0;
        return result == ok ? ok : failed;
    }
    long result = ok;
    if (!detail::succeeded(SQLEndTran(SQL_HANDLE_DBC, dbcOf(_hDbc), completion))) {
        recordError(SQL_HANDLE_DBC, _hDbc, _hDbc ? detail::noDiagnostic : detail::notConnected);
        result = failed;
    }
    if (_lAutoCommit) {
        setAutoCommit(dbcOf(_hDbc), true);
    }
    _lTransaction = 0;
    _lWorkPending = 0;
    return result;
}

long Database::enableAutoCommit(long on) {
    const SQLRETURN r = setAutoCommit(dbcOf(_hDbc), on != 0);
    _lAutoCommit = on ? 1 : 0;
    if (!detail::succeeded(r)) {
        recordError(SQL_HANDLE_DBC, _hDbc, _hDbc ? detail::noDiagnostic : detail::notConnected);
        return failed;
    }
    if (on) {
        _lWorkPending = 0; // committed by the switch
    }
    return ok;
}

long Database::isAutoCommit() const {
    return _lAutoCommit;
}

long Database::isInTransaction() const {
    return _lTransaction;
}

String Database::lastError() const {
    return _lastError;
}

void* Database::handle() const {
    return _hDbc;
}

char* Database::DeQuote(char* dest, const char* src) {
    if (!dest) {
        return dest;
    }
    char* out = dest;
    for (const char* in = orEmpty(src); *in; ++in) {
        if (*in == '\'') {
            *out++ = '\'';
        }
        *out++ = *in;
    }
    *out = '\0';
    return dest;
}

void Database::dump(Socket& s) {
    detail::dumpHeader(s, "Kel::Database");
    detail::dumpLine(s, dumpText());
}

void Database::dump(std::ostream& os) {
    detail::dumpHeader(os, "Kel::Database");
    detail::dumpLine(os, dumpText());
}

String Database::dumpText() const {
    String line("Src=");
    line += _szSource;
    line += " Usr=";
    line += _szUser;
    line += "Pwd=";
    line += detail::maskedPassword(_szPassword);
    return line;
}

void Database::recordError(short handleType, void* handle, const char* whenNone) {
    char message[400];
    if (detail::readDiagnostic(handleType, handle, message, nullptr)) {
        _lastError = message;
    } else {
        _lastError = whenNone;
    }
    scrubPassword();
}

// Drivers may quote the connection string in their messages: its PWD= value never reaches lastError().
void Database::scrubPassword() {
    const char* connection = _connection;
    if (connection) {
        _lastError = detail::scrubbed(_lastError, detail::passwordOf(connection));
    }
}

// In manual-commit mode, records that a statement which returns no rows ran: its work stays pending until
// the transaction ends. Queries do not count: ending a transaction that only read loses nothing.
void Database::noteExecuted(void* stmt) {
    SQLSMALLINT columns = 0;
    if (!_lAutoCommit &&
        (!detail::succeeded(SQLNumResultCols(static_cast<SQLHSTMT>(stmt), &columns)) || columns == 0)) {
        _lWorkPending = 1;
    }
}

bool Database::isSQLite() {
    char name[64] = {0};
    SQLSMALLINT length = 0;
    if (!detail::succeeded(SQLGetInfo(dbcOf(_hDbc), SQL_DBMS_NAME, name, sizeof name, &length))) {
        return false;
    }
    return std::strncmp(name, "SQLite", 6) == 0;
}

bool Database::disconnect() {
    SQLHDBC hdbc = dbcOf(_hDbc);
    if (!detail::succeeded(SQLDisconnect(hdbc))) {
        // Drivers refuse to disconnect in the middle of a transaction, even one nobody recorded.
        SQLEndTran(SQL_HANDLE_DBC, hdbc, SQL_ROLLBACK);
        if (!detail::succeeded(SQLDisconnect(hdbc))) {
            recordError(SQL_HANDLE_DBC, hdbc, detail::noDiagnostic);
            return false;
        }
    }
    _lConnected = 0;
    return true;
}

void Database::attach(detail::StatementLink& link) {
    link.db = this;
    link.prev = nullptr;
    link.next = _pStatements;
    if (_pStatements) {
        _pStatements->prev = &link;
    }
    _pStatements = &link;
}

void Database::detach(detail::StatementLink& link) {
    Database* db = link.db;
    if (!db) {
        return;
    }
    if (link.prev) {
        link.prev->next = link.next;
    } else {
        db->_pStatements = link.next;
    }
    if (link.next) {
        link.next->prev = link.prev;
    }
    link.db = nullptr;
    link.prev = nullptr;
    link.next = nullptr;
}

// A driver refuses to disconnect while statements are open on the connection, and a statement handle
// must not outlive its connection: each one still open is released here and its owner sees it closed.
void Database::endStatements() {
    while (_pStatements) {
        detail::StatementLink& link = *_pStatements;
        detach(link);
        SQLHSTMT stmt = static_cast<SQLHSTMT>(*link.handle);
        if (stmt) {
            SQLFreeStmt(stmt, SQL_CLOSE);
            SQLFreeHandle(SQL_HANDLE_STMT, stmt);
        }
        *link.handle = nullptr;
        *link.open = 0;
    }
}

} // namespace Kel
