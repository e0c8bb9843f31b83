#include "platform/socket.h"
#include "foundation/dump.h"

#include <kel/net.h>

#include <cstdio>
#include <ostream>

namespace Kel {

namespace {

constexpr long addressFamilyNotSupported = 10047;

template <typename T> void appendFormatted(String& output, const char* fmt, T value) {
    char scratch[32];
    std::snprintf(scratch, sizeof scratch, fmt, value);
    output += scratch;
}

} // namespace

Socket::Socket(Domain domain) : _iHandle(platform::invalidSocket), _domain(domain), _sOutput("") {
    if (domain != internet && domain != local)
        throw SocketException(addressFamilyNotSupported);
    _iHandle = platform::socketCreate(domain);
    if (_iHandle == platform::invalidSocket)
        throw SocketException(platform::socketLastError());
    _sOutput.excludeFromDump();
}

Socket::Socket(int handle, Domain domain) : _iHandle(handle), _domain(domain), _sOutput("") {
    _sOutput.excludeFromDump();
}

Socket::Socket(const Socket& o) : KELBase(o), _iHandle(o._iHandle), _domain(o._domain), _sOutput("") {
    _sOutput.excludeFromDump();
}

const Socket& Socket::operator=(const Socket& o) {
    if (this != &o) {
        _iHandle = o._iHandle;
        _domain = o._domain;
        _sOutput = o._sOutput;
    }
    return *this;
}

Socket::~Socket() = default;

void Socket::close() {
    if (_iHandle == platform::invalidSocket)
        return;
    platform::socketClose(_iHandle);
    _iHandle = platform::invalidSocket;
}

unsigned long Socket::send(const String& text) {
    const char* data = text;
    const long sent = platform::socketSend(_iHandle, data ? data : "", text.length());
    return sent < 0 ? 0xFFFFFFFFul : static_cast<unsigned long>(sent);
}

Socket& Socket::operator<<(short v) {
    appendFormatted(_sOutput, "%i", static_cast<int>(v));
    return *this;
}

Socket& Socket::operator<<(unsigned short v) {
    appendFormatted(_sOutput, "%u", static_cast<unsigned>(v));
    return *this;
}

Socket& Socket::operator<<(int v) {
    appendFormatted(_sOutput, "%i", v);
    return *this;
}

Socket& Socket::operator<<(unsigned int v) {
    appendFormatted(_sOutput, "%u", v);
    return *this;
}

Socket& Socket::operator<<(long v) {
    appendFormatted(_sOutput, "%li", v);
    return *this;
}

Socket& Socket::operator<<(unsigned long v) {
    appendFormatted(_sOutput, "%lu", v);
    return *this;
}

Socket& Socket::operator<<(const char* s) {
    _sOutput += s;
    return *this;
}

Socket& Socket::operator<<(const String& s) {
    _sOutput += s;
    return *this;
}

Socket& Socket::operator<<(Action a) {
    if (a != flush)
        return *this;
    // Everything pending goes out, however many calls the system needs; a failure is not reported, as
    // with any text sink, and the buffer is emptied either way.
    const unsigned long length = _sOutput.length();
    if (length > 0 && _iHandle != platform::invalidSocket)
        platform::socketSendAll(_iHandle, _sOutput, length);
    _sOutput = "";
    return *this;
}

void Socket::dump(Socket& s) {
    detail::dumpHeader(s, "Kel::Socket");
}

// The header alone, ended by "\n" on both sinks.
void Socket::dump(std::ostream& os) {
    os << "@ class Kel::Socket\n";
}

} // namespace Kel
