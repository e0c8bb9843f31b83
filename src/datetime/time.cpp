#include "datetime/calendar.h"
#include "datetime/defaults.h"
#include "datetime/fail.h"
#include "datetime/fields.h"
#include "datetime/instant.h"
#include "foundation/dump.h"

#include <kel/datetime.h>

namespace Kel {

Time::Time() : _lHour(0), _lMinute(0), _dSecond(0.0), _pFormat(nullptr) {}

Time::Time(long h, long m, long s) : Time() {
    hour(h);
    minute(m);
    second(s);
}

Time::Time(long h, long m, double s) : Time() {
    hour(h);
    minute(m);
    second(s);
}

Time::Time(const String& value, const String& fmt)
    : KELBase(), _lHour(0), _lMinute(0), _dSecond(0.0), _pFormat(nullptr) {
    datetime::Fields f;
    datetime::parseTime(value, fmt, f);
    _lHour = f.hour;
    _lMinute = f.minute;
    _dSecond = f.second;
    // Taken only once the value is read, so that a failure leaves nothing to release.
    _pFormat = datetime::ownFormat(fmt, datetime::timeFormat);
}

// The copy is a new object to the dump registry: its KELBase part is not copied.
Time::Time(const Time& o)
    : KELBase(), _lHour(o._lHour), _lMinute(o._lMinute), _dSecond(o._dSecond),
      _pFormat(o._pFormat ? new String(*o._pFormat) : nullptr) {}

Time::~Time() {
    delete _pFormat;
}

const Time& Time::operator=(const Time& o) {
    _lHour = o._lHour;
    _lMinute = o._lMinute;
    _dSecond = o._dSecond;
    return *this;
}

const Time& Time::operator=(const String& value) {
    datetime::Fields f;
    datetime::parseTime(value, storedFormat(), f);
    _lHour = f.hour;
    _lMinute = f.minute;
    _dSecond = f.second;
    return *this;
}

void Time::hour(long h) {
    if (!calendar::validHour(h)) {
        datetime::fail(1, "hour %ld is outside 0 to 23", h);
    }
    _lHour = h;
}

long Time::hour() const {
    return _lHour;
}

void Time::minute(long m) {
    if (!calendar::validMinute(m)) {
        datetime::fail(1, "minute %ld is outside 0 to 59", m);
    }
    _lMinute = m;
}

long Time::minute() const {
    return _lMinute;
}

void Time::second(long s) {
    if (static_cast<unsigned long>(s) > 59) {
        datetime::fail(1, "second %ld is outside 0 to 59", s);
    }
    _dSecond = static_cast<double>(s);
}

void Time::second(double s) {
    if (!calendar::validSecond(s)) {
        datetime::fail(1, "second %g is outside 0 to below 60", s);
    }
    _dSecond = s + 0.0; // a negative zero would be written "-0.00"
}

double Time::second() const {
    return _dSecond;
}

const String& Time::storedFormat() const {
    return _pFormat ? *_pFormat : datetime::defaultFormat(datetime::timeFormat);
}

String Time::format(const String& fmt) const {
    datetime::Fields f;
    f.hour = _lHour;
    f.minute = _lMinute;
    f.second = _dSecond;
    return datetime::formatFields(f, fmt, datetime::FieldSet::time);
}

Time Time::now(Where where) {
    if (where != Local && where != UTC) {
        datetime::fail(1, "unknown clock %d", static_cast<int>(where));
    }
    const long long seconds = datetime::wholeSeconds(datetime::currentMilliseconds());
    const datetime::Fields f = datetime::fieldsAt(seconds, 0.0, where == UTC);
    return Time(f.hour, f.minute, static_cast<long>(f.second));
}

void Time::dump(Socket& s) {
    detail::dumpHeader(s, "Kel::Time");
    detail::dumpLine(s, format(datetime::defaultFormat(datetime::timeFormat)));
}

void Time::dump(std::ostream& os) {
    detail::dumpHeader(os, "Kel::Time");
    detail::dumpLine(os, format(datetime::defaultFormat(datetime::timeFormat)));
}

} // namespace Kel
