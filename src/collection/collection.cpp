#include <kel/collection.h>

#include "collection/collection_lock.h"

static_assert(sizeof(Kel::platform::Lock) <= 64 && alignof(Kel::platform::Lock) <= 16,
              "a collection's lock space is too small");

namespace Kel {

Collection::Collection(long deleteOnDestroy)
    : Collectable(), _pFirst(nullptr), _pLast(nullptr),
      _lDeleteOnDestroy(static_cast<std::int32_t>(deleteOnDestroy)), _ulCount(0) {
    makeLockIn(_lock);
}

// A copy is empty: every element stays with the source, which keeps its lock as well.
Collection::Collection(const Collection& o)
    : Collectable(o), _pFirst(nullptr), _pLast(nullptr), _lDeleteOnDestroy(o._lDeleteOnDestroy), _ulCount(0) {
    makeLockIn(_lock);
}

Collection& Collection::operator=(const Collection& o) {
    if (this != &o) {
        Collectable::operator=(o);
        _lDeleteOnDestroy = o._lDeleteOnDestroy;
    }
    return *this;
}

Collection::Collection(Collection&& o) noexcept
    : Collectable(o), _pFirst(nullptr), _pLast(nullptr), _lDeleteOnDestroy(o._lDeleteOnDestroy), _ulCount(0) {
    makeLockIn(_lock);
    takeElementsOf(o);
}

Collection& Collection::operator=(Collection&& o) noexcept {
    if (isWithin(&o)) {
        return *this;
    }
    removeAll(_lDeleteOnDestroy);
    Collectable::operator=(o);
    _lDeleteOnDestroy = o._lDeleteOnDestroy;
    takeElementsOf(o);
    return *this;
}

// Every element is relinked under both locks (taken in the order target, source), so that no add or
// remove of either collection sees it half moved.
void Collection::takeElementsOf(Collection& o) noexcept {
    platform::LockGuard mine(asLock(_lock));
    platform::LockGuard theirs(asLock(o._lock));
    for (Collectable* e = o._pFirst; e;) {
        Collectable* following = e->next(&o);
        changeHolder(e, &o, this);
        e = following;
    }
    _pFirst = o._pFirst;
    _pLast = o._pLast;
    _ulCount = o._ulCount;
    o._pFirst = nullptr;
    o._pLast = nullptr;
    o._ulCount = 0;
}

Collection::~Collection() {
    // Marked at once, so that nothing the emptying sets off can delete this collection again.
    _lBeingDeleted = 1;
    removeAll(_lDeleteOnDestroy);
    dropLockIn(_lock);
}

void Collection::addTail(Collectable* e) {
    if (!e) {
        throw CollectionException(4);
    }
    platform::LockGuard guard(asLock(_lock));
    refuseCycle(e);
    e->addToCollectionTail(this);
    ++_ulCount;
}

void Collection::addHead(Collectable* e) {
    if (!e) {
        throw CollectionException(4);
    }
    platform::LockGuard guard(asLock(_lock));
    refuseCycle(e);
    e->addToCollectionHead(this);
    ++_ulCount;
}

Collectable* Collection::next(Collectable* e) {
    return e ? e->next(this) : _pFirst;
}

Collectable* Collection::previous(Collectable* e) {
    return e ? e->previous(this) : _pLast;
}

Collectable* Collection::find(const String& key, Collectable* after) {
    Collectable* e = after ? after->next(this) : _pFirst;
    while (e && !(e->_key == key)) {
        e = e->next(this);
    }
    return e;
}

void Collection::remove(Collectable* e, long deleteFlag) {
    if (!e) {
        throw CollectionException(3);
    }
    platform::LockGuard guard(asLock(_lock));
    e->removeFrom(this);
    --_ulCount;
    if (deleteFlag && e->canIDeleteYou()) {
        delete e;
    }
}

// Always takes the current head rather than a successor saved beforehand: deleting one element may
// destroy others held here, which leave on their own.
void Collection::removeAll(long deleteFlag) {
    platform::LockGuard guard(asLock(_lock));
    while (_pFirst) {
        remove(_pFirst, deleteFlag);
    }
}

// Walks up from this collection through the collections that hold it: finding e there means e would hold
// itself. The walk ends because no collection can contain itself. Everything on the walk is a collection,
// whose own holder link tells whether it is held; a held element is refused as held (reason 1) before
// the cycle is reported, as the element's own add would have refused it.
void Collection::refuseCycle(const Collectable* e) const {
    for (const Collectable* h = this; h; h = h->_pHolder) {
        if (h == e) {
            throw CollectionException(e->_pHolder ? 1 : 2);
        }
    }
}

bool Collection::isWithin(const Collection* c) const {
    for (const Collectable* h = this; h; h = h->_pHolder) {
        if (h == c) {
            return true;
        }
    }
    return false;
}

} // namespace Kel
