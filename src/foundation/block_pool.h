#ifndef KEL_SRC_FOUNDATION_BLOCK_POOL_H
#define KEL_SRC_FOUNDATION_BLOCK_POOL_H

#include <cstddef>
#include <mutex>
#include <new>

namespace Kel {
namespace detail {

// Hands out blocks of one size, carved from 32 KB slabs, for classes whose objects are made and destroyed
// by the hundred thousand (the nodes and attributes of a parsed document). Compared with the general heap
// it costs no per-object search, and a tree torn down and built again does not fragment the heap: blocks
// go back to their slab, and a slab whose blocks are all free goes back to the heap unless it is the only
// one with room left, so that making and dropping a single object does not churn.
//
// Slabs are aligned to their size, so a block finds its slab from its own address: a block is released
// without a search and carries no header. Safe to use from any number of threads; a block may be released by
// another thread than the one that took it.
//
// Free and not yet used blocks are marked inaccessible for valgrind's memcheck, so that a use after
// delete is still caught there. Under AddressSanitizer the pooled classes use the heap directly: its
// checks and its leak reports then see every object on its own.
class BlockPool {
public:
    explicit BlockPool(std::size_t objectSize);
    BlockPool(const BlockPool&) = delete;
    BlockPool& operator=(const BlockPool&) = delete;

    // Room for one object of the size the pool was made for; throws std::bad_alloc when the heap has none.
    void* allocate();
    // Room for up to n objects at once, stored in objects; returns how many (at least one). Throws
    // std::bad_alloc when the heap has room for none.
    std::size_t allocate(void** objects, std::size_t n);
    // Gives back a block that allocate() returned.
    void release(void* object) noexcept;

private:
    struct Slab;

    void* take();
    Slab* newSlab();
    void makeAvailable(Slab* slab) noexcept;
    void makeUnavailable(Slab* slab) noexcept;

    const std::size_t _objectSize;
    const std::size_t _blockSize;
    std::mutex _mutex;
    Slab* _pAvailable; // slabs with at least one free block, the one to use next first
    std::size_t _ulAvailable;
};

// The pool of a class, made on first use and never destroyed: objects of static storage duration may
// still be deleted while the program ends.
template <class T> BlockPool& poolOf() {
    static_assert(sizeof(T) <= 4096, "a slab must hold many objects");
    static BlockPool* const pool = new BlockPool(sizeof(T));
    return *pool;
}

#if defined(__SANITIZE_ADDRESS__)
constexpr bool poolsInUse = false;
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
constexpr bool poolsInUse = false;
#else
constexpr bool poolsInUse = true;
#endif
#else
constexpr bool poolsInUse = true;
#endif

// Class-specific operator new and delete through poolOf<T>(). A derived class of another size takes its
// memory from the general heap, and so does an array.
template <class T> void* pooledNew(std::size_t size) {
    return poolsInUse && size == sizeof(T) ? poolOf<T>().allocate() : ::operator new(size);
}

template <class T> void pooledDelete(void* object, std::size_t size) noexcept {
    if (!object) {
        return;
    }
    if (poolsInUse && size == sizeof(T)) {
        poolOf<T>().release(object);
    } else {
        ::operator delete(object);
    }
}

// Blocks of T's pool taken a handful at a time, for code that makes many objects in a row (a parse): one
// lock for each handful instead of one for each object. An object is made with the global placement new
// in a block from take() and destroyed with delete as usual; blocks still held go back to the pool with
// the stash.
template <class T> class PoolStash {
public:
    PoolStash() = default;
    PoolStash(const PoolStash&) = delete;
    PoolStash& operator=(const PoolStash&) = delete;
    ~PoolStash() {
        while (_ulHeld) {
            pooledDelete<T>(_aHeld[--_ulHeld], sizeof(T));
        }
    }

    void* take() {
        if (!poolsInUse) {
            return ::operator new(sizeof(T));
        }
        if (_ulHeld == 0) {
            _ulHeld = poolOf<T>().allocate(_aHeld, batch);
        }
        return _aHeld[--_ulHeld];
    }

private:
    static constexpr std::size_t batch = 16;
    void* _aHeld[batch];
    std::size_t _ulHeld = 0;
};

} // namespace detail
} // namespace Kel

#endif
