#include "datetime/instant.h"

#include "datetime/calendar.h"
#include "datetime/fail.h"
#include "platform/clock.h"
#include "platform/test_hooks.h"

#include <kel/foundation.h>

#include <chrono>

namespace Kel {
namespace datetime {

namespace {

constexpr long long secondsPerDay = 86400;

long long floorDiv(long long a, long long b) {
    const long long q = a / b;
    return (a % b != 0 && (a < 0) != (b < 0)) ? q - 1 : q;
}

long offsetAt(long long seconds) {
    long offset = 0;
    if (!platform::localOffset(seconds, offset)) {
        fail(1, "local time cannot be told at %lld seconds from 1970", seconds);
    }
    return offset;
}

} // namespace

long long currentMilliseconds() {
    const auto sinceEpoch = std::chrono::system_clock::now().time_since_epoch();
    const long long now = std::chrono::duration_cast<std::chrono::milliseconds>(sinceEpoch).count();
    const platform::TestHooks* hooks = platform::testHooks();
    return hooks ? now + hooks->clockShiftMilliseconds.load(std::memory_order_relaxed) : now;
}

long long wholeSeconds(long long milliseconds) {
    return floorDiv(milliseconds, 1000);
}

Fields fieldsAt(long long seconds, double fraction, bool universal) {
    const long long civil = universal ? seconds : seconds + offsetAt(seconds);
    const long long days = floorDiv(civil, secondsPerDay);
    const long long inDay = civil - days * secondsPerDay;
    Fields f;
    calendar::civilFromDays(days, f.year, f.month, f.day);
    if (!calendar::validYear(f.year)) {
        fail(1, "year %ld is outside %ld to %ld", f.year, calendar::firstYear, calendar::lastYear);
    }
    f.hour = static_cast<long>(inDay / 3600);
    f.minute = static_cast<long>(inDay / 60 % 60);
    f.second = static_cast<double>(inDay % 60) + fraction;
    return f;
}

long long secondsOf(const Fields& f, bool universal) {
    if (f.year == 0 || f.month == 0 || f.day == 0) {
        fail(1, "the date %04ld-%02ld-%02ld is not complete", f.year, f.month, f.day);
    }
    const long long civil = calendar::daysFromCivil(f.year, f.month, f.day) * secondsPerDay +
                            f.hour * 3600LL + f.minute * 60LL + static_cast<long long>(f.second);
    if (universal) {
        return civil;
    }
    // The offset belongs to the instant, which is not known yet: a first guess from the offset at the
    // civil time read as universal, corrected once where daylight saving changes in between.
    const long first = offsetAt(civil);
    const long second = offsetAt(civil - first);
    return civil - second;
}

void splitTimePoint(std::chrono::system_clock::time_point t, long long& seconds, double& fraction) {
    const auto sinceEpoch = t.time_since_epoch();
    const auto whole = std::chrono::floor<std::chrono::seconds>(sinceEpoch);
    seconds = static_cast<long long>(whole.count());
    fraction = std::chrono::duration<double>(sinceEpoch - whole).count();
}

std::chrono::system_clock::time_point timePointOf(long long seconds, double fraction) {
    using Ticks = std::chrono::system_clock::duration;
    // One second of margin at each end leaves room for the fraction.
    const long long limit = std::chrono::duration_cast<std::chrono::seconds>(Ticks::max()).count() - 1;
    if (seconds > limit || seconds < -limit) {
        fail(1, "%lld seconds from 1970 are beyond what time_point holds", seconds);
    }
    const Ticks whole = std::chrono::duration_cast<Ticks>(std::chrono::seconds(seconds));
    const Ticks part = std::chrono::round<Ticks>(std::chrono::duration<double>(fraction));
    return std::chrono::system_clock::time_point(whole + part);
}

} // namespace datetime
} // namespace Kel
