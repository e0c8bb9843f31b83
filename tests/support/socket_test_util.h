#ifndef KEL_TESTS_SUPPORT_SOCKET_TEST_UTIL_H
#define KEL_TESTS_SUPPORT_SOCKET_TEST_UTIL_H

// Helpers shared by the socket tests: a watchdog that turns a hang into a failure, a listening socket on
// a free loopback port, and a way to read a known number of bytes.

#include "kel_test.h"

#include <kel/net.h>

#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <future>
#include <random>
#include <string>
#include <thread>

namespace sock_test {

using Clock = std::chrono::steady_clock;

// Ends the test process with a message when it outlives its limit (times the tests' slowdown): a socket
// call that blocks for ever then fails the run instead of hanging it.
class Watchdog {
public:
    explicit Watchdog(std::chrono::seconds limit)
        : _thread([done = _done.get_future(), test = kel_test::currentTestName(), limit] {
              if (done.wait_for(limit * kel_test::slowdown()) != std::future_status::ready) {
                  std::fprintf(stderr, "watchdog: %s is still blocked in a socket call\n", test.c_str());
                  std::fflush(stderr);
                  std::_Exit(3);
              }
          }) {}
    ~Watchdog() {
        _done.set_value();
        _thread.join();
    }

private:
    std::promise<void> _done;
    std::thread _thread;
};

// A socket listening on a free port of every local address; the port is stored in port. Ports are tried
// from a random start below the usual ephemeral range, so parallel test programs rarely meet.
inline Kel::Socket listenOnFreePort(unsigned short& port) {
    static unsigned short next = static_cast<unsigned short>(20000 + std::random_device()() % 10000);
    for (int attempt = 0; attempt < 500; ++attempt) {
        port = next;
        next = static_cast<unsigned short>(next >= 29999 ? 20000 : next + 1);
        Kel::Socket s;
        try {
            s.bind(static_cast<short>(port));
            s.listen();
            return s;
        } catch (const Kel::SocketException& e) {
            // Busy, or reserved by the system: try the next one.
            if (e.reason() != 10048 && e.reason() != 10013) {
                throw;
            }
        }
    }
    ADD_FAILURE() << "no free port found";
    return Kel::Socket();
}

// A connected pair over loopback TCP: client and the server's side of the connection, closed at the end.
struct Connection {
    Kel::Socket client;
    Kel::Socket server;
    Connection() {
        unsigned short port = 0;
        Kel::Socket listener = listenOnFreePort(port);
        client.connect("127.0.0.1", static_cast<short>(port));
        server = listener.accept();
        listener.close();
    }
    ~Connection() {
        client.close();
        server.close();
    }
};

// Receives until exactly size bytes have arrived (or the peer stops sending for five seconds); returns
// them as one text.
inline std::string receiveAll(Kel::Socket& s, std::size_t size) {
    std::string all;
    Kel::String piece;
    while (all.size() < size) {
        unsigned long n = s.recv(piece, 5000000ul);
        if (n == 0) {
            break;
        }
        all.append(static_cast<const char*>(piece), n);
    }
    return all;
}

// True once recv reports that the peer ended the connection (within five seconds).
inline bool peerEnded(Kel::Socket& s) {
    Kel::String out;
    try {
        while (s.recv(out, 5000000ul) > 0) {
        }
    } catch (const Kel::SocketException& e) {
        return e.reason() == 10101 || e.reason() == 10054;
    }
    return false;
}

inline long long millisecondsSince(Clock::time_point start) {
    return std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count();
}

} // namespace sock_test

#endif
