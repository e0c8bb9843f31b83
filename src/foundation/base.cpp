#include "foundation/dump.h"

#include <kel/foundation.h>
#include <kel/net.h>

#include <ostream>

namespace Kel {

namespace {
const char* const leakTrackingNotice =
    "Leak tracking disabled. Try Adding -DTRACK_LEAKS to the compiler command line\n";
} // namespace

// The registry stays empty: this build keeps no list of live objects.
std::map<KELBase*, KELDump> KELBase::_dumpS;
bool KELBase::_bInitialised = false;

KELBase::KELBase() : _bExcluded(false) {}

KELBase::KELBase(const KELBase& o) : _bExcluded(o._bExcluded) {}

KELBase& KELBase::operator=(const KELBase& o) {
    _bExcluded = o._bExcluded;
    return *this;
}

KELBase::~KELBase() = default;

void KELBase::excludeFromDump() {
    _bExcluded = true;
}

void KELBase::initialize() {
    _bInitialised = true;
}

void KELBase::dumpAll(std::ostream& os) {
    os << leakTrackingNotice;
}

void KELBase::dumpAll(Socket& s) {
    s << leakTrackingNotice << Socket::flush;
}

KELDump::KELDump() : _pObject(nullptr) {}

KELDump::KELDump(KELBase* p) : _pObject(p) {}

KELDump::KELDump(const KELDump& o) : _pObject(o._pObject) {}

const KELDump& KELDump::operator=(const KELDump& o) {
    _pObject = o._pObject;
    return *this;
}

KELDump::~KELDump() = default;

void KELDump::dump(std::ostream& os) {
    if (_pObject) {
        _pObject->dump(os);
    }
}

void KELDump::dump(Socket& s) {
    if (_pObject) {
        _pObject->dump(s);
    }
}

namespace detail {

const char* orNull(const char* text) {
    return text ? text : "(null)";
}

void dumpHeader(std::ostream& os, const char* qualifiedName) {
    os << "@ class " << qualifiedName << std::endl;
}

void dumpHeader(Socket& s, const char* qualifiedName) {
    s << "@ class " << qualifiedName << "\n";
}

void dumpLine(std::ostream& os, const char* text) {
    os << orNull(text) << std::endl;
}

void dumpLine(Socket& s, const char* text) {
    s << orNull(text) << "\n";
}

} // namespace detail
} // namespace Kel
