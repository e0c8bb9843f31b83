#include "platform/event.h"

#include <new>
#include <windows.h>

namespace Kel {
namespace platform {

namespace {

static_assert(sizeof(HANDLE) <= 128, "the event storage is too small");

HANDLE& handleIn(unsigned char* storage) {
    return *std::launder(reinterpret_cast<HANDLE*>(storage));
}

} // namespace

// Unnamed, default security, automatic reset, initially not set. Event waits run on the system's
// interrupt time, which setting the wall clock does not move.
Event::Event() : _storage{} {
    HANDLE h = ::CreateEventA(nullptr, FALSE, FALSE, nullptr);
    if (!h) {
        throw std::bad_alloc();
    }
    new (_storage) HANDLE(h);
}

Event::~Event() {
    ::CloseHandle(handleIn(_storage));
}

void Event::set() {
    ::SetEvent(handleIn(_storage));
}

bool Event::wait(std::uint32_t milliseconds) {
    const DWORD limit = milliseconds == infinite ? INFINITE : static_cast<DWORD>(milliseconds);
    return ::WaitForSingleObject(handleIn(_storage), limit) == WAIT_OBJECT_0;
}

} // namespace platform
} // namespace Kel
