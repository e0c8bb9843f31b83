#include "db/db_internal.h"

#include "foundation/dump.h"

namespace Kel {

namespace {

// Leaves a connection as a new borrower expects it: no open transaction and auto-commit on. In manual
// mode even unrecorded work is uncommitted, so it is rolled back too.
void settle(Database& d) {
    const bool manual = d.isOpen() && !d.isAutoCommit();
    if (d.isInTransaction() || manual) {
        d.rollback();
    }
    if (manual) {
        d.enableAutoCommit(1);
    }
}

} // namespace

DB::DB(DBPoolMgr* manager) : _pPooled(nullptr), _pAuto(nullptr), _pPoolMgr(manager), _pAutoMgr(nullptr) {
    borrow();
}

DB::DB(DBAutoMgr* manager) : _pPooled(nullptr), _pAuto(nullptr), _pPoolMgr(nullptr), _pAutoMgr(manager) {
    borrow();
}

DB::DB(const DB& o)
    : KELBase(o), _pPooled(nullptr), _pAuto(nullptr), _pPoolMgr(o._pPoolMgr), _pAutoMgr(o._pAutoMgr) {
    borrow();
}

DB& DB::operator=(const DB& o) {
    if (this != &o) {
        DB other(o);
        giveBack();
        KELBase::operator=(o);
        _pPooled = other._pPooled;
        _pAuto = other._pAuto;
        _pPoolMgr = other._pPoolMgr;
        _pAutoMgr = other._pAutoMgr;
        other._pPooled = nullptr;
        other._pAuto = nullptr;
    }
    return *this;
}

DB::~DB() {
    giveBack();
}

Database* DB::db() const {
    if (_pPooled) {
        return &_pPooled->_db;
    }
    if (_pAuto) {
        return &_pAuto->_db;
    }
    return nullptr;
}

void DB::dump(Socket& s) {
    detail::dumpHeader(s, "Kel::DB");
}

void DB::dump(std::ostream& os) {
    detail::dumpHeader(os, "Kel::DB");
}

void DB::borrow() {
    if (_pPoolMgr) {
        _pPooled = _pPoolMgr->getPooledDB();
        if (!_pPooled) {
            throw DBPoolException(1, _pPoolMgr->waitLimit() > 0
                                         ? "no connection came back within the waiting limit"
                                         : "no connection is free and the pool cannot grow");
        }
    } else if (_pAutoMgr) {
        _pAuto = _pAutoMgr->getAutoDB();
        if (!_pAuto) {
            throw DBPoolException(1, "no memory for a new connection");
        }
    } else {
        throw DBPoolException(1, "no manager to borrow from");
    }
}

void DB::giveBack() {
    if (_pPooled) {
        settle(_pPooled->_db);
        _pPoolMgr->freePooledDB(_pPooled);
        _pPooled = nullptr;
    } else if (_pAuto) {
        if (_pAuto->_db.isInTransaction()) {
            _pAuto->_db.rollback();
        }
        _pAutoMgr->freeAutoDB(_pAuto);
        _pAuto = nullptr;
    }
}

} // namespace Kel
