#include "kel_test.h"

#include <kel/database.h>

using namespace Kel;

// The library creates its ODBC environment while it loads. This program stands in for the driver
// manager's SQLAllocHandle with one that always fails, so the environment is never ready: every open is
// refused with notReady and changes nothing. Only ELF systems let a program take a library's place
// this way; elsewhere the program holds no test.
#if defined(__ELF__)

#include "db/odbc.h"

// Exported, so that the library binds to it rather than to the driver manager.
extern "C" __attribute__((visibility("default"))) SQLRETURN SQL_API SQLAllocHandle(SQLSMALLINT, SQLHANDLE,
                                                                                   SQLHANDLE* output) {
    if (output) {
        *output = SQL_NULL_HANDLE;
    }
    return SQL_ERROR;
}

TEST(EnvironmentNotReady, EveryOpenIsRefusedWithoutChange) {
    ODBCEnvironment own;
    EXPECT_FALSE(own.isReady());
    EXPECT_EQ(own.handle(), nullptr);

    Database d;
    EXPECT_EQ(d.open("kel_sqlite", "user", "password"), Database::notReady);
    EXPECT_EQ(d.isOpen(), 0);
    EXPECT_TRUE(d.lastError() == "");
    EXPECT_EQ(kel_test::dumpOf(d), "@ class Kel::Database\nSrc= Usr=Pwd=\n");

    DBPoolMgr pool;
    EXPECT_THROW_REASON(pool.addPooledDB("kel_sqlite", "", ""), DatabaseException, -1);
    EXPECT_EQ(pool.count(), 0);
}

#endif
