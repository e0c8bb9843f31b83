// A loopback echo server and its client in one process. The server answers each line it receives with
// the same line in capitals; the client streams lines with <<, sends them with flush and reads the
// answers with recv. Ending the connection from the client ends the server.

#include <kel/kel.h>

#include <cctype>
#include <iostream>
#include <optional>
#include <string>
#include <thread>
#include <utility>

#if defined(_WIN32)
#include <winsock2.h>
#endif

using namespace Kel;

namespace {

const unsigned long kTwoSeconds = 2000000ul;

// Binds a fresh socket to the first free port from 23000 on; a busy port closes the socket that tried it.
Socket listenOnFreePort(unsigned short& port) {
    for (port = 23000;; ++port) {
        Socket s;
        try {
            s.bind(static_cast<short>(port));
            s.listen();
            return s;
        } catch (const SocketException& e) {
            if (e.reason() != 10048 && e.reason() != 10013) {
                throw;
            }
        }
    }
}

// Answers every complete line until the client goes away. The connection is owned: it is closed however
// this function is left.
void serve(Socket listener) {
    std::optional<Socket> accepted = listener.accept(5 * kTwoSeconds);
    listener.close();
    if (!accepted) {
        std::cout << "server: nobody came\n";
        return;
    }
    OwnedSocket connection(std::move(*accepted));
    std::string pending;
    String piece;
    try {
        for (;;) {
            if (connection->recv(piece, 0xFFFFFFFFul) == 0) {
                continue;
            }
            pending += static_cast<const char*>(piece);
            std::string::size_type end;
            while ((end = pending.find('\n')) != std::string::npos) {
                std::string line = pending.substr(0, end + 1);
                pending.erase(0, end + 1);
                for (char& ch : line) {
                    ch = static_cast<char>(std::toupper(static_cast<unsigned char>(ch)));
                }
                *connection << line.c_str();
                if (!connection->flushOutput()) {
                    return; // the client is gone
                }
            }
        }
    } catch (const SocketException& e) {
        // recv closes the connection when the peer has ended it.
        std::cout << "server: client left (" << Socket::resolveSocketError(e.reason()) << ")\n";
    }
}

// Reads until a whole line has arrived.
std::string readLine(Socket& s) {
    std::string line;
    String piece;
    while (line.find('\n') == std::string::npos && s.recv(piece, kTwoSeconds) > 0) {
        line += static_cast<const char*>(piece);
    }
    return line;
}

} // namespace

int main() {
#if defined(_WIN32)
    // The application starts Windows Sockets; the library never does.
    WSADATA wsa;
    WSAStartup(MAKEWORD(2, 2), &wsa);
#endif
    try {
        unsigned short port = 0;
        Socket listener = listenOnFreePort(port);
        std::thread server(serve, listener);

        Socket client;
        client.connect("127.0.0.1", static_cast<short>(port));
        std::cout << "client: connected to 127.0.0.1:" << port << "\n";

        const char* lines[] = {"hello, echo", "the answer is ", "bye"};
        for (const char* text : lines) {
            client << text;
            if (text == lines[1]) {
                client << 42L;
            }
            client << "\n" << Socket::flush;
            std::cout << "client: got " << readLine(client);
        }
        client.close();
        server.join();
    } catch (const SocketException& e) {
        std::cout << "socket error " << e.reason() << " " << Socket::resolveSocketError(e.reason()) << "\n";
        return 1;
    }
#if defined(_WIN32)
    WSACleanup();
#endif
    return 0;
}
