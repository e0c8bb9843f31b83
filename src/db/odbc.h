#ifndef KEL_SRC_DB_ODBC_H
#define KEL_SRC_DB_ODBC_H

// The ODBC call-level interface. The Windows headers declare the types that sql.h builds on, so they
// come first there; elsewhere the driver manager's own headers are complete.
#if defined(_WIN32)
#include <windows.h>
#endif

#include <sql.h>
#include <sqlext.h>

#endif
