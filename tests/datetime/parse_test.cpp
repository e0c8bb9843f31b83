#include "kel_test.h"

#include <kel/datetime.h>

using namespace Kel;

namespace {

struct DateCase {
    const char* value;
    const char* format;
    long year, month, day;
};

struct BadCase {
    const char* value;
    const char* format;
    long reason;
};

} // namespace

TEST(DateParse, ReadsFieldsByPosition) {
    const DateCase cases[] = {
        {"2024-03-05", "YYYY-MM-DD", 2024, 3, 5},
        {"05/03/24", "DD/MM/YY", 2024, 3, 5},
        {"05/03/40", "DD/MM/YY", 1940, 3, 5},
        {"05/03/37", "DD/MM/YY", 2037, 3, 5},
        {"05/03/39", "DD/MM/YY", 2039, 3, 5},
        {"9999-12-31", "YYYY-MM-DD", 9999, 12, 31},
        {"2100-060", "YYYY-DDD", 2100, 3, 1},
        {"05/03/99", "DD/MM/YY", 1999, 3, 5},
        {"05 mar 2024", "DD MMM YYYY", 2024, 3, 5},
        {"5 MARCH 2024", "D MMMMM YYYY", 2024, 3, 5},
        {"05 Marx 2024", "DD MMMM YYYY", 2024, 3, 5},
        {"2024-065", "YYYY-DDD", 2024, 3, 5},
        {"2023-065", "YYYY-DDD", 2023, 3, 6},
        {"2024-366", "YYYY-DDD", 2024, 12, 31},
        {"Tue 2024-03-05", "WWW YYYY-MM-DD", 2024, 3, 5},
        // Lenient inside a field: the leading number counts.
        {"2x24-03-05", "YYYY-MM-DD", 2002, 3, 5},
        {" 5. 3.2024", "DD.MM.YYYY", 2024, 3, 5},
        {"3/7", "M/D", 2000, 3, 7},
        // Separators other than the five only take up room.
        {"2024T03x05", "YYYYTMMxDD", 2024, 3, 5},
    };
    for (const DateCase& c : cases) {
        const Date d(String(c.value), c.format);
        EXPECT_EQ(d.year(), c.year) << c.value;
        EXPECT_EQ(d.month(), c.month) << c.value;
        EXPECT_EQ(d.day(), c.day) << c.value;
    }
}

TEST(DateParse, RejectsLayoutFirstThenFields) {
    const BadCase cases[] = {
        {"2024-3-5", "YYYY-MM-DD", 4},     {"2024/03/05", "YYYY-MM-DD", 4},
        {"2024-03-05 ", "YYYY-MM-DD", 4},  {"2024-13-45x", "YYYY-MM-DD.", 4},
        {"1789-01-01", "YYYY-MM-DD", 1},   {"10000-01-01", "YYYYY-MM-DD", 1},
        {"05 Mrz 2024", "DD MMM YYYY", 1}, {"2024- 65", "YYYY-DDD", 1},
        {"2023-366", "YYYY-DDD", 1},       {"2024-000", "YYYY-DDD", 1},
        {"03/2024", "MM/YYYY", 1},         {"2024-02-30", "YYYY-MM-DD", 1},
        {"2023-02-29", "YYYY-MM-DD", 1},   {"99999999999-01-01", "YYYYYYYYYYY-MM-DD", 1},
    };
    for (const BadCase& c : cases) {
        EXPECT_THROW_REASON(Date(String(c.value), c.format), DateTimeException, c.reason);
    }
    EXPECT_THROW_REASON(Date(String(), ""), DateTimeException, 4);
    EXPECT_THROW_REASON(Date(String(), "YYYY"), DateTimeException, 4);
}

TEST(DateParse, FailedAssignmentLeavesTheDate) {
    Date d(String("05/03/2024"), "DD/MM/YYYY");
    d = String("07/08/2025");
    EXPECT_EQ(d.format("YYYY-MM-DD"), "2025-08-07");
    EXPECT_THROW_REASON(d = String("2025-08-07"), DateTimeException, 4);
    EXPECT_THROW_REASON(d = String("31/02/2025"), DateTimeException, 1);
    EXPECT_EQ(d.format("YYYY-MM-DD"), "2025-08-07");
}

TEST(TimeParse, ReadsHoursMinutesAndFractionalSeconds) {
    const Time a(String("14:05:07.25"), "HH:NN:SS.SS");
    EXPECT_EQ(a.hour(), 14);
    EXPECT_EQ(a.minute(), 5);
    EXPECT_DOUBLE_EQ(a.second(), 7.25);

    const Time b(String("14:05"), "HH:NN");
    EXPECT_EQ(b.minute(), 5);
    EXPECT_EQ(b.second(), 0.0);

    // The 12-hour letter and the marker are not read.
    const Time c(String("02:05 PM"), "hh:NN PP");
    EXPECT_EQ(c.hour(), 0);
    EXPECT_EQ(c.minute(), 5);

    EXPECT_THROW_REASON(Time(String("14:05:60"), "HH:NN:SS"), DateTimeException, 1);
    EXPECT_THROW_REASON(Time(String("24:00:00"), "HH:NN:SS"), DateTimeException, 1);
    EXPECT_THROW_REASON(Time(String("-1:00:00"), "HH:NN:SS"), DateTimeException, 1);
    EXPECT_THROW_REASON(Time(String("14.05:07"), "HH:NN:SS"), DateTimeException, 4);
    EXPECT_THROW_REASON(Time(String("nan"), "SSS"), DateTimeException, 1);
    // 2^32 must not wrap round to hour 0 where long has 64 bits.
    EXPECT_THROW_REASON(Time(String("4294967296"), "HHHHHHHHHH"), DateTimeException, 1);

    // Assigning a time keeps the stored format that text assignment parses with.
    Time t(String("10.20"), "HH.NN");
    t = Time(8, 5, 3.75);
    EXPECT_DOUBLE_EQ(t.second(), 3.75);
    t = String("11.30");
    EXPECT_EQ(t.hour(), 11);
    EXPECT_EQ(t.second(), 0.0);
    EXPECT_THROW_REASON(t = String("11:30"), DateTimeException, 4);
    EXPECT_EQ(t.minute(), 30);
}

TEST(TimestampParse, DateRulesThenTimeRules) {
    const Timestamp a(String("25.12.2024 08:00:30"), "DD.MM.YYYY HH:NN:SS");
    EXPECT_EQ(a.format("YYYY-MM-DD HH:NN:SS"), "2024-12-25 08:00:30");
    const Timestamp b(String("2024-12-25"), "YYYY-MM-DD");
    EXPECT_EQ(b.format("YYYY-MM-DD HH:NN:SS"), "2024-12-25 00:00:00");

    EXPECT_THROW_REASON(Timestamp(String("08:00:30"), "HH:NN:SS"), DateTimeException, 1);
    // A bad date field is found before a bad colon; a bad colon before a bad time field.
    EXPECT_THROW_REASON(Timestamp(String("2024-13-25 08x00:30"), "YYYY-MM-DD HH:NN:SS"), DateTimeException,
                        1);
    EXPECT_THROW_REASON(Timestamp(String("2024-12-25 99x00:30"), "YYYY-MM-DD HH:NN:SS"), DateTimeException,
                        4);
    EXPECT_THROW_REASON(Timestamp(String("2024-12-25 99:00:30"), "YYYY-MM-DD HH:NN:SS"), DateTimeException,
                        1);
}
