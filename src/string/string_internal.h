#ifndef KEL_SRC_STRING_STRING_INTERNAL_H
#define KEL_SRC_STRING_STRING_INTERNAL_H

#include <kel/string.h>

namespace Kel {
namespace detail {

// Counts are 32-bit in the interface, but callers on LP64 platforms may write (unsigned long)-1 for
// "to the end" as well as 0xFFFFFFFF.
inline bool isToEnd(unsigned long n) {
    return n == String::npos || n == static_cast<unsigned long>(-1);
}

inline bool isBlank(char c) {
    return c == ' ' || c == '\t';
}

} // namespace detail
} // namespace Kel

#endif
