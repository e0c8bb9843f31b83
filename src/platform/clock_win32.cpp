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
        long west = 0;
        if (_get_timezone(&west) != 0)
            return false;
        offset = -west;
        return true;
    }
    const __time64_t instant = seconds;
    std::tm broken{};
    if (_localtime64_s(&broken, &instant) != 0)
        return false;
    const __time64_t asUniversal = _mkgmtime64(&broken);
    if (asUniversal == -1)
        return false;
    offset = static_cast<long>(asUniversal - instant);
    return true;
}

} // namespace platform
} // namespace Kel
