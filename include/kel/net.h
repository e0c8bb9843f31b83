#ifndef KEL_NET_H
#define KEL_NET_H

// A blocking stream socket that is also a text sink, and two synchronisation classes for applications.

#include <kel/foundation.h>
#include <kel/string.h>

#include <cstdint>
#include <optional>

namespace Kel {

// ---- Socket -------------------------------------------------------------------------------------

/// A thin blocking stream socket. Values streamed in with << collect in an output buffer that the flush
/// action sends. Copies share the handle (the connection stays open until some copy calls close()); each
/// copy has its own output buffer. The application starts Windows Sockets itself before creating a socket.
/// Not synchronised: one thread uses a socket at a time.
class KEL_API Socket : public KELBase {
public:
    /// The address family: TCP over IPv4 (internet) or a stream socket bound to a file-system path (local).
    enum Domain { internet = 0, local = 1 };
    /// Stream manipulators: flush sends the output buffer.
    enum Action { flush = 0 };

    /// A new TCP socket (internet) or Unix-domain stream socket (local). Throws SocketException with the
    /// platform's error code when none can be created; a domain other than these two gives reason 10047
    /// (EAFNOSUPPORT).
    Socket(Domain domain = internet);
    /// Shares o's handle and domain; the output buffer starts empty.
    Socket(const Socket& o);
    /// Takes o's handle, domain and pending text; a socket assigned to itself is unchanged.
    const Socket& operator=(const Socket& o);
    /// Takes o's handle, domain and pending text. o is left closed without its connection being shut down
    /// (every operation on it fails as on a closed socket), with an empty output buffer and its domain.
    Socket(Socket&& o) noexcept;
    /// Takes o's handle, domain and pending text as the copy assignment does, and leaves o as the move
    /// constructor does. The handle this socket held stays open, as after a copy assignment, for the
    /// copies that may share it (an OwnedSocket closes what it owns). Moving a socket to itself changes
    /// nothing.
    Socket& operator=(Socket&& o) noexcept;
    /// Releases the output buffer only; the connection stays open for the copies. OwnedSocket closes.
    ~Socket() override;

    /// Shuts the connection down both ways and closes the handle; a closed socket is left as it is.
    void close();
    /// One send of the text; returns the byte count or 0xFFFFFFFF (SOCKET_ERROR). Never throws.
    unsigned long send(const String& text);

    ///@{
    /// Each appends the value as text to the output buffer; nothing is sent.
    Socket& operator<<(short v);
    Socket& operator<<(unsigned short v);
    Socket& operator<<(int v);
    Socket& operator<<(unsigned int v);
    Socket& operator<<(long v);
    Socket& operator<<(unsigned long v);
    Socket& operator<<(const char* s);
    Socket& operator<<(const String& s);
    ///@}
    /// flush sends the whole output buffer and empties it; other values do nothing. A failure is not
    /// reported: flushOutput() does the same and tells.
    Socket& operator<<(Action a);
    /// Sends the whole output buffer, however many calls that takes, and empties it. True when every
    /// byte went out (an empty buffer included); false when a send failed (the peer is gone or the
    /// connection broke; later sends fail too) or the socket is closed.
    bool flushOutput();

    // Connections. A failure throws SocketException whose reason is the Windows Sockets code of the
    // failed call on every platform: elsewhere each errno value becomes the code of the same name
    // (EINTR 10004, EACCES 10013, EINVAL 10022, EWOULDBLOCK 10035, EADDRINUSE 10048, ECONNRESET 10054,
    // ECONNREFUSED 10061 ... all of 10004 to 10071 as resolveSocketError names them, with EPIPE as
    // 10054), resolver failures become 11001 HOST_NOT_FOUND, 11002 TRY_AGAIN, 11003 NO_RECOVERY and
    // 11004 (no IPv4 address), and values without a counterpart are passed on unchanged (below 10000).
    // On a closed socket every operation below except recv throws 10038 (ENOTSOCK).

    /// Binds to port (taken as unsigned 16-bit) on every local IPv4 address. Throws -19 on a socket that
    /// is not internet, leaving it untouched; any other failure closes the socket, then throws (10048 for
    /// a port in use). True on success.
    ///
    /// A server restarted at once can bind its port again although connections of its previous run are
    /// still winding down: on POSIX systems the socket is marked SO_REUSEADDR first, which allows that
    /// and nothing more (a port that another socket listens on stays refused). Windows allows it by
    /// default; its SO_REUSEADDR would let another program bind a port that is in use and take its
    /// connections, so it is not set there.
    bool bind(short port);
    /// Binds a local socket to a file-system path. The file stays after close(); remove it before binding
    /// the path again. Throws -19 on a socket that is not local, 10022 for a null or empty path and 10063
    /// for a path longer than a local address holds (107 characters on Linux and Windows), each leaving
    /// the socket untouched; a failure of the platform (10048 when the file exists) closes the socket
    /// first. Where the platform has no local sockets, constructing one already throws 10047.
    bool bind(const String& path);
    /// Listens with the largest backlog the platform allows. A failure closes the socket, then throws.
    bool listen();
    /// Waits for the next connection and returns a socket of this socket's domain for it. A failure
    /// throws and leaves this socket open.
    Socket accept();
    /// The same, waiting at most timeout microseconds as recv does (0 polls, 0xFFFFFFFF waits without
    /// limit, a wait interrupted by a signal is resumed with the time left): empty when no connection
    /// came in time. Throws 10038 on a closed socket.
    std::optional<Socket> accept(unsigned long timeout);
    /// Connects to host, a name or a dotted IPv4 address: when the text read as a decimal number from its
    /// start (leading blanks and a sign allowed) gives 0, it is a name and resolved to its first IPv4
    /// address (so "0.1.2.3" and "localhost" are names and "127.0.0.1" is an address); otherwise it is
    /// read as a dotted address. Resolution is thread-safe; when it fails, throws 11001 to 11004 and the
    /// socket stays open. A failed connect closes the socket, then throws (10061 when refused). Throws -19
    /// on a local socket. True on success.
    bool connect(const String& host, short port);
    /// Connects a local socket to the socket bound at path. Argument checks and failures as bind(path)
    /// (a path nobody listens on closes the socket and throws). Throws -19 on a socket that is not local.
    bool connect(const String& path);
    /// Waits at most timeout microseconds (0 polls, 0xFFFFFFFF waits without limit; a wait interrupted by
    /// a signal is resumed with the time left) and then reads everything that has arrived. Returns 0 when
    /// nothing arrived in time, out unchanged; otherwise out becomes the received text (variable length,
    /// ending at the first NUL byte; all the bytes stay readable through out.buffer()) and the byte count
    /// is returned. Throws -1 on a closed socket. When the peer has ended the connection, closes the socket
    /// and throws 10101 (WSAEDISCON) for an orderly close or the error that ended it (10054 for a reset).
    /// A failed wait throws and leaves the socket open. An out-of-band byte from the peer is dropped and
    /// the normal data around it is delivered (a pending socket error is thrown instead, when there is one).
    unsigned long recv(String& out, unsigned long timeout);
    /// The symbolic name of a Windows Sockets error code ("ECONNREFUSED" for 10061), or "Error not found".
    static const char* resolveSocketError(unsigned long code);

protected:
    ///@{
    /// The header "@ class Kel::Socket" only.
    void dump(Socket& s) override;
    void dump(std::ostream& os) override;
    ///@}

private:
    Socket(int handle, Domain domain);
    void requireHandle() const;
    /// Closes the socket, then throws reason with the detail (none when null).
    [[noreturn]] void closeAndThrow(long reason, const char* detail = nullptr);

    std::int32_t _iHandle;
    Domain _domain;
    /// How many bytes the next recv() asks the system for at once; it grows when a receive fills it, so
    /// that a busy connection is drained by one system call.
    std::uint32_t _ulReceiveSize;
    String _sOutput;
};

/// Owns one socket and closes it when destroyed: the form for a connection that lives as long as a scope
/// or an object. Movable (the connection goes with the move) and not copyable. The socket is reached with
/// * and ->, and release() gives it back to the caller, still open.
///
/// \code
/// {
///     Kel::OwnedSocket connection(listener.accept());
///     *connection << "hello\n";
///     if (!connection->flushOutput())
///         report("peer gone");
/// } // closed here, however the scope is left
/// \endcode
class KEL_API OwnedSocket {
public:
    /// Owns a new socket of the domain; throws as Socket's constructor does.
    explicit OwnedSocket(Socket::Domain domain = Socket::internet);
    /// Owns s, which is left as a moved-from Socket.
    explicit OwnedSocket(Socket&& s) noexcept;
    /// Takes o's socket; o is left owning a closed socket.
    OwnedSocket(OwnedSocket&& o) noexcept;
    /// Closes the socket this object owned, then takes o's; o is left owning a closed socket. Moving an
    /// owner to itself changes nothing.
    OwnedSocket& operator=(OwnedSocket&& o) noexcept;
    OwnedSocket(const OwnedSocket&) = delete;
    OwnedSocket& operator=(const OwnedSocket&) = delete;
    /// Closes the socket (nothing when it is closed already or was released).
    ~OwnedSocket();

    ///@{
    /// The owned socket.
    Socket& operator*() noexcept { return _socket; }
    const Socket& operator*() const noexcept { return _socket; }
    Socket* operator->() noexcept { return &_socket; }
    const Socket* operator->() const noexcept { return &_socket; }
    ///@}
    /// Gives the socket up, still open; this object is left owning a closed socket.
    Socket release() noexcept;

private:
    Socket _socket;
};

// ---- Mutex and Waitable -----------------------------------------------------------------------------

/// A re-entrant lock for applications: the holding thread may lock again and is done when it has unlocked
/// as often as it locked. Safe to use from any thread; it must outlive every thread that uses it and be
/// free when it is destroyed.
///
/// A copy is a new, free mutex of its own; assignment changes nothing (each object keeps its own lock).
class KEL_API Mutex {
public:
    ///@{
    /// Free.
    Mutex();
    ///@}
    ///@{
    /// Copy construction and assignment, as the class comment describes.
    Mutex(const Mutex& o);
    Mutex& operator=(const Mutex& o);
    ///@}
    virtual ~Mutex();

    /// Blocks while another thread holds the mutex; returns at once for the holding thread.
    void lock();
    /// Gives up one level of holding. Only the holding thread unlocks.
    void unlock();

private:
    /// The lock lives here, inside the object, for the object's lifetime: no allocation, nothing to
    /// follow when locking.
    alignas(16) unsigned char _lock[64];
};

/// An auto-reset event for applications. signal() releases exactly one waiting thread; when none waits
/// the signal is kept, once, until the next wait takes it: two signals with no wait between them release
/// a single wait. Safe to use from any thread; it must outlive every thread that uses it.
///
/// A copy is a new event of its own, not signalled whatever the source's state; assignment changes
/// nothing (each object keeps its own event and state). Throws std::bad_alloc when the system cannot
/// provide the event.
class KEL_API Waitable {
public:
    ///@{
    /// Not signalled.
    Waitable();
    ///@}
    ///@{
    /// Copy construction and assignment, as the class comment describes.
    Waitable(const Waitable& o);
    Waitable& operator=(const Waitable& o);
    ///@}
    virtual ~Waitable();

    /// Releases one waiting thread, or keeps the signal for the next wait. The flag has no effect.
    void signal(bool unused = false);
    /// Waits for a signal, at most the given number of milliseconds measured on a monotonic clock (setting
    /// the wall clock neither stretches nor cuts the wait), and takes it. True when signalled, false on
    /// time-out. 0 and 0xFFFFFFFF (or more) wait without limit and so always return true: code written
    /// when the argument had no effect passes 0. The shortest look is wait(1).
    bool wait(unsigned long milliseconds = 0xFFFFFFFFul);

private:
    /// The event lives here, inside the object, for the object's lifetime, as the mutex's lock does.
    alignas(16) unsigned char _event[128];
};

} // namespace Kel

#endif
