#ifndef KEL_SRC_PLATFORM_EVENT_H
#define KEL_SRC_PLATFORM_EVENT_H

// An auto-reset event: set() releases exactly one waiting thread, or, when none waits, stays set until
// the next wait takes it. Setting an event that is already set changes nothing.

#include <cstdint>

namespace Kel {
namespace platform {

class Event {
public:
    // The wait time that means no limit.
    static constexpr std::uint32_t infinite = 0xFFFFFFFFu;

    // Not set. Throws std::bad_alloc when the system cannot provide the event.
    Event();
    ~Event();
    Event(const Event&) = delete;
    Event& operator=(const Event&) = delete;

    void set();
    // Waits until the event is set, at most milliseconds measured on a monotonic clock (no limit for
    // infinite; 0 only looks). True, and the event reset, when it was set; false on time-out.
    bool wait(std::uint32_t milliseconds);

private:
    // Room for the system's objects, so that this header needs no system header.
    alignas(16) unsigned char _storage[128];
};

} // namespace platform
} // namespace Kel

#endif
