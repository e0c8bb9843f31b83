#include <kel/collection.h>

namespace Kel {

Collectable::Collectable(const String& key)
    : _pNext(nullptr), _pPrevious(nullptr), _pHolder(nullptr), _key(key), _lOwnerFlags(0), _lBeingDeleted(0) {
}

Collectable::Collectable(long ownerFlags, const String& key)
    : _pNext(nullptr), _pPrevious(nullptr), _pHolder(nullptr), _key(key),
      _lOwnerFlags(static_cast<std::int32_t>(ownerFlags)), _lBeingDeleted(0) {}

// A copy never takes the source's links or holder: it could otherwise unlink the source's neighbours.
Collectable::Collectable(const Collectable& o)
    : _pNext(nullptr), _pPrevious(nullptr), _pHolder(nullptr), _key(o._key), _lOwnerFlags(o._lOwnerFlags),
      _lBeingDeleted(0) {}

Collectable& Collectable::operator=(const Collectable& o) {
    if (this != &o) {
        _key = o._key;
        _lOwnerFlags = o._lOwnerFlags;
    }
    return *this;
}

void Collectable::addToCollectionHead(Collection* c) {
    if (_pHolder) {
        throw CollectionException(1);
    }
    Collectable* oldFirst = c->_pFirst;
    if (oldFirst) {
        setPreviousIn(oldFirst, c, this);
    }
    _pHolder = c;
    _pNext = oldFirst;
    _pPrevious = nullptr;
    c->_pFirst = this;
    if (!c->_pLast) {
        c->_pLast = this;
    }
}

void Collectable::addToCollectionTail(Collection* c) {
    if (_pHolder) {
        throw CollectionException(1);
    }
    Collectable* oldLast = c->_pLast;
    if (oldLast) {
        setNextIn(oldLast, c, this);
    }
    _pHolder = c;
    _pPrevious = oldLast;
    _pNext = nullptr;
    c->_pLast = this;
    if (!c->_pFirst) {
        c->_pFirst = this;
    }
}

Collectable* Collectable::next(Collection* c) {
    if (!c || _pHolder != c) {
        throw CollectionException(3);
    }
    return _pNext;
}

Collectable* Collectable::previous(Collection* c) {
    if (!c || _pHolder != c) {
        throw CollectionException(3);
    }
    return _pPrevious;
}

void Collectable::removeFrom(Collection* c) {
    if (!c || _pHolder != c) {
        throw CollectionException(3);
    }
    if (_pPrevious) {
        setNextIn(_pPrevious, c, _pNext);
    } else {
        c->_pFirst = _pNext;
    }
    if (_pNext) {
        setPreviousIn(_pNext, c, _pPrevious);
    } else {
        c->_pLast = _pPrevious;
    }
    _pHolder = nullptr;
    _pNext = nullptr;
    _pPrevious = nullptr;
}

long Collectable::canIDeleteYou() const {
    if (_lBeingDeleted) {
        return 0;
    }
    return _lOwnerFlags & 1;
}

Collectable::~Collectable() {
    _lBeingDeleted = 1;
    if (_pHolder) {
        _pHolder->remove(this, 0);
    }
}

void Collectable::remove(long deleteFlag) {
    if (_pHolder) {
        _pHolder->remove(this, deleteFlag);
    }
}

// A plain element held by c keeps its links itself and names c as its holder. Anything else that c
// holds is a MultiCollectable, whose links for c live in its record for c.
void Collectable::setNextIn(Collectable* e, Collection* c, Collectable* link) {
    if (e->_pHolder == c) {
        e->_pNext = link;
    } else {
        static_cast<MultiCollectable*>(e)->setLinkIn(c, link, true);
    }
}

void Collectable::setPreviousIn(Collectable* e, Collection* c, Collectable* link) {
    if (e->_pHolder == c) {
        e->_pPrevious = link;
    } else {
        static_cast<MultiCollectable*>(e)->setLinkIn(c, link, false);
    }
}

void Collectable::changeHolder(Collectable* e, const Collection* from, Collection* to) noexcept {
    if (e->_pHolder == from) {
        e->_pHolder = to;
    } else {
        static_cast<MultiCollectable*>(e)->changeHolder(from, to);
    }
}

} // namespace Kel
