#ifndef KEL_SRC_DATETIME_DEFAULTS_H
#define KEL_SRC_DATETIME_DEFAULTS_H

#include <kel/string.h>

namespace Kel {
namespace datetime {

// The default numbers; index 2 is the pivot year for two-digit years, the others are offered to callers.
constexpr long defaultNumbers[3] = {0, 1, 1940};

enum DefaultFormat { dateFormat = 0, timeFormat = 1, timestampFormat = 2 };

// The process-wide default format itself, without a copy; alive from library load to unload.
const String& defaultFormat(DefaultFormat which);

// A copy of fmt for an object to own as its stored format; null, meaning the shared default, when fmt is
// the text of the default format which (a copy of it would read and write alike).
String* ownFormat(const String& fmt, DefaultFormat which);

} // namespace datetime
} // namespace Kel

#endif
