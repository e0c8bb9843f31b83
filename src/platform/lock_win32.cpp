#include "platform/lock.h"

#include <windows.h>

namespace Kel {
namespace platform {

namespace {
CRITICAL_SECTION* sectionIn(unsigned char* storage) {
    return reinterpret_cast<CRITICAL_SECTION*>(storage);
}
} // namespace

static_assert(sizeof(CRITICAL_SECTION) <= 64, "the lock storage is too small for CRITICAL_SECTION");

Lock::Lock() : _storage{} {
    ::InitializeCriticalSection(sectionIn(_storage));
}

Lock::~Lock() {
    ::DeleteCriticalSection(sectionIn(_storage));
}

void Lock::enter() {
    ::EnterCriticalSection(sectionIn(_storage));
}

void Lock::leave() {
    ::LeaveCriticalSection(sectionIn(_storage));
}

} // namespace platform
} // namespace Kel
