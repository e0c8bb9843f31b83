#include "foundation/throw.h"

#include <kel/foundation.h>
#include <kel/net.h>
#include <kel/string.h>

#include <cstdio>
#include <cstring>
#include <memory>

namespace Kel {

void throwException(const char* name, long reason) {
    throw Exception(name, reason);
}

namespace {

struct Meaning {
    const char* name;
    long reason;
    const char* text;
};

// What each reason means, for what(). Socket reasons are named by the socket error table instead.
const Meaning meanings[] = {
    {"CollectionException", 1, "element already held by a collection"},
    {"CollectionException", 2, "collection would contain itself"},
    {"CollectionException", 3, "element not held by this collection"},
    {"CollectionException", 4, "null element"},
    {"DateTimeException", 1, "value out of range"},
    {"DateTimeException", 2, "day set while the month is 0"},
    {"DateTimeException", 3, "day set while the year is 0"},
    {"DateTimeException", 4, "value does not match its format"},
    {"DateTimeException", 5, "unsupported width of a format field"},
    {"DBPoolException", 1, "no connection to lend"},
    {"DatabaseException", -1, "database operation failed"},
    {"StringException", 1, "text longer than the fixed length"},
    {"StringException", 2, "storage not obtained"},
    {"StringException", 3, "index out of range"},
    {"StringException", 4, "mask length differs from the text"},
    {"StringException", 5, "unknown escape"},
    {"StringException", 17, "unknown variable"},
    {"StringException", 18, "variable refers to itself"},
    {"XMLException", 101, "entity without its \";\""},
    {"XMLException", 102, "unknown entity"},
    {"XMLException", 103, "character reference to no character"},
    {"XMLException", 104, "external entity not read"},
    {"XMLException", 105, "entity expansion past its limits"},
    {"XMLException", 106, "entity text holds markup"},
    {"XMLException", 203, "text does not begin a node"},
    {"XMLException", 205, "malformed tag"},
    {"XMLException", 301, "text too long to write"},
    {"XMLException", 302, "text XML cannot hold"},
    {"XMLException", 303, "name XML cannot hold"},
    {"XMLException", 401, "no text to read"},
    {"XMLException", 403, "file cannot be read"},
    {"XMLException", 404, "no memory for the text"},
};

const char* meaningOf(const char* name, long reason) {
    if (std::strcmp(name, "SocketException") == 0) {
        return reason > 0 ? Socket::resolveSocketError(static_cast<unsigned long>(reason)) : nullptr;
    }
    for (const Meaning& m : meanings) {
        if (m.reason == reason && std::strcmp(m.name, name) == 0) {
            return m.text;
        }
    }
    return nullptr;
}

// Appends text to the buffer at *at, keeping room for the terminator; a text that does not fit ends in
// "...". Never allocates.
void appendCut(char* buffer, std::size_t size, std::size_t* at, const char* text) {
    const std::size_t room = size - 1 - *at;
    const std::size_t length = std::strlen(text);
    if (length <= room) {
        std::memmove(buffer + *at, text, length);
        *at += length;
    } else if (room >= 3) {
        std::memmove(buffer + *at, text, room - 3);
        std::memcpy(buffer + *at + room - 3, "...", 3);
        *at += room;
    }
    buffer[*at] = '\0';
}

} // namespace

Exception::Exception(const char* name, long reason) : Exception(name, reason, nullptr) {}

Exception::Exception(const char* name, long reason, const char* detail)
    : _szName{}, _lReason(static_cast<std::int32_t>(reason)), _szWhat{}, _uDetail(0) {
    const char* text = name ? name : "";
    const std::size_t length = std::strlen(text);
    if (length >= sizeof _szName) {
        throwException("Exception Name Length Exceeded", 0);
    }
    std::memcpy(_szName, text, length + 1);
    composeWhat(detail);
}

void Exception::composeWhat(const char* detail) {
    char number[16];
    std::snprintf(number, sizeof number, " %ld", static_cast<long>(_lReason));
    std::size_t at = 0;
    appendCut(_szWhat, sizeof _szWhat, &at, _szName);
    appendCut(_szWhat, sizeof _szWhat, &at, number);
    if (const char* meaning = meaningOf(_szName, _lReason)) {
        appendCut(_szWhat, sizeof _szWhat, &at, ": ");
        appendCut(_szWhat, sizeof _szWhat, &at, meaning);
    }
    if (detail && *detail) {
        appendCut(_szWhat, sizeof _szWhat, &at, ": ");
        _uDetail = static_cast<std::uint16_t>(at);
        appendCut(_szWhat, sizeof _szWhat, &at, detail);
    } else {
        _uDetail = static_cast<std::uint16_t>(at);
    }
}

Exception::Exception(const Exception& o) : std::exception(o), _lReason(o._lReason), _uDetail(o._uDetail) {
    std::memcpy(_szName, o._szName, sizeof _szName);
    std::memcpy(_szWhat, o._szWhat, sizeof _szWhat);
}

Exception& Exception::operator=(const Exception& o) {
    std::memcpy(_szName, o._szName, sizeof _szName);
    std::memcpy(_szWhat, o._szWhat, sizeof _szWhat);
    _lReason = o._lReason;
    _uDetail = o._uDetail;
    return *this;
}

Exception::~Exception() = default;

const char* Exception::name() const {
    return _szName;
}

long Exception::reason() const {
    return _lReason;
}

const char* Exception::what() const noexcept {
    return _szWhat;
}

const char* Exception::detail() const noexcept {
    return _szWhat + _uDetail;
}

// Each area's exception is the base with its own name; copies are the base's.
#define KEL_DEFINE_EXCEPTION(Class)                                                                          \
    Class::Class(long reason) : Exception(#Class, reason) {}                                                 \
    Class::Class(long reason, const char* detail) : Exception(#Class, reason, detail) {}                     \
    Class::Class(const Class& o) : Exception(o) {}                                                           \
    Class& Class::operator=(const Class& o) {                                                                \
        Exception::operator=(o);                                                                             \
        return *this;                                                                                        \
    }                                                                                                        \
    Class::~Class() = default;

KEL_DEFINE_EXCEPTION(CollectionException)
KEL_DEFINE_EXCEPTION(DateTimeException)
KEL_DEFINE_EXCEPTION(DBPoolException)
KEL_DEFINE_EXCEPTION(SocketException)
KEL_DEFINE_EXCEPTION(StringException)

#undef KEL_DEFINE_EXCEPTION

// XMLException also carries the place where a reader failed.
namespace {

struct PlaceText {
    char text[96];
    PlaceText(long line, long column, long offset) {
        std::snprintf(text, sizeof text, "line %ld, column %ld, offset %ld", line, column, offset);
    }
};

} // namespace

XMLException::XMLException(long reason) : Exception("XMLException", reason) {}
XMLException::XMLException(long reason, const char* detail) : Exception("XMLException", reason, detail) {}
XMLException::XMLException(long reason, long line, long column, long offset)
    : Exception("XMLException", reason, PlaceText(line, column, offset).text), _lLine(line), _lColumn(column),
      _lOffset(offset) {}
XMLException::XMLException(const XMLException& o)
    : Exception(o), _lLine(o._lLine), _lColumn(o._lColumn), _lOffset(o._lOffset) {}
XMLException& XMLException::operator=(const XMLException& o) {
    Exception::operator=(o);
    _lLine = o._lLine;
    _lColumn = o._lColumn;
    _lOffset = o._lOffset;
    return *this;
}
XMLException::~XMLException() = default;

long XMLException::line() const {
    return _lLine;
}

long XMLException::column() const {
    return _lColumn;
}

long XMLException::offset() const {
    return _lOffset;
}

DatabaseException::DatabaseException(const char* message)
    : Exception("DatabaseException", -1, message), _message(std::make_shared<const String>(message)) {}

DatabaseException::DatabaseException(const DatabaseException& o) : Exception(o), _message(o._message) {}

DatabaseException& DatabaseException::operator=(const DatabaseException& o) {
    Exception::operator=(o);
    _message = o._message;
    return *this;
}

DatabaseException::~DatabaseException() = default;

const String& DatabaseException::message() const {
    return *_message;
}

} // namespace Kel
