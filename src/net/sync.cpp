#include <kel/net.h>

#include "platform/event.h"
#include "platform/in_place.h"
#include "platform/lock.h"

namespace Kel {

namespace {

using platform::Event;
using platform::Lock;

} // namespace

Mutex::Mutex() : _lock{} {
    platform::makeInPlace<Lock>(_lock);
}

// The copy gets a lock of its own: sharing or duplicating the source's would let either object release
// what the other still uses.
Mutex::Mutex(const Mutex&) : _lock{} {
    platform::makeInPlace<Lock>(_lock);
}

Mutex& Mutex::operator=(const Mutex&) {
    return *this;
}

Mutex::~Mutex() {
    platform::dropInPlace<Lock>(_lock);
}

void Mutex::lock() {
    platform::inPlace<Lock>(_lock).enter();
}

void Mutex::unlock() {
    platform::inPlace<Lock>(_lock).leave();
}

Waitable::Waitable() : _event{} {
    platform::makeInPlace<Event>(_event);
}

// A new event of its own, as for the mutex.
Waitable::Waitable(const Waitable&) : _event{} {
    platform::makeInPlace<Event>(_event);
}

Waitable& Waitable::operator=(const Waitable&) {
    return *this;
}

Waitable::~Waitable() {
    platform::dropInPlace<Event>(_event);
}

void Waitable::signal(bool) {
    platform::inPlace<Event>(_event).set();
}

// 0 waits without limit, as it did when the argument had no effect.
bool Waitable::wait(unsigned long milliseconds) {
    const bool unlimited = milliseconds == 0 || milliseconds >= platform::Event::infinite;
    const std::uint32_t limit =
        unlimited ? platform::Event::infinite : static_cast<std::uint32_t>(milliseconds);
    return platform::inPlace<Event>(_event).wait(limit);
}

} // namespace Kel
