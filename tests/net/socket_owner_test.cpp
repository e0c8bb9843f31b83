// Moving sockets, the owner that closes, accepting with a time limit, binding a port again at once after
// a restart, and a flush that tells whether everything went out.

#include "kel_test.h"
#include "socket_test_util.h"

#include <kel/net.h>

#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <thread>
#include <type_traits>
#include <utility>
#include <vector>

using namespace Kel;
using sock_test::Watchdog;
using Clock = std::chrono::steady_clock;

namespace {
static_assert(std::is_nothrow_move_constructible<Socket>::value, "moves must not throw");
static_assert(std::is_nothrow_move_assignable<Socket>::value, "moves must not throw");
static_assert(std::is_nothrow_move_constructible<OwnedSocket>::value, "moves must not throw");
static_assert(std::is_nothrow_move_assignable<OwnedSocket>::value, "moves must not throw");
static_assert(!std::is_copy_constructible<OwnedSocket>::value, "an owner is not copied");

long long millisecondsSince(Clock::time_point start) {
    return std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count();
}

// True once recv reports that the peer ended the connection (within five seconds).
bool peerEnded(Socket& s) {
    String out;
    try {
        while (s.recv(out, 5000000ul) > 0) {
        }
    } catch (const SocketException& e) {
        return e.reason() == 10101 || e.reason() == 10054;
    }
    return false;
}
} // namespace

TEST(SocketMove, TheConnectionAndPendingTextGoAlongTheMovedFromSocketIsClosed) {
    Watchdog guard(std::chrono::seconds(20));
    sock_test::Connection c = sock_test::connectLoopback();
    c.client << "pending ";
    Socket moved(std::move(c.client));
    String out;
    EXPECT_THROW_REASON(c.client.recv(out, 0), SocketException, -1);
    EXPECT_THROW_REASON(c.client.listen(), SocketException, 10038);
    c.client << Socket::flush; // nothing pending, nothing to send through
    moved << "text" << Socket::flush;
    EXPECT_EQ(sock_test::receiveAll(c.server, 12), "pending text");

    // Assignment leaves the target's former handle open for its copies.
    Socket copy(c.server);
    Socket spare;
    spare.close();
    c.server = std::move(spare);
    copy << "still open" << Socket::flush;
    EXPECT_EQ(sock_test::receiveAll(moved, 10), "still open");
    c.server = std::move(c.server);
    EXPECT_THROW_REASON(c.server.recv(out, 0), SocketException, -1);

    std::vector<Socket> sockets;
    sockets.push_back(std::move(moved));
    sockets.push_back(std::move(copy));
    sockets[0] << "in a vector" << Socket::flush;
    EXPECT_EQ(sock_test::receiveAll(sockets[1], 11), "in a vector");
    sockets[0].close();
    sockets[1].close();
}

TEST(OwnedSocket, ClosesWhenItGoesAndReleaseGivesTheSocketBackOpen) {
    Watchdog guard(std::chrono::seconds(30));
    sock_test::Connection c = sock_test::connectLoopback();
    {
        OwnedSocket owner(std::move(c.server));
        *owner << "bye" << Socket::flush;
    }
    EXPECT_EQ(sock_test::receiveAll(c.client, 3), "bye");
    EXPECT_TRUE(peerEnded(c.client));

    sock_test::Connection d = sock_test::connectLoopback();
    Socket kept;
    {
        OwnedSocket owner(std::move(d.server));
        OwnedSocket second(std::move(owner)); // the connection goes with the move
        kept = second.release();
        EXPECT_THROW_REASON(second->listen(), SocketException, 10038);
    }
    kept << "alive" << Socket::flush;
    EXPECT_EQ(sock_test::receiveAll(d.client, 5), "alive");

    // Assigning to an owner closes what it owned before.
    OwnedSocket holder(std::move(kept));
    holder = OwnedSocket(Socket::internet);
    EXPECT_TRUE(peerEnded(d.client));
    d.client.close();
    c.client.close();
}

TEST(SocketAccept, WaitsNoLongerThanItsLimit) {
    Watchdog guard(std::chrono::seconds(30));
    unsigned short port = 0;
    Socket listener = sock_test::listenOnFreePort(port);

    Clock::time_point start = Clock::now();
    EXPECT_FALSE(listener.accept(0).has_value());
    EXPECT_FALSE(listener.accept(200000ul).has_value());
    EXPECT_GE(millisecondsSince(start), 150);
    EXPECT_LT(millisecondsSince(start), 3000 * kel_test::slowdown());

    Socket client;
    std::thread later([&client, port] {
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
        client.connect("127.0.0.1", static_cast<short>(port));
    });
    std::optional<Socket> accepted = listener.accept(10000000ul);
    later.join();
    ASSERT_TRUE(accepted.has_value());
    OwnedSocket server(std::move(*accepted));
    client << "hi" << Socket::flush;
    EXPECT_EQ(sock_test::receiveAll(*server, 2), "hi");
    client.close();

    listener.close();
    EXPECT_THROW_REASON(listener.accept(0), SocketException, 10038);
}

TEST(SocketBind, APortCanBeBoundAgainAtOnceAfterARestart) {
    Watchdog guard(std::chrono::seconds(30));
    unsigned short port = 0;
    Socket listener = sock_test::listenOnFreePort(port);
    Socket client;
    client.connect("127.0.0.1", static_cast<short>(port));
    Socket server = listener.accept();
    server << "x" << Socket::flush;
    EXPECT_EQ(sock_test::receiveAll(client, 1), "x");
    // The server ends first, so its side of the connection lingers (TIME_WAIT) on the port.
    server.close();
    EXPECT_TRUE(peerEnded(client));
    listener.close();

    Socket restarted;
    EXPECT_TRUE(restarted.bind(static_cast<short>(port)));
    EXPECT_TRUE(restarted.listen());
    // A port that another socket listens on stays refused.
    Socket intruder;
    EXPECT_THROW_REASON(intruder.bind(static_cast<short>(port)), SocketException, 10048);
    restarted.close();
}

TEST(SocketFlush, FlushOutputTellsWhetherEverythingWentOut) {
    Watchdog guard(std::chrono::seconds(30));
    sock_test::Connection c = sock_test::connectLoopback();
    EXPECT_TRUE(c.client.flushOutput()); // nothing pending
    c.client << "hello " << 42L;
    EXPECT_TRUE(c.client.flushOutput());
    EXPECT_EQ(sock_test::receiveAll(c.server, 8), "hello 42");

    // Once the peer is gone, a flush fails (the first may still be accepted), and the buffer is emptied.
    c.server.close();
    bool sent = true;
    for (int i = 0; i < 50 && sent; ++i) {
        c.client << "anyone there?";
        sent = c.client.flushOutput();
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    EXPECT_FALSE(sent);
    c.client.close();
    c.client << "after close";
    EXPECT_FALSE(c.client.flushOutput());
}
