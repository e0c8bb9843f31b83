#include "platform/test_hooks.h"

#include <dlfcn.h>

namespace Kel {
namespace platform {

const TestHooks* testHooks() {
    static const TestHooks* const hooks =
        static_cast<const TestHooks*>(::dlsym(RTLD_DEFAULT, KEL_TEST_HOOKS_SYMBOL));
    return hooks;
}

} // namespace platform
} // namespace Kel
