#include "foundation/dump.h"
#include "string/string_internal.h"

#include <kel/net.h>
#include <kel/string.h>

#include <cerrno>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <ostream>
#include <utility>

namespace Kel {

namespace {

constexpr std::uint32_t maxStorage = 0xFFFFFFFFu;
constexpr std::uint32_t minGrowth = 16;

// Storage sizes are 32-bit; a text that cannot be described by one cannot be stored.
std::uint32_t storageFor(unsigned long characters) {
    if (characters >= maxStorage) {
        throw StringException(2);
    }
    return static_cast<std::uint32_t>(characters + 1);
}

char* allocateStorage(std::uint32_t bytes) {
    char* p = static_cast<char*>(std::malloc(bytes));
    if (!p) {
        throw StringException(2);
    }
    return p;
}

char* resizeStorage(char* old, std::uint32_t bytes) {
    char* p = static_cast<char*>(std::realloc(old, bytes));
    if (!p) {
        throw StringException(2);
    }
    return p;
}

// Growth for appends: at least doubling, so that a text built piece by piece is copied O(1) times per
// character on average.
std::uint32_t grownSize(std::uint32_t allocated, std::uint32_t needed) {
    std::uint64_t size = static_cast<std::uint64_t>(allocated) * 2;
    if (size < minGrowth) {
        size = minGrowth;
    }
    if (size < needed) {
        size = needed;
    }
    return size > maxStorage ? maxStorage : static_cast<std::uint32_t>(size);
}

bool pointsInto(const char* p, const char* storage, std::uint32_t size) {
    // Compared as integers: relational operators on pointers to different objects are unspecified.
    const auto address = reinterpret_cast<std::uintptr_t>(p);
    const auto start = reinterpret_cast<std::uintptr_t>(storage);
    return storage && address >= start && address < start + size;
}

// strtoul as a 32-bit unsigned long reads it: a minus sign negates modulo 2^32, overflow saturates.
unsigned long parseUnsigned32(const char* text) {
    const char* p = text;
    while (*p == ' ' || (*p >= '\t' && *p <= '\r')) {
        ++p;
    }
    bool negative = false;
    if (*p == '+' || *p == '-') {
        negative = *p++ == '-';
    }
    if (*p < '0' || *p > '9') {
        return 0;
    }
    errno = 0;
    const unsigned long long magnitude = std::strtoull(p, nullptr, 10);
    if (errno == ERANGE || magnitude > 0xFFFFFFFFull) {
        return 0xFFFFFFFFul;
    }
    const std::uint32_t value = static_cast<std::uint32_t>(magnitude);
    return negative ? static_cast<std::uint32_t>(0u - value) : value;
}

// strtol as a 32-bit long reads it: saturating at the 32-bit limits.
long parseSigned32(const char* text) {
    errno = 0;
    const long long value = std::strtoll(text, nullptr, 10);
    if (value > std::numeric_limits<std::int32_t>::max()) {
        return std::numeric_limits<std::int32_t>::max();
    }
    if (value < std::numeric_limits<std::int32_t>::min()) {
        return std::numeric_limits<std::int32_t>::min();
    }
    return static_cast<long>(value);
}

} // namespace

// Out-of-line definition: a dllimport class cannot provide the address of an inline static member.
constexpr unsigned long String::npos;

const String String::null;

// ---- construction -----------------------------------------------------------------------------------

String::String()
    : KELBase(), _bNull(true), _bNumeric(false), _bLengthKnown(true), _ulCapacity(0), _ulFixed(0),
      _ulAllocated(0), _ulLength(0), _bAppendReady(false), _pBuffer(nullptr), _pSqlText(nullptr) {}

String::String(unsigned long n) : String() {
    const std::uint32_t size = storageFor(n);
    _pBuffer = size <= inlineSize ? _aInline : allocateStorage(size);
    _pBuffer[0] = '\0';
    _ulCapacity = _ulAllocated = size;
    _ulFixed = static_cast<std::uint32_t>(n);
}

String::String(const char* s, unsigned long n) : String() {
    const std::size_t length = s ? std::strlen(s) : 0;
    if (n > 0 && length > n) {
        throw StringException(1);
    }
    const std::uint32_t size = storageFor(n > 0 ? n : length);
    if (!s && n == 0) {
        return;
    }
    _pBuffer = size <= inlineSize ? _aInline : allocateStorage(size);
    _ulCapacity = _ulAllocated = size;
    _ulFixed = static_cast<std::uint32_t>(n);
    std::memcpy(_pBuffer, s ? s : "", length + 1);
    _ulLength = static_cast<std::uint32_t>(length);
    _bNull = s == nullptr;
}

String::String(const String& o) : String() {
    copyFrom(o);
}

String::String(String&& o) noexcept : String() {
    takeStorage(o);
}

namespace {
// A standard text up to its first NUL: a String's text ends there.
std::size_t textPart(std::string_view s) {
    const void* nul = s.empty() ? nullptr : std::memchr(s.data(), '\0', s.size());
    return nul ? static_cast<std::size_t>(static_cast<const char*>(nul) - s.data()) : s.size();
}
} // namespace

String::String(const std::string& s) : String(std::string_view(s)) {}

String::String(std::string_view s) : String() {
    assignText(s.data(), textPart(s));
}

String::~String() {
    if (!isInline()) {
        std::free(_pBuffer);
    }
    std::free(_pSqlText);
}

// ---- private storage helpers ------------------------------------------------------------------------

std::uint32_t String::textLength() const {
    if (!_pBuffer) {
        return 0;
    }
    if (_bLengthKnown) {
        return _ulLength;
    }
    // A caller wrote through buffer(): count, but never past the storage.
    const std::size_t length = strnlen(_pBuffer, _ulAllocated);
    return static_cast<std::uint32_t>(length < _ulAllocated ? length : _ulAllocated - 1);
}

// Takes o's storage, text and marks (but not its SQL text) into this String, which holds no storage; o is
// left null, without storage and of variable length. Inline storage is copied, heap storage changes hands.
void String::takeStorage(String& o) {
    if (o.isInline()) {
        std::memcpy(_aInline, o._aInline, inlineSize);
        _pBuffer = _aInline;
    } else {
        _pBuffer = o._pBuffer;
    }
    _ulCapacity = o._ulCapacity;
    _ulFixed = o._ulFixed;
    _ulAllocated = o._ulAllocated;
    _ulLength = o._ulLength;
    _bNull = o._bNull;
    _bNumeric = o._bNumeric;
    _bLengthKnown = o._bLengthKnown;
    _bAppendReady = o._bAppendReady;
    o._bAppendReady = false;
    o._pBuffer = nullptr;
    o._ulCapacity = o._ulFixed = o._ulAllocated = o._ulLength = 0;
    o._bNull = o._bLengthKnown = true;
    o._bNumeric = false;
}

void String::freeStorage() {
    if (!isInline()) {
        std::free(_pBuffer);
    }
    _pBuffer = nullptr;
    _ulCapacity = _ulAllocated = _ulLength = 0;
    _bLengthKnown = true;
    _bAppendReady = false;
}

void String::adopt(char* storage, std::uint32_t capacity, std::uint32_t allocated) {
    if (storage != _pBuffer && !isInline()) {
        std::free(_pBuffer);
    }
    _pBuffer = storage;
    _ulCapacity = capacity;
    _ulAllocated = allocated;
    _bAppendReady = false;
}

void detail::StringStorage::adopt(String& s, char* storage, std::uint32_t length) noexcept {
    s.adopt(storage, length + 1, length + 1);
    s._ulFixed = 0;
    s._ulLength = length;
    s._bLengthKnown = true;
    s._bNull = false;
    s._bNumeric = false;
}

// Moves the storage to one of `size` bytes keeping its first bytes, as realloc does: inline when it fits,
// otherwise on the heap. Gives fresh storage when there is none. Throws with the String unchanged.
void String::resizeTo(std::uint32_t size) {
    if (!_pBuffer) {
        _pBuffer = size <= inlineSize ? _aInline : allocateStorage(size);
    } else if (size <= inlineSize) {
        if (!isInline()) {
            std::memcpy(_aInline, _pBuffer, _ulAllocated < size ? _ulAllocated : size);
            std::free(_pBuffer);
            _pBuffer = _aInline;
        }
    } else if (isInline()) {
        char* storage = allocateStorage(size);
        std::memcpy(storage, _aInline, _ulAllocated);
        _pBuffer = storage;
    } else {
        _pBuffer = resizeStorage(_pBuffer, size);
    }
    _ulAllocated = size;
    _bAppendReady = false;
}

// Gives the String exactly `capacity` bytes of storage holding its current text (cut to fit).
void String::reserveExact(std::uint32_t capacity) {
    const std::uint32_t keep = _pBuffer ? textLength() : 0;
    const std::uint32_t length = keep < capacity ? keep : capacity - 1;
    resizeTo(capacity);
    _pBuffer[length] = '\0';
    _ulCapacity = capacity;
    _ulLength = length;
    _bLengthKnown = true;
}

// Replaces the text by len characters at s (which may point into this String's own storage) as a
// variable-length text of capacity len+1. Marks other than the fixed length are left to the caller.
void String::assignText(const char* s, unsigned long len) {
    const std::uint32_t size = storageFor(len);
    // Storage that fits is reused unless it is far larger than the new text.
    const bool reuse = _pBuffer && _ulFixed == 0 && _ulAllocated >= size && _ulAllocated / 4 <= size + 64;
    if (reuse) {
        std::memmove(_pBuffer, s, len);
        _ulCapacity = size;
    } else if (size <= inlineSize) {
        // s may lie in the storage being replaced, inline or not: it is moved before that is released.
        std::memmove(_aInline, s, len);
        adopt(_aInline, size, size);
    } else {
        char* storage = allocateStorage(size);
        std::memcpy(storage, s, len);
        adopt(storage, size, size);
    }
    _pBuffer[len] = '\0';
    _ulFixed = 0;
    _ulLength = static_cast<std::uint32_t>(len);
    _bLengthKnown = true;
    _bNull = false;
    _bAppendReady = false;
}

// Appends len characters at s (which may point into this String's own storage). A null String holds no
// text, whatever its storage, so its stale bytes are written over.
void String::appendText(const char* s, unsigned long len) {
    const std::uint32_t length = _bNull ? 0 : textLength();
    if (_ulFixed > 0) {
        if (length + len > _ulFixed) {
            throw StringException(1);
        }
        std::memmove(_pBuffer + length, s, len);
    } else {
        const std::uint32_t needed = storageFor(static_cast<unsigned long>(length) + len);
        if (needed > _ulAllocated) {
            const bool aliased = pointsInto(s, _pBuffer, _ulAllocated);
            const std::size_t offset = aliased ? static_cast<std::size_t>(s - _pBuffer) : 0;
            // A short text stays inside the object; past that, the storage at least doubles.
            resizeTo(needed <= inlineSize ? inlineSize : grownSize(_ulAllocated, needed));
            if (aliased) {
                s = _pBuffer + offset;
            }
        }
        std::memmove(_pBuffer + length, s, len);
        _ulCapacity = needed;
    }
    _pBuffer[length + len] = '\0';
    _ulLength = static_cast<std::uint32_t>(length + len);
    _bLengthKnown = true;
    _bNull = false;
    _bAppendReady = _ulFixed == 0 && !_bNumeric;
}

void String::copyFrom(const String& o) {
    char* storage = nullptr;
    std::uint32_t length = 0;
    if (o._ulCapacity != 0) {
        // Text written through buffer() past the capacity is not carried over.
        length = o.textLength();
        if (length >= o._ulCapacity) {
            length = o._ulCapacity - 1;
        }
        // o is another String: this one's inline room may be overwritten before the old storage goes.
        storage = o._ulCapacity <= inlineSize ? _aInline : allocateStorage(o._ulCapacity);
        std::memcpy(storage, o._pBuffer, length);
        storage[length] = '\0';
    }
    adopt(storage, o._ulCapacity, o._ulCapacity);
    _ulFixed = o._ulFixed;
    _ulLength = length;
    _bLengthKnown = true;
    _bNull = o._bNull;
    _bNumeric = o._bNumeric;
}

void String::assignNumber(const char* fmt, ...) {
    char scratch[128];
    va_list args;
    va_start(args, fmt);
    va_list again;
    va_copy(again, args);
    const int written = std::vsnprintf(scratch, sizeof scratch, fmt, args);
    va_end(args);
    if (written < 0) {
        va_end(again);
        throw StringException(2);
    }
    if (static_cast<std::size_t>(written) < sizeof scratch) {
        va_end(again);
        assignText(scratch, static_cast<unsigned long>(written));
    } else {
        // Huge floating-point values: kept whole rather than cut at the scratch size.
        char* text = static_cast<char*>(std::malloc(static_cast<std::size_t>(written) + 1));
        if (!text) {
            va_end(again);
            throw StringException(2);
        }
        std::vsnprintf(text, static_cast<std::size_t>(written) + 1, fmt, again);
        va_end(again);
        try {
            assignText(text, static_cast<unsigned long>(written));
        } catch (...) {
            std::free(text);
            throw;
        }
        std::free(text);
    }
    _bNumeric = true;
}

// ---- assignment -------------------------------------------------------------------------------------

const String& String::operator=(const String& o) {
    if (this != &o) {
        copyFrom(o);
    }
    return *this;
}

const String& String::operator=(String&& o) noexcept {
    if (this != &o) {
        freeStorage();
        takeStorage(o);
    }
    return *this;
}

const String& String::operator=(const char* s) {
    _bNumeric = false;
    if (!s) {
        freeStorage();
        _ulFixed = 0;
        _bNull = true;
    } else {
        assignText(s, std::strlen(s));
    }
    return *this;
}

const String& String::operator=(signed char v) {
    assignNumber("%i", static_cast<int>(v));
    return *this;
}

const String& String::operator=(unsigned char v) {
    assignNumber("%u", static_cast<unsigned>(v));
    return *this;
}

const String& String::operator=(short v) {
    assignNumber("%i", static_cast<int>(v));
    return *this;
}

const String& String::operator=(unsigned short v) {
    assignNumber("%u", static_cast<unsigned>(v));
    return *this;
}

const String& String::operator=(int v) {
    assignNumber("%i", v);
    return *this;
}

const String& String::operator=(unsigned int v) {
    assignNumber("%u", v);
    return *this;
}

const String& String::operator=(long v) {
    assignNumber("%li", v);
    return *this;
}

const String& String::operator=(unsigned long v) {
    assignNumber("%lu", v);
    return *this;
}

const String& String::operator=(float v) {
    assignNumber("%f", static_cast<double>(v));
    return *this;
}

const String& String::operator=(double v) {
    assignNumber("%f", v);
    return *this;
}

// ---- appending --------------------------------------------------------------------------------------

const String& String::operator+=(const String& o) {
    _bNumeric = false;
    if (!o._bNull) {
        appendText(o._pBuffer ? o._pBuffer : "", o.textLength());
    }
    return *this;
}

// Every case that operator+=(char) does not handle inline: growth, fixed lengths, null Strings, text written
// through buffer(), the NUL character.
const String& String::appendChar(char c) {
    _bNumeric = false;
    // The character forms a one-character text; a NUL makes an empty one.
    appendText(&c, c != '\0' ? 1 : 0);
    return *this;
}

const String& String::operator+=(int c) {
    return *this += static_cast<char>(c);
}

const String& String::operator+=(const char* s) {
    _bNumeric = false;
    if (s) {
        appendText(s, std::strlen(s));
    }
    return *this;
}

const String String::operator+(const String& o) const {
    String result(_pBuffer, 0);
    result += o;
    return result;
}

const String String::operator+(char c) const {
    String result(_pBuffer, 0);
    result += c;
    return result;
}

const String String::operator+(const char* s) const {
    String result(_pBuffer, 0);
    result += s;
    return result;
}

const String String::operator+(int c) const {
    return *this + static_cast<char>(c);
}

// ---- equality and conversion ------------------------------------------------------------------------

bool String::operator==(const String& o) const {
    if (_bNull || o._bNull) {
        return _bNull == o._bNull;
    }
    const std::uint32_t length = textLength();
    return length == o.textLength() && std::memcmp(_pBuffer, o._pBuffer, length) == 0;
}

bool String::operator==(const char* s) const {
    if (_bNull) {
        return s == nullptr;
    }
    return s && std::strcmp(_pBuffer ? _pBuffer : "", s) == 0;
}

bool String::operator!=(const String& o) const {
    return !(*this == o);
}

bool String::operator!=(const char* s) const {
    return !(*this == s);
}

String::operator long() const {
    return _pBuffer ? parseSigned32(_pBuffer) : 0;
}

String::operator unsigned long() const {
    return _pBuffer ? parseUnsigned32(_pBuffer) : 0;
}

String::operator double() const {
    return _pBuffer ? std::strtod(_pBuffer, nullptr) : 0.0;
}

String::operator const char*() const {
    return _bNull ? nullptr : _pBuffer;
}

String::operator std::string() const {
    return std::string(static_cast<std::string_view>(*this));
}

String::operator std::string_view() const {
    if (_bNull || !_pBuffer) {
        return std::string_view();
    }
    return std::string_view(_pBuffer, textLength());
}

bool operator==(const String& a, std::string_view b) {
    if (a.isNull()) {
        return false;
    }
    const std::string_view text(a);
    return text == b;
}

// ---- access and storage control ---------------------------------------------------------------------

unsigned long String::length() const {
    return _bNull ? 0 : textLength();
}

char String::at(unsigned long i) const {
    if (!_pBuffer || i >= textLength()) {
        throw StringException(3);
    }
    return _pBuffer[i];
}

bool String::isNull() const {
    return _bNull;
}

unsigned long String::fixedLength() const {
    return _ulFixed;
}

char* String::buffer(unsigned long n) {
    if (n > 0) {
        if (_ulFixed > 0 && n > _ulFixed) {
            throw StringException(1);
        }
        const std::uint32_t length = textLength();
        std::uint32_t size = storageFor(n < length ? length : n);
        if (_ulFixed > 0) {
            size = _ulFixed + 1; // a fixed-length String never has less or more than its length
        }
        if (!_pBuffer || size > _ulAllocated) {
            const bool fresh = !_pBuffer;
            resizeTo(size);
            if (fresh) {
                _pBuffer[0] = '\0';
            }
        }
        _ulCapacity = size;
        _ulLength = length;
    }
    // The caller may now write through the pointer: the length is recounted until the next change.
    if (_pBuffer) {
        _bLengthKnown = false;
    }
    _bAppendReady = false;
    return _pBuffer;
}

void String::release() {
    if (_ulFixed > 0 || !_pBuffer) {
        return;
    }
    reserveExact(textLength() + 1);
}

void String::fixLength(unsigned long n) {
    if (n > 0) {
        if (textLength() > n) {
            throw StringException(1);
        }
        const std::uint32_t size = storageFor(n);
        reserveExact(size);
        _ulFixed = static_cast<std::uint32_t>(n);
    } else {
        _ulFixed = 0;
        if (_pBuffer) {
            reserveExact(textLength() + 1);
        }
    }
}

const String& String::copy(const String& src, unsigned long n) {
    const unsigned long available = src._bNull ? 0 : src.textLength();
    const unsigned long count = detail::isToEnd(n) || n > available ? available : n;
    assignText(count ? src._pBuffer : "", count);
    _bNumeric = false;
    return *this;
}

const String& String::copy(const char* s, unsigned long n) {
    const unsigned long count = !s ? 0 : detail::isToEnd(n) ? std::strlen(s) : strnlen(s, n);
    assignText(count ? s : "", count);
    _bNumeric = false;
    return *this;
}

// ---- dump -------------------------------------------------------------------------------------------

void String::dump(Socket& s) {
    detail::dumpHeader(s, "Kel::String");
    detail::dumpLine(s, _pBuffer);
}

void String::dump(std::ostream& os) {
    detail::dumpHeader(os, "Kel::String");
    detail::dumpLine(os, _pBuffer);
}

std::ostream& operator<<(std::ostream& os, const String& s) {
    const char* text = s;
    if (text) {
        os.write(text, static_cast<std::streamsize>(s.length()));
    }
    return os;
}

} // namespace Kel
