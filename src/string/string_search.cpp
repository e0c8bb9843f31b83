#include "string/string_internal.h"

#include <kel/string.h>

#include <cstring>
#include <string_view>

namespace Kel {

namespace {

inline unsigned char foldCase(unsigned char c) {
    return c >= 'A' && c <= 'Z' ? c + ('a' - 'A') : c;
}

int sign(int v) {
    return (v > 0) - (v < 0);
}

// Compares at most n characters of two terminated texts. Without ignoreCase the result is -1, 0 or 1;
// with it, the difference of the first differing pair after folding ASCII capitals.
int compareTexts(const char* a, const char* b, unsigned long n, bool ignoreCase) {
    if (!ignoreCase) {
        return sign(std::strncmp(a, b, n));
    }
    for (unsigned long i = 0; i < n; ++i) {
        const unsigned char ca = foldCase(static_cast<unsigned char>(a[i]));
        const unsigned char cb = foldCase(static_cast<unsigned char>(b[i]));
        if (ca != cb || ca == '\0') {
            return static_cast<int>(ca) - static_cast<int>(cb);
        }
    }
    return 0;
}

// The null rules shared by every comparison: they are decided before any text is read.
int compareNullable(const String& self, const char* other, bool otherNull, unsigned long n, bool ignoreCase) {
    if (self.isNull() || otherNull) {
        return self.isNull() && otherNull ? 0 : self.isNull() ? -1 : 1;
    }
    const char* text = self;
    return compareTexts(text ? text : "", other ? other : "", n, ignoreCase);
}

unsigned long wholeText(unsigned long n) {
    return detail::isToEnd(n) ? static_cast<unsigned long>(-1) : n;
}

} // namespace

// ---- comparison -------------------------------------------------------------------------------------

int String::compare(const String& o, bool ignoreCase) const {
    return compareNullable(*this, o._pBuffer, o._bNull, static_cast<unsigned long>(-1), ignoreCase);
}

int String::compare(const char* s, bool ignoreCase) const {
    return compareNullable(*this, s, s == nullptr, static_cast<unsigned long>(-1), ignoreCase);
}

int String::compareFor(const String& o, unsigned long n, bool ignoreCase) const {
    return compareNullable(*this, o._pBuffer, o._bNull, wholeText(n), ignoreCase);
}

int String::compareFor(const char* s, unsigned long n, bool ignoreCase) const {
    return compareNullable(*this, s, s == nullptr, wholeText(n), ignoreCase);
}

// ---- search -----------------------------------------------------------------------------------------

const char* String::find(char c, bool fromEnd) const {
    const unsigned long index = findIndex(c, fromEnd);
    return index == npos ? nullptr : _pBuffer + index;
}

const char* String::find(const char* s) const {
    const unsigned long index = findIndex(s);
    return index == npos ? nullptr : _pBuffer + index;
}

unsigned long String::findIndex(char c, bool fromEnd) const {
    if (!_pBuffer) {
        return npos;
    }
    const std::uint32_t length = textLength();
    if (c == '\0') {
        return length;
    }
    const std::string_view text(_pBuffer, length);
    const std::size_t at = fromEnd ? text.rfind(c) : text.find(c);
    return at == std::string_view::npos ? npos : static_cast<unsigned long>(at);
}

unsigned long String::findIndex(const char* s) const {
    if (!_pBuffer || !s) {
        return npos;
    }
    const std::uint32_t length = textLength();
    // The C library's substring search is many times faster than a first-character scan on ordinary
    // text; it needs the terminator, which storage written through buffer() may lack.
    if (_pBuffer[length] == '\0') {
        const char* at = std::strstr(_pBuffer, s);
        return at ? static_cast<unsigned long>(at - _pBuffer) : npos;
    }
    const std::size_t at = std::string_view(_pBuffer, length).find(s);
    return at == std::string_view::npos ? npos : static_cast<unsigned long>(at);
}

// ---- slicing and fields -----------------------------------------------------------------------------

String String::mid(unsigned long start, unsigned long count) const {
    const unsigned long length = this->length();
    String result;
    if (start > length) {
        return result;
    }
    if (detail::isToEnd(count)) {
        count = length - start;
    }
    if (count == 0 || count > length - start) {
        return result;
    }
    result.assignText(_pBuffer + start, count);
    return result;
}

String String::field(char sep, unsigned long n, char quote) const {
    String result;
    if (!_pBuffer) {
        return result;
    }
    const char* text = _pBuffer;
    const std::uint32_t length = textLength();
    std::uint32_t i = 0;
    bool inQuotes = false;

    for (unsigned long separators = 0; separators < n; ++i) {
        if (i >= length) {
            return result;
        }
        if (quote != '\0' && text[i] == quote) {
            inQuotes = !inQuotes;
        } else if (!inQuotes && text[i] == sep) {
            ++separators;
        }
    }

    // Collect runs of ordinary characters between quote characters; a quote character is dropped.
    std::uint32_t runStart = i;
    for (; i < length; ++i) {
        const char c = text[i];
        if (quote != '\0' && c == quote) {
            if (i > runStart) {
                result.appendText(text + runStart, i - runStart);
            }
            runStart = i + 1;
            inQuotes = !inQuotes;
        } else if (!inQuotes && c == sep) {
            break;
        }
    }
    if (i > runStart) {
        result.appendText(text + runStart, i - runStart);
    }
    return result;
}

// ---- trimming ---------------------------------------------------------------------------------------

String String::trimLeft() const {
    const char* text = _pBuffer ? _pBuffer : "";
    std::uint32_t start = 0;
    const std::uint32_t length = textLength();
    while (start < length && detail::isBlank(text[start])) {
        ++start;
    }
    String result;
    result.assignText(text + start, length - start);
    return result;
}

String String::trimRight() const {
    const char* text = _pBuffer ? _pBuffer : "";
    std::uint32_t end = textLength();
    // The first character always stays, blank or not.
    while (end > 1 && detail::isBlank(text[end - 1])) {
        --end;
    }
    String result;
    result.assignText(text, end);
    return result;
}

String String::trim() const {
    return trimLeft().trimRight();
}

} // namespace Kel
