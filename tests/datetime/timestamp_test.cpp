#include "kel_test.h"

#include <kel/datetime.h>

#include <chrono>
#include <cmath>
#include <ratio>
#include <sstream>

using namespace Kel;

namespace {

std::string dumped(Date& viaDate) {
    std::ostringstream os;
    KELDump(&viaDate).dump(os);
    return os.str();
}

const char* const full = "YYYY-MM-DD HH:NN:SS";

} // namespace

TEST(TimestampConstruction, ValidatesBothParts) {
    const Timestamp t(2024, 2, 29, 23, 59, 59.5);
    EXPECT_DOUBLE_EQ(t.second(), 59.5);
    EXPECT_THROW_REASON(Timestamp(2023, 2, 29, 0, 0, 0L), DateTimeException, 1);
    EXPECT_THROW_REASON(Timestamp(2024, 1, 1, 24, 0, 0L), DateTimeException, 1);

    Timestamp empty;
    EXPECT_THROW_REASON(empty.day(1), DateTimeException, 3);

    Timestamp s(2024, 1, 1, 0, 0, 0L);
    s.day(31);
    s.hour(13);
    EXPECT_EQ(s.format(full), "2024-01-31 13:00:00");
    s.month(2);
    EXPECT_EQ(s.format(full), "2024-02-31 13:00:00");
}

TEST(TimestampDump, ReachedThroughEitherBaseDumpsTheWhole) {
    Timestamp t(Date(2024, 12, 25), Time(8, 0, 30.75));
    EXPECT_EQ(dumped(t), "@ class Kel::Timestamp\n2024-12-25 08:00:30\n");
    std::ostringstream viaTime;
    KELDump(static_cast<Time*>(&t)).dump(viaTime);
    EXPECT_EQ(viaTime.str(), "@ class Kel::Timestamp\n2024-12-25 08:00:30\n");
    Timestamp empty;
    EXPECT_EQ(dumped(empty), "@ class Kel::Timestamp\n0000-00-00 00:00:00\n");
}

TEST(TimestampCopies, StoredFormatsFollowTheConstructor) {
    const Date d(String("05/03/2024"), "DD/MM/YYYY");
    const Time tm(String("10.20"), "HH.NN");
    Timestamp fromParts(d, tm);
    // Text assignment parses with the date format, a blank and the time format.
    fromParts = String("07/08/2025 11.45");
    EXPECT_EQ(fromParts.format(full), "2025-08-07 11:45:00");
    EXPECT_THROW_REASON(fromParts = String("2025-08-07 11:45:00"), DateTimeException, 4);
    EXPECT_EQ(fromParts.format(full), "2025-08-07 11:45:00");

    // A copy takes the numbers but the default formats.
    Timestamp copy(fromParts);
    EXPECT_EQ(copy.format(full), "2025-08-07 11:45:00");
    copy = String("2001-02-03 04:05:06");
    EXPECT_EQ(copy.format(full), "2001-02-03 04:05:06");
    copy = fromParts;
    EXPECT_EQ(copy.format(full), "2025-08-07 11:45:00");
    copy = copy;
    EXPECT_EQ(copy.format(full), "2025-08-07 11:45:00");
}

TEST(TimestampNow, UniversalTimeMayBeTomorrow) {
    kel_test::ScopedEnv zone("TZ", "EST5");
    for (int attempt = 0; attempt < 3; ++attempt) {
        const Timestamp utc = Timestamp::now(Time::UTC);
        const Timestamp local = Timestamp::now(Time::Local);
        if (utc.second() != local.second()) {
            continue;
        }
        // Five hours on from local time, carrying into the next day when needed.
        const long localMinutes = local.hour() * 60 + local.minute();
        const long utcMinutes = utc.hour() * 60 + utc.minute();
        const bool nextDay = localMinutes + 300 >= 24 * 60;
        EXPECT_EQ((localMinutes + 300) % (24 * 60), utcMinutes);
        if (nextDay) {
            EXPECT_NE(utc.format("YYYYMMDD"), local.format("YYYYMMDD"));
        } else {
            EXPECT_EQ(utc.format("YYYYMMDD"), local.format("YYYYMMDD"));
        }
        break;
    }
}

TEST(TimestampYears, RunTo9999InSettersParsingFormatsAndTheClock) {
    const Timestamp last(9999, 12, 31, 23, 59, 59L);
    EXPECT_EQ(last.format(full), "9999-12-31 23:59:59");
    EXPECT_EQ(Timestamp(String("9999-12-31 23:59:59"), full).format(full), "9999-12-31 23:59:59");
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

TEST(TimestampNow, WithMillisecondsForLogLines) {
    const Timestamp before = Timestamp::now(Time::UTC);
    const Timestamp precise = Timestamp::nowWithMilliseconds(Time::UTC);
    const double milliseconds = (precise.second() - std::floor(precise.second())) * 1000.0;
    EXPECT_NEAR(milliseconds, std::round(milliseconds), 1e-6);
    EXPECT_GE(precise.toTimePoint(Time::UTC), before.toTimePoint(Time::UTC));
    EXPECT_EQ(precise.format("YYYY-MM-DD HH:NN:SS.SSS").length(), 23u);
}
