#include "platform/clock.h"

#include <time.h>

namespace Kel {
namespace platform {

bool readClock(bool universal, std::tm& out) {
    const std::time_t now = std::time(nullptr);
    if (universal) {
        return gmtime_r(&now, &out) != nullptr;
    }
    // localtime_r, unlike localtime, need not look at the time zone again.
    tzset();
    return localtime_r(&now, &out) != nullptr;
}

} // namespace platform
} // namespace Kel
