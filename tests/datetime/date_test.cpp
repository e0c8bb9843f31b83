#include "kel_test.h"

#include <kel/datetime.h>

#include <sstream>
#include <string>

using namespace Kel;

namespace {

std::string dumped(Date& d) {
    std::ostringstream os;
    KELDump(&d).dump(os);
    return os.str();
}

void expectDate(const Date& d, long y, long m, long day) {
    EXPECT_EQ(d.year(), y);
    EXPECT_EQ(d.month(), m);
    EXPECT_EQ(d.day(), day);
}

} // namespace

TEST(DateSetters, AcceptTheYearRangeAndEveryFourthYearAsLeap) {
    expectDate(Date(2024, 2, 29), 2024, 2, 29);
    expectDate(Date(1900, 2, 29), 1900, 2, 29);
    expectDate(Date(1800, 2, 29), 1800, 2, 29);
    expectDate(Date(1790, 1, 1), 1790, 1, 1);
    expectDate(Date(2037, 12, 31), 2037, 12, 31);
    expectDate(Date(2038, 1, 19), 2038, 1, 19);
    expectDate(Date(9999, 12, 31), 9999, 12, 31);
    EXPECT_THROW_REASON(Date(2023, 2, 29), DateTimeException, 1);
    EXPECT_THROW_REASON(Date(1789, 1, 1), DateTimeException, 1);
    EXPECT_THROW_REASON(Date(10000, 1, 1), DateTimeException, 1);
    EXPECT_THROW_REASON(Date(2024, 13, 1), DateTimeException, 1);
    EXPECT_THROW_REASON(Date(2024, 0, 1), DateTimeException, 1);
    EXPECT_THROW_REASON(Date(2024, 4, 31), DateTimeException, 1);
    EXPECT_THROW_REASON(Date(2024, 4, 0), DateTimeException, 1);
}

TEST(DateSetters, DayNeedsYearThenMonthAndFailuresChangeNothing) {
    Date d;
    EXPECT_THROW_REASON(d.day(5), DateTimeException, 3);
    d.year(2020);
    EXPECT_THROW_REASON(d.day(5), DateTimeException, 2);
    d.month(7);
    d.day(5);
    expectDate(d, 2020, 7, 5);

    EXPECT_THROW_REASON(d.year(10000), DateTimeException, 1);
    EXPECT_THROW_REASON(d.month(-1), DateTimeException, 1);
    EXPECT_THROW_REASON(d.day(32), DateTimeException, 1);
    expectDate(d, 2020, 7, 5);
}

TEST(DateSetters, YearAndMonthDoNotRevalidateTheDay) {
    Date d(2024, 1, 31);
    d.month(2);
    expectDate(d, 2024, 2, 31);
    EXPECT_EQ(d.lastDay(), 29);
    EXPECT_EQ(d.dayOfYear(), 62);
    // Counted on past the month's end: 31 February 2024 is 2 March, a Saturday.
    EXPECT_EQ(d.dayOfWeek(), Date::Saturday);
    EXPECT_EQ(d.format("YYYY-MM-DD"), "2024-02-31");

    Date leap(2024, 2, 29);
    leap.year(2023);
    expectDate(leap, 2023, 2, 29);
}

TEST(DateQueries, DayOfYearLastDayAndDayOfWeek) {
    EXPECT_EQ(Date(2024, 3, 1).dayOfYear(), 61);
    EXPECT_EQ(Date(2023, 3, 1).dayOfYear(), 60);
    EXPECT_EQ(Date(2024, 12, 31).dayOfYear(), 366);
    EXPECT_EQ(Date(1900, 12, 31).dayOfYear(), 366);
    EXPECT_EQ(Date(2023, 2, 1).lastDay(), 28);
    EXPECT_EQ(Date(1900, 2, 1).lastDay(), 29);
    EXPECT_EQ(Date(2024, 9, 1).lastDay(), 30);
    EXPECT_EQ(Date().lastDay(), 0);

    EXPECT_EQ(Date(2024, 1, 7).dayOfWeek(), Date::Sunday);
    EXPECT_EQ(Date(2000, 1, 1).dayOfWeek(), Date::Saturday);
    EXPECT_EQ(Date(1790, 1, 1).dayOfWeek(), Date::Friday);
    // Partly set dates count like the C library's normalisation: month 0 is December of the year before.
    Date partial;
    partial.year(2024);
    EXPECT_EQ(partial.dayOfYear(), 0);
    EXPECT_EQ(partial.dayOfWeek(), Date::Thursday); // 30 November 2023
    EXPECT_THROW_REASON(Date().dayOfWeek(), DateTimeException, 1);
}

TEST(DateNames, MonthTablesCountFromZero) {
    EXPECT_EQ(Date::shortMonth(0), "Jan");
    EXPECT_EQ(Date::shortMonth(8), "Sep");
    EXPECT_EQ(Date::longMonth(11), "December");
    EXPECT_EQ(Date::longMonth(4), "May");
    EXPECT_THROW_REASON(Date::longMonth(12), DateTimeException, 1);
    EXPECT_THROW_REASON(Date::shortMonth(-1), DateTimeException, 1);
}

TEST(DateCopies, AssignmentCopiesNumbersButKeepsTheStoredFormat) {
    Date d(String("05/03/2024"), "DD/MM/YYYY");
    d = Date(2024, 5, 6);
    expectDate(d, 2024, 5, 6);
    d = String("07/08/2025");
    expectDate(d, 2025, 8, 7);
    d = d;
    expectDate(d, 2025, 8, 7);

    // A copy takes the source's stored format along.
    Date copy(d);
    copy = String("01/02/2003");
    expectDate(copy, 2003, 2, 1);

    Date plain;
    plain = String("2001-02-03");
    expectDate(plain, 2001, 2, 3);
}

TEST(DateDump, WritesTheDateInTheDefaultFormat) {
    Date empty;
    EXPECT_EQ(dumped(empty), "@ class Kel::Date\n0000-00-00\n");
    Date d(2024, 3, 5);
    EXPECT_EQ(dumped(d), "@ class Kel::Date\n2024-03-05\n");
}

TEST(DateNow, IsAValidDate) {
    const Date today = Date::now();
    EXPECT_GE(today.year(), 2024);
    EXPECT_GE(today.day(), 1);
    EXPECT_LE(today.day(), today.lastDay());
}

TEST(DateTimeErrors, DetailSaysWhichValueBrokeWhichRule) {
    const struct {
        void (*fails)();
        long reason;
        const char* detail;
    } cases[] = {
        {[] { Date(10000, 1, 1); }, 1, "year 10000 is outside 1790 to 9999"},
        {[] { Date(2023, 2, 29); }, 1, "day 29 is not a day of 2023-02"},
        {[] { Date(String("2024/03/05"), "YYYY-MM-DD"); }, 4,
         "\"2024/03/05\" does not have the separators of the format \"YYYY-MM-DD\""},
        {[] { Date(String("05/03/1789"), "DD/MM/YYYY"); }, 1, "year 1789 is outside 1790 to 9999"},
        {[] { Time(24, 0, 0L); }, 1, "hour 24 is outside 0 to 23"},
        {[] { Timestamp(2024, 1, 1, 0, 0, 0L).format("YYY"); }, 5, "field Y of width 3"},
    };
    for (const auto& c : cases) {
        try {
            c.fails();
            ADD_FAILURE() << c.detail << ": nothing thrown";
        } catch (const DateTimeException& e) {
            EXPECT_EQ(e.reason(), c.reason) << c.detail;
            EXPECT_STREQ(e.detail(), c.detail);
            EXPECT_NE(std::string(e.what()).find(c.detail), std::string::npos) << e.what();
        }
    }
}
