#include "kel_test.h"

#include <kel/datetime.h>

#include <cmath>
#include <limits>
#include <sstream>

using namespace Kel;

TEST(TimeSetters, AcceptOnlyATimeOfDay) {
    const Time t(23, 59, 59L);
    EXPECT_EQ(t.hour(), 23);
    EXPECT_EQ(t.second(), 59.0);
    EXPECT_THROW_REASON(Time(24, 0, 0L), DateTimeException, 1);
    EXPECT_THROW_REASON(Time(0, 60, 0L), DateTimeException, 1);
    EXPECT_THROW_REASON(Time(0, 0, 60L), DateTimeException, 1);
    EXPECT_THROW_REASON(Time(-1, 0, 0L), DateTimeException, 1);
    EXPECT_THROW_REASON(Time(0, -1, 0L), DateTimeException, 1);
    EXPECT_THROW_REASON(Time(0, 0, -1L), DateTimeException, 1);

    EXPECT_DOUBLE_EQ(Time(10, 20, 59.999).second(), 59.999);
    EXPECT_THROW_REASON(Time(10, 20, 60.0), DateTimeException, 1);
    EXPECT_THROW_REASON(Time(10, 20, -0.5), DateTimeException, 1);
    EXPECT_THROW_REASON(Time(10, 20, std::numeric_limits<double>::quiet_NaN()), DateTimeException, 1);
    EXPECT_THROW_REASON(Time(10, 20, std::numeric_limits<double>::infinity()), DateTimeException, 1);

    Time m;
    m.second(30L);
    EXPECT_EQ(m.second(), 30.0);
    EXPECT_THROW_REASON(m.hour(24), DateTimeException, 1);
    EXPECT_EQ(m.hour(), 0);

    // A negative zero is kept as zero and never written with a sign.
    m.second(-0.0);
    EXPECT_FALSE(std::signbit(m.second()));
    EXPECT_EQ(m.format("SS.SS"), "00.00");
}

TEST(TimeDump, WritesWholeSecondsInTheDefaultFormat) {
    Time midnight;
    Time t(8, 5, 3.75);
    std::ostringstream os;
    KELDump(&midnight).dump(os);
    KELDump(&t).dump(os);
    EXPECT_EQ(os.str(), "@ class Kel::Time\n00:00:00\n@ class Kel::Time\n08:05:03\n");
}

TEST(TimeNow, LocalAndUniversalDifferByTheZoneOffset) {
    // A zone five hours behind universal time, without daylight saving.
    kel_test::ScopedEnv zone("TZ", "EST5");
    for (int attempt = 0; attempt < 3; ++attempt) {
        const Time utc = Time::now(Time::UTC);
        const Time local = Time::now(Time::Local);
        EXPECT_EQ(utc.second(), std::floor(utc.second()));
        if (utc.second() != local.second()) {
            continue; // the clock ticked between the reads
        }
        EXPECT_EQ((local.hour() + 5) % 24, utc.hour());
        EXPECT_EQ(local.minute(), utc.minute());
        break;
    }
    EXPECT_THROW_REASON(Time::now(static_cast<Time::Where>(2)), DateTimeException, 1);
}
