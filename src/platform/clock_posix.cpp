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

bool readClock(bool universal, std::tm& out) {
    const std::time_t now = std::time(nullptr);
    if (universal) {
        return gmtime_r(&now, &out) != nullptr;
    }
    const std::lock_guard<std::mutex> guard(zoneLock);
    // localtime_r, unlike localtime, need not look at the time zone again.
    tzset();
    return localtime_r(&now, &out) != nullptr;
}

} // namespace platform
} // namespace Kel
