#ifndef KEL_TESTS_SUPPORT_KEL_TEST_H
#define KEL_TESTS_SUPPORT_KEL_TEST_H

// Helpers shared by the tests.

#include <kel/foundation.h>

#include <gtest/gtest.h>

#include <string>

// Expects stmt to throw Type with the given reason.
#define EXPECT_THROW_REASON(stmt, Type, expectedReason)                                                      \
    do {                                                                                                     \
        bool kelThrown_ = false;                                                                             \
        try {                                                                                                \
            stmt;                                                                                            \
        } catch (const Type& kelError_) {                                                                    \
            kelThrown_ = true;                                                                               \
            EXPECT_EQ(kelError_.reason(), static_cast<long>(expectedReason)) << #stmt;                       \
        }                                                                                                    \
        EXPECT_TRUE(kelThrown_) << #stmt " did not throw " #Type;                                            \
    } while (0)

namespace kel_test {

// A fresh, empty directory, removed with everything in it when the object goes.
class TempDir {
public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    const std::string& path() const { return _path; }
    // path() joined with name by the platform's separator.
    std::string file(const std::string& name) const;

private:
    std::string _path;
};

// Sets (or, with a null value, removes) an environment variable for a scope, then restores it.
class ScopedEnv {
public:
    ScopedEnv(const char* name, const char* value);
    ~ScopedEnv();
    ScopedEnv(const ScopedEnv&) = delete;
    ScopedEnv& operator=(const ScopedEnv&) = delete;

private:
    std::string _name;
    std::string _old;
    bool _hadOld;
};

// Sets an environment variable (a null value removes it).
void setEnv(const char* name, const char* value);

// How many times slower than native speed the tests run: KEL_TEST_SLOWDOWN (1 to 100, default 1), which a
// run under an instrumenting tool sets. Upper bounds on waits and watchdog limits are multiplied by it;
// lower bounds are not, since a slow machine never makes a wait end early.
long slowdown();

// The test that is running, as "Suite.Name", or "(no test)" outside one.
std::string currentTestName();

// What KELDump writes for object: its class line and its own lines.
std::string dumpOf(Kel::KELBase& object);

// Whether the platform has local (file-system) sockets. One that has none must say so with reason 10047
// (EAFNOSUPPORT); any other refusal fails the calling test.
bool localSocketsAvailable();

// Moves the clock the library reads by milliseconds (0 puts it back), so that a test can live in
// another year.
void shiftClock(long long milliseconds);
// Points the directory of global profile files elsewhere (a copy of directory is kept); null restores
// the system's.
void setGlobalProfileDirectory(const char* directory);

} // namespace kel_test

#endif
