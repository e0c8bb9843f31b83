#include "platform/socket.h"

#include <arpa/inet.h>
#include <cerrno>
#include <cstring>
#include <netdb.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include "platform/socket_address.h"
#include "platform/socket_errors.h"

namespace Kel {
namespace platform {

namespace {

// errno values as the Windows Sockets codes that carry the same meaning; a broken pipe is the reset that
// caused it. Values without a counterpart pass unchanged.
long winsockCode(int error) {
#define KEL_CODE_OF(name, number)                                                                            \
    case name:                                                                                               \
        return number;
    switch (error) {
        KEL_SOCKET_ERRNO_CODES(KEL_CODE_OF)
    case EPIPE:
        return 10054;
    default:
        return error;
    }
#undef KEL_CODE_OF
}

// Resolver failures as the Windows Sockets codes of the same meaning.
long resolverCode(int error) {
    switch (error) {
    case EAI_NONAME:
        return 11001;
    case EAI_AGAIN:
        return 11002;
    case EAI_FAIL:
        return 11003;
#ifdef EAI_NODATA
    case EAI_NODATA:
        return 11004;
#endif
#ifdef EAI_ADDRFAMILY
    case EAI_ADDRFAMILY:
        return 11004;
#endif
    case EAI_MEMORY:
        return 10055;
    case EAI_SYSTEM:
        return winsockCode(errno);
    default:
        return 11003;
    }
}

// Where the system would raise SIGPIPE on a write to a closed connection and send() has no flag to stop
// it, the socket itself is told not to.
void keepQuietOnBrokenPipe(SocketHandle handle) {
#ifdef SO_NOSIGPIPE
    const int on = 1;
    ::setsockopt(handle, SOL_SOCKET, SO_NOSIGPIPE, &on, sizeof on);
#else
    (void)handle;
#endif
}

#ifndef MSG_NOSIGNAL
#define MSG_NOSIGNAL 0
#endif

} // namespace

SocketHandle socketCreate(int domain) {
    SocketHandle handle = invalidSocket;
    if (domain == 0) {
        handle = ::socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    } else if (domain == 1) {
        handle = ::socket(AF_UNIX, SOCK_STREAM, 0);
    } else {
        errno = EAFNOSUPPORT;
    }
    if (handle != invalidSocket) {
        keepQuietOnBrokenPipe(handle);
    }
    return handle;
}

void socketClose(SocketHandle handle) {
    ::shutdown(handle, SHUT_WR);
    ::shutdown(handle, SHUT_RDWR);
    ::close(handle);
}

long socketSend(SocketHandle handle, const char* data, std::size_t length) {
    return static_cast<long>(::send(handle, data, length, MSG_NOSIGNAL));
}

long socketLastError() {
    return winsockCode(errno);
}

int socketBindPort(SocketHandle handle, std::uint16_t port) {
    // A restarted server gets its port back while connections of its previous run linger in TIME_WAIT;
    // a port that another socket listens on stays refused.
    const int on = 1;
    ::setsockopt(handle, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
    const sockaddr_in address = internetAddress(htonl(INADDR_ANY), port);
    return ::bind(handle, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0 ? 0 : -1;
}

int socketBindPath(SocketHandle handle, const char* path) {
    sockaddr_un address;
    socklen_t length = 0;
    if (!pathAddress(path, address, length)) {
        errno = ENAMETOOLONG;
        return -1;
    }
    return ::bind(handle, reinterpret_cast<const sockaddr*>(&address), length) == 0 ? 0 : -1;
}

int socketListen(SocketHandle handle) {
    // The largest backlog there is; the system cuts it to its own limit.
    return ::listen(handle, 0x7fffffff) == 0 ? 0 : -1;
}

SocketHandle socketAccept(SocketHandle handle) {
    const SocketHandle accepted = ::accept(handle, nullptr, nullptr);
    if (accepted != invalidSocket) {
        keepQuietOnBrokenPipe(accepted);
    }
    return accepted;
}

int socketConnectAddress(SocketHandle handle, std::uint32_t address, std::uint16_t port) {
    const sockaddr_in peer = internetAddress(address, port);
    return ::connect(handle, reinterpret_cast<const sockaddr*>(&peer), sizeof peer) == 0 ? 0 : -1;
}

int socketConnectPath(SocketHandle handle, const char* path) {
    sockaddr_un address;
    socklen_t length = 0;
    if (!pathAddress(path, address, length)) {
        errno = ENAMETOOLONG;
        return -1;
    }
    return ::connect(handle, reinterpret_cast<const sockaddr*>(&address), length) == 0 ? 0 : -1;
}

std::size_t socketPathLimit() {
    return sizeof(sockaddr_un::sun_path) - 1;
}

long socketResolve(const char* name, std::uint32_t& address) {
    return resolveIPv4(name, address, resolverCode);
}

std::uint32_t socketParseDotted(const char* text) {
    return ::inet_addr(text);
}

WaitResult socketWait(SocketHandle handle, long long microseconds) {
    // poll rather than select: a descriptor number above FD_SETSIZE must not overrun a set.
    pollfd entry;
    entry.fd = handle;
    entry.events = POLLIN | POLLPRI;
    entry.revents = 0;
    int milliseconds = -1;
    if (microseconds >= 0) {
        const long long rounded = (microseconds + 999) / 1000;
        milliseconds = rounded > 0x7fffffff ? 0x7fffffff : static_cast<int>(rounded);
    }
    const int ready = ::poll(&entry, 1, milliseconds);
    if (ready < 0) {
        return waitFailed;
    }
    if (ready == 0) {
        return waitTimedOut;
    }
    if (entry.revents & POLLNVAL) {
        errno = EBADF;
        return waitFailed;
    }
    // Urgent data is what select reports as exceptional; errors and hang-ups show as readable there,
    // and the read that follows finds out which.
    if (entry.revents & POLLPRI) {
        return waitExceptional;
    }
    return waitReadable;
}

long socketAvailable(SocketHandle handle) {
    int count = 0;
    if (::ioctl(handle, FIONREAD, &count) != 0) {
        return -1;
    }
    return count;
}

long socketRecv(SocketHandle handle, char* data, std::size_t length, bool peek) {
    for (;;) {
        const ssize_t received = ::recv(handle, data, length, peek ? MSG_PEEK : 0);
        if (received >= 0 || errno != EINTR) {
            return static_cast<long>(received);
        }
    }
}

long socketPendingError(SocketHandle handle) {
    int error = 0;
    socklen_t length = sizeof error;
    if (::getsockopt(handle, SOL_SOCKET, SO_ERROR, &error, &length) != 0) {
        return socketLastError();
    }
    return error == 0 ? 0 : winsockCode(error);
}

bool socketDropUrgent(SocketHandle handle) {
    char urgent;
    for (;;) {
        const ssize_t received = ::recv(handle, &urgent, 1, MSG_OOB);
        if (received >= 0 || errno != EINTR) {
            return received == 1;
        }
    }
}

} // namespace platform
} // namespace Kel
