// The settings the library reads from its test programs (see src/platform/test_hooks.h). This file is
// linked into a test program only when the program calls one of the functions below.

#include "kel_test.h"

#include "platform/test_hooks.h"

#include <string>

#if defined(_WIN32)
#define KEL_TEST_HOOKS_EXPORT __declspec(dllexport)
#else
#define KEL_TEST_HOOKS_EXPORT __attribute__((visibility("default")))
#endif

extern "C" KEL_TEST_HOOKS_EXPORT Kel::platform::TestHooks kel_test_hooks;
Kel::platform::TestHooks kel_test_hooks{};

namespace kel_test {

namespace {

std::string g_globalProfileDirectory;

} // namespace

void shiftClock(long long milliseconds) {
    kel_test_hooks.clockShiftMilliseconds.store(milliseconds);
}

void setGlobalProfileDirectory(const char* directory) {
    kel_test_hooks.globalProfileDirectory.store(nullptr);
    g_globalProfileDirectory = directory != nullptr ? directory : "";
    if (directory != nullptr) {
        kel_test_hooks.globalProfileDirectory.store(g_globalProfileDirectory.c_str());
    }
}

} // namespace kel_test
