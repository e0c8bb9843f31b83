#include "platform/clock.h"

#include <time.h>

namespace Kel {
namespace platform {

bool readClock(bool universal, std::tm& out) {
    const std::time_t now = std::time(nullptr);
    if (universal) {
        return gmtime_s(&out, &now) == 0;
    }
    // The runtime reads the time zone once unless asked again.
    _tzset();
    return localtime_s(&out, &now) == 0;
}

} // namespace platform
} // namespace Kel
