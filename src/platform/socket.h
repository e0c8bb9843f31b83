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

// The connection calls below return 0 on success and -1 on failure (socketLastError() tells why).
// Binds an internet socket to port (host order) on every local address, allowing a restarted server to
// take its port back while connections of its previous run wind down.
int socketBindPort(SocketHandle handle, std::uint16_t port);
// Binds a local socket to a file-system path of at most socketPathLimit() characters.
int socketBindPath(SocketHandle handle, const char* path);
int socketListen(SocketHandle handle);
// The accepted connection, or invalidSocket. An interrupted wait is reported, not resumed.
SocketHandle socketAccept(SocketHandle handle);
// Connects an internet socket to an IPv4 address (network order) and port (host order).
int socketConnectAddress(SocketHandle handle, std::uint32_t address, std::uint16_t port);
int socketConnectPath(SocketHandle handle, const char* path);
// The longest path a local socket address holds.
std::size_t socketPathLimit();

// The first IPv4 address of a host name, in network order. Returns 0, or the Windows Sockets code of the
// failure (11001 HOST_NOT_FOUND, 11002 TRY_AGAIN, 11003 NO_RECOVERY, 11004 no address of this family).
long socketResolve(const char* name, std::uint32_t& address);
// A dotted IPv4 address in network order as inet_addr reads it; 0xFFFFFFFF when the text is none.
std::uint32_t socketParseDotted(const char* text);

enum WaitResult { waitTimedOut = 0, waitReadable = 1, waitExceptional = 2, waitFailed = -1 };
// Waits until the socket is readable or has an exceptional condition, for at most microseconds (a
// negative value waits without limit, 0 polls). One wait: an interruption is waitFailed with 10004.
WaitResult socketWait(SocketHandle handle, long long microseconds);
// The number of bytes that one receive can take now; -1 on failure.
long socketAvailable(SocketHandle handle);
// One receive of at most length bytes (left in place when peek); the byte count, 0 at the end of the
// stream, -1 on failure. Interrupted calls are resumed.
long socketRecv(SocketHandle handle, char* data, std::size_t length, bool peek);
// The error pending on the socket (Windows Sockets code), 0 when there is none.
long socketPendingError(SocketHandle handle);
// Reads and drops the out-of-band byte waiting on the socket. False when there was none to take.
bool socketDropUrgent(SocketHandle handle);

} // namespace platform
} // namespace Kel

#endif
