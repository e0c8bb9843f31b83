#include "db/db_internal.h"

#include "foundation/dump.h"

#include <cstring>

namespace Kel {

namespace detail {

const char* const noDiagnostic = "the ODBC call failed without a diagnostic record";
const char* const notConnected = "the connection is not open";
const char* const noRowAffected = "no data: the statement affected no row";

const char* maskedPassword(const char* password) {
    return password && *password ? "****" : password;
}

String passwordOf(const char* connection) {
    for (const char* p = connection; p && *p;) {
        while (*p == ';' || *p == ' ') {
            ++p;
        }
        const char* key = p;
        while (*p && *p != '=' && *p != ';') {
            ++p;
        }
        const bool isPassword = p - key == 3 && (key[0] == 'P' || key[0] == 'p') &&
                                (key[1] == 'W' || key[1] == 'w') && (key[2] == 'D' || key[2] == 'd');
        if (*p != '=') {
            continue;
        }
        ++p;
        const char* value = p;
        if (*p == '{') {
            // A braced value runs to the closing brace; "}}" stands for one brace inside it.
            value = ++p;
            while (*p && !(*p == '}' && p[1] != '}')) {
                p += *p == '}' ? 2 : 1;
            }
        } else {
            while (*p && *p != ';') {
                ++p;
            }
        }
        if (isPassword) {
            String password;
            password.copy(value, static_cast<unsigned long>(p - value));
            return password;
        }
        if (*p == '}') {
            ++p;
        }
    }
    return String::null;
}

String scrubbed(const char* text, const String& password) {
    const std::size_t n = password.length();
    if (!text || n == 0) {
        return String(text);
    }
    String result("");
    for (const char* p = text; *p;) {
        if (std::strncmp(p, password, n) == 0) {
            result += "****";
            p += n;
        } else {
            result += *p++;
        }
    }
    return result;
}

bool readDiagnostic(SQLSMALLINT handleType, SQLHANDLE handle, char (&message)[400], SQLINTEGER* native) {
    message[0] = '\0';
    if (handle == SQL_NULL_HANDLE) {
        return false;
    }
    SQLCHAR state[6] = {0};
    SQLINTEGER code = 0;
    SQLSMALLINT length = 0;
    const SQLRETURN r =
        SQLGetDiagRec(handleType, handle, 1, state, &code, reinterpret_cast<SQLCHAR*>(message),
                      static_cast<SQLSMALLINT>(sizeof message), &length);
    if (!succeeded(r)) {
        message[0] = '\0';
        return false;
    }
    message[sizeof message - 1] = '\0';
    if (native) {
        *native = code;
    }
    return true;
}

} // namespace detail

namespace {

// Created while the library loads, before any caller runs; released when it is unloaded.
const ODBCEnvironment processEnvironment;

} // namespace

const ODBCEnvironment& detail::odbcEnvironment() {
    return processEnvironment;
}

ODBCEnvironment::ODBCEnvironment() : _hEnv(nullptr), _bReady(true) {
    SQLHENV env = SQL_NULL_HENV;
    if (!detail::succeeded(SQLAllocHandle(SQL_HANDLE_ENV, SQL_NULL_HANDLE, &env))) {
        _bReady = false;
        return;
    }
    _hEnv = env;
    SQLSetEnvAttr(env, SQL_ATTR_ODBC_VERSION, reinterpret_cast<SQLPOINTER>(static_cast<SQLLEN>(SQL_OV_ODBC3)),
                  0);
}

ODBCEnvironment::ODBCEnvironment(const ODBCEnvironment& o) : ODBCEnvironment() {
    KELBase::operator=(o);
}

ODBCEnvironment& ODBCEnvironment::operator=(const ODBCEnvironment& o) {
    KELBase::operator=(o);
    return *this;
}

ODBCEnvironment::~ODBCEnvironment() {
    if (_bReady && _hEnv) {
        SQLFreeHandle(SQL_HANDLE_ENV, _hEnv);
    }
}

void* ODBCEnvironment::handle() const {
    return _hEnv;
}

bool ODBCEnvironment::isReady() const {
    return _bReady;
}

void ODBCEnvironment::dump(Socket& s) {
    detail::dumpHeader(s, "Kel::ODBCEnvironment");
}

void ODBCEnvironment::dump(std::ostream& os) {
    detail::dumpHeader(os, "Kel::ODBCEnvironment");
}

} // namespace Kel
