#include "platform/socket.h"
#include "platform/socket_errors.h"

#include <kel/net.h>

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>

namespace Kel {

namespace {

constexpr long wrongDomain = -19;
constexpr long noHandle = -1;
constexpr long interrupted = 10004;     // EINTR
constexpr long invalidArgument = 10022; // EINVAL
constexpr long notASocket = 10038;      // ENOTSOCK, what the platform says about a closed handle
constexpr long nameTooLong = 10063;     // ENAMETOOLONG
// The peer ended the connection in order: no call failed, so there is no platform error to report.
constexpr long disconnected = 10101; // WSAEDISCON
constexpr unsigned long noLimit = 0xFFFFFFFFul;
// What one receive asks for at first, and the most it grows to: a connection that carries little keeps a
// small buffer, a busy one is drained in few calls. The largest stays well inside a core's second-level
// cache, so the kernel copies into memory the cache still holds (what has arrived beyond it is taken by
// the second receive all the same).
constexpr std::size_t firstReceiveSize = 4096;
constexpr std::size_t largestReceiveSize = std::size_t(256) << 10;

// The decimal value at the start of the text decides, not its syntax: 0 (or no number at all) makes it
// a name to resolve, anything else a dotted address.
bool isHostName(const char* host) {
    return std::strtol(host, nullptr, 10) == 0;
}

// The path of a local socket, checked before the platform is asked so that a bad argument leaves the
// socket as it is.
const char* checkedPath(const String& path) {
    const char* text = path;
    if (!text || !*text) {
        throw SocketException(invalidArgument);
    }
    if (path.length() > platform::socketPathLimit()) {
        throw SocketException(nameTooLong);
    }
    return text;
}

long long microsecondsUntil(std::chrono::steady_clock::time_point deadline) {
    const auto left =
        std::chrono::duration_cast<std::chrono::microseconds>(deadline - std::chrono::steady_clock::now());
    return left.count() > 0 ? left.count() : 0;
}

// Waits at most timeout microseconds (noLimit: without limit) until the socket has something to read: data,
// the end of the stream or, on a listening socket, a connection. False when the limit passed first. A
// signal may end the wait early; it is resumed with what is left of the limit.
bool waitForInput(platform::SocketHandle handle, unsigned long timeout) {
    const bool limited = timeout != noLimit;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::microseconds(timeout);
    long long remaining = limited ? static_cast<long long>(timeout) : -1;
    for (;;) {
        const platform::WaitResult ready = platform::socketWait(handle, remaining);
        if (ready == platform::waitTimedOut) {
            return false;
        }
        if (ready == platform::waitReadable) {
            return true;
        }
        if (ready == platform::waitExceptional) {
            const long pending = platform::socketPendingError(handle);
            if (pending != 0) {
                throw SocketException(pending);
            }
            // Out-of-band data is not part of the stream this class reads: the urgent byte is dropped and
            // the wait goes on for the normal data behind it. When there is no byte to take, the read that
            // follows finds out what made the socket ready.
            if (!platform::socketDropUrgent(handle)) {
                return true;
            }
        } else {
            const long error = platform::socketLastError();
            if (error != interrupted) {
                throw SocketException(error);
            }
        }
        if (limited) {
            remaining = microsecondsUntil(deadline);
        }
    }
}

// What the failing call was about, for the exception's detail ("connect to db.example:5432").
struct Detail {
    char text[160];
    template <typename... Args> explicit Detail(const char* format, Args... args) {
        std::snprintf(text, sizeof text, format, args...);
    }
};

} // namespace

bool Socket::bind(short port) {
    if (_domain != internet) {
        throw SocketException(wrongDomain);
    }
    requireHandle();
    const std::uint16_t number = static_cast<std::uint16_t>(port);
    if (platform::socketBindPort(_iHandle, number) != 0) {
        closeAndThrow(platform::socketLastError(), Detail("bind to port %u", unsigned(number)).text);
    }
    return true;
}

bool Socket::bind(const String& path) {
    if (_domain != local) {
        throw SocketException(wrongDomain);
    }
    requireHandle();
    const char* where = checkedPath(path);
    if (platform::socketBindPath(_iHandle, where) != 0) {
        closeAndThrow(platform::socketLastError(), Detail("bind to %s", where).text);
    }
    return true;
}

bool Socket::listen() {
    requireHandle();
    if (platform::socketListen(_iHandle) != 0) {
        closeAndThrow(platform::socketLastError(), "listen");
    }
    return true;
}

Socket Socket::accept() {
    requireHandle();
    const platform::SocketHandle accepted = platform::socketAccept(_iHandle);
    if (accepted == platform::invalidSocket) {
        throw SocketException(platform::socketLastError(), "accept");
    }
    return Socket(accepted, _domain);
}

std::optional<Socket> Socket::accept(unsigned long timeout) {
    requireHandle();
    if (!waitForInput(_iHandle, timeout)) {
        return std::nullopt;
    }
    return accept();
}

bool Socket::connect(const String& host, short port) {
    if (_domain != internet) {
        throw SocketException(wrongDomain);
    }
    requireHandle();
    const char* text = host;
    if (!text) {
        text = "";
    }
    std::uint32_t address = 0;
    if (isHostName(text)) {
        const long error = platform::socketResolve(text, address);
        if (error != 0) {
            throw SocketException(error, Detail("resolve %s", text).text);
        }
    } else {
        address = platform::socketParseDotted(text);
    }
    const std::uint16_t number = static_cast<std::uint16_t>(port);
    if (platform::socketConnectAddress(_iHandle, address, number) != 0) {
        closeAndThrow(platform::socketLastError(), Detail("connect to %s:%u", text, unsigned(number)).text);
    }
    return true;
}

bool Socket::connect(const String& path) {
    if (_domain != local) {
        throw SocketException(wrongDomain);
    }
    requireHandle();
    const char* where = checkedPath(path);
    if (platform::socketConnectPath(_iHandle, where) != 0) {
        closeAndThrow(platform::socketLastError(), Detail("connect to %s", where).text);
    }
    return true;
}

unsigned long Socket::recv(String& out, unsigned long timeout) {
    if (_iHandle == platform::invalidSocket) {
        throw SocketException(noHandle);
    }

    // Without a limit the receive itself is the wait: it returns as soon as anything has arrived, or the
    // connection has ended, so that a busy connection costs one system call per recv().
    if (timeout != noLimit && !waitForInput(_iHandle, timeout)) {
        return 0;
    }

    // Received straight into out's storage, which is kept for the next call. out becomes a variable-length
    // text ending at the first NUL; all the bytes stay readable through out.buffer().
    // Made non-null before the bytes arrive: a null String holds no text, whatever its storage.
    if (out.fixedLength() > 0) {
        out.fixLength(0);
    }
    out += "";
    std::size_t room = _ulReceiveSize > 0 ? _ulReceiveSize : firstReceiveSize;
    char* storage = out.buffer(static_cast<unsigned long>(room));
    const long received = platform::socketRecv(_iHandle, storage, room, false);
    if (received <= 0) {
        closeAndThrow(received == 0 ? disconnected : platform::socketLastError());
    }
    std::size_t total = static_cast<std::size_t>(received);
    storage[total] = '\0';
    if (total == room) {
        // The storage filled up: what else has arrived is taken too, and the next call asks for more.
        _ulReceiveSize = static_cast<std::uint32_t>(room < largestReceiveSize ? room * 2 : room);
        const long waiting = platform::socketAvailable(_iHandle);
        if (waiting > 0) {
            storage = out.buffer(static_cast<unsigned long>(total + static_cast<std::size_t>(waiting)));
            const long more =
                platform::socketRecv(_iHandle, storage + total, static_cast<std::size_t>(waiting), false);
            // A failure after some bytes came is left for the next call, which meets it again.
            if (more > 0) {
                total += static_cast<std::size_t>(more);
            }
            storage[total] = '\0';
        }
    }
    return static_cast<unsigned long>(total);
}

const char* Socket::resolveSocketError(unsigned long code) {
#define KEL_NAME_OF(name, number)                                                                            \
    case number:                                                                                             \
        return #name;
    switch (code) {
        KEL_SOCKET_ERRNO_CODES(KEL_NAME_OF)
        KEL_SOCKET_OTHER_CODES(KEL_NAME_OF)
    default:
        return "Error not found";
    }
#undef KEL_NAME_OF
}

void Socket::requireHandle() const {
    if (_iHandle == platform::invalidSocket) {
        throw SocketException(notASocket);
    }
}

void Socket::closeAndThrow(long reason, const char* detail) {
    // The reason is taken before closing: the shutdown calls of close() fail on an unconnected socket
    // and would replace it.
    close();
    throw SocketException(reason, detail);
}

} // namespace Kel
