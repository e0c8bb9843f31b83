#include "datetime/defaults.h"
#include "datetime/fail.h"
#include "datetime/fields.h"
#include "datetime/instant.h"
#include "foundation/dump.h"

#include <kel/datetime.h>

#include <cmath>

namespace Kel {

namespace {

// The dump's value line: the date and the time in their default formats, joined by a blank.
String dumpText(const datetime::Fields& f) {
    String text =
        datetime::formatFields(f, datetime::defaultFormat(datetime::dateFormat), datetime::FieldSet::date);
    text += " ";
    text +=
        datetime::formatFields(f, datetime::defaultFormat(datetime::timeFormat), datetime::FieldSet::time);
    return text;
}

void checkClock(Time::Where where) {
    if (where != Time::Local && where != Time::UTC) {
        datetime::fail(1, "unknown clock %d", static_cast<int>(where));
    }
}

} // namespace

Timestamp::Timestamp() = default;

Timestamp::Timestamp(long y, long mo, long d, long h, long mi, long s) : Date(y, mo, d), Time(h, mi, s) {}

Timestamp::Timestamp(long y, long mo, long d, long h, long mi, double s) : Date(y, mo, d), Time(h, mi, s) {}

Timestamp::Timestamp(const Date& date, const Time& time) : Date(date), Time(time) {}

Timestamp::Timestamp(const String& value, const String& fmt) {
    datetime::Fields f;
    datetime::parseTimestamp(value, fmt, f);
    assign(f);
}

Timestamp::Timestamp(const Timestamp& o) : Date(), Time() {
    Date::operator=(o);
    Time::operator=(o);
}

Timestamp::~Timestamp() = default;

datetime::Fields Timestamp::fields() const {
    datetime::Fields f;
    f.year = _lYear;
    f.month = _lMonth;
    f.day = _lDay;
    f.hour = _lHour;
    f.minute = _lMinute;
    f.second = _dSecond;
    return f;
}

void Timestamp::assign(const datetime::Fields& f) {
    _lYear = f.year;
    _lMonth = f.month;
    _lDay = f.day;
    _lHour = f.hour;
    _lMinute = f.minute;
    _dSecond = f.second;
}

const Timestamp& Timestamp::operator=(const Timestamp& o) {
    Date::operator=(o);
    Time::operator=(o);
    return *this;
}

const Timestamp& Timestamp::operator=(const String& value) {
    // The two stored formats joined by a blank, as the dump joins the two parts.
    String fmt = Date::storedFormat();
    fmt += " ";
    fmt += Time::storedFormat();
    datetime::Fields f;
    datetime::parseTimestamp(value, fmt, f);
    assign(f);
    return *this;
}

String Timestamp::format(const String& fmt) const {
    return datetime::formatFields(fields(), fmt, datetime::FieldSet::timestamp);
}

Timestamp Timestamp::now(Time::Where where) {
    checkClock(where);
    const long long milliseconds = datetime::currentMilliseconds();
    Timestamp t;
    t.assign(datetime::fieldsAt(datetime::wholeSeconds(milliseconds), 0.0, where == Time::UTC));
    return t;
}

Timestamp Timestamp::nowWithMilliseconds(Time::Where where) {
    checkClock(where);
    const long long milliseconds = datetime::currentMilliseconds();
    const long long seconds = datetime::wholeSeconds(milliseconds);
    const double fraction = static_cast<double>(milliseconds - seconds * 1000) / 1000.0;
    Timestamp t;
    t.assign(datetime::fieldsAt(seconds, fraction, where == Time::UTC));
    return t;
}

Timestamp::Timestamp(std::chrono::system_clock::time_point t) : Timestamp(t, Time::Local) {}

Timestamp::Timestamp(std::chrono::system_clock::time_point t, Time::Where where) {
    checkClock(where);
    long long seconds = 0;
    double fraction = 0.0;
    datetime::splitTimePoint(t, seconds, fraction);
    assign(datetime::fieldsAt(seconds, fraction, where == Time::UTC));
}

std::chrono::system_clock::time_point Timestamp::toTimePoint(Time::Where where) const {
    checkClock(where);
    const long long seconds = datetime::secondsOf(fields(), where == Time::UTC);
    return datetime::timePointOf(seconds, _dSecond - std::floor(_dSecond));
}

void Timestamp::dump(Socket& s) {
    detail::dumpHeader(s, "Kel::Timestamp");
    detail::dumpLine(s, dumpText(fields()));
}

void Timestamp::dump(std::ostream& os) {
    detail::dumpHeader(os, "Kel::Timestamp");
    detail::dumpLine(os, dumpText(fields()));
}

} // namespace Kel
