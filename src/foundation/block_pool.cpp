#include "foundation/block_pool.h"

#include <cstdint>
#include <new>

#if defined(__has_include)
#if __has_include(<valgrind/memcheck.h>)
#include <valgrind/memcheck.h>
#endif
#endif

namespace Kel {
namespace detail {

namespace {

constexpr std::size_t slabSize = 32 * 1024;
constexpr std::size_t pointerSize = sizeof(void*);

// Blocks keep the alignment of a pointer, which is all the pooled classes ask for.
constexpr std::size_t roundToPointer(std::size_t n) {
    return (n + pointerSize - 1) / pointerSize * pointerSize;
}

// Memory that no one may touch until it is handed out again, for valgrind's memcheck; natively these
// cost a few instructions.
void markInaccessible(void* p, std::size_t n) {
#if defined(VALGRIND_MAKE_MEM_NOACCESS)
    VALGRIND_MAKE_MEM_NOACCESS(p, n);
#endif
    (void)p;
    (void)n;
}

void markAccessible(void* p, std::size_t n) {
#if defined(VALGRIND_MAKE_MEM_UNDEFINED)
    VALGRIND_MAKE_MEM_UNDEFINED(p, n);
#endif
    (void)p;
    (void)n;
}

// Memory whose contents were written while it was inaccessible, and may be read now.
void markDefined(void* p, std::size_t n) {
#if defined(VALGRIND_MAKE_MEM_DEFINED)
    VALGRIND_MAKE_MEM_DEFINED(p, n);
#endif
    (void)p;
    (void)n;
}

} // namespace

// The head of a slab; its blocks follow. Slabs are aligned to their size, so a block's slab is its address
// rounded down: blocks carry no header. A free block keeps the next free block of its slab where the
// object was.
struct BlockPool::Slab {
    Slab* pPrev;
    Slab* pNext;
    bool bAvailable;  // in the pool's list of slabs with room
    void* pFree;      // the first free object of the slab, or null
    char* pUnused;    // the first block never handed out
    char* pEnd;       // where the last whole block ends
    std::size_t used; // objects handed out and not released

    bool full() const { return !pFree && pUnused == pEnd; }
};

BlockPool::BlockPool(std::size_t objectSize)
    : _objectSize(roundToPointer(objectSize < pointerSize ? pointerSize : objectSize)),
      _blockSize(_objectSize), _pAvailable(nullptr), _ulAvailable(0) {}

BlockPool::Slab* BlockPool::newSlab() {
    char* memory = static_cast<char*>(::operator new(slabSize, std::align_val_t(slabSize)));
    Slab* slab = new (memory) Slab();
    slab->pUnused = memory + roundToPointer(sizeof(Slab));
    const std::size_t blocks = static_cast<std::size_t>(memory + slabSize - slab->pUnused) / _blockSize;
    slab->pEnd = slab->pUnused + blocks * _blockSize;
    markInaccessible(slab->pUnused, static_cast<std::size_t>(memory + slabSize - slab->pUnused));
    return slab;
}

void BlockPool::makeAvailable(Slab* slab) noexcept {
    slab->pPrev = nullptr;
    slab->pNext = _pAvailable;
    if (_pAvailable) {
        _pAvailable->pPrev = slab;
    }
    _pAvailable = slab;
    slab->bAvailable = true;
    ++_ulAvailable;
}

void BlockPool::makeUnavailable(Slab* slab) noexcept {
    if (slab->pPrev) {
        slab->pPrev->pNext = slab->pNext;
    } else {
        _pAvailable = slab->pNext;
    }
    if (slab->pNext) {
        slab->pNext->pPrev = slab->pPrev;
    }
    slab->pPrev = slab->pNext = nullptr;
    slab->bAvailable = false;
    --_ulAvailable;
}

void* BlockPool::allocate() {
    std::lock_guard<std::mutex> lock(_mutex);
    return take();
}

std::size_t BlockPool::allocate(void** objects, std::size_t n) {
    std::lock_guard<std::mutex> lock(_mutex);
    std::size_t taken = 0;
    try {
        while (taken < n) {
            Slab* slab = _pAvailable;
            if (slab && !slab->pFree && slab->pUnused != slab->pEnd) {
                // A run of blocks never handed out, made accessible at once.
                std::size_t run = static_cast<std::size_t>(slab->pEnd - slab->pUnused) / _blockSize;
                if (run > n - taken) {
                    run = n - taken;
                }
                markAccessible(slab->pUnused, run * _blockSize);
                for (std::size_t i = 0; i < run; ++i, slab->pUnused += _blockSize) {
                    objects[taken++] = slab->pUnused;
                }
                slab->used += run;
                if (slab->full()) {
                    makeUnavailable(slab);
                }
                continue;
            }
            objects[taken++] = take();
        }
    } catch (const std::bad_alloc&) {
        if (taken == 0) {
            throw;
        }
    }
    return taken;
}

void* BlockPool::take() {
    if (!_pAvailable) {
        makeAvailable(newSlab());
    }
    Slab* slab = _pAvailable;

    void* object;
    if (slab->pFree) {
        object = slab->pFree;
        markAccessible(object, _objectSize);
        markDefined(object, pointerSize);
        slab->pFree = *static_cast<void**>(object);
        markAccessible(object, pointerSize); // to the new object, uninitialised memory like the rest
    } else {
        char* block = slab->pUnused;
        slab->pUnused += _blockSize;
        markAccessible(block, _blockSize);
        object = block;
    }
    ++slab->used;
    if (slab->full()) {
        makeUnavailable(slab);
    }
    return object;
}

void BlockPool::release(void* object) noexcept {
    Slab* slab = reinterpret_cast<Slab*>(reinterpret_cast<std::uintptr_t>(object) & ~(slabSize - 1));
    std::lock_guard<std::mutex> lock(_mutex);
    *static_cast<void**>(object) = slab->pFree;
    slab->pFree = object;
    markInaccessible(object, _objectSize);
    --slab->used;

    if (!slab->bAvailable) {
        makeAvailable(slab);
    } else if (slab->used == 0 && _ulAvailable > 1) {
        // All free, and another slab has room: back to the heap.
        makeUnavailable(slab);
        slab->~Slab();
        markAccessible(slab, slabSize);
        ::operator delete(static_cast<void*>(slab), std::align_val_t(slabSize));
    }
}

} // namespace detail
} // namespace Kel
