#include "platform/socket.h"

#include <cerrno>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

namespace Kel {
namespace platform {

namespace {

// errno values as the Windows Sockets codes that carry the same meaning.
long winsockCode(int error) {
    switch (error) {
    case EINTR:
        return 10004;
    case EBADF:
        return 10009;
    case EACCES:
        return 10013;
    case EFAULT:
        return 10014;
    case EINVAL:
        return 10022;
    case EMFILE:
        return 10024;
    case EWOULDBLOCK:
        return 10035;
    case EINPROGRESS:
        return 10036;
    case EALREADY:
        return 10037;
    case ENOTSOCK:
        return 10038;
    case EDESTADDRREQ:
        return 10039;
    case EMSGSIZE:
        return 10040;
    case EPROTOTYPE:
        return 10041;
    case ENOPROTOOPT:
        return 10042;
    case EPROTONOSUPPORT:
        return 10043;
    case ESOCKTNOSUPPORT:
        return 10044;
    case EOPNOTSUPP:
        return 10045;
    case EPFNOSUPPORT:
        return 10046;
    case EAFNOSUPPORT:
        return 10047;
    case EADDRINUSE:
        return 10048;
    case EADDRNOTAVAIL:
        return 10049;
    case ENETDOWN:
        return 10050;
    case ENETUNREACH:
        return 10051;
    case ENETRESET:
        return 10052;
    case ECONNABORTED:
        return 10053;
    case ECONNRESET:
        return 10054;
    case EPIPE:
        return 10054;
    case ENOBUFS:
        return 10055;
    case EISCONN:
        return 10056;
    case ENOTCONN:
        return 10057;
    case ESHUTDOWN:
        return 10058;
    case ETOOMANYREFS:
        return 10059;
    case ETIMEDOUT:
        return 10060;
    case ECONNREFUSED:
        return 10061;
    case ELOOP:
        return 10062;
    case ENAMETOOLONG:
        return 10063;
    case EHOSTDOWN:
        return 10064;
    case EHOSTUNREACH:
        return 10065;
    case ENOTEMPTY:
        return 10066;
    case EUSERS:
        return 10068;
    case EDQUOT:
        return 10069;
    case ESTALE:
        return 10070;
    case EREMOTE:
        return 10071;
    default:
        return error;
    }
}

} // namespace

SocketHandle socketCreate(int domain) {
    if (domain == 0)
        return ::socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    if (domain == 1)
        return ::socket(AF_UNIX, SOCK_STREAM, 0);
    errno = EAFNOSUPPORT;
    return invalidSocket;
}

void socketClose(SocketHandle handle) {
    ::shutdown(handle, SHUT_WR);
    ::shutdown(handle, SHUT_RDWR);
    ::close(handle);
}

long socketSend(SocketHandle handle, const char* data, std::size_t length) {
    return static_cast<long>(::send(handle, data, length, MSG_NOSIGNAL));
}

bool socketSendAll(SocketHandle handle, const char* data, std::size_t length) {
    while (length > 0) {
        const ssize_t sent = ::send(handle, data, length, MSG_NOSIGNAL);
        if (sent < 0) {
            if (errno == EINTR)
                continue;
            return false;
        }
        data += sent;
        length -= static_cast<std::size_t>(sent);
    }
    return true;
}

long socketLastError() {
    return winsockCode(errno);
}

} // namespace platform
} // namespace Kel
