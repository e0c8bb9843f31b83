// What the text sink puts on the wire, copies, moves and the owner that closes, receiving with and without
// a time limit, the end of a connection, large transfers, and a peer written outside the library.

#include "kel_test.h"
#include "socket_test_util.h"

#include <kel/net.h>

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <string>
#include <thread>
#include <type_traits>
#include <utility>
#include <vector>

#if defined(_WIN32)
#include <winsock2.h>
#include <ws2tcpip.h>
#else
#include <arpa/inet.h>
#include <csignal>
#include <netinet/in.h>
#include <pthread.h>
#include <sys/socket.h>
#include <unistd.h>
#endif

using namespace Kel;
using sock_test::Clock;
using sock_test::millisecondsSince;
using sock_test::receiveAll;
using sock_test::Watchdog;

namespace {

// A text of size bytes that shows where a piece went missing or was repeated.
std::string patterned(std::size_t size) {
    std::string s;
    for (std::size_t i = 0; s.size() < size; ++i) {
        s += "line " + std::to_string(i) + "\n";
    }
    s.resize(size);
    return s;
}

// A loopback TCP client written straight on the system's socket calls, for what the library's Socket
// cannot do (send out-of-band data, end a connection with a reset).
class RawPeer {
public:
#if defined(_WIN32)
    using Handle = SOCKET;
    static constexpr Handle none = INVALID_SOCKET;
#else
    using Handle = int;
    static constexpr Handle none = -1;
#endif

    // Connected to 127.0.0.1:port; connected() tells whether that worked.
    explicit RawPeer(unsigned short port) : _handle(::socket(AF_INET, SOCK_STREAM, IPPROTO_TCP)) {
        sockaddr_in to{};
        to.sin_family = AF_INET;
        to.sin_port = htons(port);
        to.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        if (_handle != none && ::connect(_handle, reinterpret_cast<const sockaddr*>(&to), sizeof to) != 0) {
            close();
        }
    }
    ~RawPeer() { close(); }

    bool connected() const { return _handle != none; }
    // One send; urgent sends the text as out-of-band data. True when every byte went.
    bool send(const std::string& text, bool urgent = false) {
        return ::send(_handle, text.data(), static_cast<int>(text.size()), urgent ? MSG_OOB : 0) ==
               static_cast<int>(text.size());
    }
    // Ends the connection with a reset instead of an orderly close.
    void reset() {
        struct linger hard {};
        hard.l_onoff = 1;
        ::setsockopt(_handle, SOL_SOCKET, SO_LINGER, reinterpret_cast<const char*>(&hard), sizeof hard);
        close();
    }
    void close() {
        if (_handle == none) {
            return;
        }
#if defined(_WIN32)
        ::closesocket(_handle);
#else
        ::close(_handle);
#endif
        _handle = none;
    }

private:
    Handle _handle;
};

} // namespace

TEST(SocketSink, IntegersAreWrittenInDecimalAndFlushSendsWhatIsPendingOnce) {
    Watchdog guard(std::chrono::seconds(20));
    sock_test::Connection c;
    EXPECT_TRUE(c.client.flushOutput()); // nothing pending
    c.client << static_cast<short>(-5) << "|" << static_cast<unsigned short>(65535) << "|" << -3 << "|"
             << 4000000000u << "|" << -2147483647L - 1 << "|" << 4294967295ul << "|" << String("s");
    EXPECT_TRUE(c.client.flushOutput());
    c.client << Socket::flush << static_cast<Socket::Action>(1) << "next" << Socket::flush;
    const std::string expected = "-5|65535|-3|4000000000|-2147483648|4294967295|snext";
    EXPECT_EQ(receiveAll(c.server, expected.size()), expected);

    // dumpAll sends what was pending together with its notice.
    c.client << "abc";
    KELBase::dumpAll(c.client);
    const std::string notice =
        "Leak tracking disabled. Try Adding -DTRACK_LEAKS to the compiler command line\n";
    EXPECT_EQ(receiveAll(c.server, 3 + notice.size()), "abc" + notice);
    String out;
    EXPECT_EQ(c.server.recv(out, 0), 0ul) << "nothing else was sent";

    // A socket describes itself as a one-line header, to another socket or to a stream.
    KELDump(&c.client).dump(c.server);
    c.server << Socket::flush;
    const std::string header = "@ class Kel::Socket\n";
    EXPECT_EQ(receiveAll(c.client, header.size()), header);
    EXPECT_EQ(kel_test::dumpOf(c.client), header);
}

TEST(SocketCopyAndMove, CopiesShareTheConnectionNotThePendingTextMovesTakeBoth) {
    Watchdog guard(std::chrono::seconds(20));
    sock_test::Connection c;
    c.client << "from original ";
    {
        Socket copy(c.client);
        copy << "from copy " << Socket::flush;
    }
    // The copy is gone without close(): the connection still carries the original's text.
    Socket assigned;
    assigned.close();
    assigned = c.client;
    assigned = assigned;
    assigned << Socket::flush;
    const std::string expected = "from copy from original ";
    EXPECT_EQ(receiveAll(c.server, expected.size()), expected);

    // Assignment copied the pending text; a move takes it along, and the moved-from socket is closed.
    c.client << "pending ";
    Socket moved(std::move(c.client));
    String out;
    EXPECT_THROW_REASON(c.client.recv(out, 0), SocketException, -1);
    c.client << Socket::flush; // nothing pending, nothing to send through
    moved << "text" << Socket::flush;
    EXPECT_EQ(receiveAll(c.server, 26), "from original pending text");

    // Assignment leaves the target's former handle open for its copies.
    Socket copy(c.server);
    Socket spare;
    spare.close();
    c.server = std::move(spare);
    copy << "still open" << Socket::flush;
    EXPECT_EQ(receiveAll(moved, 10), "still open");
    c.server = std::move(c.server);
    EXPECT_THROW_REASON(c.server.recv(out, 0), SocketException, -1);
    moved.close();
    copy.close();
}

TEST(OwnedSocket, ClosesWhenItGoesAndReleaseGivesTheSocketBackOpen) {
    Watchdog guard(std::chrono::seconds(30));
    sock_test::Connection c;
    {
        OwnedSocket owner(std::move(c.server));
        *owner << "bye" << Socket::flush;
    }
    EXPECT_EQ(receiveAll(c.client, 3), "bye");
    EXPECT_TRUE(sock_test::peerEnded(c.client));

    sock_test::Connection d;
    Socket kept;
    {
        OwnedSocket owner(std::move(d.server));
        OwnedSocket second(std::move(owner)); // the connection goes with the move
        kept = second.release();
        EXPECT_THROW_REASON(second->listen(), SocketException, 10038);
    }
    kept << "alive" << Socket::flush;
    EXPECT_EQ(receiveAll(d.client, 5), "alive");

    // Assigning to an owner closes what it owned before.
    OwnedSocket holder(std::move(kept));
    holder = OwnedSocket(Socket::internet);
    EXPECT_TRUE(sock_test::peerEnded(d.client));

    // Owners live in containers: a growing vector moves them without closing or copying a connection.
    static_assert(std::is_nothrow_move_constructible_v<Socket> && std::is_nothrow_move_assignable_v<Socket> &&
                      std::is_nothrow_move_constructible_v<OwnedSocket> &&
                      std::is_nothrow_move_assignable_v<OwnedSocket> &&
                      !std::is_copy_constructible_v<OwnedSocket>,
                  "sockets move into containers without a copy");
    sock_test::Connection e;
    std::vector<OwnedSocket> owners;
    owners.emplace_back(std::move(e.server));
    for (int i = 0; i < 8; ++i) {
        owners.emplace_back(Socket::internet);
    }
    *owners.front() << "moved" << Socket::flush;
    EXPECT_EQ(receiveAll(e.client, 5), "moved");
    owners.clear();
    EXPECT_TRUE(sock_test::peerEnded(e.client));
}

TEST(SocketSink, WritingToAGonePeerFailsQuietlyWithoutKillingTheProcess) {
    Watchdog guard(std::chrono::seconds(20));
    sock_test::Connection c;
    c.client.close();
    std::this_thread::sleep_for(std::chrono::milliseconds(50));

    // The first write may still be accepted; the reset it provokes makes later ones fail, and flushOutput
    // reports it.
    unsigned long result = 0;
    bool flushed = true;
    for (int i = 0; i < 50 && (result != 0xFFFFFFFFul || flushed); ++i) {
        result = c.server.send("anyone there?");
        c.server << "still talking";
        flushed = c.server.flushOutput();
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    EXPECT_EQ(result, 0xFFFFFFFFul);
    EXPECT_FALSE(flushed);
}

TEST(SocketRecv, TimeLimitsZeroShortAndNoneAndAFixedLengthTextBecomesVariable) {
    Watchdog guard(std::chrono::seconds(20));
    sock_test::Connection c;

    String out("untouched");
    Clock::time_point start = Clock::now();
    EXPECT_EQ(c.server.recv(out, 0), 0ul);
    EXPECT_LT(millisecondsSince(start), 100 * kel_test::slowdown());
    start = Clock::now();
    EXPECT_EQ(c.server.recv(out, 250000ul), 0ul);
    EXPECT_GE(millisecondsSince(start), 200);
    EXPECT_LT(millisecondsSince(start), 3000 * kel_test::slowdown());
    EXPECT_STREQ(out, "untouched");

    // Without a limit, recv waits for data that arrives later.
    out = "";
    out.fixLength(3);
    std::thread sender([&c] {
        std::this_thread::sleep_for(std::chrono::milliseconds(150));
        c.client << "longer than three" << Socket::flush;
    });
    start = Clock::now();
    EXPECT_EQ(c.server.recv(out, 0xFFFFFFFFul), 17ul);
    EXPECT_GE(millisecondsSince(start), 100);
    EXPECT_EQ(out.fixedLength(), 0ul);
    EXPECT_STREQ(out, "longer than three");
    sender.join();
}

// A receive takes everything that has arrived, however little it asked the system for before, with a
// limit and without one; a short text after a long one comes back exactly. A megabyte streamed in small
// pieces and flushed once, a buffer far larger than the socket's own, arrives whole.
TEST(SocketRecv, EverythingThatHasArrivedComesInOneCallAndAMegabyteArrivesWhole) {
    Watchdog guard(std::chrono::seconds(60));
    sock_test::Connection c;
    const std::string block = patterned(40000);
    String out;
    for (unsigned long timeout : {0xFFFFFFFFul, 5000000ul}) {
        SCOPED_TRACE(timeout);
        c.client << block.c_str() << Socket::flush;
        std::this_thread::sleep_for(std::chrono::milliseconds(200 * kel_test::slowdown()));
        ASSERT_EQ(c.server.recv(out, timeout), block.size());
        EXPECT_TRUE(std::string(out.buffer(), block.size()) == block) << "the received bytes differ";
    }
    c.client << "short" << Socket::flush;
    EXPECT_EQ(c.server.recv(out, 0xFFFFFFFFul), 5ul);
    EXPECT_STREQ(out, "short");

    const std::string expected = patterned(1 << 20);
    std::thread sender([&c, &expected] {
        for (std::size_t at = 0; at < expected.size(); at += 1000) {
            c.client << expected.substr(at, 1000).c_str();
        }
        c.client << Socket::flush;
    });
    std::string received = receiveAll(c.server, expected.size());
    sender.join();
    EXPECT_TRUE(received == expected) << "received " << received.size() << " of " << expected.size();
}

TEST(SocketRecv, PeerCloseClosesTheSocketThenReportsNoHandle) {
    Watchdog guard(std::chrono::seconds(20));
    sock_test::Connection c;
    c.client << "last words" << Socket::flush;
    c.client.close();

    // Data sent before the close still arrives; the end of the stream follows it.
    EXPECT_EQ(receiveAll(c.server, 10), "last words");
    String out;
    EXPECT_THROW_REASON(c.server.recv(out, 5000000ul), SocketException, 10101);
    EXPECT_THROW_REASON(c.server.recv(out, 0), SocketException, -1);
}

// An out-of-band byte is dropped: the normal data on both sides of it arrives, and no call throws. A
// reset by the peer closes the socket with its own reason.
TEST(SocketRecv, UrgentByteIsDroppedAndAResetIsReported) {
    Watchdog guard(std::chrono::seconds(20));
    unsigned short port = 0;
    Socket listener = sock_test::listenOnFreePort(port);
    RawPeer peer(port);
    ASSERT_TRUE(peer.connected());
    Socket server = listener.accept();
    listener.close();

    ASSERT_TRUE(peer.send("ab"));
    ASSERT_TRUE(peer.send("!", true));
    ASSERT_TRUE(peer.send("cd"));
    EXPECT_EQ(receiveAll(server, 4), "abcd");

    // An urgent byte alone: the wait goes on for normal data and ends with the limit.
    ASSERT_TRUE(peer.send("?", true));
    String out("untouched");
    EXPECT_EQ(server.recv(out, 300000ul), 0ul);
    EXPECT_STREQ(out, "untouched");
    ASSERT_TRUE(peer.send("later"));
    EXPECT_EQ(receiveAll(server, 5), "later");

    peer.reset();
    try {
        server.recv(out, 5000000ul);
        ADD_FAILURE() << "recv after the reset did not throw";
    } catch (const SocketException& e) {
#if defined(_WIN32)
        // Some Windows Sockets emulations report a reset as an orderly close.
        EXPECT_TRUE(e.reason() == 10054 || e.reason() == 10101) << e.reason();
#else
        EXPECT_EQ(e.reason(), 10054);
#endif
    }
    EXPECT_THROW_REASON(server.recv(out, 0), SocketException, -1);
}

#if !defined(_WIN32)
// Signals without SA_RESTART interrupt blocking socket calls with EINTR; flush and recv must carry on.
TEST(SocketSignals, InterruptedFlushAndRecvCarryOn) {
    Watchdog guard(std::chrono::seconds(60));
    struct sigaction action {};
    struct sigaction previous {};
    action.sa_handler = [](int) {};
    sigemptyset(&action.sa_mask);
    ASSERT_EQ(sigaction(SIGUSR1, &action, &previous), 0);

    sock_test::Connection c;
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
        received = receiveAll(c.server, expected.size());
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
}
#endif
