#include <kel/collection.h>

#include "collection/collection_lock.h"

#include <memory>

namespace Kel {

// One membership of a MultiCollectable: the collection that holds the element and the element's
// neighbours within it. Records are linked into the element's own positions collection through their
// Collectable links, and every record is reached and changed under that collection's lock.
class MultiCollectable::Position : public Collectable {
public:
    Position(Collection* c, Collectable* previous, Collectable* next)
        : Collectable(), _pCollection(c), _pPreviousIn(previous), _pNextIn(next) {}
    Position(const Position&) = delete;
    Position& operator=(const Position&) = delete;
    ~Position() override;

    Collection* _pCollection;
    Collectable* _pPreviousIn;
    Collectable* _pNextIn;
};

MultiCollectable::Position::~Position() = default;

MultiCollectable::MultiCollectable(const String& key) : Collectable(key), _positions(0) {}

MultiCollectable::MultiCollectable(long ownerFlags, const String& key)
    : Collectable(ownerFlags, key), _positions(0) {}

// A copy starts in no collection: the source's records stay with the source.
MultiCollectable::MultiCollectable(const MultiCollectable& o) : Collectable(o), _positions(0) {}

MultiCollectable& MultiCollectable::operator=(const MultiCollectable& o) {
    Collectable::operator=(o);
    return *this;
}

MultiCollectable::Position* MultiCollectable::positionFor(const Collection* c) const {
    for (Collectable* e = _positions._pFirst; e; e = e->_pNext) {
        Position* p = static_cast<Position*>(e);
        if (p->_pCollection == c) {
            return p;
        }
    }
    return nullptr;
}

// Called with c's lock held. The records' lock is released before a neighbour is touched, so that no
// thread ever holds the record locks of two elements at once.
void MultiCollectable::linkInto(Collection* c, bool atHead) {
    Collectable* neighbour = atHead ? c->_pFirst : c->_pLast;
    {
        platform::LockGuard guard(asLock(_positions._lock));
        if (positionFor(c)) {
            throw CollectionException(1);
        }
        std::unique_ptr<Position> p(atHead ? new Position(c, nullptr, neighbour)
                                           : new Position(c, neighbour, nullptr));
        _positions.addTail(p.get());
        p.release();
    }
    if (atHead) {
        if (neighbour) {
            setPreviousIn(neighbour, c, this);
        } else {
            c->_pLast = this;
        }
        c->_pFirst = this;
    } else {
        if (neighbour) {
            setNextIn(neighbour, c, this);
        } else {
            c->_pFirst = this;
        }
        c->_pLast = this;
    }
}

void MultiCollectable::setLinkIn(Collection* c, Collectable* link, bool nextLink) {
    platform::LockGuard guard(asLock(_positions._lock));
    Position* p = positionFor(c);
    if (p) {
        if (nextLink) {
            p->_pNextIn = link;
        } else {
            p->_pPreviousIn = link;
        }
    }
}

void MultiCollectable::changeHolder(const Collection* from, Collection* to) noexcept {
    platform::LockGuard guard(asLock(_positions._lock));
    Position* p = positionFor(from);
    if (p) {
        p->_pCollection = to;
    }
}

void MultiCollectable::addToCollectionHead(Collection* c) {
    linkInto(c, true);
}

void MultiCollectable::addToCollectionTail(Collection* c) {
    linkInto(c, false);
}

Collectable* MultiCollectable::next(Collection* c) {
    platform::LockGuard guard(asLock(_positions._lock));
    Position* p = positionFor(c);
    if (!p) {
        throw CollectionException(3);
    }
    return p->_pNextIn;
}

Collectable* MultiCollectable::previous(Collection* c) {
    platform::LockGuard guard(asLock(_positions._lock));
    Position* p = positionFor(c);
    if (!p) {
        throw CollectionException(3);
    }
    return p->_pPreviousIn;
}

void MultiCollectable::removeFrom(Collection* c) {
    Position* record;
    {
        platform::LockGuard guard(asLock(_positions._lock));
        record = positionFor(c);
        if (!record) {
            throw CollectionException(3);
        }
        _positions.remove(record, 0);
    }
    std::unique_ptr<Position> released(record);
    Collectable* before = record->_pPreviousIn;
    Collectable* after = record->_pNextIn;
    if (before) {
        setNextIn(before, c, after);
    } else {
        c->_pFirst = after;
    }
    if (after) {
        setPreviousIn(after, c, before);
    } else {
        c->_pLast = before;
    }
}

long MultiCollectable::canIDeleteYou() const {
    if (_lBeingDeleted) {
        return 0;
    }
    if (_lOwnerFlags & 2) {
        return 1;
    }
    if (!(_lOwnerFlags & 1)) {
        return 0;
    }
    platform::LockGuard guard(asLock(_positions._lock));
    return _positions._ulCount == 0 ? 1 : 0;
}

MultiCollectable::~MultiCollectable() {
    _lBeingDeleted = 1;
    leaveAll();
}

void MultiCollectable::remove(long deleteFlag) {
    remove(allCollections(), deleteFlag);
}

void MultiCollectable::remove(Collection* c, long) {
    if (c == allCollections()) {
        leaveAll();
        return;
    }
    {
        platform::LockGuard guard(asLock(_positions._lock));
        if (!positionFor(c)) {
            throw CollectionException(3);
        }
    }
    c->remove(this, 0);
}

unsigned long MultiCollectable::collectionCount() const {
    platform::LockGuard guard(asLock(_positions._lock));
    return _positions._ulCount;
}

// Leaves the collection of the first record until none is left. The records' lock is not held while a
// collection's lock is taken; another thread taking the element out meanwhile only ends the loop sooner.
void MultiCollectable::leaveAll() {
    for (;;) {
        Collection* c;
        {
            platform::LockGuard guard(asLock(_positions._lock));
            if (!_positions._pFirst) {
                return;
            }
            c = static_cast<Position*>(_positions._pFirst)->_pCollection;
        }
        try {
            c->remove(this, 0);
        } catch (const CollectionException&) {
            // Already gone from c.
        }
    }
}

} // namespace Kel
