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
    {'%', "&per;", 5},   {'&', "&amp;", 5}, {'>', "&gt;", 4},   {'<', "&lt;", 4},   {'/', "&slash;", 7},
    {'?', "&qm;", 4},    {'!', "&em;", 4},  {'-', "&dash;", 6}, {'[', "&ob;", 4},   {']', "&cb;", 4},
    {'=', "&eq;", 4},    {'"', "&dq;", 4},  {'\'', "&sq;", 4},  {'"', "&quot;", 6}, {'\xA0', "&nbsp;", 6},
    {'\'', "&apos;", 6}, // XML's own spelling of the apostrophe: read, never written
};

// An entity spans at most this many characters, "&" and ";" included.
constexpr std::size_t entityWindow = 16;

// atol's white space, which may stand between "&#" and the number.
bool isCSpace(char c) {
    return c == ' ' || (c >= '\t' && c <= '\r');
}

int hexDigit(char c) {
    if (c >= '0' && c <= '9') {
        return c - '0';
    }
    if (c >= 'a' && c <= 'f') {
        return c - 'a' + 10;
    }
    if (c >= 'A' && c <= 'F') {
        return c - 'A' + 10;
    }
    return -1;
}

// The number of a hexadecimal reference, the digits after "&#x" up to the first that is not one, modulo
// 2^32 like the decimal form.
std::uint32_t hexadecimalReference(const char* p, const char* end) {
    std::uint32_t value = 0;
    for (int d; p < end && (d = hexDigit(*p)) >= 0; ++p) {
        value = value * 16u + static_cast<std::uint32_t>(d);
    }
    return value;
}

// The number of a decimal reference as atol reads it from [p, end), accumulated modulo 2^32, which keeps
// its low 8 bits exact however many digits follow.
std::uint32_t decimalReference(const char* p, const char* end) {
    while (p < end && isCSpace(*p)) {
        ++p;
    }
    bool negative = false;
    if (p < end && (*p == '+' || *p == '-')) {
        negative = *p++ == '-';
    }
    std::uint32_t value = 0;
    for (; p < end && *p >= '0' && *p <= '9'; ++p) {
        value = value * 10u + static_cast<std::uint32_t>(*p - '0');
    }
    return negative ? 0u - value : value;
}

const Entity* namedEntity(const char* p, std::size_t length) {
    for (const Entity& e : entities) {
        if (e.length == length && std::memcmp(e.text, p, length) == 0) {
            return &e;
        }
    }
    return nullptr;
}

} // namespace

namespace detail {

TextBuffer::TextBuffer() : _data(nullptr), _size(0), _capacity(0) {}

TextBuffer::~TextBuffer() {
    std::free(_data);
}

void growStorage(char*& data, std::size_t& capacity, std::size_t size, std::size_t more,
                 std::size_t smallest) {
    std::size_t grown = capacity < smallest ? smallest : capacity * 2;
    while (grown - size < more) {
        grown *= 2;
    }
    char* moved = static_cast<char*>(std::realloc(data, grown));
    if (!moved) {
        throw std::bad_alloc();
    }
    data = moved;
    capacity = grown;
}

void TextBuffer::grow(std::size_t more) {
    growStorage(_data, _capacity, _size, more, 64);
}

void TextBuffer::append(const char* p, std::size_t n) {
    if (_capacity - _size < n) {
        grow(n);
    }
    if (n) {
        std::memcpy(_data + _size, p, n);
    }
    _size += n;
}

void assignRange(String& s, const char* p, std::size_t n) {
    s.copy(n ? p : "", static_cast<unsigned long>(n));
}

void TextChunks::release(char* text) noexcept {
    auto* head = reinterpret_cast<Head*>(reinterpret_cast<std::uintptr_t>(text) & ~(chunkSize - 1));
    if (head->texts.fetch_sub(1, std::memory_order_acq_rel) == 1) {
        head->~Head();
        ::operator delete(static_cast<void*>(head), std::align_val_t(chunkSize));
    }
}

void TextChunks::settle() noexcept {
    if (!_pChunk) {
        return;
    }
    auto* head = reinterpret_cast<Head*>(_pChunk);
    if (head->texts.fetch_sub(held - _ulPlaced, std::memory_order_acq_rel) == held - _ulPlaced) {
        head->~Head();
        ::operator delete(static_cast<void*>(_pChunk), std::align_val_t(chunkSize));
    }
    _pChunk = _pNext = _pEnd = nullptr;
    _ulPlaced = 0;
}

void TextChunks::next() {
    char* chunk = static_cast<char*>(::operator new(chunkSize, std::align_val_t(chunkSize)));
    settle();
    new (chunk) Head{held};
    _pChunk = chunk;
    _pNext = chunk + sizeof(Head);
    _pEnd = chunk + chunkSize;
}

void appendUtf8(TextBuffer& out, std::uint32_t c) {
    if (c < 0x80) {
        out.append(static_cast<char>(c));
    } else if (c < 0x800) {
        out.append(static_cast<char>(0xC0 | (c >> 6)));
        out.append(static_cast<char>(0x80 | (c & 0x3F)));
    } else if (c < 0x10000) {
        out.append(static_cast<char>(0xE0 | (c >> 12)));
        out.append(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
        out.append(static_cast<char>(0x80 | (c & 0x3F)));
    } else {
        out.append(static_cast<char>(0xF0 | (c >> 18)));
        out.append(static_cast<char>(0x80 | ((c >> 12) & 0x3F)));
        out.append(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
        out.append(static_cast<char>(0x80 | (c & 0x3F)));
    }
}

namespace {

// Appends the character of the reference that runs from amp to semicolon.
void appendReference(const char* amp, const char* semicolon, TextBuffer& out, const DecodeOptions& options) {
    const std::uint32_t number =
        amp[2] == 'x' ? hexadecimalReference(amp + 3, semicolon) : decimalReference(amp + 2, semicolon);
    if (!options.utf8References || number < 0x80 || number == 0xA0) {
        const auto c = static_cast<unsigned char>(number & 0xFFu);
        if (c != 0) {
            out.append(static_cast<char>(c));
        }
        return;
    }
    if (number > 0x10FFFF || (number >= 0xD800 && number <= 0xDFFF)) {
        throw DecodeFailure{103, amp};
    }
    appendUtf8(out, number);
}

// The ";" that ends the reference at amp, before end: the first one in the entity window, or, past the
// window, the one behind the name of a declared entity (documents name entities as they like); null when
// there is none.
const char* referenceEnd(const char* amp, const char* end, const DecodeOptions& options) {
    const std::size_t available = static_cast<std::size_t>(end - amp);
    const std::size_t window = available < entityWindow ? available : entityWindow;
    if (const void* semicolon = std::memchr(amp, ';', window)) {
        return static_cast<const char*>(semicolon);
    }
    if (!options.entities || window < 2 || amp[1] == '#') {
        return nullptr;
    }
    const std::size_t longest = options.entities->longestName() + 2; // with "&" and ";"
    const std::size_t span = available < longest ? available : longest;
    if (span <= window) {
        return nullptr;
    }
    const char* semicolon = static_cast<const char*>(std::memchr(amp + window, ';', span - window));
    if (!semicolon || !options.entities->find(amp + 1, static_cast<std::size_t>(semicolon - amp - 1))) {
        return nullptr;
    }
    return semicolon;
}

} // namespace

void decodeRange(const char* p, const char* end, TextBuffer& out, const DecodeOptions& options) {
    while (p < end) {
        const char* amp = static_cast<const char*>(std::memchr(p, '&', static_cast<std::size_t>(end - p)));
        if (!amp) {
            out.append(p, static_cast<std::size_t>(end - p));
            return;
        }
        const char* semicolon = referenceEnd(amp, end, options);
        if (!semicolon) {
            throw DecodeFailure{101, amp};
        }
        out.append(p, static_cast<std::size_t>(amp - p));
        if (amp[1] == '#') {
            appendReference(amp, semicolon, out, options);
        } else if (!options.entities || !expandDeclared(*options.entities, amp, semicolon, out, options)) {
            const Entity* e = namedEntity(amp, static_cast<std::size_t>(semicolon + 1 - amp));
            if (!e) {
                throw DecodeFailure{102, amp};
            }
            out.append(e->character);
        }
        p = semicolon + 1;
    }
}

void assignDecoded(String& s, const char* p, const char* end, TextBuffer& scratch,
                   const DecodeOptions& options) {
    const std::size_t n = static_cast<std::size_t>(end - p);
    if (!std::memchr(p, '&', n)) {
        assignRange(s, p, n);
        return;
    }
    scratch.clear();
    decodeRange(p, end, scratch, options);
    assignRange(s, scratch.data(), scratch.size());
}

std::size_t utf8SequenceLength(const unsigned char* p, std::size_t n) {
    const unsigned char c = p[0];
    std::size_t length;
    unsigned char low = 0x80, high = 0xBF; // the range of the second byte
    if (c >= 0xC2 && c <= 0xDF) {
        length = 2;
    } else if (c >= 0xE0 && c <= 0xEF) {
        length = 3;
        if (c == 0xE0) {
            low = 0xA0; // no overlong forms
        } else if (c == 0xED) {
            high = 0x9F; // no surrogates
        }
    } else if (c >= 0xF0 && c <= 0xF4) {
        length = 4;
        if (c == 0xF0) {
            low = 0x90;
        } else if (c == 0xF4) {
            high = 0x8F; // nothing above U+10FFFF
        }
    } else {
        return 0;
    }
    if (n < length || p[1] < low || p[1] > high) {
        return 0;
    }
    for (std::size_t i = 2; i < length; ++i) {
        if (p[i] < 0x80 || p[i] > 0xBF) {
            return 0;
        }
    }
    return length;
}

const CodingClasses codingClasses;

namespace {

// The bytes of XML names: 1 for those that may begin one, 2 for those that may continue one. Bytes above
// 127 are taken as the letters of UTF-8 characters.
struct NameClasses {
    unsigned char of[256];
    NameClasses() : of() {
        for (unsigned c = 0; c < 256; ++c) {
            const bool start =
                (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || c == '_' || c == ':' || c >= 0x80;
            const bool inner = start || (c >= '0' && c <= '9') || c == '-' || c == '.';
            of[c] = static_cast<unsigned char>((start ? 1 : 0) | (inner ? 2 : 0));
        }
    }
};
const NameClasses nameClasses;

} // namespace

bool isXmlNameStart(unsigned char c) {
    return (nameClasses.of[c] & 1) != 0;
}

bool isXmlName(const char* p, std::size_t n) {
    if (n == 0 || !isXmlNameStart(static_cast<unsigned char>(p[0]))) {
        return false;
    }
    // No early exit: names are short, and one branch at the end costs less than one per byte.
    unsigned char all = 2;
    for (std::size_t i = 1; i < n; ++i) {
        all &= nameClasses.of[static_cast<unsigned char>(p[i])];
    }
    return all != 0;
}

CodingClasses::CodingClasses() : of() {
    unsigned char* legacy = of[static_cast<int>(Coding::Legacy)];
    unsigned char* text = of[static_cast<int>(Coding::Text)];
    unsigned char* attribute = of[static_cast<int>(Coding::Attribute)];
    for (const unsigned char c : {'&', '<', '>'}) {
        legacy[c] = text[c] = attribute[c] = replaced;
    }
    attribute[static_cast<unsigned char>('"')] = replaced;
    for (const unsigned char c : {'\t', '\n', '\r'}) {
        attribute[c] = replaced;
    }
    text[static_cast<unsigned char>('\r')] = replaced;
    for (unsigned c = 0xC2; c <= 0xF4; ++c) {
        legacy[c] = text[c] = attribute[c] = multiByte;
    }
    legacy[0xA0] = text[0xA0] = attribute[0xA0] = replaced | multiByte;
    for (unsigned c = 1; c < 0x20; ++c) {
        if (isForbiddenInXml(static_cast<unsigned char>(c))) {
            text[c] = attribute[c] = forbidden;
        }
    }
}

const char* replacementOf(unsigned char c, Coding coding, std::size_t& length) {
    struct Replacement {
        const char* text;
        std::size_t length;
    };
    static const Replacement amp{"&amp;", 5}, lt{"&lt;", 4}, gt{"&gt;", 4}, quot{"&quot;", 6}, tab{"&#9;", 4},
        lf{"&#10;", 5}, cr{"&#13;", 5}, nbsp{"&nbsp;", 6}, nbspReference{"&#160;", 6};
    const Replacement* r;
    switch (c) {
    case '&':
        r = &amp;
        break;
    case '<':
        r = &lt;
        break;
    case '>':
        r = &gt;
        break;
    case '"':
        r = &quot;
        break;
    case '\t':
        r = &tab;
        break;
    case '\n':
        r = &lf;
        break;
    case '\r':
        r = &cr;
        break;
    default:
        r = coding == Coding::Legacy ? &nbsp : &nbspReference;
        break;
    }
    length = r->length;
    return r->text;
}

} // namespace detail

// ---- XMLUtil ----------------------------------------------------------------------------------------

const String XMLUtil::XMLEncode(const String& text) {
    String result;
    if (text.isNull()) {
        return result;
    }
    detail::TextBuffer out;
    detail::BufferOut sink(out);
    detail::putEncoded(sink, text, text.length(), detail::Coding::Legacy);
    detail::assignRange(result, out.data(), out.size());
    return result;
}

const String XMLUtil::XMLDecode(const String& text) {
    String result;
    if (text.isNull()) {
        return result;
    }
    const char* p = text;
    detail::TextBuffer out;
    try {
        detail::decodeRange(p, p + text.length(), out, detail::DecodeOptions());
    } catch (const detail::DecodeFailure& failure) {
        throw XMLException(failure.reason);
    }
    detail::assignRange(result, out.data(), out.size());
    return result;
}

const String& XMLUtil::getNode(const String&, bool*) {
    return String::null;
}

} // namespace Kel
