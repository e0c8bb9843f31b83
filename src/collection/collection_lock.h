#ifndef KEL_SRC_COLLECTION_COLLECTION_LOCK_H
#define KEL_SRC_COLLECTION_COLLECTION_LOCK_H

#include "platform/lock.h"

#include <new>

namespace Kel {

// A collection keeps its lock in a byte array of its own, so that the public header needs no platform
// header; these place the lock there, reach it and release it.
inline platform::Lock& asLock(unsigned char* space) {
    return *std::launder(reinterpret_cast<platform::Lock*>(space));
}

// Taking a lock does not change the state it guards, so const readers lock as well.
inline platform::Lock& asLock(const unsigned char* space) {
    return asLock(const_cast<unsigned char*>(space));
}

inline void makeLockIn(unsigned char* space) {
    new (space) platform::Lock;
}

inline void dropLockIn(unsigned char* space) {
    asLock(space).~Lock();
}

} // namespace Kel

#endif
