#include "platform/socket.h"

#include <winsock2.h>
#include <ws2tcpip.h>
// After the two above, which it needs.
#include <afunix.h>

#include <cstring>

#include "platform/socket_address.h"

namespace Kel {
namespace platform {

namespace {

SOCKET native(SocketHandle handle) {
    return static_cast<SOCKET>(handle);
}

int result(int status) {
    return status == SOCKET_ERROR ? -1 : 0;
}

} // namespace

SocketHandle socketCreate(int domain) {
    SOCKET handle = INVALID_SOCKET;
    if (domain == 0) {
        handle = ::socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    } else if (domain == 1) {
        handle = ::socket(AF_UNIX, SOCK_STREAM, 0);
    } else {
        ::WSASetLastError(WSAEAFNOSUPPORT);
    }
    // Windows socket handles are small kernel handle values; they fit the 32-bit handle of the interface.
    return handle == INVALID_SOCKET ? invalidSocket : static_cast<SocketHandle>(handle);
}

void socketClose(SocketHandle handle) {
    const SOCKET s = static_cast<SOCKET>(handle);
    ::shutdown(s, SD_SEND);
    ::shutdown(s, SD_BOTH);
    ::closesocket(s);
}

long socketSend(SocketHandle handle, const char* data, std::size_t length) {
    const int chunk = length > 0x7FFFFFFF ? 0x7FFFFFFF : static_cast<int>(length);
    return ::send(static_cast<SOCKET>(handle), data, chunk, 0);
}

long socketLastError() {
    return ::WSAGetLastError();
}

// SO_REUSEADDR is left alone: on Windows it would let another program bind a port in use and take its
// connections, and a restarted server gets its port back without it.
int socketBindPort(SocketHandle handle, std::uint16_t port) {
    const sockaddr_in address = internetAddress(htonl(INADDR_ANY), port);
    return result(::bind(native(handle), reinterpret_cast<const sockaddr*>(&address), sizeof address));
}

int socketBindPath(SocketHandle handle, const char* path) {
    sockaddr_un address;
    int length = 0;
    if (!pathAddress(path, address, length)) {
        ::WSASetLastError(WSAENAMETOOLONG);
        return -1;
    }
    return result(::bind(native(handle), reinterpret_cast<const sockaddr*>(&address), length));
}

int socketListen(SocketHandle handle) {
    return result(::listen(native(handle), 0x7fffffff));
}

SocketHandle socketAccept(SocketHandle handle) {
    const SOCKET accepted = ::accept(native(handle), nullptr, nullptr);
    return accepted == INVALID_SOCKET ? invalidSocket : static_cast<SocketHandle>(accepted);
}

int socketConnectAddress(SocketHandle handle, std::uint32_t address, std::uint16_t port) {
    const sockaddr_in peer = internetAddress(address, port);
    return result(::connect(native(handle), reinterpret_cast<const sockaddr*>(&peer), sizeof peer));
}

int socketConnectPath(SocketHandle handle, const char* path) {
    sockaddr_un address;
    int length = 0;
    if (!pathAddress(path, address, length)) {
        ::WSASetLastError(WSAENAMETOOLONG);
        return -1;
    }
    return result(::connect(native(handle), reinterpret_cast<const sockaddr*>(&address), length));
}

std::size_t socketPathLimit() {
    return sizeof(sockaddr_un::sun_path) - 1;
}

long socketResolve(const char* name, std::uint32_t& address) {
    // The resolver's codes are Windows Sockets codes already; only its lack of memory has another name.
    return resolveIPv4(name, address,
                       [](int error) -> long { return error == WSA_NOT_ENOUGH_MEMORY ? WSAENOBUFS : error; });
}

std::uint32_t socketParseDotted(const char* text) {
    return ::inet_addr(text);
}

WaitResult socketWait(SocketHandle handle, long long microseconds) {
    fd_set readable;
    fd_set exceptional;
    FD_ZERO(&readable);
    FD_ZERO(&exceptional);
    FD_SET(native(handle), &readable);
    FD_SET(native(handle), &exceptional);
    timeval limit;
    if (microseconds >= 0) {
        limit.tv_sec = static_cast<long>(microseconds / 1000000);
        limit.tv_usec = static_cast<long>(microseconds % 1000000);
    }
    const int ready = ::select(0, &readable, nullptr, &exceptional, microseconds >= 0 ? &limit : nullptr);
    if (ready == SOCKET_ERROR) {
        return waitFailed;
    }
    if (ready == 0) {
        return waitTimedOut;
    }
    return FD_ISSET(native(handle), &exceptional) ? waitExceptional : waitReadable;
}

long socketAvailable(SocketHandle handle) {
    u_long count = 0;
    if (::ioctlsocket(native(handle), FIONREAD, &count) == SOCKET_ERROR) {
        return -1;
    }
    return count > 0x7fffffff ? 0x7fffffff : static_cast<long>(count);
}

long socketRecv(SocketHandle handle, char* data, std::size_t length, bool peek) {
    const int chunk = length > 0x7FFFFFFF ? 0x7FFFFFFF : static_cast<int>(length);
    for (;;) {
        const int received = ::recv(native(handle), data, chunk, peek ? MSG_PEEK : 0);
        if (received != SOCKET_ERROR || ::WSAGetLastError() != WSAEINTR) {
            return received == SOCKET_ERROR ? -1 : received;
        }
    }
}

long socketPendingError(SocketHandle handle) {
    int error = 0;
    int length = sizeof error;
    if (::getsockopt(native(handle), SOL_SOCKET, SO_ERROR, reinterpret_cast<char*>(&error), &length) != 0) {
        return socketLastError();
    }
    return error;
}

bool socketDropUrgent(SocketHandle handle) {
    char urgent;
    return ::recv(native(handle), &urgent, 1, MSG_OOB) == 1;
}

} // namespace platform
} // namespace Kel
