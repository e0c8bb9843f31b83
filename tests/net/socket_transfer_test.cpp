// Receiving with and without a time limit, the end of a connection, large transfers through the text
// sink, and a peer written outside the library.

#include "kel_test.h"
#include "raw_peer.h"
#include "socket_test_util.h"

#include <kel/net.h>

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>

#if !defined(_WIN32)
#include <csignal>
#include <pthread.h>
#endif

using namespace Kel;
using sock_test::Watchdog;
using Clock = std::chrono::steady_clock;

namespace {

long long millisecondsSince(Clock::time_point start) {
    return std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count();
}

// A text of size bytes that shows where a piece went missing or was repeated.
std::string patterned(std::size_t size) {
    std::string s;
    s.reserve(size);
    for (std::size_t i = 0; s.size() < size; ++i) {
        s += "line " + std::to_string(i) + "\n";
    }
    s.resize(size);
    return s;
}

} // namespace

TEST(SocketRecv, TimeLimitsZeroShortAndNone) {
    Watchdog guard(std::chrono::seconds(20));
    sock_test::Connection c = sock_test::connectLoopback();

    String out("untouched");
    Clock::time_point start = Clock::now();
    EXPECT_EQ(c.server.recv(out, 0), 0ul);
    EXPECT_LT(millisecondsSince(start), 100 * kel_test::slowdown());
    EXPECT_STREQ(out, "untouched");

    start = Clock::now();
    EXPECT_EQ(c.server.recv(out, 250000ul), 0ul);
    long long waited = millisecondsSince(start);
    EXPECT_GE(waited, 200);
    EXPECT_LT(waited, 3000 * kel_test::slowdown());
    EXPECT_STREQ(out, "untouched");

    // Without a limit, recv waits for data that arrives later.
    std::thread sender([&c] {
        std::this_thread::sleep_for(std::chrono::milliseconds(150));
        c.client << "late" << Socket::flush;
    });
    start = Clock::now();
    EXPECT_EQ(c.server.recv(out, 0xFFFFFFFFul), 4ul);
    EXPECT_GE(millisecondsSince(start), 100);
    EXPECT_STREQ(out, "late");
    sender.join();

    // What has arrived is returned whole, without waiting for more.
    c.client << "one" << Socket::flush << "two" << Socket::flush;
    std::string both = sock_test::receiveAll(c.server, 6);
    EXPECT_EQ(both, "onetwo");
    c.client.close();
    c.server.close();
}

// A receive takes everything that has arrived, however little it asked the system for before, with a
// limit and without one; a short text after a long one comes back exactly.
TEST(SocketRecv, EverythingThatHasArrivedComesInOneCall) {
    Watchdog guard(std::chrono::seconds(20));
    sock_test::Connection c = sock_test::connectLoopback();
    const std::string block = patterned(40000);
    const auto settle = std::chrono::milliseconds(200 * kel_test::slowdown());
    String out;
    for (unsigned long timeout : {0xFFFFFFFFul, 5000000ul}) {
        SCOPED_TRACE(timeout);
        c.client << block.c_str() << Socket::flush;
        std::this_thread::sleep_for(settle);
        ASSERT_EQ(c.server.recv(out, timeout), block.size());
        EXPECT_TRUE(std::string(out.buffer(), block.size()) == block) << "the received bytes differ";
    }
    c.client << "short" << Socket::flush;
    EXPECT_EQ(c.server.recv(out, 0xFFFFFFFFul), 5ul);
    EXPECT_STREQ(out, "short");
    c.client.close();
    c.server.close();
}

TEST(SocketRecv, PeerCloseClosesTheSocketThenReportsNoHandle) {
    Watchdog guard(std::chrono::seconds(20));
    sock_test::Connection c = sock_test::connectLoopback();
    c.client << "last words" << Socket::flush;
    c.client.close();

    // Data sent before the close still arrives; the end of the stream follows it.
    EXPECT_EQ(sock_test::receiveAll(c.server, 10), "last words");
    String out;
    EXPECT_THROW_REASON(c.server.recv(out, 5000000ul), SocketException, 10101);
    EXPECT_STREQ(Socket::resolveSocketError(10101), "WSAEDISCON");
    EXPECT_THROW_REASON(c.server.recv(out, 0), SocketException, -1);
    EXPECT_THROW_REASON(c.server.recv(out, 0xFFFFFFFFul), SocketException, -1);
}

// An out-of-band byte is dropped: the normal data on both sides of it arrives, and no call throws.
TEST(SocketRecv, UrgentByteIsDroppedAndTheNormalDataDelivered) {
    Watchdog guard(std::chrono::seconds(20));
    unsigned short port = 0;
    Socket listener = sock_test::listenOnFreePort(port);
    sock_test::RawPeer peer(port);
    ASSERT_TRUE(peer.connected());
    Socket server = listener.accept();
    listener.close();

    ASSERT_TRUE(peer.send("ab"));
    ASSERT_TRUE(peer.send("!", true));
    ASSERT_TRUE(peer.send("cd"));
    EXPECT_EQ(sock_test::receiveAll(server, 4), "abcd");

    // An urgent byte alone: the wait goes on for normal data and ends with the limit.
    ASSERT_TRUE(peer.send("?", true));
    String out("untouched");
    EXPECT_EQ(server.recv(out, 300000ul), 0ul);
    EXPECT_STREQ(out, "untouched");
    ASSERT_TRUE(peer.send("later"));
    EXPECT_EQ(sock_test::receiveAll(server, 5), "later");

    peer.close();
    EXPECT_THROW_REASON(server.recv(out, 5000000ul), SocketException, 10101);
}

TEST(SocketSink, WritingToAGonePeerFailsQuietlyWithoutKillingTheProcess) {
    Watchdog guard(std::chrono::seconds(20));
    sock_test::Connection c = sock_test::connectLoopback();
    c.client.close();
    std::this_thread::sleep_for(std::chrono::milliseconds(50));

    // The first write may still be accepted; the reset it provokes makes later ones fail.
    unsigned long result = 0;
    for (int i = 0; i < 50 && result != 0xFFFFFFFFul; ++i) {
        result = c.server.send("anyone there?");
        c.server << "still talking" << Socket::flush;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    EXPECT_EQ(result, 0xFFFFFFFFul);
    c.server.close();
}

TEST(SocketSink, MegabyteThroughStreamingArrivesWhole) {
    Watchdog guard(std::chrono::seconds(60));
    sock_test::Connection c = sock_test::connectLoopback();
    const std::string expected = patterned(1 << 20);

    std::thread sender([&c, &expected] {
        // Pieces of 1000 bytes, one flush at the end: a single buffer far larger than the socket's own.
        for (std::size_t at = 0; at < expected.size(); at += 1000) {
            c.client << expected.substr(at, 1000).c_str();
        }
        c.client << Socket::flush;
    });
    std::string received = sock_test::receiveAll(c.server, expected.size());
    sender.join();
    EXPECT_EQ(received.size(), expected.size());
    EXPECT_TRUE(received == expected) << "the received text differs from what was sent";

    // The buffer was emptied: the next flush sends only what follows.
    c.client << "tail" << Socket::flush;
    EXPECT_EQ(sock_test::receiveAll(c.server, 4), "tail");
    c.client.close();
    c.server.close();
}

#if !defined(_WIN32)
// Signals without SA_RESTART interrupt blocking socket calls with EINTR; flush and recv must carry on.
TEST(SocketSignals, InterruptedFlushAndRecvCarryOn) {
    Watchdog guard(std::chrono::seconds(60));
    struct sigaction action {};
    struct sigaction previous {};
    action.sa_handler = [](int) {};
    sigemptyset(&action.sa_mask);
    action.sa_flags = 0;
    ASSERT_EQ(sigaction(SIGUSR1, &action, &previous), 0);

    sock_test::Connection c = sock_test::connectLoopback();
    std::atomic<bool> busy{true};
    pthread_t target = pthread_self();
    // Under an instrumenting tool every signal costs it dearly; the flood thins out with the slowdown.
    const std::chrono::milliseconds interval(2 * kel_test::slowdown());
    std::thread interrupter([&busy, &target, interval] {
        while (busy) {
            pthread_kill(target, SIGUSR1);
            std::this_thread::sleep_for(interval);
        }
    });

    // recv's wait is resumed with what is left of its limit: neither an early return nor an EINTR.
    String out;
    Clock::time_point start = Clock::now();
    EXPECT_EQ(c.server.recv(out, 300000ul), 0ul);
    EXPECT_GE(millisecondsSince(start), 250);

    // A flush of 8 MB cannot go out in one call while the reader is slow: each interruption leaves a
    // partial send, and every byte must still arrive once.
    const std::string expected = patterned(8 << 20);
    std::string received;
    std::thread reader([&c, &expected, &received] {
        std::this_thread::sleep_for(std::chrono::milliseconds(200));
        received = sock_test::receiveAll(c.server, expected.size());
    });
    c.client << expected.c_str() << Socket::flush;
    reader.join();
    EXPECT_TRUE(received == expected) << "received " << received.size() << " of " << expected.size();

    // recv without a limit is not ended by signals either.
    std::thread late([&c] {
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
        c.server << "done" << Socket::flush;
    });
    EXPECT_EQ(c.client.recv(out, 0xFFFFFFFFul), 4ul);
    late.join();

    busy = false;
    interrupter.join();
    sigaction(SIGUSR1, &previous, nullptr);
    c.client.close();
    c.server.close();
}
#endif

namespace {

// The peer: sends a line, repeats the answer it got, waits for "bye" and resets the connection. The
// script travels hex-coded so that the command line survives every shell unchanged.
std::string pythonPeerCommand(const std::string& python, unsigned short port) {
    const std::string script = "import socket, struct\n"
                               "s = socket.create_connection(('127.0.0.1', " +
                               std::to_string(port) +
                               "), timeout=10)\n"
                               "def line():\n"
                               "    text = b''\n"
                               "    while not text.endswith(b'\\n'):\n"
                               "        piece = s.recv(1)\n"
                               "        if not piece: break\n"
                               "        text += piece\n"
                               "    return text\n"
                               "s.sendall(b'hello from outside\\n')\n"
                               "s.sendall(b'got ' + line())\n"
                               "line()\n"
                               "s.setsockopt(socket.SOL_SOCKET, socket.SO_LINGER, struct.pack('ii', 1, 0))\n"
                               "s.close()\n";
    static const char digits[] = "0123456789abcdef";
    std::string hex;
    for (unsigned char ch : script) {
        hex += digits[ch >> 4];
        hex += digits[ch & 15];
    }
    return python + " -c \"exec(bytes.fromhex('" + hex + "').decode())\"";
}

// A command that starts Python here: by name, or, under a compatibility layer whose shell cannot run the
// host's programs by name, through its start command.
std::string findPython() {
    const char* candidates[] = {"python3", "start /wait /unix /usr/bin/python3", "python"};
    for (const char* candidate : candidates) {
        std::string probe = std::string(candidate) + " -c \"import socket\"";
        if (std::system(probe.c_str()) == 0) {
            return candidate;
        }
    }
    return std::string();
}

// Reads until a line end has arrived.
std::string readLine(Socket& s) {
    std::string line;
    String piece;
    while (line.find('\n') == std::string::npos && s.recv(piece, 10000000ul) > 0) {
        line += static_cast<const char*>(piece);
    }
    return line;
}

} // namespace

TEST(SocketPeer, OutsidePeerTalksToASocketServer) {
    std::string python = findPython();
    if (python.empty()) {
        GTEST_SKIP() << "no Python interpreter to act as the peer";
    }

    Watchdog guard(std::chrono::seconds(60));
    unsigned short port = 0;
    Socket listener = sock_test::listenOnFreePort(port);
    std::thread peer([&] { std::system(pythonPeerCommand(python, port).c_str()); });

    Socket server = listener.accept();
    EXPECT_EQ(readLine(server), "hello from outside\n");
    server << "echo " << 42L << "\n" << Socket::flush;
    EXPECT_EQ(readLine(server), "got echo 42\n");
    server << "bye\n" << Socket::flush;

    // The peer resets the connection after reading "bye": the socket is closed with the reset's code.
    String piece;
    try {
        server.recv(piece, 10000000ul);
        ADD_FAILURE() << "recv after the reset did not throw";
    } catch (const SocketException& e) {
#if defined(_WIN32)
        // Some Windows Sockets emulations report a reset as an orderly close.
        EXPECT_TRUE(e.reason() == 10054 || e.reason() == 10101) << e.reason();
#else
        EXPECT_EQ(e.reason(), 10054);
#endif
    }
    EXPECT_THROW_REASON(server.recv(piece, 0), SocketException, -1);
    peer.join();
    listener.close();
}
