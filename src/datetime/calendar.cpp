#include "datetime/calendar.h"

namespace Kel {
namespace calendar {

const char* const longMonthNames[12] = {"January",   "February", "March",    "April",
                                        "May",       "June",     "July",     "August",
                                        "September", "October",  "November", "December"};
const char* const shortMonthNames[12] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                         "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
const char* const longDayNames[7] = {"Sunday",   "Monday", "Tuesday", "Wednesday",
                                     "Thursday", "Friday", "Saturday"};
const char* const shortDayNames[7] = {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};

namespace {

const long daysBeforeMonth[12] = {0, 31, 59, 90, 120, 151, 181, 212, 243, 273, 304, 334};

bool isGregorianLeapYear(long long y) {
    return y % 4 == 0 && (y % 100 != 0 || y % 400 == 0);
}

long long floorDiv(long long a, long long b) {
    long long q = a / b;
    return (a % b != 0 && (a < 0) != (b < 0)) ? q - 1 : q;
}

// Days from 1970-01-01 to the first of month m (1 to 12) of year y, proleptic Gregorian.
long long daysToFirstOfMonth(long long y, long long m) {
    // Counting years from March moves the leap day to the end of the cycle.
    y -= m <= 2;
    const long long era = floorDiv(y, 400);
    const long long yearOfEra = y - era * 400;
    const long long dayOfYear = (153 * (m > 2 ? m - 3 : m + 9) + 2) / 5;
    const long long dayOfEra = yearOfEra * 365 + yearOfEra / 4 - yearOfEra / 100 + dayOfYear;
    return era * 146097 + dayOfEra - 719468;
}

} // namespace

long long daysFromCivil(long year, long month, long day) {
    return daysToFirstOfMonth(year, month) + day - 1;
}

void civilFromDays(long long days, long& year, long& month, long& day) {
    // The inverse of daysToFirstOfMonth: eras of 400 years counted from 1 March 0000.
    days += 719468;
    const long long era = floorDiv(days, 146097);
    const long long dayOfEra = days - era * 146097;
    const long long yearOfEra = (dayOfEra - dayOfEra / 1460 + dayOfEra / 36524 - dayOfEra / 146096) / 365;
    const long long dayOfYear = dayOfEra - (365 * yearOfEra + yearOfEra / 4 - yearOfEra / 100);
    const long long monthFromMarch = (5 * dayOfYear + 2) / 153;
    day = static_cast<long>(dayOfYear - (153 * monthFromMarch + 2) / 5 + 1);
    month = static_cast<long>(monthFromMarch < 10 ? monthFromMarch + 3 : monthFromMarch - 9);
    year = static_cast<long>(yearOfEra + era * 400 + (month <= 2 ? 1 : 0));
}

long dayOfYear(long year, long month, long day) {
    if (month <= 1 || month > 12) {
        return day;
    }
    return daysBeforeMonth[month - 1] + (month > 2 && isLeapYear(year) ? 1 : 0) + day;
}

int weekday(long year, long month, long day) {
    const long long monthIndex = static_cast<long long>(month) - 1;
    const long long y = year + floorDiv(monthIndex, 12);
    const long long m = monthIndex - floorDiv(monthIndex, 12) * 12 + 1;
    const long long days = daysToFirstOfMonth(y, m) + day - 1;
    // 1 January 1970 was a Thursday.
    const long long w = (days + 4) % 7;
    return static_cast<int>(w < 0 ? w + 7 : w);
}

bool gregorianDayOfYear(long year, long n, long& month, long& day) {
    const bool leap = isGregorianLeapYear(year);
    if (n < 1 || n > (leap ? 366 : 365)) {
        return false;
    }
    long m = 12;
    while (m > 1 && daysBeforeMonth[m - 1] + (m > 2 && leap ? 1 : 0) >= n) {
        --m;
    }
    month = m;
    day = n - daysBeforeMonth[m - 1] - (m > 2 && leap ? 1 : 0);
    return true;
}

} // namespace calendar
} // namespace Kel
