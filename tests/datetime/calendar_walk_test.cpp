// Walks every day the library accepts and checks it against a plain Gregorian day counter, so that the
// calendar arithmetic is the same on every platform, whatever the C library's mktime range.

#include "kel_test.h"

#include <kel/datetime.h>

#include <cstdio>

using namespace Kel;

namespace {

bool gregorianLeap(int y) {
    return y % 4 == 0 && (y % 100 != 0 || y % 400 == 0);
}

int gregorianMonthLength(int y, int m) {
    static const int lengths[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    return m == 2 && gregorianLeap(y) ? 29 : lengths[m - 1];
}

} // namespace

TEST(CalendarWalk, EveryDayFrom1790To2100) {
    int weekday = 5; // 1 January 1790 was a Friday
    int failures = 0;
    for (int y = 1790; y <= 2100 && failures < 10; ++y) {
        int n = 0;
        // The library counts 29 February in every fourth year; in 1800 and 1900 it adds one day of the
        // year from March on, while weekdays and days of the year read back follow the Gregorian count.
        const int extra = y % 4 == 0 && !gregorianLeap(y) ? 1 : 0;
        for (int m = 1; m <= 12; ++m) {
            for (int d = 1; d <= gregorianMonthLength(y, m); ++d) {
                ++n;
                const Date date(y, m, d);
                char text[48];
                std::snprintf(text, sizeof text, "%04d-%02d-%02d", y, m, d);
                char ordinal[48];
                std::snprintf(ordinal, sizeof ordinal, "%04d-%03d", y, n);

                const Date parsed(String(text), "YYYY-MM-DD");
                const Date fromOrdinal(String(ordinal), "YYYY-DDD");
                const bool ok = date.dayOfWeek() == weekday && date.dayOfYear() == n + (m > 2 ? extra : 0) &&
                                date.format("YYYY-MM-DD") == text && parsed.year() == y &&
                                parsed.month() == m && parsed.day() == d && fromOrdinal.year() == y &&
                                fromOrdinal.month() == m && fromOrdinal.day() == d;
                if (!ok) {
                    ADD_FAILURE() << "wrong results for " << text;
                    ++failures;
                }
                weekday = (weekday + 1) % 7;
            }
        }
        if (extra != 0) {
            // 29 February of 1800 and 1900 is valid and falls where 1 March falls.
            EXPECT_EQ(Date(y, 2, 29).dayOfWeek(), Date(y, 3, 1).dayOfWeek()) << y;
            EXPECT_THROW_REASON(Date(String("1900-366"), "YYYY-DDD"), DateTimeException, 1);
        }
    }
    EXPECT_EQ(failures, 0);
    EXPECT_EQ(weekday, 6); // 1 January 2101 is a Saturday
    EXPECT_EQ(Date(9999, 12, 31).dayOfWeek(), Date::Friday);
}
