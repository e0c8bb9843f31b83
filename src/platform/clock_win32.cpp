#include "platform/clock.h"

#include <mutex>
#include <time.h>

namespace Kel {
namespace platform {

namespace {

// _tzset rewrites the runtime's zone globals; the refresh and the conversion that reads them go together
// under this lock.
std::mutex zoneLock;

} // namespace

bool readClock(bool universal, std::tm& out) {
    const std::time_t now = std::time(nullptr);
    if (universal) {
        return gmtime_s(&out, &now) == 0;
    }
    const std::lock_guard<std::mutex> guard(zoneLock);
    // The runtime reads the time zone once unless asked again.
    _tzset();
    return localtime_s(&out, &now) == 0;
}

} // namespace platform
} // namespace Kel
