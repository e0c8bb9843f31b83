// Binding, listening, accepting and connecting over loopback TCP and local (file-system) sockets, host
// resolution by name or dotted address, and the error names.

#include "kel_test.h"
#include "socket_test_util.h"

#include <kel/net.h>

#include <gtest/gtest.h>

#include <chrono>
#include <set>
#include <string>
#include <thread>

using namespace Kel;
using kel_test::localSocketsAvailable;
using sock_test::Watchdog;

namespace {

// A second recv on a socket that a failure has closed reports the missing handle.
void expectClosed(Socket& s) {
    String out;
    EXPECT_THROW_REASON(s.recv(out, 0), SocketException, -1);
}

// Connects to a fresh listener through host and checks that the text arrives on the accepted side.
void expectConnectsThrough(const char* host) {
    SCOPED_TRACE(host);
    Watchdog guard(std::chrono::seconds(20));
    unsigned short port = 0;
    Socket listener = sock_test::listenOnFreePort(port);
    Socket client;
    EXPECT_TRUE(client.connect(host, static_cast<short>(port)));
    Socket server = listener.accept();
    client << "ping" << Socket::flush;
    EXPECT_EQ(sock_test::receiveAll(server, 4), "ping");
    client.close();
    server.close();
    listener.close();
}

} // namespace

TEST(SocketConnect, DottedAddressAndNameBothReachTheListener) {
    expectConnectsThrough("127.0.0.1");
    expectConnectsThrough("localhost");
}

TEST(SocketConnect, LeadingNumberDecidesBetweenNameAndDottedAddress) {
    Watchdog guard(std::chrono::seconds(20));
    unsigned short port = 0;
    Socket listener = sock_test::listenOnFreePort(port);

    // Starting with 0 makes it a name; resolution failures leave the socket open.
    Socket byName;
    try {
        byName.connect("0localhost.invalid", static_cast<short>(port));
        ADD_FAILURE() << "resolving 0localhost.invalid succeeded";
    } catch (const SocketException& e) {
        EXPECT_GE(e.reason(), 11001);
        EXPECT_LE(e.reason(), 11004);
    }
    EXPECT_TRUE(byName.connect("127.0.0.1", static_cast<short>(port)))
        << "a failed resolution must not close the socket";
    Socket accepted = listener.accept();
    accepted.close();
    byName.close();

    // Starting with a non-zero number makes it a dotted address, which this text is not: the connect
    // itself fails, and that closes the socket.
    Socket byAddress;
    EXPECT_THROW(byAddress.connect("1localhost", static_cast<short>(port)), SocketException);
    expectClosed(byAddress);
    listener.close();
}

TEST(SocketConnect, RefusedConnectionGivesTheSameReasonEverywhereAndCloses) {
    Watchdog guard(std::chrono::seconds(30));
    // A port that is bound but not listening refuses connections.
    unsigned short port = 0;
    Socket holder = sock_test::listenOnFreePort(port);
    holder.close();
    Socket bound;
    bound.bind(static_cast<short>(port));

    Socket client;
    EXPECT_THROW_REASON(client.connect("127.0.0.1", static_cast<short>(port)), SocketException, 10061);
    EXPECT_STREQ(Socket::resolveSocketError(10061), "ECONNREFUSED");
    expectClosed(client);
    bound.close();

    // The message names the error and what was being done.
    Socket another;
    try {
        another.connect("127.0.0.1", static_cast<short>(port));
        ADD_FAILURE() << "the connection was not refused";
    } catch (const std::exception& e) {
        const std::string expected =
            "SocketException 10061: ECONNREFUSED: connect to 127.0.0.1:" + std::to_string(port);
        EXPECT_EQ(std::string(e.what()), expected);
    }
}

TEST(SocketBind, BusyPortGivesAddressInUseAndClosesTheSocket) {
    unsigned short port = 0;
    Socket listener = sock_test::listenOnFreePort(port);
    Socket second;
    EXPECT_THROW_REASON(second.bind(static_cast<short>(port)), SocketException, 10048);
    expectClosed(second);
    Socket third;
    try {
        third.bind(static_cast<short>(port));
    } catch (const SocketException& e) {
        EXPECT_EQ(std::string(e.detail()), "bind to port " + std::to_string(port));
    }
    listener.close();
}

TEST(SocketBind, OperationsOutsideTheSocketsDomainAreRejectedWithoutClosing) {
    Watchdog guard(std::chrono::seconds(20));
    kel_test::TempDir dir;
    std::string path = dir.path() + "/rejected.sock";

    Socket inet;
    EXPECT_THROW_REASON(inet.bind(String(path.c_str())), SocketException, -19);
    EXPECT_THROW_REASON(inet.connect(String(path.c_str())), SocketException, -19);
    unsigned short port = 0;
    Socket listener = sock_test::listenOnFreePort(port);
    EXPECT_TRUE(inet.connect("127.0.0.1", static_cast<short>(port))) << "the socket must stay open";
    inet.close();
    listener.close();

    if (!localSocketsAvailable()) {
        return;
    }
    Socket unixSocket(Socket::local);
    EXPECT_THROW_REASON(unixSocket.bind(8080), SocketException, -19);
    EXPECT_THROW_REASON(unixSocket.connect("127.0.0.1", 8080), SocketException, -19);
    // Still open and still usable for what its domain allows.
    EXPECT_TRUE(unixSocket.bind(String(path.c_str())));
    unixSocket.close();
}

TEST(SocketAccept, AcceptedSocketsKeepTheListenersDomain) {
    Watchdog guard(std::chrono::seconds(20));
    sock_test::Connection tcp = sock_test::connectLoopback();
    // A path operation is refused only by a socket of the internet domain.
    EXPECT_THROW_REASON(tcp.server.bind(String("unused")), SocketException, -19);
    tcp.client.close();
    tcp.server.close();
}

TEST(SocketLocal, PathSocketsCarryTextBothWays) {
    Watchdog guard(std::chrono::seconds(20));
    kel_test::TempDir dir;
    std::string path = dir.path() + "/kel.sock";
    if (!localSocketsAvailable()) {
        GTEST_SKIP() << "local sockets are not available on this platform";
    }

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
    std::string missing = dir.path() + "/nobody.sock";
    EXPECT_THROW(stray.connect(String(missing.c_str())), SocketException);
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

TEST(SocketErrorNames, NamedCodesAreDistinctAndOthersAreNotFound) {
    struct Row {
        unsigned long code;
        const char* name;
    };
    // The ends of each named range, the codes callers meet most, and codes on either side of the ranges.
    const Row rows[] = {
        {10004, "EINTR"},
        {10035, "EWOULDBLOCK"},
        {10054, "ECONNRESET"},
        {10061, "ECONNREFUSED"},
        {10067, "EPROCLIM"},
        {10071, "EREMOTE"},
        {10091, "WSASYSNOTREADY"},
        {10093, "WSANOTINITIALISED"},
        {10101, "WSAEDISCON"},
        {11001, "HOST_NOT_FOUND"},
        {11003, "NO_RECOVERY"},
        {0ul, "Error not found"},
        {10003ul, "Error not found"},
        {10005ul, "Error not found"},
        {10072ul, "Error not found"},
        {10090ul, "Error not found"},
        {10094ul, "Error not found"},
        {10100ul, "Error not found"},
        {10102ul, "Error not found"},
        {11000ul, "Error not found"},
        {11004ul, "Error not found"},
        {0xFFFFFFFFul, "Error not found"},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.code);
        EXPECT_STREQ(Socket::resolveSocketError(r.code), r.name);
    }

    // No two codes share a name, and every named errno code is an E name.
    std::set<std::string> seen;
    for (unsigned long code = 10000; code < 11100; ++code) {
        const std::string name = Socket::resolveSocketError(code);
        if (name == "Error not found") {
            continue;
        }
        SCOPED_TRACE(code);
        EXPECT_TRUE(seen.insert(name).second) << name;
        if (code <= 10071) {
            EXPECT_EQ(name[0], 'E') << name;
        }
    }
    EXPECT_EQ(seen.size(), 50u);
}
