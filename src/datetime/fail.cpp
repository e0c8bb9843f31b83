#include "datetime/fail.h"

#include <kel/foundation.h>

#include <cstdarg>
#include <cstdio>

namespace Kel {
namespace datetime {

void fail(long reason, const char* format, ...) {
    // The exception keeps a bounded detail; a longer text is cut here already.
    char detail[160];
    va_list arguments;
    va_start(arguments, format);
    std::vsnprintf(detail, sizeof detail, format, arguments);
    va_end(arguments);
    throw DateTimeException(reason, detail);
}

} // namespace datetime
} // namespace Kel
