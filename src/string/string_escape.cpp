#include "string/string_internal.h"

#include <kel/string.h>

#include <cstdlib>
#include <cstring>

namespace Kel {

namespace {

// The letter written after a backslash for c, or NUL when c is written as it is.
char escapeLetter(char c) {
    switch (c) {
    case '\n':
        return 'n';
    case '\t':
        return 't';
    case '\v':
        return 'v';
    case '\b':
        return 'b';
    case '\r':
        return 'r';
    case '\f':
        return 'f';
    case '\a':
        return 'a';
    case '\\':
    case '\'':
    case '"':
        return c;
    default:
        return '\0';
    }
}

// The character a backslash followed by c stands for, or NUL when the pair is unknown. The question mark
// is understood although escape() never writes it.
char unescapedChar(char c) {
    switch (c) {
    case '"':
    case '\'':
    case '?':
    case '\\':
        return c;
    case 'a':
        return '\a';
    case 'b':
        return '\b';
    case 'f':
        return '\f';
    case 'n':
        return '\n';
    case 'r':
        return '\r';
    case 't':
        return '\t';
    case 'v':
        return '\v';
    default:
        return '\0';
    }
}

bool isUnreserved(unsigned char c) {
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '-' ||
           c == '.' || c == '_' || c == '~';
}

// The value of up to two characters read as strtol reads a base-16 number, keeping the low 8 bits.
char decodedByte(const char* digits, std::size_t count) {
    char number[3] = {};
    std::memcpy(number, digits, count);
    return static_cast<char>(std::strtol(number, nullptr, 16) & 0xFF);
}

} // namespace

void String::escape() {
    if (!_pBuffer) {
        return;
    }
    const char* text = _pBuffer;
    const std::uint32_t length = textLength();
    std::size_t escaped = 0;
    for (std::uint32_t i = 0; i < length; ++i) {
        escaped += escapeLetter(text[i]) != '\0';
    }
    detail::Scratch out(length + escaped);
    char* w = out.data();
    for (std::uint32_t i = 0; i < length; ++i) {
        const char letter = escapeLetter(text[i]);
        if (letter) {
            *w++ = '\\';
            *w++ = letter;
        } else {
            *w++ = text[i];
        }
    }
    assignText(out.data(), length + escaped);
    _bNumeric = false;
}

void String::unescape() {
    if (!_pBuffer) {
        return;
    }
    char* const text = _pBuffer;
    const std::uint32_t length = textLength();
    std::uint32_t write = 0;
    std::uint32_t read = 0;
    while (read < length) {
        const char* backslash = static_cast<const char*>(std::memchr(text + read, '\\', length - read));
        const std::uint32_t run = (backslash ? static_cast<std::uint32_t>(backslash - text) : length) - read;
        std::memmove(text + write, text + read, run);
        write += run;
        read += run;
        if (read == length) {
            break;
        }
        const char c = read + 1 < length ? unescapedChar(text[read + 1]) : '\0';
        if (!c) {
            // Keep the pairs already replaced and the rest of the text as it was.
            std::memmove(text + write, text + read, length - read);
            _ulLength = write + (length - read);
            text[_ulLength] = '\0';
            _bLengthKnown = true;
            throw StringException(5);
        }
        text[write++] = c;
        read += 2;
    }
    text[write] = '\0';
    _ulLength = write;
    _bLengthKnown = true;
}

// A '%' takes the two characters after it, whatever they are, or as many as the text still has.
void String::fromURI() {
    if (!_pBuffer) {
        return;
    }
    const char* p = _pBuffer;
    const char* const end = p + textLength();
    detail::Scratch out(static_cast<std::size_t>(end - p));
    char* w = out.data();
    while (const char* percent = static_cast<const char*>(std::memchr(p, '%', end - p))) {
        std::memcpy(w, p, percent - p);
        w += percent - p;
        const std::size_t count = end - percent > 2 ? 2 : static_cast<std::size_t>(end - percent - 1);
        const char c = decodedByte(percent + 1, count);
        if (c) {
            *w++ = c;
        }
        p = percent + 1 + count;
    }
    std::memcpy(w, p, end - p);
    w += end - p;
    assignText(out.data(), static_cast<unsigned long>(w - out.data()));
    _bNumeric = false;
}

void String::toURI() {
    if (_bNull || !_pBuffer) {
        return;
    }
    static const char hex[] = "0123456789ABCDEF";
    const unsigned char* text = reinterpret_cast<const unsigned char*>(_pBuffer);
    const std::uint32_t length = textLength();
    std::size_t encoded = 0;
    for (std::uint32_t i = 0; i < length; ++i) {
        encoded += !isUnreserved(text[i]);
    }
    detail::Scratch out(length + 2 * encoded);
    char* w = out.data();
    for (std::uint32_t i = 0; i < length; ++i) {
        const unsigned char c = text[i];
        if (isUnreserved(c)) {
            *w++ = static_cast<char>(c);
        } else {
            *w++ = '%';
            *w++ = hex[c >> 4];
            *w++ = hex[c & 0x0F];
        }
    }
    assignText(out.data(), length + 2 * encoded);
    _bNumeric = false;
}

const char* String::sql() {
    std::free(_pSqlText);
    _pSqlText = nullptr;
    if (_bNull) {
        _pSqlText = static_cast<char*>(std::malloc(5));
        if (!_pSqlText) {
            throw StringException(2);
        }
        std::memcpy(_pSqlText, "NULL", 5);
        return _pSqlText;
    }
    // A number is its own literal.
    if (_bNumeric) {
        return _pBuffer;
    }

    const char* text = _pBuffer ? _pBuffer : "";
    const std::uint32_t length = textLength();
    std::size_t quotes = 0;
    for (std::uint32_t i = 0; i < length; ++i) {
        quotes += text[i] == '\'';
    }
    char* literal = static_cast<char*>(std::malloc(length + quotes + 3));
    if (!literal) {
        throw StringException(2);
    }
    char* w = literal;
    *w++ = '\'';
    for (std::uint32_t i = 0; i < length; ++i) {
        if (text[i] == '\'') {
            *w++ = '\'';
        }
        *w++ = text[i];
    }
    *w++ = '\'';
    *w = '\0';
    _pSqlText = literal;
    return _pSqlText;
}

} // namespace Kel
