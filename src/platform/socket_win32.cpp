#include "platform/socket.h"

#include <winsock2.h>
#include <ws2tcpip.h>

namespace Kel {
namespace platform {

SocketHandle socketCreate(int domain) {
    SOCKET handle = INVALID_SOCKET;
    if (domain == 0)
        handle = ::socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    else if (domain == 1)
        handle = ::socket(AF_UNIX, SOCK_STREAM, 0);
    else
        ::WSASetLastError(WSAEAFNOSUPPORT);
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

bool socketSendAll(SocketHandle handle, const char* data, std::size_t length) {
    while (length > 0) {
        const long sent = socketSend(handle, data, length);
        if (sent == SOCKET_ERROR) {
            if (::WSAGetLastError() == WSAEINTR)
                continue;
            return false;
        }
        data += sent;
        length -= static_cast<std::size_t>(sent);
    }
    return true;
}

long socketLastError() {
    return ::WSAGetLastError();
}

} // namespace platform
} // namespace Kel
