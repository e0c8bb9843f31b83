#include "kel_test.h"

#include <kel/datetime.h>

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
