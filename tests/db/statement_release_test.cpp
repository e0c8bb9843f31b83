// Every statement handle a result set allocates is released again, also when a subclass's hook throws
// in the middle of open(). This program stands in for the driver manager's SQLAllocHandle and
// SQLFreeHandle with versions that count statement handles and pass the call on; only ELF systems let a
// program take a library's place this way, so elsewhere the program holds no test.

#include "db_fixture.h"

#if defined(__ELF__)

#include "db/odbc.h"

#include <dlfcn.h>

#include <atomic>
#include <stdexcept>

namespace {

std::atomic<long> liveStatements{0};

template <typename F> F nextDefinition(const char* name) {
    return reinterpret_cast<F>(dlsym(RTLD_NEXT, name));
}

} // namespace

// Exported, so that the library binds to them rather than to the driver manager.
extern "C" __attribute__((visibility("default"))) SQLRETURN SQL_API SQLAllocHandle(SQLSMALLINT type,
                                                                                   SQLHANDLE in,
                                                                                   SQLHANDLE* out) {
    using Alloc = SQLRETURN(SQL_API*)(SQLSMALLINT, SQLHANDLE, SQLHANDLE*);
    static const Alloc next = nextDefinition<Alloc>("SQLAllocHandle");
    const SQLRETURN r = next(type, in, out);
    if (type == SQL_HANDLE_STMT && (r == SQL_SUCCESS || r == SQL_SUCCESS_WITH_INFO)) {
        ++liveStatements;
    }
    return r;
}

extern "C" __attribute__((visibility("default"))) SQLRETURN SQL_API SQLFreeHandle(SQLSMALLINT type,
                                                                                  SQLHANDLE handle) {
    using Free = SQLRETURN(SQL_API*)(SQLSMALLINT, SQLHANDLE);
    static const Free next = nextDefinition<Free>("SQLFreeHandle");
    const SQLRETURN r = next(type, handle);
    if (type == SQL_HANDLE_STMT && r == SQL_SUCCESS) {
        --liveStatements;
    }
    return r;
}

using namespace Kel;

namespace {

// Throws from the hook named by failAt.
class Faulty : public ResultSet {
public:
    enum Hook { none, table, selectColumns, resultColumns };
    Faulty(Database* d, Hook failAt) : ResultSet(d), _failAt(failAt) {}
    std::int32_t v = 0;

protected:
    void prepareFetch() override {}
    void bindColumns(bindType what) override {
        if ((what == selectColumn && _failAt == selectColumns) ||
            (what == resultColumn && _failAt == resultColumns)) {
            throw std::runtime_error("hook failed");
        }
        bindColumn(what, "v", &v, typeLong, sizeof v);
    }
    String tableName() override {
        if (_failAt == table) {
            throw std::runtime_error("hook failed");
        }
        return "ksr_numbers";
    }

private:
    Hook _failAt;
};

} // namespace

TEST(StatementRelease, OpenReleasesItsHandleWhenAHookThrows) {
    DB_TEST_REQUIRE(db_test::SQLite);
    Database d;
    ASSERT_EQ(d.open("kel_sqlite", "", ""), Database::ok);
    db_test::recreate(d, "ksr_numbers (v INTEGER)");
    db_test::run(d, "INSERT INTO ksr_numbers (v) VALUES (7)");
    const long before = liveStatements;
    for (Faulty::Hook hook : {Faulty::table, Faulty::selectColumns, Faulty::resultColumns}) {
        Faulty rows(&d, hook);
        EXPECT_THROW(rows.open(), std::runtime_error);
        EXPECT_EQ(rows.isOpen(), 0);
        EXPECT_EQ(liveStatements, before) << "hook " << hook;
    }
    Faulty working(&d, Faulty::none);
    working.open();
    EXPECT_EQ(liveStatements, before + 1);
    EXPECT_EQ(working.fetch(), 0);
    EXPECT_EQ(working.v, 7);
    working.close();
    EXPECT_EQ(liveStatements, before);
}

#endif
