#include "string/string_internal.h"

#include <kel/string.h>

#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace Kel {

namespace {

// A variable-length String that formats receives at least this much storage.
constexpr std::uint32_t minimumFormatCapacity = 256;
// Output of up to this many bytes is built on the stack before it is copied into the String.
constexpr std::uint32_t stackScratchSize = 1024;

// Formats into out, which holds limit characters and a terminator; gives the length of the text written
// (cut at limit). A null fmt writes empty text.
std::uint32_t formatInto(char* out, std::uint32_t limit, const char* fmt, va_list args) {
    if (fmt) {
        std::vsnprintf(out, static_cast<std::size_t>(limit) + 1, fmt, args);
    } else {
        out[0] = '\0';
    }
    // An encoding error leaves the output undefined: keep what is terminated.
    out[limit] = '\0';
    // The text ends at its first NUL, as every String's does. That is not always where vsnprintf stopped:
    // a %c of 0 ends it early, and a length counted past that NUL would disagree with the text, which
    // comparisons, copies and appends all read up to the NUL. So format("a%cb", 0) gives "a" of length
    // 1, as assigning the same bytes does.
    return static_cast<std::uint32_t>(std::strlen(out));
}

} // namespace

// The arguments, and fmt itself, may point into this String's own storage (s.format("%s/file", s) is
// common), so the text is always built in storage of its own and only then installed: the old text stays
// readable until vsnprintf has read every argument.
void String::format(const char* fmt, ...) {
    const bool grows = _ulFixed == 0 && _ulCapacity < minimumFormatCapacity;
    if (!grows && !_pBuffer) {
        throw StringException(2);
    }
    const std::uint32_t capacity = _ulFixed > 0 ? _ulFixed + 1 : grows ? minimumFormatCapacity : _ulCapacity;
    const std::uint32_t limit = capacity - 1;

    va_list args;
    va_start(args, fmt);
    std::uint32_t length = 0;
    try {
        if (grows && (!_pBuffer || _ulAllocated < minimumFormatCapacity)) {
            // The old text is discarded: the new storage receives the output and replaces it.
            detail::Scratch storage(capacity);
            length = formatInto(storage.data(), limit, fmt, args);
            adopt(storage.release(), capacity, capacity);
        } else if (capacity <= stackScratchSize) {
            char scratch[stackScratchSize];
            length = formatInto(scratch, limit, fmt, args);
            std::memcpy(_pBuffer, scratch, static_cast<std::size_t>(length) + 1);
        } else {
            detail::Scratch scratch(capacity);
            length = formatInto(scratch.data(), limit, fmt, args);
            std::memcpy(_pBuffer, scratch.data(), static_cast<std::size_t>(length) + 1);
        }
    } catch (...) {
        va_end(args);
        throw;
    }
    va_end(args);
    _ulCapacity = capacity;
    _ulLength = length;
    _bLengthKnown = true;
    _bNull = false;
}

} // namespace Kel
