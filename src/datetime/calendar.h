#ifndef KEL_SRC_DATETIME_CALENDAR_H
#define KEL_SRC_DATETIME_CALENDAR_H

// Civil-date arithmetic shared by the date, time and timestamp classes: the ranges the setters accept,
// month lengths, day counts and the English names. Nothing here depends on the C library's clock
// functions, so every platform gives the same answers.

namespace Kel {
namespace calendar {

constexpr long firstYear = 1790;
constexpr long lastYear = 9999;

// The library's own leap rule: every year divisible by four, centuries included.
inline bool isLeapYear(long year) {
    return year % 4 == 0;
}

// Days of month 1 to 12 of year by the library's leap rule; 0 for any other month. Inline: every date
// read checks its day against it.
inline long monthLength(long year, long month) {
    static constexpr long lengths[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    if (month < 1 || month > 12) {
        return 0;
    }
    return month == 2 && isLeapYear(year) ? 29 : lengths[month - 1];
}

// Day number within the year from 1, by the library's leap rule; for a month of 0 or 1, the day itself.
long dayOfYear(long year, long month, long day);

// Weekday, 0 = Sunday, of the day that year-month-day names on the proleptic Gregorian calendar, a month
// of 0 to 12 and any day counted on into the neighbouring months and years as the C library's mktime
// normalises them.
int weekday(long year, long month, long day);

// Days from 1970-01-01 to year-month-day on the proleptic Gregorian calendar, a month of 1 to 12 and a
// day counted on into the following months: 29 February 1900 is 1 March 1900, 31 April is 1 May.
long long daysFromCivil(long year, long month, long day);

// The Gregorian date `days` days after 1970-01-01 (before it when negative).
void civilFromDays(long long days, long& year, long& month, long& day);

// Month (1 to 12) and day of the n-th day of year on the Gregorian calendar. False when n is not a day of
// that year (1 to 365, or 366 in a Gregorian leap year).
bool gregorianDayOfYear(long year, long n, long& month, long& day);

// Validity of setter arguments.
inline bool validYear(long y) {
    return y >= firstYear && y <= lastYear;
}
inline bool validMonth(long m) {
    return m >= 1 && m <= 12;
}
inline bool validHour(long h) {
    return static_cast<unsigned long>(h) <= 23;
}
inline bool validMinute(long m) {
    return static_cast<unsigned long>(m) <= 59;
}
inline bool validSecond(double s) {
    return s >= 0.0 && s < 60.0; // false for a NaN as well
}

extern const char* const longMonthNames[12];
extern const char* const shortMonthNames[12];
extern const char* const longDayNames[7];
extern const char* const shortDayNames[7];

} // namespace calendar
} // namespace Kel

#endif
