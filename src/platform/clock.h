#ifndef KEL_SRC_PLATFORM_CLOCK_H
#define KEL_SRC_PLATFORM_CLOCK_H

// The local time zone as the C library knows it, asked safely from any thread.

namespace Kel {
namespace platform {

// The seconds by which local time is ahead of universal time at the instant `seconds` (counted from
// 1970-01-01 00:00 UTC), by the time zone and daylight-saving rules in force at the call (a changed TZ
// variable included). False when the platform cannot tell.
bool localOffset(long long seconds, long& offset);

} // namespace platform
} // namespace Kel

#endif
