#ifndef KEL_SRC_DB_DB_INTERNAL_H
#define KEL_SRC_DB_DB_INTERNAL_H

#include "db/odbc.h"

#include <kel/database.h>

#include <cstdint>
#include <type_traits>

namespace Kel {
namespace detail {

// The handles cross the public interface as void*; the length cells as std::int64_t.
static_assert(sizeof(SQLHANDLE) == sizeof(void*), "ODBC handles must fit the interface's void*");
static_assert(std::is_same<SQLLEN, std::int64_t>::value,
              "the length cells handed out as std::int64_t are the driver's SQLLEN");

// The environment created when the library is loaded.
const ODBCEnvironment& odbcEnvironment();

inline bool succeeded(SQLRETURN r) {
    return r == SQL_SUCCESS || r == SQL_SUCCESS_WITH_INFO;
}

// Reads the first diagnostic record of handle into message (a 400-byte buffer) and returns true, or
// returns false when the handle holds none. native receives the driver's own error code.
bool readDiagnostic(SQLSMALLINT handleType, SQLHANDLE handle, char (&message)[400], SQLINTEGER* native);

// "Src=<source> Uid=<user> Pwd=<password>", "(null)" for a null one: the dump line of both managers.
String parameterLine(const String& source, const String& user, const String& password);

// "****" for a password that is set, the password itself (empty or null) otherwise: dumps go to logs.
const char* maskedPassword(const char* password);

// Owns a statement handle until it is handed over, so that a throw on the way releases it.
class StatementGuard {
public:
    explicit StatementGuard(SQLHSTMT stmt) : _hStmt(stmt) {}
    ~StatementGuard() {
        if (_hStmt) {
            SQLFreeHandle(SQL_HANDLE_STMT, _hStmt);
        }
    }
    StatementGuard(const StatementGuard&) = delete;
    StatementGuard& operator=(const StatementGuard&) = delete;

    SQLHSTMT get() const { return _hStmt; }
    SQLHSTMT release() {
        SQLHSTMT stmt = _hStmt;
        _hStmt = SQL_NULL_HSTMT;
        return stmt;
    }

private:
    SQLHSTMT _hStmt;
};

// The value of the PWD= attribute of an ODBC connection string (null when there is none), braces
// removed.
String passwordOf(const char* connection);

// text with every occurrence of password (when it is not empty) written as "****".
String scrubbed(const char* text, const String& password);

// Texts for the last error when a failure leaves no diagnostic record behind.
extern const char* const noDiagnostic;
extern const char* const notConnected;
extern const char* const noRowAffected;

} // namespace detail
} // namespace Kel

#endif
