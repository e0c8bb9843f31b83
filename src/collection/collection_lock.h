#ifndef KEL_SRC_COLLECTION_COLLECTION_LOCK_H
#define KEL_SRC_COLLECTION_COLLECTION_LOCK_H

#include "platform/in_place.h"
#include "platform/lock.h"

#include <cstddef>

namespace Kel {

// A collection keeps its lock in its own room (see platform/in_place.h); these name the lock there.
template <std::size_t N> platform::Lock& asLock(unsigned char (&space)[N]) {
    return platform::inPlace<platform::Lock>(space);
}

template <std::size_t N> platform::Lock& asLock(const unsigned char (&space)[N]) {
    return platform::inPlace<platform::Lock>(space);
}

template <std::size_t N> void makeLockIn(unsigned char (&space)[N]) {
    platform::makeInPlace<platform::Lock>(space);
}

template <std::size_t N> void dropLockIn(unsigned char (&space)[N]) {
    platform::dropInPlace<platform::Lock>(space);
}

} // namespace Kel

#endif
