#ifndef KEL_NET_H
#define KEL_NET_H

// A blocking stream socket that is also a text sink, and two synchronisation classes for applications.

#include <kel/foundation.h>
#include <kel/string.h>

#include <cstdint>

namespace Kel {

// ---- Socket -------------------------------------------------------------------------------------

// A thin blocking stream socket. Values streamed in with << collect in an output buffer that the flush
// action sends. Copies share the handle (the connection stays open until some copy calls close()); each
// copy has its own output buffer. The application starts Windows Sockets itself before creating a socket.
// Not synchronised: one thread uses a socket at a time.
class KEL_API Socket : public KELBase {
public:
    enum Domain { internet = 0, local = 1 };
    enum Action { flush = 0 };

    // A new TCP socket (internet) or Unix-domain stream socket (local). Throws SocketException with the
    // platform's error code when none can be created; a domain other than these two gives reason 10047
    // (EAFNOSUPPORT).
    Socket(Domain domain = internet);
    // Shares o's handle and domain; the output buffer starts empty.
    Socket(const Socket& o);
    // Takes o's handle, domain and pending text; a socket assigned to itself is unchanged.
    const Socket& operator=(const Socket& o);
    // Releases the output buffer only; the connection stays open for the copies.
    ~Socket() override;

    // Shuts the connection down both ways and closes the handle; a closed socket is left as it is.
    void close();
    // One send of the text; returns the byte count or 0xFFFFFFFF (SOCKET_ERROR). Never throws.
    unsigned long send(const String& text);

    // Each appends the value as text to the output buffer; nothing is sent.
    Socket& operator<<(short v);
    Socket& operator<<(unsigned short v);
    Socket& operator<<(int v);
    Socket& operator<<(unsigned int v);
    Socket& operator<<(long v);
    Socket& operator<<(unsigned long v);
    Socket& operator<<(const char* s);
    Socket& operator<<(const String& s);
    // flush sends the whole output buffer and empties it; other values do nothing.
    Socket& operator<<(Action a);

    bool bind(short port);
    bool bind(const String& path);
    bool listen();
    Socket accept();
    bool connect(const String& host, short port);
    bool connect(const String& path);
    unsigned long recv(String& out, unsigned long timeout);
    static const char* resolveSocketError(unsigned long code);

protected:
    // The header "@ class Kel::Socket" only.
    void dump(Socket& s) override;
    void dump(std::ostream& os) override;

private:
    Socket(int handle, Domain domain);

    std::int32_t _iHandle;
    Domain _domain;
    String _sOutput;
};

// ---- Mutex and Waitable -----------------------------------------------------------------------------

// A re-entrant lock for applications: the holding thread may lock again and is done when it has unlocked
// as often as it locked. Safe to use from any thread; it must outlive every thread that uses it and be
// free when it is destroyed.
//
// A copy is a new, free mutex of its own; assignment changes nothing (each object keeps its own lock).
class KEL_API Mutex {
public:
    // Free.
    Mutex();
    Mutex(const Mutex& o);
    Mutex& operator=(const Mutex& o);
    virtual ~Mutex();

    // Blocks while another thread holds the mutex; returns at once for the holding thread.
    void lock();
    // Gives up one level of holding. Only the holding thread unlocks.
    void unlock();

private:
    // The lock lives here, inside the object, for the object's lifetime.
    alignas(16) unsigned char _lock[64];
};

// An auto-reset event for applications. signal() releases exactly one waiting thread; when none waits
// the signal is kept, once, until the next wait takes it: two signals with no wait between them release
// a single wait. Safe to use from any thread; it must outlive every thread that uses it.
//
// A copy is a new event of its own, not signalled whatever the source's state; assignment changes
// nothing (each object keeps its own event and state). Throws std::bad_alloc when the system cannot
// provide the event.
class KEL_API Waitable {
public:
    // Not signalled.
    Waitable();
    Waitable(const Waitable& o);
    Waitable& operator=(const Waitable& o);
    virtual ~Waitable();

    // Releases one waiting thread, or keeps the signal for the next wait. The flag has no effect.
    void signal(bool unused = false);
    // Waits for a signal, at most the given number of milliseconds measured on a monotonic clock (setting
    // the wall clock neither stretches nor cuts the wait), and takes it. True when signalled, false on
    // time-out. 0xFFFFFFFF (or more) waits without limit and so always returns true; 0 only looks.
    bool wait(unsigned long milliseconds = 0xFFFFFFFFul);

private:
    void* _pEvent;
};

} // namespace Kel

#endif
