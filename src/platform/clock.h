#ifndef KEL_SRC_PLATFORM_CLOCK_H
#define KEL_SRC_PLATFORM_CLOCK_H

// Reading the calendar clock as broken-down time, safely from any thread.

#include <ctime>

namespace Kel {
namespace platform {

// The current calendar time read once and broken down on universal time, or on local time with the time
// zone and daylight saving in force at the call (a changed TZ variable included). False when the platform
// cannot break the time down.
bool readClock(bool universal, std::tm& out);

} // namespace platform
} // namespace Kel

#endif
