#ifndef KEL_SRC_PLATFORM_TEST_HOOKS_H
#define KEL_SRC_PLATFORM_TEST_HOOKS_H

// Settings that only the library's own test programs change: the clock's offset and the directory of
// the global profile files.
//
// The library exports nothing for its tests, so that the tests link the same shared library, with the
// same exports, as any application. Instead a test program defines one TestHooks object named
// kel_test_hooks and exports it from the executable itself (tests/support/test_hooks.cpp). The library
// looks that name up in the running program the first time it needs a setting: dlsym over the program
// and its libraries, or GetProcAddress on the executable's own module on Windows. There is one object,
// the program's, so the library and the test always see the same state. In any other program the name
// is not found and every setting keeps its normal value: an executable exports a symbol only when it is
// built to, so no application turns this on by accident.

#include <atomic>

// The name under which a test program exports its TestHooks object.
#define KEL_TEST_HOOKS_SYMBOL "kel_test_hooks"

namespace Kel {
namespace platform {

struct TestHooks {
    // Added to every reading of the system clock, in milliseconds.
    std::atomic<long long> clockShiftMilliseconds;
    // The directory that takes the place of the system's for global profile files; null for the system's.
    std::atomic<const char*> globalProfileDirectory;
};

// The running program's hooks; null in every program but a test.
const TestHooks* testHooks();

} // namespace platform
} // namespace Kel

#endif
