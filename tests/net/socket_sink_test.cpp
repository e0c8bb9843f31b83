#include "kel_test.h"
#include "socket_test_util.h"

#include <kel/net.h>

#include <chrono>
#include <sstream>
#include <string>

using namespace Kel;

TEST(SocketSink, CopiesShareTheHandleButNotThePendingText) {
    Socket original;
    original << "pending";
    Socket copy(original);
    // Closing the copy closes the shared connection: the original's close then finds nothing to do.
    copy.close();
    copy.close();
    original.close();

    Socket assigned;
    assigned = original;
    assigned = assigned;
    assigned.close();
}

TEST(SocketSink, SendOnAClosedSocketReportsTheErrorValue) {
    Socket s;
    s.close();
    EXPECT_EQ(s.send(String("x")), 0xFFFFFFFFul);
    // Streaming and flushing a closed socket neither throws nor sends.
    s << static_cast<short>(-5) << " " << static_cast<unsigned short>(65535) << 7ul << Socket::flush;
}

TEST(SocketSink, UnknownDomainCreatesNoSocket) {
    EXPECT_THROW_REASON(Socket(static_cast<Socket::Domain>(7)), SocketException, 10047);
}

TEST(SocketSink, DumpWritesTheHeaderOnly) {
    Socket s;
    std::ostringstream os;
    KELDump(&s).dump(os);
    EXPECT_EQ(os.str(), "@ class Kel::Socket\n");
    s.close();
}

// What the text sink actually puts on the wire, read back on the other end of a loopback connection.
TEST(SocketSinkWire, FlushSendsEverythingPendingOnceAndEmptiesTheBuffer) {
    sock_test::Watchdog guard(std::chrono::seconds(20));
    sock_test::Connection c = sock_test::connectLoopback();
    c.client << static_cast<short>(-5) << "|" << static_cast<unsigned short>(65535) << "|" << 4294967295ul
             << "|" << -2147483647L - 1 << "|" << String("s") << Socket::flush;
    c.client << Socket::flush << static_cast<Socket::Action>(1) << "next" << Socket::flush;
    const std::string expected = "-5|65535|4294967295|-2147483648|snext";
    EXPECT_EQ(sock_test::receiveAll(c.server, expected.size()), expected);

    // dumpAll sends what was pending together with its notice.
    c.client << "abc";
    KELBase::dumpAll(c.client);
    const std::string notice =
        "Leak tracking disabled. Try Adding -DTRACK_LEAKS to the compiler command line\n";
    EXPECT_EQ(sock_test::receiveAll(c.server, 3 + notice.size()), "abc" + notice);
    String out;
    EXPECT_EQ(c.server.recv(out, 0), 0ul) << "nothing else was sent";
    c.client.close();
    c.server.close();
}

TEST(SocketSinkWire, CopiesStartEmptyAssignmentTakesThePendingTextDestructionLeavesTheConnection) {
    sock_test::Watchdog guard(std::chrono::seconds(20));
    sock_test::Connection c = sock_test::connectLoopback();
    c.client << "from original ";
    {
        Socket copy(c.client);
        copy << "from copy " << Socket::flush;
    }
    // The copy is gone without close(): the connection still carries the original's text.
    Socket assigned;
    assigned.close();
    assigned = c.client;
    assigned << Socket::flush;
    const std::string expected = "from copy from original ";
    EXPECT_EQ(sock_test::receiveAll(c.server, expected.size()), expected);
    c.client.close();
    c.server.close();
}
