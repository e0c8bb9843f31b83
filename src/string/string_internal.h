#ifndef KEL_SRC_STRING_STRING_INTERNAL_H
#define KEL_SRC_STRING_STRING_INTERNAL_H

#include <kel/string.h>

#include <cstdint>
#include <cstdlib>

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

// Working storage for a text being built, released on every exit unless handed over with release().
class Scratch {
public:
    explicit Scratch(std::size_t bytes) : _pText(static_cast<char*>(std::malloc(bytes ? bytes : 1))) {
        if (!_pText) {
            throw StringException(2);
        }
    }
    ~Scratch() { std::free(_pText); }
    Scratch(const Scratch&) = delete;
    Scratch& operator=(const Scratch&) = delete;

    char* data() { return _pText; }
    // Hands the storage to the caller, who frees it with std::free.
    char* release() {
        char* text = _pText;
        _pText = nullptr;
        return text;
    }

private:
    char* _pText;
};

// Library code that builds a long text elsewhere hands it to a String without copying it.
struct StringStorage {
    // Makes s the variable-length text of the length characters at storage, which ends with a NUL behind
    // them and was obtained with std::malloc or std::realloc at exactly length + 1 bytes; s frees it.
    static void adopt(String& s, char* storage, std::uint32_t length) noexcept;
};

} // namespace detail
} // namespace Kel

#endif
