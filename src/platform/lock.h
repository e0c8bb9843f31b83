#ifndef KEL_SRC_PLATFORM_LOCK_H
#define KEL_SRC_PLATFORM_LOCK_H

// The library's re-entrant lock: a critical section on Windows; elsewhere a lock word of its own, with the
// kernel's wait queue (futex) behind it on Linux. The holding thread may enter again; the lock is free once
// it has left as often as it entered.

namespace Kel {
namespace platform {

class Lock {
public:
    Lock();
    ~Lock();
    Lock(const Lock&) = delete;
    Lock& operator=(const Lock&) = delete;

    void enter();
    void leave();

private:
    // Room for the system's lock object, so that this header needs no system header.
    alignas(16) unsigned char _storage[64];
};

// Holds a lock for a scope, released on every way out, exceptions included.
class LockGuard {
public:
    explicit LockGuard(Lock& lock) : _lock(lock) { _lock.enter(); }
    ~LockGuard() { _lock.leave(); }
    LockGuard(const LockGuard&) = delete;
    LockGuard& operator=(const LockGuard&) = delete;

private:
    Lock& _lock;
};

} // namespace platform
} // namespace Kel

#endif
