#include "platform/clock.h"

#include <mutex>
#include <time.h>

namespace Kel {
namespace platform {

namespace {

// tzset rewrites the process's zone data, and POSIX does not make it safe against a concurrent tzset;
// the refresh and the conversion that reads its result go together under this lock.
std::mutex zoneLock;

} // namespace

bool localOffset(long long seconds, long& offset) {
    const time_t instant = static_cast<time_t>(seconds);
    if (static_cast<long long>(instant) != seconds) {
        return false;
    }
    std::tm broken{};
    const std::lock_guard<std::mutex> guard(zoneLock);
    // localtime_r, unlike localtime, need not look at the time zone again.
    tzset();
    if (!localtime_r(&instant, &broken)) {
        return false;
    }
    offset = broken.tm_gmtoff;
    return true;
}

} // namespace platform
} // namespace Kel
