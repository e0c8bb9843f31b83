#ifndef KEL_SRC_PLATFORM_SOCKET_H
#define KEL_SRC_PLATFORM_SOCKET_H

// The system's stream-socket calls, behind one interface. Errors are reported as Windows Sockets codes
// on every platform, so that callers see the same reasons everywhere.

#include <cstddef>
#include <cstdint>

namespace Kel {
namespace platform {

using SocketHandle = std::int32_t;
constexpr SocketHandle invalidSocket = -1;

// Domain 0 is a TCP/IPv4 socket, 1 a Unix-domain stream socket. Returns invalidSocket on failure.
SocketHandle socketCreate(int domain);
// Shuts the connection down for sending, then both ways, then closes the handle.
void socketClose(SocketHandle handle);
// One send call; the byte count, or -1 on failure. Never raises a broken-pipe signal.
long socketSend(SocketHandle handle, const char* data, std::size_t length);
// Sends until every byte is out or a call fails, retrying interrupted calls. True when all was sent.
bool socketSendAll(SocketHandle handle, const char* data, std::size_t length);
// The error code of the last failed call on this thread, as a Windows Sockets code.
long socketLastError();

} // namespace platform
} // namespace Kel

#endif
