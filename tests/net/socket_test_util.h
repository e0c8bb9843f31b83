#ifndef KEL_TESTS_NET_SOCKET_TEST_UTIL_H
#define KEL_TESTS_NET_SOCKET_TEST_UTIL_H

// Helpers shared by the socket tests: a watchdog that turns a hang into a failure, a listening socket on
// a free loopback port, and a way to read a known number of bytes.

#include "kel_test.h"

#include <kel/net.h>

#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <random>
#include <string>
#include <thread>

namespace sock_test {

// Ends the test process with a message when it outlives its limit (times the tests' slowdown): a socket
// call that blocks for ever then fails the run instead of hanging it.
class Watchdog {
public:
    explicit Watchdog(std::chrono::seconds limit)
        : _test(kel_test::currentTestName()), _limit(limit * kel_test::slowdown()), _thread([this] {
              std::unique_lock<std::mutex> lock(_mutex);
              if (!_cv.wait_for(lock, _limit, [this] { return _bDone; })) {
                  std::fprintf(stderr, "watchdog: %s is still blocked in a socket call after %lld s\n",
                               _test.c_str(), static_cast<long long>(_limit.count()));
                  std::fflush(stderr);
                  std::_Exit(3);
              }
          }) {}
    ~Watchdog() {
        {
            std::lock_guard<std::mutex> lock(_mutex);
            _bDone = true;
        }
        _cv.notify_one();
        _thread.join();
    }
    Watchdog(const Watchdog&) = delete;
    Watchdog& operator=(const Watchdog&) = delete;

private:
    const std::string _test;
    const std::chrono::seconds _limit;
    std::mutex _mutex;
    std::condition_variable _cv;
    bool _bDone = false;
    std::thread _thread;
};

// A socket listening on a free port of every local address; the port is stored in port. Ports are tried
// from a random start below the usual ephemeral range, so parallel test programs rarely meet.
inline Kel::Socket listenOnFreePort(unsigned short& port) {
    static unsigned short next = [] {
        std::random_device rd;
        return static_cast<unsigned short>(20000 + rd() % 10000);
    }();
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

// A connected pair over loopback TCP: client and the server's side of the connection.
struct Connection {
    Kel::Socket client;
    Kel::Socket server;
};

inline Connection connectLoopback() {
    unsigned short port = 0;
    Kel::Socket listener = listenOnFreePort(port);
    Connection c;
    c.client.connect("127.0.0.1", static_cast<short>(port));
    c.server = listener.accept();
    listener.close();
    return c;
}

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

} // namespace sock_test

#endif
