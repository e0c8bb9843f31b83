#ifndef KEL_SRC_DATETIME_FAIL_H
#define KEL_SRC_DATETIME_FAIL_H

// Throwing DateTimeException with a detail that says which value broke which rule.

namespace Kel {
namespace datetime {

// Throws DateTimeException(reason) with the detail written printf-style.
[[noreturn]] void fail(long reason, const char* format, ...)
#if defined(__GNUC__)
    __attribute__((format(printf, 2, 3)))
#endif
    ;

} // namespace datetime
} // namespace Kel

#endif
