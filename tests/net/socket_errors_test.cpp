// What callers see when a socket is misused: operations on a closed handle, unknown domains, bad local
// paths, names that do not resolve, accepting on a socket that does not listen; and the receiving and
// formatting corners a connected pair goes through.

#include "kel_test.h"
#include "socket_test_util.h"

#include <kel/foundation.h>
#include <kel/net.h>

#include <gtest/gtest.h>

#include <chrono>
#include <string>

using namespace Kel;
using sock_test::Watchdog;

using kel_test::localSocketsAvailable;

TEST(SocketMisuse, ClosedSocketRefusesEveryOperationWithAReason) {
    Socket s;
    s.close();
    s.close(); // a second close is harmless

    String out;
    EXPECT_THROW_REASON(s.bind(static_cast<short>(8080)), SocketException, 10038);
    EXPECT_THROW_REASON(s.listen(), SocketException, 10038);
    EXPECT_THROW_REASON(s.accept(), SocketException, 10038);
    EXPECT_THROW_REASON(s.connect("127.0.0.1", 8080), SocketException, 10038);
    EXPECT_THROW_REASON(s.recv(out, 0), SocketException, -1);
    // The domain is checked before the handle.
    EXPECT_THROW_REASON(s.bind(String("x.sock")), SocketException, -19);
    EXPECT_THROW_REASON(s.connect(String("x.sock")), SocketException, -19);

    EXPECT_EQ(s.send("data"), 0xFFFFFFFFul);
    // Buffered output to a closed socket is dropped without an error.
    EXPECT_NO_THROW(s << "pending" << 12 << Socket::flush);
}

TEST(SocketMisuse, UnknownDomainIsRejectedAtConstruction) {
    EXPECT_THROW_REASON(Socket(static_cast<Socket::Domain>(2)), SocketException, 10047);
    EXPECT_THROW_REASON(Socket(static_cast<Socket::Domain>(-1)), SocketException, 10047);
}

TEST(SocketMisuse, AcceptWithoutListenFailsAndKeepsTheSocket) {
    Watchdog guard(std::chrono::seconds(20));
    unsigned short port = 0;
    Socket listener = sock_test::listenOnFreePort(port);
    listener.close();

    Socket s;
    ASSERT_TRUE(s.bind(static_cast<short>(port)));
    EXPECT_THROW_REASON(s.accept(), SocketException, 10022);
    // Still open: it can listen and take a connection now.
    EXPECT_TRUE(s.listen());
    Socket client;
    EXPECT_TRUE(client.connect("127.0.0.1", static_cast<short>(port)));
    Socket server = s.accept();
    client << "ok" << Socket::flush;
    EXPECT_EQ(sock_test::receiveAll(server, 2), "ok");
    client.close();
    server.close();
    s.close();
}

TEST(SocketMisuse, UnresolvableNameLeavesTheSocketUsable) {
    Watchdog guard(std::chrono::seconds(60));
    Socket client;
    EXPECT_THROW_REASON(client.connect("kel-nowhere.invalid", 80), SocketException, 11001);

    unsigned short port = 0;
    Socket listener = sock_test::listenOnFreePort(port);
    EXPECT_TRUE(client.connect("127.0.0.1", static_cast<short>(port)));
    Socket server = listener.accept();
    client.close();
    server.close();
    listener.close();
}

TEST(SocketMisuse, EmptyLocalPathIsAnInvalidArgument) {
    if (!localSocketsAvailable()) {
        GTEST_SKIP() << "local sockets are not available on this platform";
    }
    kel_test::TempDir dir;
    Socket s(Socket::local);
    EXPECT_THROW_REASON(s.bind(String("")), SocketException, 10022);
    EXPECT_THROW_REASON(s.bind(String()), SocketException, 10022);
    EXPECT_THROW_REASON(s.connect(String("")), SocketException, 10022);
    // The bad argument did not close the socket.
    EXPECT_TRUE(s.bind(String((dir.path() + "/ok.sock").c_str())));
    s.close();
}

TEST(SocketTransfer, IntegersOfEveryWidthAreWrittenInDecimal) {
    Watchdog guard(std::chrono::seconds(20));
    sock_test::Connection c = sock_test::connectLoopback();
    c.client << static_cast<short>(-3) << "," << static_cast<unsigned short>(65535) << "," << -5 << ","
             << 4000000000u << "," << -7L << "," << 8UL << Socket::flush;
    const std::string expected = "-3,65535,-5,4000000000,-7,8";
    EXPECT_EQ(sock_test::receiveAll(c.server, expected.size()), expected);

    // A socket describes itself to another one as a one-line header.
    KELDump(&c.client).dump(c.server);
    c.server << Socket::flush;
    const std::string header = "@ class Kel::Socket\n";
    EXPECT_EQ(sock_test::receiveAll(c.client, header.size()), header);
    c.client.close();
    c.server.close();
}

TEST(SocketTransfer, RecvIntoAFixedLengthTextMakesItVariable) {
    Watchdog guard(std::chrono::seconds(20));
    sock_test::Connection c = sock_test::connectLoopback();
    String out;
    out.fixLength(3);
    ASSERT_GT(out.fixedLength(), 0ul);

    EXPECT_EQ(c.client.send("longer than three"), 17ul);
    EXPECT_EQ(c.server.recv(out, 5000000ul), 17ul);
    EXPECT_EQ(out.fixedLength(), 0ul);
    EXPECT_STREQ(static_cast<const char*>(out), "longer than three");

    // Nothing pending: a zero limit returns at once with nothing.
    EXPECT_EQ(c.server.recv(out, 0), 0ul);
    c.client.close();
    c.server.close();
}
