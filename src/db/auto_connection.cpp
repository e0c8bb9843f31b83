#include "db/db_internal.h"

#include "foundation/dump.h"

#include <new>

namespace Kel {

// AutoDB

AutoDB::AutoDB(const char* source, const char* user, const char* password) {
    if (_db.open(source, user, password) < 0) {
        throw DatabaseException(_db.lastError());
    }
}

AutoDB::AutoDB(const AutoDB& o) : KELBase(o) {}

AutoDB& AutoDB::operator=(const AutoDB& o) {
    KELBase::operator=(o);
    return *this;
}

AutoDB::~AutoDB() {
    _db.close();
}

void AutoDB::dump(Socket& s) {
    detail::dumpHeader(s, "Kel::AutoDB");
}

void AutoDB::dump(std::ostream& os) {
    detail::dumpHeader(os, "Kel::AutoDB");
}

// DBAutoMgr

DBAutoMgr::DBAutoMgr() {}

DBAutoMgr::DBAutoMgr(const DBAutoMgr& o)
    : KELBase(o), _source(o._source), _user(o._user), _password(o._password) {}

DBAutoMgr& DBAutoMgr::operator=(const DBAutoMgr& o) {
    if (this != &o) {
        KELBase::operator=(o);
        _source = o._source;
        _user = o._user;
        _password = o._password;
    }
    return *this;
}

DBAutoMgr::~DBAutoMgr() {}

void DBAutoMgr::setup(const String& source, const String& user, const String& password) {
    _source = source;
    _user = user;
    _password = password;
}

AutoDB* DBAutoMgr::getAutoDB() {
    return new (std::nothrow) AutoDB(_source, _user, _password);
}

void DBAutoMgr::freeAutoDB(AutoDB* p) {
    delete p;
}

void DBAutoMgr::dump(Socket& s) {
    detail::dumpHeader(s, "Kel::DBAutoMgr");
    detail::dumpLine(s, detail::parameterLine(_source, _user, _password));
}

void DBAutoMgr::dump(std::ostream& os) {
    detail::dumpHeader(os, "Kel::DBAutoMgr");
    detail::dumpLine(os, detail::parameterLine(_source, _user, _password));
}

} // namespace Kel
