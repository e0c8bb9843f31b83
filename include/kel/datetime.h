#ifndef KEL_DATETIME_H
#define KEL_DATETIME_H

// Calendar dates, times of day and timestamps, with validating setters and a small format language for
// writing and reading them.
//
// The format language. In a format, runs of certain capital letters stand for fields and every other
// character is copied as it stands. A field reaches from the first to the last occurrence of its letter,
// whatever lies between ("Y-Y" is a year field of width 3); its width selects its text:
//
//   Y   2 year modulo 100 ("24"), 4 year ("2024")
//   M   1 month ("3"), 2 month ("03"), 3 short name ("Mar"), 4 long name ("March")
//   D   1 day ("5"), 2 day ("05"), 3 day of the year ("065")
//   W   1 short day name ("Tue"), 2 long day name ("Tuesday")                      Date only
//   H   1 hour 0-23 ("8"), 2 hour ("08")
//   h   1 hour modulo 12 ("0" at midnight and noon), 2 ("00"); only when there is no H   Time only
//   N   1 minute ("5"), 2 minute ("05")
//   S   1 and 2 whole seconds, truncated ("7", "07"); 4 to 8 seconds with width - 3 decimals,
//       zero-padded to the width and rounded to nearest ("07.3", "07.25", "07.250")
//   P   1 "A" or "P", 2 "AM" or "PM"                                              Time only
//
// A Timestamp reads Y, M, D, H, N and S; W, h and P are plain text there. A width that its letter does
// not accept throws DateTimeException(5). Letters are case-sensitive: "yyyy" is plain text. When two
// fields overlap (a letter between the first and last letter of another field, as in "MDM"), the field
// that starts first is written; a field starting inside it is left out, and those of its letters that lie
// past the written extent are copied as text. A null format gives a null String; an empty one gives empty
// text. Numbers are written with a full stop as decimal point whatever the C locale.
//
// Parsing reads a value against a format position by position. The value must be exactly as long as the
// format, and where the format holds a separator (space - / \ . and, for times, :) the value must hold
// the same character; otherwise DateTimeException(4). A field's text is the value's characters under the
// field's letters, blanks elsewhere in its extent, trimmed of blanks and tabs; its number is the leading
// decimal number of that text (0 when there is none), so "2x24" in a year field reads 2. Further:
// - a year below 100 is taken relative to the pivot 1940 (GetFCCLong(2)): 0-39 give 2000-2039, 40-99 give
//   1940-1999; a format without Y gives 2000;
// - a month text of three or more characters is a month name: its first three characters are matched
//   against "Jan" to "Dec" ignoring case ("march", "MAR" and "Marx" all give March);
// - a day text of exactly three characters is a day of the year: 1 to 365, or 366 in the leap years of
//   the Gregorian calendar, otherwise reason 1; the month field is not used then;
// - the seconds text keeps a full stop that stands between the first and last S ("SS.SS" reads 07.25);
// - W, h and P are not read: "hh:NN PP" on "02:05 PM" gives 00:05.
// A value that does not fit its fields' ranges throws DateTimeException(1), as the setters do. A null
// value never parses (reason 4). Parse failures leave the target unchanged.
//
// The calendar. Years run from 1790 to 9999. A year divisible by four is a leap year, centuries included:
// 29 February 1800 and 1900 are valid dates. Days of the week, and days of the year when parsing, are
// those of the Gregorian calendar: 29 February 1900 falls on the day that 1 March 1900 does, and in 1800
// and 1900 the day of the year written for a date after February is one more than the one parsed back.
// All of it is computed by the library itself and gives the same results on every platform.
//
// Reasons of DateTimeException: 1 a value out of range, 2 a day set while the month is unset, 3 a day
// set while the year is unset, 4 a value that does not fit its format, 5 a format field of a width that
// its letter does not accept.
//
// Values are plain data: not synchronised, one thread at a time per object. The defaults below are
// read-only and may be read from any thread.

#include <kel/export.h>
#include <kel/foundation.h>
#include <kel/string.h>

#include <chrono>
#include <iosfwd>

namespace Kel {

class Socket;
namespace datetime {
struct Fields;
}

/// The default numbers: 0 (index 0), 1 (index 1) and 1940, the pivot year for two-digit years (index 2).
/// Throws Exception "Index out of range" (reason 0) for any other index, negative ones included.
KEL_API long GetFCCLong(long index);
/// A copy of a default format: "YYYY-MM-DD" (index 0), "HH:NN:SS" (index 1) and "YYYY-MM-DD HH:NN:SS"
/// (index 2). Throws Exception "Index out of range" (reason 0) for any other index.
KEL_API String GetFCCString(long index);

/// A calendar date held as year, month and day, where 0 means "not set". A date is filled by its setters in
/// any order, except that the day needs the year and the month first. The setters do not look at the other
/// fields, so setting the month of 31 January to 2 leaves 31 February: nothing repairs such a date and the
/// queries work on the numbers as they stand. Each date keeps a stored format, fixed at construction,
/// with which assignment from text parses.
class KEL_API Date : public KELBase {
public:
    /// Numbered as the C library numbers weekdays; the same numbers index the day names.
    enum edayOfWeek {
        Sunday = 0,
        Monday = 1,
        Tuesday = 2,
        Wednesday = 3,
        Thursday = 4,
        Friday = 5,
        Saturday = 6
    };

    /// The empty date 0-0-0 with the default date format as stored format.
    Date();
    /// The date year-month-day, set in that order through the setters, whose DateTimeException(1) leaves
    /// the constructor. The stored format is the default date format.
    Date(long year, long month, long day);
    /// The date that value holds in format; format becomes the stored format. Throws DateTimeException(4)
    /// when value does not fit the layout of format and (1) when a field is out of range.
    Date(const String& value, const String& format);
    /// The numbers and the stored format of o.
    Date(const Date& o);
    ~Date() override;

    /// Copies year, month and day; the stored format stays.
    const Date& operator=(const Date& o);
    /// Replaces year, month and day by the date that value holds in the stored format. Throws as the parse
    /// constructor does and leaves the date unchanged then.
    const Date& operator=(const String& value);

    ///@{
    /// Sets the year, 1790 to 9999; DateTimeException(1) otherwise.
    void year(long y);
    long year() const;
    ///@}
    ///@{
    /// Sets the month, 1 to 12; DateTimeException(1) otherwise.
    void month(long m);
    long month() const;
    ///@}
    ///@{
    /// Sets the day. Throws DateTimeException(3) while the year is 0, (2) while the month is 0, and (1) when
    /// d is not a day of that month.
    void day(long d);
    long day() const;
    ///@}

    /// The day of the week, with a month of 0 and days past the month's end counted on into the neighbouring
    /// months (31 February 2023 falls on 3 March). Throws DateTimeException(1) while the year is 0.
    edayOfWeek dayOfWeek() const;
    /// The number of the day within its year, from 1; with a month of 0 or 1, the day itself.
    long dayOfYear() const;
    /// The number of days of the date's month; 0 while the month is 0.
    long lastDay() const;

    /// The date written in fmt by the format language (Y, M, D, W). Throws DateTimeException(5) for a
    /// field of an unaccepted width and (1) for a month name while the month is 0 or a day name while the
    /// year is 0. The stored format is not used.
    String format(const String& fmt) const;

    /// Today's local date. Throws DateTimeException(1) when the current year is outside 1790 to 9999.
    static Date now();

    /// The local date at t, on the time zone that now() reads. Throws DateTimeException(1) when that
    /// year is outside 1790 to 9999. The stored format is the default date format.
    explicit Date(std::chrono::system_clock::time_point t);
    /// The instant of local midnight at the start of the date, on the time zone that now() reads. A
    /// date the library's calendar accepts but the Gregorian calendar does not (29 February 1900 or
    /// 2100), or a day past its month's end, is taken as the day it runs on into (1 March). Throws
    /// DateTimeException(1) while year, month or day is 0, or when time_point cannot hold the instant
    /// (with nanosecond ticks it reaches from 1677 to 2262).
    std::chrono::system_clock::time_point toTimePoint() const;
    ///@{
    /// The English name of month index i counted from 0 ("January", "Jan"). Throws DateTimeException(1)
    /// when i is not 0 to 11.
    static String longMonth(long i);
    static String shortMonth(long i);
    ///@}

protected:
    ///@{
    /// "@ class Kel::Date", then the date in the default date format ("0000-00-00" for the empty date).
    void dump(Socket& s) override;
    void dump(std::ostream& os) override;
    ///@}

private:
    friend class Timestamp;

    /// The stored format: the process-wide default, shared rather than copied, or a format of its own.
    const String& storedFormat() const;

    long _lYear;
    long _lMonth;
    long _lDay;
    /// A format of its own, owned; null for the process-wide default, so that dates in the default
    /// format are made and destroyed without a String.
    String* _pFormat;
};

/// A time of day: hours, minutes and seconds that may carry a fraction, always valid. It carries no date
/// and no time zone. Each time keeps a stored format, fixed at construction, with which assignment from
/// text parses.
class KEL_API Time : public KELBase {
public:
    /// The clock read by now(): local time (with the zone and daylight saving in force) or universal time.
    enum Where { Local = 0, UTC = 1 };

    /// Midnight, with the default time format as stored format.
    Time();
    ///@{
    /// hour:minute:second, set in that order through the setters, whose DateTimeException(1) leaves the
    /// constructor. The stored format is the default time format. (Three int literals name neither
    /// constructor: pass the seconds as a long or a double.)
    Time(long hour, long minute, long second);
    Time(long hour, long minute, double second);
    ///@}
    /// The time that value holds in format; format becomes the stored format. Throws DateTimeException(4)
    /// when value does not fit the layout of format and (1) when a field is out of range.
    Time(const String& value, const String& format);
    /// The numbers and the stored format of o.
    Time(const Time& o);
    ~Time() override;

    /// Copies hour, minute and second; the stored format stays.
    const Time& operator=(const Time& o);
    /// Replaces hour, minute and second by the time that value holds in the stored format. Throws as the
    /// parse constructor does and leaves the time unchanged then.
    const Time& operator=(const String& value);

    ///@{
    /// Sets the hour, 0 to 23; DateTimeException(1) otherwise.
    void hour(long h);
    long hour() const;
    ///@}
    ///@{
    /// Sets the minute, 0 to 59; DateTimeException(1) otherwise.
    void minute(long m);
    long minute() const;
    ///@}
    ///@{
    /// Sets the seconds: a whole number 0 to 59, or any value from 0 up to but not including 60 (not a
    /// NaN); DateTimeException(1) otherwise. A negative zero is stored as zero.
    void second(long s);
    void second(double s);
    double second() const;
    ///@}

    /// The time written in fmt by the format language (H or h, N, S, P). Throws DateTimeException(5) for a
    /// field of an unaccepted width. The stored format is not used.
    String format(const String& fmt) const;

    /// The current time of day on the chosen clock, in whole seconds, with the default time format.
    /// Throws DateTimeException(1) for a clock other than Local and UTC.
    static Time now(Where where);

protected:
    ///@{
    /// "@ class Kel::Time", then the time in the default time format ("00:00:00" at midnight).
    void dump(Socket& s) override;
    void dump(std::ostream& os) override;
    ///@}

private:
    friend class Timestamp;

    /// The stored format: the process-wide default, shared rather than copied, or a format of its own.
    const String& storedFormat() const;

    long _lHour;
    long _lMinute;
    double _dSecond;
    /// A format of its own, owned; null for the process-wide default.
    String* _pFormat;
};

/// A date and a time of day: a Timestamp is a Date and a Time at once, with every getter and setter of
/// both. It converts to KELBase only through Date or Time.
class KEL_API Timestamp : public Date, public Time {
public:
    /// The empty date at midnight, with the default formats as stored formats.
    Timestamp();
    ///@{
    /// The date set as Date(year, month, day) does, then the time as Time(hour, minute, second) does; the
    /// first failing setter's DateTimeException(1) leaves the constructor.
    Timestamp(long year, long month, long day, long hour, long minute, long second);
    Timestamp(long year, long month, long day, long hour, long minute, double second);
    ///@}
    /// Copies of date and time, their stored formats included.
    Timestamp(const Date& date, const Time& time);
    /// The timestamp that value holds in format: the date fields are read as Date parses them, then the
    /// time fields as Time does, each after its own layout check. A format without a month or a day fails
    /// with DateTimeException(1). The stored formats are the defaults.
    Timestamp(const String& value, const String& format);
    /// The six numbers of o, with the default formats as stored formats.
    Timestamp(const Timestamp& o);
    ~Timestamp() override;

    /// Copies the six numbers; the stored formats stay.
    const Timestamp& operator=(const Timestamp& o);
    /// Replaces the six numbers by the timestamp that value holds in the date part's stored format, a
    /// blank, and the time part's stored format: "YYYY-MM-DD HH:NN:SS" with the defaults. Throws as the
    /// parse constructor does and leaves the timestamp unchanged then.
    const Timestamp& operator=(const String& value);

    /// The timestamp written in fmt by the format language (Y, M, D, H, N, S; W, h and P are plain text).
    /// Throws DateTimeException(5) for a field of an unaccepted width and (1) for a month name while the
    /// month is 0.
    String format(const String& fmt) const;

    /// The current date and time of day on the chosen clock, in whole seconds, both read from the same
    /// instant. Throws DateTimeException(1) when the current year is outside 1790 to 9999 or for a clock
    /// other than Local and UTC.
    static Timestamp now(Time::Where where);
    /// As now(), with the milliseconds kept as the fraction of the seconds: for log lines, written
    /// with "YYYY-MM-DD HH:NN:SS.SSS".
    static Timestamp nowWithMilliseconds(Time::Where where);

    ///@{
    /// The date and time at t: on local time, as now(Time::Local) reads it, for the first constructor
    /// and for where == Time::Local; on universal time, as now(Time::UTC) reads it, for where ==
    /// Time::UTC. The seconds keep t's fraction of a second. Throws DateTimeException(1) when that year
    /// is outside 1790 to 9999, or for a clock other than Local and UTC. The stored formats are the
    /// defaults.
    explicit Timestamp(std::chrono::system_clock::time_point t);
    Timestamp(std::chrono::system_clock::time_point t, Time::Where where);
    ///@}
    /// The instant this timestamp names, read as local time (Time::Local, the default: for timestamps
    /// from now(Time::Local) or the local constructor) or as universal time (Time::UTC: for those from
    /// now(Time::UTC) or the UTC constructor). A date the library's calendar accepts but the Gregorian
    /// calendar does not (29 February 1900 or 2100), or a day past its month's end, is taken as the day
    /// it runs on into (1 March). A local time that daylight saving skips is read with the offset in
    /// force after the change. Throws DateTimeException(1) while year, month or day is 0, for a clock
    /// other than Local and UTC, or when time_point cannot hold the instant (with nanosecond ticks it
    /// reaches from 1677 to 2262).
    std::chrono::system_clock::time_point toTimePoint(Time::Where where = Time::Local) const;

protected:
    ///@{
    /// "@ class Kel::Timestamp", then the date and the time in the default formats joined by a blank
    /// ("0000-00-00 00:00:00" for the empty timestamp), without fractions of a second.
    void dump(Socket& s) override;
    void dump(std::ostream& os) override;
    ///@}

private:
    datetime::Fields fields() const;
    void assign(const datetime::Fields& f);
};

} // namespace Kel

#endif
