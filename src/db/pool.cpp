#include "db/db_internal.h"

#include "foundation/dump.h"
#include "platform/in_place.h"
#include "platform/lock.h"

#include <chrono>
#include <condition_variable>

namespace Kel {

namespace detail {

// The borrowers waiting for a connection, oldest first. A connection given back goes to the first of
// them directly (it stays marked in use), so that a borrower arriving later cannot take it first.
class PoolQueue {
public:
    struct Waiter {
        PooledDB* granted = nullptr;
        Waiter* next = nullptr;
    };

    bool empty() const { return _pFirst == nullptr; }

    void append(Waiter& w) {
        w.next = nullptr;
        if (_pLast) {
            _pLast->next = &w;
        } else {
            _pFirst = &w;
        }
        _pLast = &w;
    }

    // Hands p to the longest waiter; false when nobody waits.
    bool handOver(PooledDB* p) {
        Waiter* first = _pFirst;
        if (!first) {
            return false;
        }
        remove(*first);
        first->granted = p;
        _returned.notify_all();
        return true;
    }

    void remove(Waiter& w) {
        Waiter** link = &_pFirst;
        Waiter* previous = nullptr;
        while (*link && *link != &w) {
            previous = *link;
            link = &(*link)->next;
        }
        if (*link) {
            *link = w.next;
            if (_pLast == &w) {
                _pLast = previous;
            }
        }
        w.next = nullptr;
    }

    // Waits, with lock held once, until w is granted a connection or the deadline passes.
    void waitFor(platform::Lock& lock, Waiter& w, std::chrono::steady_clock::time_point deadline) {
        HeldLock held{lock};
        _returned.wait_until(held, deadline, [&w] { return w.granted != nullptr; });
    }

private:
    // The platform lock as the standard condition variable wants it.
    struct HeldLock {
        platform::Lock& platformLock;
        void lock() { platformLock.enter(); }
        void unlock() { platformLock.leave(); }
    };

    Waiter* _pFirst = nullptr;
    Waiter* _pLast = nullptr;
    std::condition_variable_any _returned;
};

} // namespace detail

String detail::parameterLine(const String& source, const String& user, const String& password) {
    String line("Src=");
    // A connection string given as the source may carry a password of its own.
    line += detail::orNull(detail::scrubbed(source, detail::passwordOf(source)));
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
    : _pFirst(nullptr), _pLast(nullptr), _lock{}, _lInitial(0), _lMaximum(-1), _lCount(0),
      _bResizeable(false), _ulWait(0), _pQueue(new detail::PoolQueue) {
    platform::makeInPlace<platform::Lock>(_lock);
}

DBPoolMgr::DBPoolMgr(const DBPoolMgr& o)
    : KELBase(o), _pFirst(nullptr), _pLast(nullptr), _lock{}, _source(o._source), _user(o._user),
      _password(o._password), _lInitial(o._lInitial), _lMaximum(o._lMaximum), _lCount(0),
      _bResizeable(o._bResizeable), _ulWait(o._ulWait), _pQueue(new detail::PoolQueue) {
    platform::makeInPlace<platform::Lock>(_lock);
}

DBPoolMgr& DBPoolMgr::operator=(const DBPoolMgr& o) {
    if (this != &o) {
        KELBase::operator=(o);
        _source = o._source;
        _user = o._user;
        _password = o._password;
        _lInitial = o._lInitial;
        _lMaximum = o._lMaximum;
        _bResizeable = o._bResizeable;
        _ulWait = o._ulWait;
    }
    return *this;
}

DBPoolMgr::~DBPoolMgr() {
    destroyChain();
    delete _pQueue;
    platform::dropInPlace<platform::Lock>(_lock);
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
        platform::LockGuard guard(platform::inPlace<platform::Lock>(_lock));
        // Borrowers already waiting come first: a newcomer only takes a free connection when none waits.
        if (_pQueue->empty()) {
            chosen = takeFree();
        }
        if (!chosen && _ulWait > 0) {
            detail::PoolQueue::Waiter waiter;
            _pQueue->append(waiter);
            const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(_ulWait);
            _pQueue->waitFor(platform::inPlace<platform::Lock>(_lock), waiter, deadline);
            _pQueue->remove(waiter);
            chosen = waiter.granted;
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
            platform::LockGuard guard(platform::inPlace<platform::Lock>(_lock));
            chosen->_lRefresh = 1;
            giveBack(chosen);
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
    platform::LockGuard guard(platform::inPlace<platform::Lock>(_lock));
    giveBack(p);
}

void DBPoolMgr::setWait(unsigned long milliseconds) {
    platform::LockGuard guard(platform::inPlace<platform::Lock>(_lock));
    _ulWait = milliseconds;
}

unsigned long DBPoolMgr::waitLimit() const {
    platform::LockGuard guard(platform::inPlace<platform::Lock>(_lock));
    return _ulWait;
}

void DBPoolMgr::refresh() {
    if (!_bResizeable) {
        return;
    }
    platform::LockGuard guard(platform::inPlace<platform::Lock>(_lock));
    for (PooledDB* p = _pFirst; p; p = p->_pNext) {
        p->setRefresh();
    }
}

long DBPoolMgr::count() const {
    platform::LockGuard guard(platform::inPlace<platform::Lock>(_lock));
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
    platform::LockGuard guard(platform::inPlace<platform::Lock>(_lock));
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

// The first free connection, or a new one when the pool may grow; marked in use. Called under the lock.
PooledDB* DBPoolMgr::takeFree() {
    for (PooledDB* p = _pFirst; p; p = p->_pNext) {
        if (!p->_lInUse) {
            p->_lInUse = 1;
            return p;
        }
    }
    if (_bResizeable && _lCount < _lMaximum) {
        try {
            PooledDB* grown = new PooledDB(_source, _user, _password);
            grown->_lInUse = 1;
            addPooledDB(grown);
            return grown;
        } catch (...) {
            // A pool that cannot grow has nothing to lend; the borrower hears DBPoolException.
        }
    }
    return nullptr;
}

// To the longest waiter, or back among the free connections. Called under the lock.
void DBPoolMgr::giveBack(PooledDB* p) {
    if (!_pQueue->handOver(p)) {
        p->_lInUse = 0;
    }
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
