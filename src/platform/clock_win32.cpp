#include "platform/clock.h"

#include <mutex>
#include <time.h>

namespace Kel {
namespace platform {

namespace {

// _tzset rewrites the runtime's zone globals; the refresh and the conversion that reads them go together
// under this lock.
std::mutex zoneLock;

// The runtime converts local time from 1970 to the end of the year 3000 only.
constexpr long long lastConvertible = 32535215999LL;

} // namespace

bool localOffset(long long seconds, long& offset) {
    const std::lock_guard<std::mutex> guard(zoneLock);
    // The runtime reads the time zone once unless asked again.
    _tzset();
    if (seconds < 0 || seconds > lastConvertible) {
        // Outside the runtime's range the zone's standard offset holds, without daylight saving.
        offset = -static_cast<long>(_timezone);
        return true;
    }
    const __time64_t instant = seconds;
    std::tm local{};
    std::tm universal{};
    if (_localtime64_s(&local, &instant) != 0 || _gmtime64_s(&universal, &instant) != 0) {
        return false;
    }
    // The two readings are at most a day apart, across a year's end at most.
    long days = local.tm_yday - universal.tm_yday;
    if (local.tm_year != universal.tm_year) {
        days = local.tm_year < universal.tm_year ? -1 : 1;
    }
    offset = ((days * 24 + local.tm_hour - universal.tm_hour) * 60 + local.tm_min - universal.tm_min) * 60 +
             local.tm_sec - universal.tm_sec;
    return true;
}

} // namespace platform
} // namespace Kel
