#include <kel/net.h>

#include "platform/event.h"
#include "platform/lock.h"

#include <new>

namespace Kel {

namespace {

static_assert(sizeof(platform::Lock) <= 64 && alignof(platform::Lock) <= 16,
              "a mutex's lock space is too small");

platform::Lock& lockIn(unsigned char* space) {
    return *std::launder(reinterpret_cast<platform::Lock*>(space));
}

platform::Event& eventOf(void* p) {
    return *static_cast<platform::Event*>(p);
}

} // namespace

Mutex::Mutex() : _lock{} {
    new (_lock) platform::Lock;
}

// The copy gets a lock of its own: sharing or duplicating the source's would let either object release
// what the other still uses.
Mutex::Mutex(const Mutex&) : _lock{} {
    new (_lock) platform::Lock;
}

Mutex& Mutex::operator=(const Mutex&) {
    return *this;
}

Mutex::~Mutex() {
    lockIn(_lock).~Lock();
}

void Mutex::lock() {
    lockIn(_lock).enter();
}

void Mutex::unlock() {
    lockIn(_lock).leave();
}

Waitable::Waitable() : _pEvent(new platform::Event) {}

Waitable::Waitable(const Waitable&) : _pEvent(new platform::Event) {}

Waitable& Waitable::operator=(const Waitable&) {
    return *this;
}

Waitable::~Waitable() {
    delete &eventOf(_pEvent);
}

void Waitable::signal(bool) {
    eventOf(_pEvent).set();
}

// 0 waits without limit, as it did when the argument had no effect.
bool Waitable::wait(unsigned long milliseconds) {
    const bool unlimited = milliseconds == 0 || milliseconds >= platform::Event::infinite;
    const std::uint32_t limit =
        unlimited ? platform::Event::infinite : static_cast<std::uint32_t>(milliseconds);
    return eventOf(_pEvent).wait(limit);
}

} // namespace Kel
