// Binding, listening, accepting and connecting over loopback TCP and local (file-system) sockets, host
// resolution by name or dotted address, what callers see when a socket is misused, and the error names.

#include "kel_test.h"
#include "socket_test_util.h"

#include <kel/net.h>

#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <thread>

using namespace Kel;
using kel_test::localSocketsAvailable;
using sock_test::Clock;
using sock_test::Watchdog;

namespace {

// A second recv on a socket that a failure has closed reports the missing handle.
void expectClosed(Socket& s) {
    String out;
    EXPECT_THROW_REASON(s.recv(out, 0), SocketException, -1);
}

// Connects s to listener on port and checks that a text arrives on the accepted side.
void expectConnects(Socket& s, Socket& listener, unsigned short port, const char* host = "127.0.0.1") {
    SCOPED_TRACE(host);
    EXPECT_TRUE(s.connect(host, static_cast<short>(port)));
    Socket server = listener.accept();
    // The accepted socket keeps the listener's domain.
    EXPECT_THROW_REASON(server.bind(String("unused")), SocketException, -19);
    s << "ping" << Socket::flush;
    EXPECT_EQ(sock_test::receiveAll(server, 4), "ping");
    server.close();
    s.close();
}

} // namespace

TEST(SocketMisuse, ClosedSocketRefusesEveryOperationWithAReason) {
    Socket s;
    s.close();
    s.close(); // a second close is harmless

    String out;
    EXPECT_THROW_REASON(s.bind(static_cast<short>(8080)), SocketException, 10038);
    EXPECT_THROW_REASON(s.listen(), SocketException, 10038);
    EXPECT_THROW_REASON(s.accept(), SocketException, 10038);
    EXPECT_THROW_REASON(s.accept(0), SocketException, 10038);
    EXPECT_THROW_REASON(s.connect("127.0.0.1", 8080), SocketException, 10038);
    EXPECT_THROW_REASON(s.recv(out, 0), SocketException, -1);
    // The domain is checked before the handle.
    EXPECT_THROW_REASON(s.bind(String("x.sock")), SocketException, -19);
    EXPECT_THROW_REASON(s.connect(String("x.sock")), SocketException, -19);

    EXPECT_EQ(s.send("data"), 0xFFFFFFFFul);
    // Buffered output to a closed socket is dropped without an error.
    EXPECT_NO_THROW(s << "pending" << 12 << Socket::flush);
    s << "after close";
    EXPECT_FALSE(s.flushOutput());

    EXPECT_THROW_REASON(Socket(static_cast<Socket::Domain>(2)), SocketException, 10047);
    EXPECT_THROW_REASON(Socket(static_cast<Socket::Domain>(-1)), SocketException, 10047);
}

TEST(SocketMisuse, OperationsOutsideTheSocketsDomainAreRejectedWithoutClosing) {
    Watchdog guard(std::chrono::seconds(20));
    kel_test::TempDir dir;
    std::string path = dir.path() + "/rejected.sock";

    unsigned short port = 0;
    Socket listener = sock_test::listenOnFreePort(port);
    Socket inet;
    EXPECT_THROW_REASON(inet.bind(String(path.c_str())), SocketException, -19);
    EXPECT_THROW_REASON(inet.connect(String(path.c_str())), SocketException, -19);
    expectConnects(inet, listener, port);

    if (!localSocketsAvailable()) {
        return;
    }
    Socket unixSocket(Socket::local);
    EXPECT_THROW_REASON(unixSocket.bind(8080), SocketException, -19);
    EXPECT_THROW_REASON(unixSocket.connect("127.0.0.1", 8080), SocketException, -19);
    // An empty path is an invalid argument.
    EXPECT_THROW_REASON(unixSocket.bind(String("")), SocketException, 10022);
    EXPECT_THROW_REASON(unixSocket.bind(String()), SocketException, 10022);
    EXPECT_THROW_REASON(unixSocket.connect(String("")), SocketException, 10022);
    // Still open and still usable for what its domain allows.
    EXPECT_TRUE(unixSocket.bind(String(path.c_str())));
    unixSocket.close();
    // Once closed, the missing handle is reported before the path is looked at.
    EXPECT_THROW_REASON(unixSocket.bind(String("")), SocketException, 10038);
    EXPECT_THROW_REASON(unixSocket.bind(String(path.c_str())), SocketException, 10038);
}

TEST(SocketConnect, NamesAndDottedAddressesReachTheListenerAndAFailedResolutionKeepsTheSocket) {
    Watchdog guard(std::chrono::seconds(60));
    unsigned short port = 0;
    Socket listener = sock_test::listenOnFreePort(port);
    Socket byDotted, byName;
    expectConnects(byDotted, listener, port);
    expectConnects(byName, listener, port, "localhost");

    Socket client;
    EXPECT_THROW_REASON(client.connect("kel-nowhere.invalid", 80), SocketException, 11001);
    // Starting with 0 makes it a name too.
    try {
        client.connect("0localhost.invalid", static_cast<short>(port));
        ADD_FAILURE() << "resolving 0localhost.invalid succeeded";
    } catch (const SocketException& e) {
        EXPECT_GE(e.reason(), 11001);
        EXPECT_LE(e.reason(), 11004);
    }
    expectConnects(client, listener, port);

    // Starting with a non-zero number makes it a dotted address, which this text is not: the connect
    // itself fails, and that closes the socket.
    Socket byAddress;
    EXPECT_THROW(byAddress.connect("1localhost", static_cast<short>(port)), SocketException);
    expectClosed(byAddress);
    listener.close();
}

TEST(SocketConnect, RefusedConnectionNamesTheErrorAndClosesTheSocket) {
    Watchdog guard(std::chrono::seconds(30));
    // A port that is bound but not listening refuses connections.
    unsigned short port = 0;
    Socket holder = sock_test::listenOnFreePort(port);
    holder.close();
    Socket bound;
    bound.bind(static_cast<short>(port));

    Socket client;
    try {
        client.connect("127.0.0.1", static_cast<short>(port));
        ADD_FAILURE() << "the connection was not refused";
    } catch (const SocketException& e) {
        EXPECT_EQ(e.reason(), 10061);
        EXPECT_EQ(std::string(e.what()),
                  "SocketException 10061: ECONNREFUSED: connect to 127.0.0.1:" + std::to_string(port));
    }
    expectClosed(client);
    bound.close();
}

TEST(SocketAccept, WaitsNoLongerThanItsLimit) {
    Watchdog guard(std::chrono::seconds(30));
    unsigned short port = 0;
    Socket listener = sock_test::listenOnFreePort(port);

    Clock::time_point start = Clock::now();
    EXPECT_FALSE(listener.accept(0).has_value());
    EXPECT_FALSE(listener.accept(200000ul).has_value());
    EXPECT_GE(sock_test::millisecondsSince(start), 150);
    EXPECT_LT(sock_test::millisecondsSince(start), 3000 * kel_test::slowdown());

    Socket client;
    std::thread later([&client, port] {
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
        client.connect("127.0.0.1", static_cast<short>(port));
    });
    std::optional<Socket> accepted = listener.accept(10000000ul);
    later.join();
    ASSERT_TRUE(accepted.has_value());
    client << "hi" << Socket::flush;
    EXPECT_EQ(sock_test::receiveAll(*accepted, 2), "hi");
    client.close();
    accepted->close();
    listener.close();
}

TEST(SocketBind, APortIsBoundAgainAtOnceAfterARestartButNotWhileListenedOn) {
    Watchdog guard(std::chrono::seconds(30));
    unsigned short port = 0;
    Socket listener = sock_test::listenOnFreePort(port);
    Socket client;
    client.connect("127.0.0.1", static_cast<short>(port));
    Socket server = listener.accept();
    // The server ends first, so its side of the connection lingers (TIME_WAIT) on the port.
    server.close();
    EXPECT_TRUE(sock_test::peerEnded(client));
    listener.close();

    Socket restarted;
    EXPECT_TRUE(restarted.bind(static_cast<short>(port)));
    // Accepting before listening fails and leaves the socket open.
    EXPECT_THROW_REASON(restarted.accept(), SocketException, 10022);
    EXPECT_TRUE(restarted.listen());
    Socket intruder;
    try {
        intruder.bind(static_cast<short>(port));
        ADD_FAILURE() << "a port that is listened on was bound again";
    } catch (const SocketException& e) {
        EXPECT_EQ(e.reason(), 10048);
        EXPECT_EQ(std::string(e.detail()), "bind to port " + std::to_string(port));
    }
    expectClosed(intruder);
    Socket another;
    expectConnects(another, restarted, port);
    restarted.close();
}

TEST(SocketLocal, PathSocketsCarryTextBothWaysAndRefuseBadPaths) {
    if (!localSocketsAvailable()) {
        GTEST_SKIP() << "local sockets are not available on this platform";
    }
    Watchdog guard(std::chrono::seconds(20));
    kel_test::TempDir dir;
    std::string path = dir.path() + "/kel.sock";

    Socket listener(Socket::local);
    ASSERT_TRUE(listener.bind(String(path.c_str())));
    ASSERT_TRUE(listener.listen());
    Socket client(Socket::local);
    ASSERT_TRUE(client.connect(String(path.c_str())));
    Socket server = listener.accept();

    client << "question " << 42L << Socket::flush;
    EXPECT_EQ(sock_test::receiveAll(server, 11), "question 42");
    server << "answer" << Socket::flush;
    EXPECT_EQ(sock_test::receiveAll(client, 6), "answer");
    // The accepted socket is local too.
    EXPECT_THROW_REASON(server.bind(8080), SocketException, -19);

    // The path is taken while its file exists, and a path nobody listens on refuses.
    Socket second(Socket::local);
    EXPECT_THROW_REASON(second.bind(String(path.c_str())), SocketException, 10048);
    expectClosed(second);
    Socket stray(Socket::local);
    EXPECT_THROW(stray.connect(String((dir.path() + "/nobody.sock").c_str())), SocketException);
    expectClosed(stray);

    // Paths longer than the address can hold are refused before the platform is asked.
    Socket longPath(Socket::local);
    std::string tooLong = dir.path() + "/" + std::string(200, 'x');
    EXPECT_THROW_REASON(longPath.bind(String(tooLong.c_str())), SocketException, 10063);
    EXPECT_TRUE(longPath.bind(String((dir.path() + "/other.sock").c_str())));

    client.close();
    server.close();
    listener.close();
    longPath.close();
}

TEST(SocketErrorNames, KnownCodesAreNamedAndOthersAreNotFound) {
    EXPECT_STREQ(Socket::resolveSocketError(10004), "EINTR");
    EXPECT_STREQ(Socket::resolveSocketError(10101), "WSAEDISCON");
    EXPECT_STREQ(Socket::resolveSocketError(11001), "HOST_NOT_FOUND");
    for (unsigned long unknown : {0ul, 10003ul, 11004ul, 0xFFFFFFFFul}) {
        SCOPED_TRACE(unknown);
        EXPECT_STREQ(Socket::resolveSocketError(unknown), "Error not found");
    }
}
