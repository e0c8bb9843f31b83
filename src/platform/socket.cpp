#include "platform/socket.h"

namespace Kel {
namespace platform {

namespace {

constexpr long interrupted = 10004;

} // namespace

bool socketSendAll(SocketHandle handle, const char* data, std::size_t length) {
    while (length > 0) {
        const long sent = socketSend(handle, data, length);
        if (sent < 0) {
            if (socketLastError() == interrupted) {
                continue;
            }
            return false;
        }
        data += sent;
        length -= static_cast<std::size_t>(sent);
    }
    return true;
}

} // namespace platform
} // namespace Kel
