#include "kel_test.h"

#include <kel/datetime.h>

#include <chrono>
#include <clocale>
#include <cmath>
#include <cstdio>
#include <initializer_list>
#include <limits>
#include <ratio>
#include <string>
#include <utility>
#include <vector>

using namespace Kel;
using kel_test::dumpOf;

namespace {

const char* const full = "YYYY-MM-DD HH:NN:SS";

// The numbers of a value as read through its accessors, the timestamp's in the full format.
std::string fields(const Date& d) {
    return std::to_string(d.year()) + "-" + std::to_string(d.month()) + "-" + std::to_string(d.day());
}
std::string fields(const Time& t) {
    char text[64];
    std::snprintf(text, sizeof text, "%ld:%ld:%g", t.hour(), t.minute(), t.second());
    return text;
}
std::string fields(const Timestamp& t) {
    return std::string(t.format(full));
}

// What read() returns, or the reason of the DateTimeException it throws.
template <typename Read> std::string outcome(Read read) {
    try {
        return read();
    } catch (const DateTimeException& e) {
        return "reason " + std::to_string(e.reason());
    }
}

// The fields of value read as a T with format, or the reason of the failure.
template <typename T> std::string parsed(const std::string& value, const std::string& format) {
    return outcome([&] { return fields(T(String(value.c_str()), String(format.c_str()))); });
}

// The two sides of a table row "left -> right".
std::pair<std::string, std::string> sides(const std::string& row) {
    const std::size_t at = row.find(" -> ");
    return {row.substr(0, at), row.substr(at + 4)};
}

// Rows "value | format -> fields read" (or "-> reason N").
template <typename T> void expectParsed(std::initializer_list<const char*> rows) {
    for (const char* row : rows) {
        const auto s = sides(row);
        const std::size_t bar = s.first.find(" | ");
        EXPECT_EQ(parsed<T>(s.first.substr(0, bar), s.first.substr(bar + 3)), s.second) << row;
    }
}

// Rows "format -> text written" (or "-> reason N").
template <typename T> void expectFormatted(const T& value, std::initializer_list<const char*> rows) {
    for (const char* row : rows) {
        const auto s = sides(row);
        EXPECT_EQ(outcome([&] { return std::string(value.format(String(s.first.c_str()))); }), s.second)
            << row;
    }
}

// value with the characters at the given positions exchanged between a and b.
std::string swapAt(std::string value, std::initializer_list<std::size_t> positions, char a, char b) {
    for (std::size_t at : positions) {
        if (at < value.size() && (value[at] == a || value[at] == b)) {
            value[at] = value[at] == a ? b : a;
        }
    }
    return value;
}

// The base value, and the base with each place replaced in turn by characters that test the reading.
std::vector<std::string> variantsOf(const std::string& base) {
    std::vector<std::string> values{base, base.substr(1), base + "0"};
    for (std::size_t at = 0; at < base.size(); ++at) {
        for (char c : std::string("0369 +-/.:x\t?\271")) {
            values.push_back(base.substr(0, at) + c + base.substr(at + 1));
        }
    }
    return values;
}

} // namespace

// The days that are accepted, every fourth year's 29 February included, are walked below.
TEST(DateSetters, RefuseDaysOutsideTheYearRangeAndTheMonth) {
    for (long v : {20230229L, 17890101L, 100000101L, 20241301L, 20240001L, 20240431L, 20240400L}) {
        SCOPED_TRACE(v); // yyyymmdd
        EXPECT_THROW_REASON(Date(v / 10000, v / 100 % 100, v % 100), DateTimeException, 1);
    }
}

TEST(DateSetters, DayNeedsYearThenMonthAndFailuresChangeNothing) {
    Date d;
    EXPECT_THROW_REASON(d.day(5), DateTimeException, 3);
    EXPECT_THROW_REASON(Timestamp().day(1), DateTimeException, 3);
    d.year(2020);
    EXPECT_THROW_REASON(d.day(5), DateTimeException, 2);
    d.month(7);
    d.day(5);
    EXPECT_THROW_REASON(d.year(10000), DateTimeException, 1);
    EXPECT_THROW_REASON(d.month(-1), DateTimeException, 1);
    EXPECT_THROW_REASON(d.day(32), DateTimeException, 1);
    EXPECT_EQ(fields(d), "2020-7-5");
}

TEST(DateSetters, YearAndMonthDoNotRevalidateTheDay) {
    Date d(2024, 1, 31);
    d.month(2);
    EXPECT_EQ(fields(d), "2024-2-31");
    EXPECT_EQ(d.lastDay(), 29);
    EXPECT_EQ(d.dayOfYear(), 62);
    // Counted on past the month's end: 31 February 2024 is 2 March, a Saturday.
    EXPECT_EQ(d.dayOfWeek(), Date::Saturday);
    EXPECT_EQ(d.format("YYYY-MM-DD"), "2024-02-31");
    Date leap(2024, 2, 29);
    leap.year(2023);
    EXPECT_EQ(fields(leap), "2023-2-29");
    Timestamp s(2024, 1, 1, 0, 0, 0L);
    s.day(31);
    s.hour(13);
    s.month(2);
    EXPECT_EQ(s.format(full), "2024-02-31 13:00:00");
}

TEST(DateQueries, LastDayCountsOfPartlySetDatesAndMonthNames) {
    EXPECT_EQ(Date(2023, 2, 1).lastDay(), 28);
    EXPECT_EQ(Date(1900, 2, 1).lastDay(), 29);
    EXPECT_EQ(Date(2024, 9, 1).lastDay(), 30);
    EXPECT_EQ(Date().lastDay(), 0);
    // Partly set dates count like the C library's normalisation: month 0 is December of the year before.
    Date partial;
    partial.year(2024);
    EXPECT_EQ(partial.dayOfYear(), 0);
    EXPECT_EQ(partial.dayOfWeek(), Date::Thursday); // 30 November 2023
    partial.year(2023);
    EXPECT_EQ(partial.dayOfWeek(), Date::Wednesday); // 30 November 2022: no leap day before next March
    EXPECT_THROW_REASON(Date().dayOfWeek(), DateTimeException, 1);
    // The month names count from zero.
    EXPECT_EQ(Date::shortMonth(0), "Jan");
    EXPECT_EQ(Date::shortMonth(8), "Sep");
    EXPECT_EQ(Date::longMonth(11), "December");
    EXPECT_EQ(Date::longMonth(4), "May");
    EXPECT_THROW_REASON(Date::longMonth(12), DateTimeException, 1);
    EXPECT_THROW_REASON(Date::shortMonth(-1), DateTimeException, 1);
}

// Every day the library accepts, against a plain Gregorian day counter, so that the calendar arithmetic is
// the same on every platform, whatever the C library's mktime range.
TEST(CalendarWalk, EveryDayFrom1790To2100) {
    int weekday = 5; // 1 January 1790 was a Friday
    int failures = 0;
    for (int y = 1790; y <= 2100 && failures < 10; ++y) {
        const bool leap = y % 4 == 0 && (y % 100 != 0 || y % 400 == 0);
        // The library counts 29 February in every fourth year; in 1800 and 1900 it adds one day of the
        // year from March on, while weekdays and days of the year read back follow the Gregorian count.
        const int extra = y % 4 == 0 && !leap ? 1 : 0;
        const int lengths[12] = {31, leap ? 29 : 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
        for (int m = 1, n = 1; m <= 12; ++m) {
            for (int d = 1; d <= lengths[m - 1]; ++d, ++n) {
                char text[48], ordinal[48];
                std::snprintf(text, sizeof text, "%04d-%02d-%02d", y, m, d);
                std::snprintf(ordinal, sizeof ordinal, "%04d-%03d", y, n);
                const Date date(y, m, d);
                if (date.dayOfWeek() != weekday || date.dayOfYear() != n + (m > 2 ? extra : 0) ||
                    date.format("YYYY-MM-DD") != text || parsed<Date>(text, "YYYY-MM-DD") != fields(date) ||
                    parsed<Date>(ordinal, "YYYY-DDD") != fields(date)) {
                    ADD_FAILURE() << "wrong results for " << text;
                    ++failures;
                }
                weekday = (weekday + 1) % 7;
            }
        }
        if (extra != 0) {
            // 29 February of 1800 and 1900 is valid and falls where 1 March falls.
            EXPECT_EQ(Date(y, 2, 29).dayOfWeek(), Date(y, 3, 1).dayOfWeek()) << y;
            EXPECT_EQ(parsed<Date>(std::to_string(y) + "-366", "YYYY-DDD"), "reason 1");
        }
    }
    EXPECT_EQ(failures, 0);
    EXPECT_EQ(weekday, 6); // 1 January 2101 is a Saturday
    EXPECT_EQ(Date(9999, 12, 31).dayOfWeek(), Date::Friday);
}

TEST(TimeSetters, AcceptOnlyATimeOfDay) {
    EXPECT_EQ(fields(Time(23, 59, 59L)), "23:59:59");
    EXPECT_DOUBLE_EQ(Time(10, 20, 59.999).second(), 59.999);
    const long bad[][3] = {{24, 0, 0}, {0, 60, 0}, {0, 0, 60}, {-1, 0, 0}, {0, -1, 0}, {0, 0, -1}};
    for (const auto& v : bad) {
        SCOPED_TRACE(std::to_string(v[0]) + ":" + std::to_string(v[1]) + ":" + std::to_string(v[2]));
        EXPECT_THROW_REASON(Time(v[0], v[1], v[2]), DateTimeException, 1);
    }
    for (double s :
         {60.0, -0.5, std::numeric_limits<double>::quiet_NaN(), std::numeric_limits<double>::infinity()}) {
        SCOPED_TRACE(s);
        EXPECT_THROW_REASON(Time(10, 20, s), DateTimeException, 1);
    }
    EXPECT_DOUBLE_EQ(Timestamp(2024, 2, 29, 23, 59, 59.5).second(), 59.5);
    EXPECT_THROW_REASON(Timestamp(2023, 2, 29, 0, 0, 0L), DateTimeException, 1);
    EXPECT_THROW_REASON(Timestamp(2024, 1, 1, 24, 0, 0L), DateTimeException, 1);

    Time m;
    m.second(30L);
    EXPECT_THROW_REASON(m.hour(24), DateTimeException, 1);
    EXPECT_EQ(fields(m), "0:0:30");
    // A negative zero is kept as zero and never written with a sign.
    m.second(-0.0);
    EXPECT_FALSE(std::signbit(m.second()));
    EXPECT_EQ(m.format("SS.SS"), "00.00");
}

// "reason: detail" of the DateTimeException that fails() throws, after checking that what() tells the detail.
template <typename F> std::string failureOf(F fails) {
    try {
        fails();
    } catch (const DateTimeException& e) {
        EXPECT_NE(std::string(e.what()).find(e.detail()), std::string::npos) << e.what();
        return std::to_string(e.reason()) + ": " + e.detail();
    }
    return "nothing thrown";
}

TEST(DateTimeErrors, DetailSaysWhichValueBrokeWhichRule) {
    EXPECT_EQ(failureOf([] { Date(10000, 1, 1); }), "1: year 10000 is outside 1790 to 9999");
    EXPECT_EQ(failureOf([] { Date(2023, 2, 29); }), "1: day 29 is not a day of 2023-02");
    EXPECT_EQ(failureOf([] { Date(String("2024/03/05"), "YYYY-MM-DD"); }),
              "4: \"2024/03/05\" does not have the separators of the format \"YYYY-MM-DD\"");
    EXPECT_EQ(failureOf([] { Date(String("05/03/1789"), "DD/MM/YYYY"); }),
              "1: year 1789 is outside 1790 to 9999");
    EXPECT_EQ(failureOf([] { Time(24, 0, 0L); }), "1: hour 24 is outside 0 to 23");
    EXPECT_EQ(failureOf([] { Timestamp(2024, 1, 1, 0, 0, 0L).format("YYY"); }), "5: field Y of width 3");
}

TEST(Dump, WritesTheDefaultFormatWithWholeSeconds) {
    Date emptyDate, date(2024, 3, 5);
    Time midnight, time(8, 5, 3.75);
    Timestamp stamp(Date(2024, 12, 25), Time(8, 0, 30.75)), emptyStamp;
    EXPECT_EQ(dumpOf(emptyDate) + dumpOf(date),
              "@ class Kel::Date\n0000-00-00\n@ class Kel::Date\n2024-03-05\n");
    EXPECT_EQ(dumpOf(midnight) + dumpOf(time), "@ class Kel::Time\n00:00:00\n@ class Kel::Time\n08:05:03\n");
    // A timestamp reached through either base dumps the whole.
    EXPECT_EQ(dumpOf(static_cast<Date&>(stamp)), "@ class Kel::Timestamp\n2024-12-25 08:00:30\n");
    EXPECT_EQ(dumpOf(static_cast<Time&>(stamp)), "@ class Kel::Timestamp\n2024-12-25 08:00:30\n");
    EXPECT_EQ(dumpOf(static_cast<Date&>(emptyStamp)), "@ class Kel::Timestamp\n0000-00-00 00:00:00\n");
}

TEST(Clock, LocalAndUniversalTimeDifferByTheZoneOffsetIntoTheNextDay) {
    const Date today = Date::now();
    EXPECT_GE(today.year(), 2024);
    EXPECT_GE(today.day(), 1);
    EXPECT_LE(today.day(), today.lastDay());

    kel_test::ScopedEnv zone("TZ", "EST5"); // five hours behind universal time, without daylight saving
    for (int attempt = 0; attempt < 3; ++attempt) {
        const Time utc = Time::now(Time::UTC), local = Time::now(Time::Local);
        const Timestamp utcStamp = Timestamp::now(Time::UTC), localStamp = Timestamp::now(Time::Local);
        EXPECT_EQ(utc.second(), std::floor(utc.second()));
        if (utc.second() != localStamp.second()) {
            continue; // the clock ticked between the reads
        }
        EXPECT_EQ((local.hour() + 5) % 24, utc.hour());
        EXPECT_EQ(local.minute(), utc.minute());
        // Five hours on from local time, carrying into the next day when needed.
        const long localMinutes = localStamp.hour() * 60 + localStamp.minute();
        EXPECT_EQ((localMinutes + 300) % (24 * 60), utcStamp.hour() * 60 + utcStamp.minute());
        EXPECT_EQ(utcStamp.format("YYYYMMDD") != localStamp.format("YYYYMMDD"),
                  localMinutes + 300 >= 24 * 60);
        break;
    }
    EXPECT_THROW_REASON(Time::now(static_cast<Time::Where>(2)), DateTimeException, 1);

    // With milliseconds, for log lines.
    const Timestamp before = Timestamp::now(Time::UTC);
    const Timestamp precise = Timestamp::nowWithMilliseconds(Time::UTC);
    const double milliseconds = (precise.second() - std::floor(precise.second())) * 1000.0;
    EXPECT_NEAR(milliseconds, std::round(milliseconds), 1e-6);
    EXPECT_GE(precise.toTimePoint(Time::UTC), before.toTimePoint(Time::UTC));
    EXPECT_EQ(precise.format("YYYY-MM-DD HH:NN:SS.SSS").length(), 23u);
}

TEST(TimestampYears, RunTo9999InSettersParsingFormatsAndTheClock) {
    EXPECT_EQ(fields(Timestamp(9999, 12, 31, 23, 59, 59L)), "9999-12-31 23:59:59");
    EXPECT_EQ(parsed<Timestamp>("9999-12-31 23:59:59", full), "9999-12-31 23:59:59");
    EXPECT_EQ(Timestamp(2038, 1, 19, 3, 14, 8L).format("DD.MM.YY HH:NN"), "19.01.38 03:14");
    EXPECT_THROW_REASON(Timestamp(10000, 1, 1, 0, 0, 0L), DateTimeException, 1);

    // The clock as it will read in 2040 and in 9999.
    const long long msPerDay = 86400000LL;
    const long long msTo2040 =
        (Date(2040, 6, 15).toTimePoint() - std::chrono::system_clock::now()) / std::chrono::milliseconds(1);
    kel_test::shiftClock(msTo2040 + msPerDay / 2);
    EXPECT_EQ(Date::now().year(), 2040);
    EXPECT_EQ(Timestamp::now(Time::UTC).year(), 2040);
    EXPECT_EQ(Timestamp::now(Time::Local).month(), 6);
    kel_test::shiftClock(msTo2040 + 2907000LL * msPerDay); // July 9999
    EXPECT_EQ(Timestamp::now(Time::UTC).year(), 9999);
    kel_test::shiftClock(msTo2040 + 2908000LL * msPerDay);
    EXPECT_THROW_REASON(Date::now(), DateTimeException, 1);
    kel_test::shiftClock(0);
}

TEST(TimestampChrono, ConvertsThroughUniversalOrLocalTime) {
    kel_test::ScopedEnv zone("TZ", "EST5");
    using std::chrono::system_clock;
    const system_clock::time_point t = system_clock::from_time_t(1700000000) + std::chrono::milliseconds(250);

    const Timestamp utc(t, Time::UTC);
    EXPECT_EQ(utc.format("YYYY-MM-DD HH:NN:SS.SSS"), "2023-11-14 22:13:20.250");
    EXPECT_EQ(utc.toTimePoint(Time::UTC), t);
    const Timestamp local(t);
    EXPECT_EQ(local.format("YYYY-MM-DD HH:NN:SS.SSS"), "2023-11-14 17:13:20.250");
    EXPECT_EQ(local.toTimePoint(), t);
    EXPECT_EQ(Timestamp(t, Time::Local).format(full), local.format(full));

    // Before 1970, and days that only the library's calendar has.
    EXPECT_EQ(Timestamp(system_clock::from_time_t(-1), Time::UTC).format(full), "1969-12-31 23:59:59");
    EXPECT_EQ(Timestamp(1900, 2, 29, 12, 0, 0L).toTimePoint(Time::UTC),
              Timestamp(1900, 3, 1, 12, 0, 0L).toTimePoint(Time::UTC));
    EXPECT_EQ(Timestamp(Timestamp(2100, 2, 29, 0, 0, 0L).toTimePoint(Time::UTC), Time::UTC).format(full),
              "2100-03-01 00:00:00");
    EXPECT_EQ(Timestamp(1790, 1, 1, 0, 0, 0L).toTimePoint(Time::UTC),
              system_clock::from_time_t(-5680195200LL));

    // Dates go through local midnight.
    EXPECT_EQ(Date(1970, 1, 1).toTimePoint(), system_clock::from_time_t(5 * 3600));
    EXPECT_EQ(Date(system_clock::from_time_t(3600)).format("YYYY-MM-DD"), "1969-12-31");

    EXPECT_THROW_REASON(Timestamp().toTimePoint(), DateTimeException, 1);
    EXPECT_THROW_REASON(Date().toTimePoint(), DateTimeException, 1);
    EXPECT_THROW_REASON(Timestamp(t, static_cast<Time::Where>(2)), DateTimeException, 1);
    if (std::ratio_less_equal<system_clock::period, std::nano>::value) {
        // Nanosecond ticks end in 2262.
        EXPECT_THROW_REASON(Timestamp(2300, 1, 1, 0, 0, 0L).toTimePoint(), DateTimeException, 1);
    }
}

TEST(DateFormat, WritesEveryFieldWidthInPlace) {
    expectFormatted(Date(2024, 3, 5),
                    {"YYYY-MM-DD -> 2024-03-05", "DD/MM/YY -> 05/03/24", "D.M.YYYY -> 5.3.2024",
                     "YYYY-DDD -> 2024-065", "WW, DD MMMM YYYY -> Tuesday, 05 March 2024",
                     "W MMM D -> Tue Mar 5", "MMMM DD, YYYY -> March 05, 2024", "yyyy -> yyyy",
                     "HH:NN:SS PP -> HH:NN:SS PP", "no fields here -> no fields here", " -> ",
                     // A letter anywhere in a field's extent belongs to the field. Of fields that overlap,
                     // the one that starts first is written, and every character stays accounted for.
                     "Y--Y -> 2024", "MDM -> Mar", "DMDM -> 065M",
                     // Widths that are not accepted.
                     "YYY -> reason 5", "Y -> reason 5", "YYYYY -> reason 5", "Day DD -> reason 5",
                     "MMMMM -> reason 5", "DDDD -> reason 5", "WWW -> reason 5"});
    EXPECT_EQ(Date(2024, 12, 25).format("M/D/YYYY"), "12/25/2024");
    EXPECT_EQ(Date(2000, 1, 1).format("YY"), "00");
    EXPECT_TRUE(Date(2024, 3, 5).format(String()).isNull());
    // Names of unset fields are refused. Texts are built year first: a bad year width wins over a bad month
    // name wherever they stand.
    expectFormatted(Date(),
                    {"YYYY-MM-DD -> 0000-00-00", "MMM -> reason 1", "W -> reason 1", "MMM YYY -> reason 5"});
}

TEST(TimeFormat, WritesHoursMinutesSecondsAndMarkers) {
    expectFormatted(Time(14, 5, 7.25),
                    {"HH:NN:SS -> 14:05:07", "HH:NN:SS.SS -> 14:05:07.25", "H:N:S -> 14:5:7", "SS.S -> 07.2",
                     "SSSSSSSS -> 07.25000", "hh PP -> 02 PM", "HH hh -> 14 hh", "YYYY -> YYYY",
                     "hh.NN -> 02.05", "HH:NN:SSS -> reason 5", "SSSSSSSSS -> reason 5", "HHH -> reason 5",
                     "hhh -> reason 5", "NNN -> reason 5", "PPP -> reason 5"});
    EXPECT_EQ(Time(0, 30, 0L).format("hh:NN PP"), "00:30 AM");
    EXPECT_EQ(Time(12, 30, 0L).format("hh:NN P"), "00:30 P");
    EXPECT_EQ(Time(23, 0, 0L).format("h PP"), "11 PM");
    // Rounded as printf rounds, so whole seconds and decimals may disagree.
    expectFormatted(Time(9, 0, 59.996), {"HH:NN:SS.SS -> 09:00:60.00", "HH:NN:SS -> 09:00:59"});
    // Exact binary halves round to even on every platform.
    EXPECT_EQ(Time(0, 0, 7.125).format("SS.SS"), "07.12");
    EXPECT_EQ(Time(0, 0, 7.375).format("SS.SS"), "07.38");
    EXPECT_EQ(Time(0, 0, 0.25).format("SSSS"), "00.2");
}

TEST(TimeFormat, UsesAFullStopWhateverTheLocale) {
    const std::string previous = std::setlocale(LC_NUMERIC, nullptr);
    const char* chosen = nullptr;
    for (const char* name : {"de_DE.UTF-8", "de_DE", "fr_FR.UTF-8", "German_Germany.1252", "German"}) {
        if (std::setlocale(LC_NUMERIC, name) != nullptr) {
            chosen = name;
            break;
        }
    }
    if (chosen == nullptr) {
        GTEST_SKIP() << "no locale with a decimal comma is installed";
    }
    const std::string written(Time(14, 5, 7.25).format("HH:NN:SS.SS"));
    const Time read(String("14:05:07.25"), "HH:NN:SS.SS");
    std::setlocale(LC_NUMERIC, previous.c_str());
    EXPECT_EQ(written, "14:05:07.25") << chosen;
    EXPECT_DOUBLE_EQ(read.second(), 7.25) << chosen;
}

TEST(TimestampFormat, ReadsOnlyDateAndTimeLetters) {
    expectFormatted(Timestamp(2024, 12, 25, 8, 0, 30L),
                    {"YYYY-MM-DD HH:NN:SS -> 2024-12-25 08:00:30",
                     "DD.MM.YYYY HH:NN:SS -> 25.12.2024 08:00:30", "YYYYMMDDHHNNSS -> 20241225080030",
                     "DD MMM YYYY, HH:NN -> 25 Dec 2024, 08:00", "W hh PP -> W hh PP",
                     "DDD SS.SSS -> 360 30.000", "YY/MM/DD HH -> 24/12/25 08", "YYYY SSS -> reason 5"});
    expectFormatted(Timestamp(), {"YYYY-MM-DD -> 0000-00-00", "MMM -> reason 1"});
}

TEST(Defaults, FormatsAndNumbersByIndex) {
    EXPECT_EQ(GetFCCString(0), "YYYY-MM-DD");
    EXPECT_EQ(GetFCCString(1), "HH:NN:SS");
    EXPECT_EQ(GetFCCString(2), "YYYY-MM-DD HH:NN:SS");
    EXPECT_EQ(GetFCCLong(0), 0);
    EXPECT_EQ(GetFCCLong(1), 1);
    EXPECT_EQ(GetFCCLong(2), 1940);
    for (long bad : {3L, -1L, 100L}) {
        try {
            GetFCCLong(bad);
            ADD_FAILURE() << "GetFCCLong(" << bad << ") did not throw";
        } catch (const DateTimeException&) {
            ADD_FAILURE() << "a DateTimeException instead of a plain Exception";
        } catch (const Exception& e) {
            EXPECT_STREQ(e.name(), "Index out of range");
            EXPECT_EQ(e.reason(), 0);
        }
        EXPECT_THROW_REASON(GetFCCString(bad), Exception, 0);
    }
    // A copy: changing it leaves the default alone.
    String copy = GetFCCString(0);
    copy += "x";
    EXPECT_EQ(GetFCCString(0), "YYYY-MM-DD");
}

TEST(DateParse, ReadsFieldsByPositionAndRejectsLayoutFirstThenFields) {
    expectParsed<Date>({"2024-03-05 | YYYY-MM-DD -> 2024-3-5", "05/03/24 | DD/MM/YY -> 2024-3-5",
                        "05/03/40 | DD/MM/YY -> 1940-3-5", "05/03/37 | DD/MM/YY -> 2037-3-5",
                        "05/03/39 | DD/MM/YY -> 2039-3-5", "05/03/99 | DD/MM/YY -> 1999-3-5",
                        "9999-12-31 | YYYY-MM-DD -> 9999-12-31", "2100-060 | YYYY-DDD -> 2100-3-1",
                        "05 mar 2024 | DD MMM YYYY -> 2024-3-5", "5 MARCH 2024 | D MMMMM YYYY -> 2024-3-5",
                        "05 Marx 2024 | DD MMMM YYYY -> 2024-3-5", "2024-065 | YYYY-DDD -> 2024-3-5",
                        "2023-065 | YYYY-DDD -> 2023-3-6", "2024-366 | YYYY-DDD -> 2024-12-31",
                        "Tue 2024-03-05 | WWW YYYY-MM-DD -> 2024-3-5",
                        // Lenient inside a field: the leading number counts.
                        "2x24-03-05 | YYYY-MM-DD -> 2002-3-5", " 5. 3.2024 | DD.MM.YYYY -> 2024-3-5",
                        "3/7 | M/D -> 2000-3-7",
                        // Separators other than the five only take up room.
                        "2024T03x05 | YYYYTMMxDD -> 2024-3-5",
                        // The layout is checked first (the third value ends in a blank), then the fields.
                        "2024-3-5 | YYYY-MM-DD -> reason 4", "2024/03/05 | YYYY-MM-DD -> reason 4",
                        "2024-03-05  | YYYY-MM-DD -> reason 4", "2024-13-45x | YYYY-MM-DD. -> reason 4",
                        "1789-01-01 | YYYY-MM-DD -> reason 1", "10000-01-01 | YYYYY-MM-DD -> reason 1",
                        "05 Mrz 2024 | DD MMM YYYY -> reason 1", "2024- 65 | YYYY-DDD -> reason 1",
                        "2023-366 | YYYY-DDD -> reason 1", "2024-000 | YYYY-DDD -> reason 1",
                        "03/2024 | MM/YYYY -> reason 1", "2024-02-30 | YYYY-MM-DD -> reason 1",
                        "2023-02-29 | YYYY-MM-DD -> reason 1",
                        "99999999999-01-01 | YYYYYYYYYYY-MM-DD -> reason 1"});
    EXPECT_THROW_REASON(Date(String(), ""), DateTimeException, 4);
    EXPECT_THROW_REASON(Date(String(), "YYYY"), DateTimeException, 4);
}

TEST(TimeParse, ReadsHoursMinutesAndFractionalSeconds) {
    expectParsed<Time>({"14:05:07.25 | HH:NN:SS.SS -> 14:5:7.25", "14:05 | HH:NN -> 14:5:0",
                        // The 12-hour letter and the marker are not read.
                        "02:05 PM | hh:NN PP -> 0:5:0", "14:05:60 | HH:NN:SS -> reason 1",
                        "24:00:00 | HH:NN:SS -> reason 1", "-1:00:00 | HH:NN:SS -> reason 1",
                        "14.05:07 | HH:NN:SS -> reason 4", "nan | SSS -> reason 1",
                        // 2^32 must not wrap round to hour 0 where long has 64 bits.
                        "4294967296 | HHHHHHHHHH -> reason 1"});
}

TEST(TimestampParse, DateRulesThenTimeRules) {
    expectParsed<Timestamp>(
        {"25.12.2024 08:00:30 | DD.MM.YYYY HH:NN:SS -> 2024-12-25 08:00:30",
         "2024-12-25 | YYYY-MM-DD -> 2024-12-25 00:00:00", "08:00:30 | HH:NN:SS -> reason 1",
         // A bad date field is found before a bad colon; a bad colon before a bad time field.
         "2024-13-25 08x00:30 | YYYY-MM-DD HH:NN:SS -> reason 1",
         "2024-12-25 99x00:30 | YYYY-MM-DD HH:NN:SS -> reason 4",
         "2024-12-25 99:00:30 | YYYY-MM-DD HH:NN:SS -> reason 1"});
}

// Text assignment reads with the stored format: the one the value was read with, else the default.
TEST(StoredFormats, TextAssignmentReadsWithTheFormatTheValueWasBuiltWith) {
    Date d(String("05/03/2024"), "DD/MM/YYYY");
    d = Date(2024, 5, 6); // takes the numbers, keeps the format
    EXPECT_EQ(fields(d), "2024-5-6");
    d = String("07/08/2025");
    d = d;
    EXPECT_EQ(fields(d), "2025-8-7");
    EXPECT_THROW_REASON(d = String("2025-08-07"), DateTimeException, 4);
    EXPECT_THROW_REASON(d = String("31/02/2025"), DateTimeException, 1);
    EXPECT_EQ(fields(d), "2025-8-7");
    Date copy(d), plain; // a copy takes the source's stored format along
    copy = String("01/02/2003");
    plain = String("2001-02-03");
    EXPECT_EQ(fields(copy) + " " + fields(plain), "2003-2-1 2001-2-3");

    Time t(String("10.20"), "HH.NN");
    t = Time(8, 5, 3.75);
    EXPECT_EQ(fields(t), "8:5:3.75");
    t = String("11.30");
    EXPECT_THROW_REASON(t = String("11:30"), DateTimeException, 4);
    EXPECT_EQ(fields(t), "11:30:0");

    // Built from parts, a timestamp reads the date format, a blank and the time format.
    Timestamp fromParts(d, Time(String("10.20"), "HH.NN"));
    fromParts = String("09/10/2026 11.45");
    EXPECT_THROW_REASON(fromParts = String("2025-08-07 11:45:00"), DateTimeException, 4);
    EXPECT_EQ(fields(fromParts), "2026-10-09 11:45:00");
    // A copy takes the numbers but the default formats.
    Timestamp stamp(fromParts);
    EXPECT_EQ(fields(stamp), "2026-10-09 11:45:00");
    stamp = String("2001-02-03 04:05:06");
    EXPECT_EQ(fields(stamp), "2001-02-03 04:05:06");
    stamp = fromParts;
    stamp = stamp;
    EXPECT_EQ(fields(stamp), "2026-10-09 11:45:00");
    Timestamp empty;
    empty = String("2024-02-29 23:59:59");
    EXPECT_THROW_REASON(empty = String("2023-02-29 23:59:59"), DateTimeException, 1);
    EXPECT_THROW_REASON(empty = String("2024/02/28 23:59:59"), DateTimeException, 4);
    EXPECT_EQ(fields(empty), "2024-02-29 23:59:59");
}

// The default formats are read by a shortcut for plain digits; every value must come out as the same
// format text with other separators, read the long way, gives it: the same numbers or the same reason.
TEST(DefaultFormats, ShortcutReadsAsTheLongWay) {
    const char* const bases[] = {
        "2024-12-25 08:00:30", "2024-02-29 23:59:59", "2023-02-29 00:00:00", "0099-01-01 00:00:00",
        "0040-06-30 12:30:45", "1789-12-31 23:59:59", "1790-01-01 00:00:00", "9999-12-31 23:59:59",
        "2024-00-10 10:10:10", "2024-04-31 10:10:10", "2024-12-25 24:00:00", "2024-12-25 23:60:00",
        "2024-12-25 23:59:60", " 024-12-25 08:00:30", "2024-12-25  8:00:30", "2024-12-25 08:00: 3",
    };
    for (const char* base : bases) {
        for (const std::string& value : variantsOf(base)) {
            const std::string other = swapAt(value, {4, 7}, '-', '/');
            EXPECT_EQ(parsed<Timestamp>(value, full), parsed<Timestamp>(other, "YYYY/MM/DD HH:NN:SS"))
                << value;
            EXPECT_EQ(parsed<Date>(value.substr(0, 10), "YYYY-MM-DD"),
                      parsed<Date>(other.substr(0, 10), "YYYY/MM/DD"))
                << value;
            const std::string time = value.size() > 11 ? value.substr(11) : value;
            EXPECT_EQ(parsed<Time>(time, "HH:NN:SS"),
                      parsed<Time>(swapAt(time, {2, 5}, ':', '.'), "HH.NN.SS"))
                << time;
        }
    }
    // Bytes just outside '0' to '9' and wrong separators, in each eight-byte stretch the shortcut checks at
    // once (\260 and \271 have the high bit set): read the long way, by a field's leading number or with its
    // reason.
    expectParsed<Date>({"2024-03-05 | YYYY-MM-DD -> 2024-3-5", "20?4-03-05 | YYYY-MM-DD -> 2020-3-5",
                        "2\26024-03-05 | YYYY-MM-DD -> 2002-3-5", "2024-1/-05 | YYYY-MM-DD -> 2024-1-5",
                        "2024-03-1: | YYYY-MM-DD -> 2024-3-1", "2024-03-1\271 | YYYY-MM-DD -> 2024-3-1",
                        "2024-03.05 | YYYY-MM-DD -> reason 4", "2024-03-0/ | YYYY-MM-DD -> reason 1"});
    expectParsed<Time>({"14:05:07 | HH:NN:SS -> 14:5:7", "1?:05:07 | HH:NN:SS -> 1:5:7",
                        "14:0::07 | HH:NN:SS -> 14:0:7", "14:05:0? | HH:NN:SS -> 14:5:0",
                        "14:05:\2717 | HH:NN:SS -> 14:5:0", "14:05\27207 | HH:NN:SS -> reason 4"});
    expectParsed<Timestamp>({"2024-1?-25 08:00:30 | YYYY-MM-DD HH:NN:SS -> 2024-01-25 08:00:30",
                             "2024-12-2: 08:00:30 | YYYY-MM-DD HH:NN:SS -> 2024-12-02 08:00:30",
                             "2024-12-25 0\260:00:30 | YYYY-MM-DD HH:NN:SS -> 2024-12-25 00:00:30",
                             "2024-12-25 08:00:3? | YYYY-MM-DD HH:NN:SS -> 2024-12-25 08:00:03",
                             "2024-12-25T08:00:30 | YYYY-MM-DD HH:NN:SS -> reason 4",
                             "2024-12-25 08/00:30 | YYYY-MM-DD HH:NN:SS -> reason 4"});
}

TEST(DefaultFormats, DigitsWrittenOverTheFormatAsPrintfWritesThem) {
    const long years[] = {1790, 1999, 2000, 2024, 9999};
    const double seconds[] = {0.0, 9.5, 59.999};
    char expected[64];
    for (int i = 0; i < 5 * 2 * 4 * 3; ++i) { // every year, month 1 and 12, hours 0, 7, 14, 21, every second
        const long year = years[i % 5], month = i / 5 % 2 ? 12 : 1, hour = i / 10 % 4 * 7;
        const Timestamp t(year, month, 9, hour, 5, seconds[i / 40]);
        const int whole = static_cast<int>(seconds[i / 40]);
        std::snprintf(expected, sizeof expected, "%04ld-%02ld-09 %02ld:05:%02d", year, month, hour, whole);
        EXPECT_EQ(std::string(t.format(full)), expected);
        std::snprintf(expected, sizeof expected, "%02ld/%02ld|%02ld", year % 100, month, hour);
        EXPECT_EQ(std::string(t.format("YY/MM|HH")), expected);
        std::snprintf(expected, sizeof expected, "%02ld.%02d", hour % 12, whole);
        EXPECT_EQ(std::string(Time(t).format("hh.SS")), expected);
    }
    // The empty timestamp, and fields that are not plain digits, take the general writer.
    EXPECT_EQ(Timestamp().format(full), "0000-00-00 00:00:00");
    EXPECT_EQ(Timestamp(2024, 3, 9, 7, 5, 9.25).format("YYYY-MM-D H:N:SSSSS"), "2024-03-9 7:5:09.25");
    EXPECT_THROW_REASON(Timestamp(2024, 3, 9, 7, 5, 9L).format("YYY-MM-DD"), DateTimeException, 5);
}
