#include "platform/socket.h"
#include "foundation/dump.h"

#include <kel/net.h>

#include <cstdio>
#include <ostream>
#include <utility>

namespace Kel {

namespace {

constexpr long addressFamilyNotSupported = 10047;

template <typename T> void appendFormatted(String& output, const char* fmt, T value) {
    char scratch[32];
    std::snprintf(scratch, sizeof scratch, fmt, value);
    output += scratch;
}

} // namespace

Socket::Socket(Domain domain)
    : _iHandle(platform::invalidSocket), _domain(domain), _ulReceiveSize(0), _sOutput("") {
    if (domain != internet && domain != local) {
        throw SocketException(addressFamilyNotSupported);
    }
    _iHandle = platform::socketCreate(domain);
    if (_iHandle == platform::invalidSocket) {
        throw SocketException(platform::socketLastError());
    }
    _sOutput.excludeFromDump();
}

Socket::Socket(int handle, Domain domain)
    : _iHandle(handle), _domain(domain), _ulReceiveSize(0), _sOutput("") {
    _sOutput.excludeFromDump();
}

Socket::Socket(const Socket& o)
    : KELBase(o), _iHandle(o._iHandle), _domain(o._domain), _ulReceiveSize(o._ulReceiveSize), _sOutput("") {
    _sOutput.excludeFromDump();
}

const Socket& Socket::operator=(const Socket& o) {
    if (this != &o) {
        _iHandle = o._iHandle;
        _domain = o._domain;
        _ulReceiveSize = o._ulReceiveSize;
        _sOutput = o._sOutput;
    }
    return *this;
}

Socket::Socket(Socket&& o) noexcept
    : KELBase(o), _iHandle(o._iHandle), _domain(o._domain), _ulReceiveSize(o._ulReceiveSize),
      _sOutput(std::move(o._sOutput)) {
    o._iHandle = platform::invalidSocket;
    o._sOutput = "";
}

Socket& Socket::operator=(Socket&& o) noexcept {
    if (this != &o) {
        _iHandle = o._iHandle;
        _domain = o._domain;
        _ulReceiveSize = o._ulReceiveSize;
        _sOutput = std::move(o._sOutput);
        o._iHandle = platform::invalidSocket;
        o._sOutput = "";
    }
    return *this;
}

Socket::~Socket() = default;

void Socket::close() {
    if (_iHandle == platform::invalidSocket) {
        return;
    }
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

// The stream form does not report a failure, as with any text sink.
Socket& Socket::operator<<(Action a) {
    if (a == flush) {
        flushOutput();
    }
    return *this;
}

// Everything pending goes out, however many calls the system needs; the buffer is emptied either way,
// so that a broken connection does not keep growing it.
bool Socket::flushOutput() {
    const unsigned long length = _sOutput.length();
    bool sent = length == 0;
    if (length > 0 && _iHandle != platform::invalidSocket) {
        sent = platform::socketSendAll(_iHandle, _sOutput, length);
    }
    _sOutput = "";
    return sent;
}

OwnedSocket::OwnedSocket(Socket::Domain domain) : _socket(domain) {}

OwnedSocket::OwnedSocket(Socket&& s) noexcept : _socket(std::move(s)) {}

OwnedSocket::OwnedSocket(OwnedSocket&& o) noexcept : _socket(std::move(o._socket)) {}

OwnedSocket& OwnedSocket::operator=(OwnedSocket&& o) noexcept {
    if (this != &o) {
        _socket.close();
        _socket = std::move(o._socket);
    }
    return *this;
}

OwnedSocket::~OwnedSocket() {
    _socket.close();
}

Socket OwnedSocket::release() noexcept {
    return std::move(_socket);
}

void Socket::dump(Socket& s) {
    detail::dumpHeader(s, "Kel::Socket");
}

// The header alone, ended by "\n" on both sinks.
void Socket::dump(std::ostream& os) {
    os << "@ class Kel::Socket\n";
}

} // namespace Kel
