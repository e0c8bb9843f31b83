#include "platform/paths.h"

#include "platform/test_hooks.h"

namespace Kel {
namespace platform {

std::string globalProfilePath(const char* name) {
    const TestHooks* hooks = testHooks();
    const char* directory = hooks ? hooks->globalProfileDirectory.load() : nullptr;
    return joinPath(directory ? directory : systemProfileDirectory, name);
}

} // namespace platform
} // namespace Kel
