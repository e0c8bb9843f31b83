#include "xml/xml_text.h"

#include <kel/xml.h>

#include <cstdlib>
#include <cstring>
#include <new>

namespace Kel {

namespace {

struct Entity {
    char character;
    const char* text;
    std::size_t length;
};

// The entity table. Decoding takes the first row whose text matches; encoding the first row of the
// character. The double quote has two spellings.
const Entity entities[] = {
    {'%', "&per;", 5}, {'&', "&amp;", 5}, {'>', "&gt;", 4},   {'<', "&lt;", 4},   {'/', "&slash;", 7},
    {'?', "&qm;", 4},  {'!', "&em;", 4},  {'-', "&dash;", 6}, {'[', "&ob;", 4},   {']', "&cb;", 4},
    {'=', "&eq;", 4},  {'"', "&dq;", 4},  {'\'', "&sq;", 4},  {'"', "&quot;", 6}, {'\xA0', "&nbsp;", 6},
};

// An entity spans at most this many characters, "&" and ";" included.
constexpr std::size_t entityWindow = 16;

// atol's white space, which may stand between "&#" and the number.
bool isCSpace(char c) {
    return c == ' ' || (c >= '\t' && c <= '\r');
}

// The character of a decimal reference: the low 8 bits of the number that atol reads from [p, end).
// The number is accumulated modulo 2^32, which keeps its low 8 bits exact however many digits follow.
unsigned char decimalReference(const char* p, const char* end) {
    while (p < end && isCSpace(*p))
        ++p;
    bool negative = false;
    if (p < end && (*p == '+' || *p == '-'))
        negative = *p++ == '-';
    std::uint32_t value = 0;
    for (; p < end && *p >= '0' && *p <= '9'; ++p)
        value = value * 10u + static_cast<std::uint32_t>(*p - '0');
    if (negative)
        value = 0u - value;
    return static_cast<unsigned char>(value & 0xFFu);
}

const Entity* namedEntity(const char* p, std::size_t length) {
    for (const Entity& e : entities)
        if (e.length == length && std::memcmp(e.text, p, length) == 0)
            return &e;
    return nullptr;
}

// The entity text that replaces c, or null when c is written as it is.
const Entity* replacementOf(unsigned char c, detail::Coding coding) {
    switch (c) {
    case '&':
        return &entities[1];
    case '>':
        return &entities[2];
    case '<':
        return &entities[3];
    case 0xA0:
        return &entities[14];
    case '"':
        // A quote inside an attribute value would end the value: written as "&quot;".
        return coding == detail::Coding::Attribute ? &entities[13] : nullptr;
    default:
        return nullptr;
    }
}

// The characters that encoding replaces: bit 1 for element text, bit 2 for attribute values.
struct EncodeSet {
    unsigned char flags[256] = {};
    EncodeSet() {
        for (const unsigned char c : {0x26, 0x3C, 0x3E, 0xA0}) // & < > and the no-break space
            flags[c] = 3;
        flags[static_cast<unsigned char>('"')] = 2;
    }
};
const EncodeSet encodeSet;

inline bool needsEntity(unsigned char c, detail::Coding coding) {
    return (encodeSet.flags[c] & (coding == detail::Coding::Attribute ? 2 : 1)) != 0;
}

} // namespace

namespace detail {

TextBuffer::TextBuffer() : _data(nullptr), _size(0), _capacity(0) {}

TextBuffer::~TextBuffer() {
    std::free(_data);
}

void TextBuffer::grow(std::size_t more) {
    std::size_t capacity = _capacity < 64 ? 64 : _capacity * 2;
    while (capacity - _size < more)
        capacity *= 2;
    char* data = static_cast<char*>(std::realloc(_data, capacity));
    if (!data)
        throw std::bad_alloc();
    _data = data;
    _capacity = capacity;
}

void TextBuffer::append(const char* p, std::size_t n) {
    if (_capacity - _size < n)
        grow(n);
    if (n)
        std::memcpy(_data + _size, p, n);
    _size += n;
}

void assignRange(String& s, const char* p, std::size_t n) {
    s.copy(n ? p : "", static_cast<unsigned long>(n));
}

void decodeRange(const char* p, const char* end, TextBuffer& out) {
    while (p < end) {
        const char* amp = static_cast<const char*>(std::memchr(p, '&', static_cast<std::size_t>(end - p)));
        if (!amp) {
            out.append(p, static_cast<std::size_t>(end - p));
            return;
        }
        const std::size_t window = static_cast<std::size_t>(end - amp) < entityWindow
                                       ? static_cast<std::size_t>(end - amp)
                                       : entityWindow;
        const char* semicolon = static_cast<const char*>(std::memchr(amp, ';', window));
        if (!semicolon)
            throw XMLException(101);
        out.append(p, static_cast<std::size_t>(amp - p));
        if (amp[1] == '#') {
            const unsigned char c = decimalReference(amp + 2, semicolon);
            if (c != 0)
                out.append(static_cast<char>(c));
        } else {
            const Entity* e = namedEntity(amp, static_cast<std::size_t>(semicolon + 1 - amp));
            if (!e)
                throw XMLException(102);
            out.append(e->character);
        }
        p = semicolon + 1;
    }
}

void assignDecoded(String& s, const char* p, const char* end, TextBuffer& scratch) {
    const std::size_t n = static_cast<std::size_t>(end - p);
    if (!std::memchr(p, '&', n)) {
        assignRange(s, p, n);
        return;
    }
    scratch.clear();
    decodeRange(p, end, scratch);
    assignRange(s, scratch.data(), scratch.size());
}

std::uint64_t encodedLength(const char* p, std::size_t n, Coding coding) {
    std::uint64_t length = n;
    for (std::size_t i = 0; i < n; ++i)
        if (needsEntity(static_cast<unsigned char>(p[i]), coding))
            length += replacementOf(static_cast<unsigned char>(p[i]), coding)->length - 1;
    return length;
}

char* encodeTo(char* out, const char* p, std::size_t n, Coding coding) {
    std::size_t run = 0;
    for (std::size_t i = 0; i < n; ++i) {
        if (!needsEntity(static_cast<unsigned char>(p[i]), coding))
            continue;
        std::memcpy(out, p + run, i - run);
        out += i - run;
        const Entity* e = replacementOf(static_cast<unsigned char>(p[i]), coding);
        std::memcpy(out, e->text, e->length);
        out += e->length;
        run = i + 1;
    }
    if (n > run)
        std::memcpy(out, p + run, n - run);
    return out + (n - run);
}

} // namespace detail

// ---- XMLUtil ----------------------------------------------------------------------------------------

const String XMLUtil::XMLEncode(const String& text) {
    String result;
    if (text.isNull())
        return result;
    const char* p = text;
    const std::size_t n = text.length();
    detail::TextBuffer out;
    for (std::size_t i = 0; i < n; ++i) {
        if (const Entity* e = replacementOf(static_cast<unsigned char>(p[i]), detail::Coding::Text))
            out.append(e->text, e->length);
        else
            out.append(p[i]);
    }
    detail::assignRange(result, out.data(), out.size());
    return result;
}

const String XMLUtil::XMLDecode(const String& text) {
    String result;
    if (text.isNull())
        return result;
    const char* p = text;
    detail::TextBuffer out;
    detail::decodeRange(p, p + text.length(), out);
    detail::assignRange(result, out.data(), out.size());
    return result;
}

const String& XMLUtil::getNode(const String&, bool*) {
    return String::null;
}

} // namespace Kel
