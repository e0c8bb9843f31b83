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

// A re-entrant lock: the holding thread may lock again and unlocks as often as it locked.
class KEL_API Mutex {
public:
    Mutex();
    Mutex(const Mutex& o);
    Mutex& operator=(const Mutex& o);
    virtual ~Mutex();

    void lock();
    void unlock();

private:
    void* _pLock;
};

// An auto-reset event: a signal releases one waiting thread, or is kept until the next wait.
class KEL_API Waitable {
public:
    Waitable();
    Waitable(const Waitable& o);
    Waitable& operator=(const Waitable& o);
    virtual ~Waitable();

    void signal(bool unused = false);
    bool wait(unsigned long milliseconds = 0xFFFFFFFFul);

private:
    void* _pEvent;
};

} // namespace Kel

#endif
