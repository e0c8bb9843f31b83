#include "kel_test.h"

#include <kel/net.h>

#include <sstream>

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
