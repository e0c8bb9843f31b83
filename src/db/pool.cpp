#include "db/db_internal.h"

#include "foundation/dump.h"
#include "platform/lock.h"

namespace Kel {

String detail::parameterLine(const String& source, const String& user, const String& password) {
    String line("Src=");
    line += detail::orNull(source);
    line += " Uid=";
    line += detail::orNull(user);
    line += " Pwd=";
    line += detail::orNull(detail::maskedPassword(password));
    return line;
}

// PooledDB

PooledDB::PooledDB(const char* source, const char* user, const char* password)
    : _pNext(nullptr), _lInUse(0), _lRefresh(0) {
    if (_db.open(source, user, password) < 0) {
        throw DatabaseException(_db.lastError());
    }
}

PooledDB::PooledDB(const PooledDB& o) : KELBase(o), _pNext(nullptr), _lInUse(0), _lRefresh(1) {}

PooledDB& PooledDB::operator=(const PooledDB& o) {
    KELBase::operator=(o);
    return *this;
}

PooledDB::~PooledDB() {
    _db.close();
}

void PooledDB::refresh(const char* source, const char* user, const char* password) {
    if (_db.isOpen()) {
        _db.close();
    }
    // The manager cleared the mark under its lock before lending: a mark set while this reconnects
    // stays for the next borrower.
    if (_db.open(source, user, password) < 0) {
        throw DatabaseException(_db.lastError());
    }
}

long PooledDB::refresh() const {
    return _lRefresh;
}

void PooledDB::setRefresh() {
    _lRefresh = 1;
}

void PooledDB::dump(Socket& s) {
    detail::dumpHeader(s, "Kel::PooledDB");
}

void PooledDB::dump(std::ostream& os) {
    detail::dumpHeader(os, "Kel::PooledDB");
}

// DBPoolMgr

DBPoolMgr::DBPoolMgr()
    : _pFirst(nullptr), _pLast(nullptr), _pLock(new platform::Lock), _lInitial(0), _lMaximum(-1), _lCount(0),
      _bResizeable(false) {}

DBPoolMgr::DBPoolMgr(const DBPoolMgr& o)
    : KELBase(o), _pFirst(nullptr), _pLast(nullptr), _pLock(new platform::Lock), _source(o._source),
      _user(o._user), _password(o._password), _lInitial(o._lInitial), _lMaximum(o._lMaximum), _lCount(0),
      _bResizeable(o._bResizeable) {}

DBPoolMgr& DBPoolMgr::operator=(const DBPoolMgr& o) {
    if (this != &o) {
        KELBase::operator=(o);
        _source = o._source;
        _user = o._user;
        _password = o._password;
        _lInitial = o._lInitial;
        _lMaximum = o._lMaximum;
        _bResizeable = o._bResizeable;
    }
    return *this;
}

DBPoolMgr::~DBPoolMgr() {
    destroyChain();
    delete _pLock;
}

long DBPoolMgr::addPooledDB(const char* source, const char* user, const char* password) {
    return addPooledDB(new PooledDB(source, user, password));
}

long DBPoolMgr::setResizeable(const String& source, const String& user, const String& password, long initial,
                              long maximum) {
    _source = source;
    _user = user;
    _password = password;
    _lInitial = initial;
    _lMaximum = maximum;
    _bResizeable = true;
    for (long i = 0; i < initial; ++i) {
        addPooledDB(new PooledDB(_source, _user, _password));
    }
    return 0;
}

PooledDB* DBPoolMgr::getPooledDB() {
    PooledDB* chosen = nullptr;
    bool reconnect = false;
    {
        platform::LockGuard guard(*_pLock);
        for (PooledDB* p = _pFirst; p; p = p->_pNext) {
            if (!p->_lInUse) {
                p->_lInUse = 1;
                chosen = p;
                break;
            }
        }
        if (!chosen && _bResizeable && _lCount < _lMaximum) {
            try {
                PooledDB* grown = new PooledDB(_source, _user, _password);
                grown->_lInUse = 1;
                addPooledDB(grown);
                chosen = grown;
            } catch (...) {
                // A pool that cannot grow has nothing to lend; the borrower hears DBPoolException.
            }
        }
        // The borrower takes the mark along: a refresh() during the reconnect marks it again.
        if (chosen && chosen->_lRefresh) {
            chosen->_lRefresh = 0;
            reconnect = true;
        }
    }
    if (!chosen) {
        return nullptr;
    }
    if (reconnect) {
        try {
            chosen->refresh(_source, _user, _password);
        } catch (...) {
            // Give it back still marked, or every failed reconnect would shrink the pool for good.
            platform::LockGuard guard(*_pLock);
            chosen->_lRefresh = 1;
            chosen->_lInUse = 0;
            throw;
        }
    }
    return chosen;
}

void DBPoolMgr::freePooledDB(PooledDB* p) {
    if (!p) {
        return;
    }
    // The lock also publishes the borrower's use of the connection to whoever borrows it next.
    platform::LockGuard guard(*_pLock);
    p->_lInUse = 0;
}

void DBPoolMgr::refresh() {
    if (!_bResizeable) {
        return;
    }
    platform::LockGuard guard(*_pLock);
    for (PooledDB* p = _pFirst; p; p = p->_pNext) {
        p->setRefresh();
    }
}

long DBPoolMgr::count() const {
    platform::LockGuard guard(*_pLock);
    return _lCount;
}

void DBPoolMgr::dump(Socket& s) {
    detail::dumpHeader(s, "Kel::DBPoolMgr");
    detail::dumpLine(s, detail::parameterLine(_source, _user, _password));
}

void DBPoolMgr::dump(std::ostream& os) {
    detail::dumpHeader(os, "Kel::DBPoolMgr");
    detail::dumpLine(os, detail::parameterLine(_source, _user, _password));
}

long DBPoolMgr::addPooledDB(PooledDB* p) {
    if (!p) {
        return -1;
    }
    platform::LockGuard guard(*_pLock);
    p->_pNext = nullptr;
    if (_pLast) {
        _pLast->_pNext = p;
    } else {
        _pFirst = p;
    }
    _pLast = p;
    ++_lCount;
    return 0;
}

void DBPoolMgr::destroyChain() {
    PooledDB* p = _pFirst;
    while (p) {
        PooledDB* next = p->_pNext;
        delete p;
        p = next;
    }
    _pFirst = nullptr;
    _pLast = nullptr;
    _lCount = 0;
}

} // namespace Kel
