#ifndef KEL_SRC_FOUNDATION_THROW_H
#define KEL_SRC_FOUNDATION_THROW_H

namespace Kel {

// Throws a plain Exception with this name and reason, by value.
[[noreturn]] void throwException(const char* name, long reason);

} // namespace Kel

#endif
