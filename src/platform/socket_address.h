#ifndef KEL_SRC_PLATFORM_SOCKET_ADDRESS_H
#define KEL_SRC_PLATFORM_SOCKET_ADDRESS_H

// Address structures shared by both socket sources. Included after the system's socket headers, which
// give sockaddr_un, sockaddr_in, addrinfo, AF_UNIX, AF_INET and htons their platform meaning.

#include <cstddef>
#include <cstdint>
#include <cstring>

namespace Kel {
namespace platform {
// A local address for path and its length; false when the path does not fit.
template <typename Length> bool pathAddress(const char* path, sockaddr_un& address, Length& length) {
    const std::size_t size = std::strlen(path);
    if (size >= sizeof address.sun_path) {
        return false;
    }
    std::memset(&address, 0, sizeof address);
    address.sun_family = AF_UNIX;
    std::memcpy(address.sun_path, path, size + 1);
    length = static_cast<Length>(offsetof(sockaddr_un, sun_path) + size + 1);
    return true;
}

// An IPv4 address (already in network byte order) and a port in host byte order.
inline sockaddr_in internetAddress(std::uint32_t networkAddress, std::uint16_t port) {
    sockaddr_in in;
    std::memset(&in, 0, sizeof in);
    in.sin_family = AF_INET;
    in.sin_port = htons(port);
    in.sin_addr.s_addr = networkAddress;
    return in;
}

// The first IPv4 address (in network byte order) that the resolver gives for name. Returns 0 when found,
// 11004 (a name without an address of that family) when the resolver knows the name but not as IPv4,
// and otherwise the resolver's failure as translate(code) gives it.
template <typename Translate>
long resolveIPv4(const char* name, std::uint32_t& address, Translate translate) {
    addrinfo hints;
    std::memset(&hints, 0, sizeof hints);
    hints.ai_family = AF_INET;
    hints.ai_socktype = SOCK_STREAM;
    addrinfo* found = nullptr;
    const int error = ::getaddrinfo(name, nullptr, &hints, &found);
    if (error != 0) {
        return translate(error);
    }
    long result = 11004;
    for (const addrinfo* a = found; a; a = a->ai_next) {
        if (a->ai_family == AF_INET) {
            address = reinterpret_cast<const sockaddr_in*>(a->ai_addr)->sin_addr.s_addr;
            result = 0;
            break;
        }
    }
    ::freeaddrinfo(found);
    return result;
}

} // namespace platform
} // namespace Kel

#endif
