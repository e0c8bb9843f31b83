#include "datetime/calendar.h"
#include "datetime/defaults.h"
#include "datetime/fail.h"
#include "datetime/fields.h"
#include "datetime/instant.h"
#include "foundation/dump.h"

#include <kel/datetime.h>

namespace Kel {

namespace {

datetime::Fields fieldsOf(long year, long month, long day) {
    datetime::Fields f;
    f.year = year;
    f.month = month;
    f.day = day;
    return f;
}

String monthName(const char* const* names, long i) {
    if (static_cast<unsigned long>(i) > 11) {
        datetime::fail(1, "month index %ld is outside 0 to 11", i);
    }
    return String(names[i]);
}

} // namespace

Date::Date() : _lYear(0), _lMonth(0), _lDay(0), _pFormat(nullptr) {}

Date::Date(long y, long m, long d) : Date() {
    year(y);
    month(m);
    day(d);
}

Date::Date(const String& value, const String& fmt)
    : KELBase(), _lYear(0), _lMonth(0), _lDay(0), _pFormat(nullptr) {
    datetime::Fields f;
    datetime::parseDate(value, fmt, f);
    _lYear = f.year;
    _lMonth = f.month;
    _lDay = f.day;
    // Taken only once the value is read, so that a failure leaves nothing to release.
    _pFormat = datetime::ownFormat(fmt, datetime::dateFormat);
}

// The copy is a new object to the dump registry: its KELBase part is not copied.
Date::Date(const Date& o)
    : KELBase(), _lYear(o._lYear), _lMonth(o._lMonth), _lDay(o._lDay),
      _pFormat(o._pFormat ? new String(*o._pFormat) : nullptr) {}

Date::~Date() {
    delete _pFormat;
}

const Date& Date::operator=(const Date& o) {
    _lYear = o._lYear;
    _lMonth = o._lMonth;
    _lDay = o._lDay;
    return *this;
}

const Date& Date::operator=(const String& value) {
    datetime::Fields f;
    datetime::parseDate(value, storedFormat(), f);
    _lYear = f.year;
    _lMonth = f.month;
    _lDay = f.day;
    return *this;
}

void Date::year(long y) {
    if (!calendar::validYear(y)) {
        datetime::fail(1, "year %ld is outside %ld to %ld", y, calendar::firstYear, calendar::lastYear);
    }
    _lYear = y;
}

long Date::year() const {
    return _lYear;
}

void Date::month(long m) {
    if (!calendar::validMonth(m)) {
        datetime::fail(1, "month %ld is outside 1 to 12", m);
    }
    _lMonth = m;
}

long Date::month() const {
    return _lMonth;
}

void Date::day(long d) {
    if (_lYear == 0) {
        datetime::fail(3, "day %ld set while the year is unset", d);
    }
    if (_lMonth == 0) {
        datetime::fail(2, "day %ld set while the month is unset", d);
    }
    if (d < 1 || d > calendar::monthLength(_lYear, _lMonth)) {
        datetime::fail(1, "day %ld is not a day of %04ld-%02ld", d, _lYear, _lMonth);
    }
    _lDay = d;
}

long Date::day() const {
    return _lDay;
}

Date::edayOfWeek Date::dayOfWeek() const {
    if (_lYear == 0) {
        datetime::fail(1, "day of the week while the year is unset");
    }
    return static_cast<edayOfWeek>(calendar::weekday(_lYear, _lMonth, _lDay));
}

long Date::dayOfYear() const {
    return calendar::dayOfYear(_lYear, _lMonth, _lDay);
}

long Date::lastDay() const {
    return calendar::monthLength(_lYear, _lMonth);
}

const String& Date::storedFormat() const {
    return _pFormat ? *_pFormat : datetime::defaultFormat(datetime::dateFormat);
}

String Date::format(const String& fmt) const {
    return datetime::formatFields(fieldsOf(_lYear, _lMonth, _lDay), fmt, datetime::FieldSet::date);
}

Date Date::now() {
    const long long seconds = datetime::wholeSeconds(datetime::currentMilliseconds());
    const datetime::Fields f = datetime::fieldsAt(seconds, 0.0, false);
    return Date(f.year, f.month, f.day);
}

Date::Date(std::chrono::system_clock::time_point t) : Date() {
    long long seconds = 0;
    double fraction = 0.0;
    datetime::splitTimePoint(t, seconds, fraction);
    const datetime::Fields f = datetime::fieldsAt(seconds, 0.0, false);
    _lYear = f.year;
    _lMonth = f.month;
    _lDay = f.day;
}

std::chrono::system_clock::time_point Date::toTimePoint() const {
    return datetime::timePointOf(datetime::secondsOf(fieldsOf(_lYear, _lMonth, _lDay), false), 0.0);
}

String Date::longMonth(long i) {
    return monthName(calendar::longMonthNames, i);
}

String Date::shortMonth(long i) {
    return monthName(calendar::shortMonthNames, i);
}

void Date::dump(Socket& s) {
    detail::dumpHeader(s, "Kel::Date");
    detail::dumpLine(s, format(datetime::defaultFormat(datetime::dateFormat)));
}

void Date::dump(std::ostream& os) {
    detail::dumpHeader(os, "Kel::Date");
    detail::dumpLine(os, format(datetime::defaultFormat(datetime::dateFormat)));
}

} // namespace Kel
