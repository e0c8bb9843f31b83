#include <kel/string.h>

#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace Kel {

namespace {
// A variable-length String that formats receives at least this much storage.
constexpr std::uint32_t minimumFormatCapacity = 256;
} // namespace

void String::format(const char* fmt, ...) {
    if (_ulFixed == 0 && _ulCapacity < minimumFormatCapacity) {
        // Fresh storage: the old text is discarded, so nothing needs copying.
        if (!_pBuffer || _ulAllocated < minimumFormatCapacity) {
            char* storage = static_cast<char*>(std::malloc(minimumFormatCapacity));
            if (!storage)
                throw StringException(2);
            adopt(storage, minimumFormatCapacity, minimumFormatCapacity);
        }
        _ulCapacity = minimumFormatCapacity;
        _pBuffer[0] = '\0';
        _ulLength = 0;
        _bLengthKnown = true;
    }
    if (!_pBuffer)
        throw StringException(2);
    const std::uint32_t limit = _ulFixed > 0 ? _ulFixed : _ulCapacity - 1;

    int written = 0;
    if (fmt) {
        va_list args;
        va_start(args, fmt);
        written = std::vsnprintf(_pBuffer, static_cast<std::size_t>(limit) + 1, fmt, args);
        va_end(args);
    } else {
        _pBuffer[0] = '\0';
    }

    _pBuffer[limit] = '\0';
    if (written < 0) {
        // An encoding error leaves the storage undefined: keep what is terminated.
        _ulLength = static_cast<std::uint32_t>(std::strlen(_pBuffer));
    } else {
        _ulLength = static_cast<std::uint32_t>(written) < limit ? static_cast<std::uint32_t>(written) : limit;
    }
    _bLengthKnown = true;
    _bNull = false;
}

} // namespace Kel
