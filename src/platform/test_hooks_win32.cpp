#include "platform/test_hooks.h"

#include <cstdint>

#include <windows.h>

namespace Kel {
namespace platform {

namespace {

// The executable's export of that name; the library's own exports are not searched.
const TestHooks* exportedHooks() {
    const FARPROC found = ::GetProcAddress(::GetModuleHandleW(nullptr), KEL_TEST_HOOKS_SYMBOL);
    return reinterpret_cast<const TestHooks*>(reinterpret_cast<std::uintptr_t>(found));
}

} // namespace

const TestHooks* testHooks() {
    static const TestHooks* const hooks = exportedHooks();
    return hooks;
}

} // namespace platform
} // namespace Kel
