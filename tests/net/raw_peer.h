#ifndef KEL_TESTS_NET_RAW_PEER_H
#define KEL_TESTS_NET_RAW_PEER_H

// A loopback TCP client written straight on the system's socket calls, for what the library's Socket
// cannot send (out-of-band data).

#include <cstdint>
#include <cstring>
#include <string>

#if defined(_WIN32)
#include <winsock2.h>
#include <ws2tcpip.h>
#else
#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>
#endif

namespace sock_test {

class RawPeer {
public:
#if defined(_WIN32)
    using Handle = SOCKET;
    static constexpr Handle none = INVALID_SOCKET;
#else
    using Handle = int;
    static constexpr Handle none = -1;
#endif

    // Connected to 127.0.0.1:port; connected() tells whether that worked.
    explicit RawPeer(unsigned short port) : _handle(::socket(AF_INET, SOCK_STREAM, IPPROTO_TCP)) {
        sockaddr_in to;
        std::memset(&to, 0, sizeof to);
        to.sin_family = AF_INET;
        to.sin_port = htons(port);
        to.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        if (_handle != none && ::connect(_handle, reinterpret_cast<const sockaddr*>(&to), sizeof to) != 0) {
            close();
        }
    }
    ~RawPeer() { close(); }
    RawPeer(const RawPeer&) = delete;
    RawPeer& operator=(const RawPeer&) = delete;

    bool connected() const { return _handle != none; }
    // One send; urgent sends the text as out-of-band data. True when every byte went.
    bool send(const std::string& text, bool urgent = false) {
        return ::send(_handle, text.data(), static_cast<int>(text.size()), urgent ? MSG_OOB : 0) ==
               static_cast<int>(text.size());
    }
    void close() {
        if (_handle == none) {
            return;
        }
#if defined(_WIN32)
        ::closesocket(_handle);
#else
        ::close(_handle);
#endif
        _handle = none;
    }

private:
    Handle _handle;
};

} // namespace sock_test

#endif
