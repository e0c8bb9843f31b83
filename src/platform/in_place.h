#ifndef KEL_SRC_PLATFORM_IN_PLACE_H
#define KEL_SRC_PLATFORM_IN_PLACE_H

// Platform objects inside public objects.
//
// A public class that needs a lock or an event (Mutex, Waitable, Collection, DBPoolMgr) keeps it inside
// itself, in a member `alignas(16) unsigned char _name[N]`, and the library builds the platform object
// there with the functions below. This is the one way public headers hide platform objects, chosen over a
// pointer to an object of the library's and over void*:
// - No allocation and no indirection: making a Mutex, a Waitable, a Collection or a pool costs no trip to
//   the allocator (and cannot fail for want of memory), and every lock and unlock reaches the lock
//   directly, on the fast path of each collection operation.
// - ABI: a pointer would keep the public size fixed however the platform object changes, but the size is
//   part of the layout either way; here N is fixed by the header and checked below against each
//   platform's object at compile time, so a platform object that outgrows its room fails the build
//   instead of overwriting its neighbours. The public headers still need no system header.
// - Moves: the platform object never moves. Its owners keep their own lock or event for their whole
//   life: copies and assignments make or keep their own, and a move takes the contents only, so moves
//   need no allocation and stay noexcept.

#include <cstddef>
#include <new>

namespace Kel {
namespace platform {

// Builds a T in space.
template <typename T, std::size_t N> void makeInPlace(unsigned char (&space)[N]) {
    static_assert(sizeof(T) <= N, "the room kept for a platform object is too small");
    static_assert(alignof(T) <= 16, "a platform object needs more alignment than its room has");
    new (space) T;
}

// The T built in space.
template <typename T, std::size_t N> T& inPlace(unsigned char (&space)[N]) {
    return *std::launder(reinterpret_cast<T*>(space));
}

// Taking a lock does not change the state it guards, so const members reach it as well.
template <typename T, std::size_t N> T& inPlace(const unsigned char (&space)[N]) {
    return *std::launder(reinterpret_cast<T*>(const_cast<unsigned char*>(space)));
}

// Ends the T built in space.
template <typename T, std::size_t N> void dropInPlace(unsigned char (&space)[N]) {
    inPlace<T>(space).~T();
}

} // namespace platform
} // namespace Kel

#endif
