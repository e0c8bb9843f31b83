#include "foundation/throw.h"

#include <kel/foundation.h>
#include <kel/string.h>

#include <cstring>

namespace Kel {

void throwException(const char* name, long reason) {
    throw Exception(name, reason);
}

Exception::Exception(const char* name, long reason) : _szName{}, _lReason(static_cast<std::int32_t>(reason)) {
    const char* text = name ? name : "";
    const std::size_t length = std::strlen(text);
    if (length >= sizeof _szName)
        throwException("Exception Name Length Exceeded", 0);
    std::memcpy(_szName, text, length + 1);
}

Exception::Exception(const Exception& o) : _lReason(o._lReason) {
    std::memcpy(_szName, o._szName, sizeof _szName);
}

Exception& Exception::operator=(const Exception& o) {
    std::memcpy(_szName, o._szName, sizeof _szName);
    _lReason = o._lReason;
    return *this;
}

Exception::~Exception() = default;

const char* Exception::name() const {
    return _szName;
}

long Exception::reason() const {
    return _lReason;
}

// Each area's exception is the base with its own name; copies are the base's.
#define KEL_DEFINE_EXCEPTION(Class)                                                                          \
    Class::Class(long reason) : Exception(#Class, reason) {}                                                 \
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
KEL_DEFINE_EXCEPTION(XMLException)

#undef KEL_DEFINE_EXCEPTION

DatabaseException::DatabaseException(const char* message)
    : Exception("DatabaseException", -1), _message(message) {}

DatabaseException::DatabaseException(const DatabaseException& o) : Exception(o), _message(o._message) {}

DatabaseException& DatabaseException::operator=(const DatabaseException& o) {
    Exception::operator=(o);
    _message = o._message;
    return *this;
}

DatabaseException::~DatabaseException() = default;

const String& DatabaseException::message() const {
    return _message;
}

} // namespace Kel
