#ifndef KEL_SRC_DATETIME_INSTANT_H
#define KEL_SRC_DATETIME_INSTANT_H

// Instants on the system clock and the calendar fields that name them, on local or universal time.

#include "datetime/fields.h"

#include <chrono>

namespace Kel {
namespace datetime {

// The current time in milliseconds since 1970-01-01 00:00 UTC, as the system clock reads it.
long long currentMilliseconds();

// The whole seconds of a count of milliseconds since 1970, rounded down before 1970 as well.
long long wholeSeconds(long long milliseconds);

// The fields of the instant `seconds` (since 1970-01-01 00:00 UTC) plus `fraction` (0 to below 1) on
// universal or local time. Throws DateTimeException(1) when the year lies outside the calendar's range or
// local time cannot be told.
Fields fieldsAt(long long seconds, double fraction, bool universal);

// The whole seconds since 1970-01-01 00:00 UTC at which the date and time of f (fractions left out) fall
// on universal or local time. Days past their month's end count on into the next month. Throws
// DateTimeException(1) when year, month or day is 0 or local time cannot be told.
long long secondsOf(const Fields& f, bool universal);

// The whole seconds of t since 1970-01-01 00:00 UTC and the fraction of a second beyond them.
void splitTimePoint(std::chrono::system_clock::time_point t, long long& seconds, double& fraction);

// The time point `seconds` plus `fraction` (0 to below 1) after 1970-01-01 00:00 UTC. Throws
// DateTimeException(1) when time_point cannot hold it.
std::chrono::system_clock::time_point timePointOf(long long seconds, double fraction);

} // namespace datetime
} // namespace Kel

#endif
