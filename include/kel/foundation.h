#ifndef KEL_FOUNDATION_H
#define KEL_FOUNDATION_H

// The root of the library: the dump protocol every value class follows, the exception family through
// which every failure is reported, and the functions that identify the library.

#include <kel/export.h>

#include <cstdint>
#include <exception>
#include <iosfwd>
#include <map>
#include <memory>

namespace Kel {

class KELBase;
class Socket;
class String;

/// An entry of the process-wide dump registry: a non-owning pointer to the object it dumps.
class KEL_API KELDump {
public:
    /// An entry without an object. Asking it to dump does nothing.
    KELDump();
    ///@{
    /// An entry for p; the entry does not own p.
    KELDump(KELBase* p);
    ///@}
    ///@{
    /// Copy construction and assignment, as the class comment describes.
    KELDump(const KELDump& o);
    const KELDump& operator=(const KELDump& o);
    ///@}
    virtual ~KELDump();

    /// Writes the object's picture to os (nothing for an entry without an object).
    void dump(std::ostream& os);
    /// Appends the object's picture to the socket's output buffer; nothing is sent.
    void dump(Socket& s);

private:
    KELBase* _pObject;
};

/// The abstract root of every value and resource class. Each class writes a picture of itself, its dump:
/// a header line "@ class Kel::<Name>" followed by the class's own value lines, to a stream or into a
/// socket's output buffer.
class KEL_API KELBase {
    friend class KELDump;

public:
    ///@{
    /// The copy, and the target of an assignment, take the source's exclusion mark.
    KELBase(const KELBase& o);
    KELBase& operator=(const KELBase& o);
    ///@}

    /// Marks this object as never to be listed by the dump registry. The mark is never cleared.
    void excludeFromDump();

    /// Records that the library was initialised; it has no further effect.
    static void initialize();
    /// Writes the leak-tracking notice to os. This library keeps no registry of live objects.
    static void dumpAll(std::ostream& os);
    /// Appends the same notice to the socket's output buffer and flushes the socket.
    static void dumpAll(Socket& s);

protected:
    KELBase();
    virtual ~KELBase();

    ///@{
    /// Writes this object's picture: the header line "@ class Kel::<Name>", then the class's own lines.
    /// The socket form only appends to the output buffer; nothing is sent.
    virtual void dump(Socket& s) = 0;
    virtual void dump(std::ostream& os) = 0;
    ///@}

private:
    bool _bExcluded;

    static std::map<KELBase*, KELDump> _dumpS;
    static bool _bInitialised;
};

/// The base of every exception the library throws, always by value. It carries a name of at most 63
/// characters, a reason code whose meaning the throwing area fixes, and an optional detail: what the
/// library knew where it failed (a driver's message, a path, a position). It is also a std::exception, so
/// one `catch (const std::exception&)` handles every failure. Copies hold the same name, reason and detail;
/// constructing and copying never allocate (the detail is cut to fit a fixed buffer).
class KEL_API Exception : public std::exception {
public:
    ///@{
    /// The copy holds the same name, reason and detail.
    Exception(const Exception& o);
    Exception& operator=(const Exception& o);
    ///@}
    ~Exception() override;

    ///@{
    /// The name, a pointer into this object.
    const char* name() const;
    long reason() const;
    ///@}

    /// One line: the name, the reason and, where the library knows it, the reason's meaning, then ": "
    /// and the detail when there is one ("StringException 3: index out of range",
    /// "SocketException 10061: ECONNREFUSED", "DatabaseException -1: database operation failed: <driver's
    /// message>"). A pointer into this object.
    const char* what() const noexcept override;
    /// The detail given at construction, "" when none. A pointer into this object.
    const char* detail() const noexcept;

protected:
    /// Throws a plain Exception named "Exception Name Length Exceeded" with reason 0 instead when name has
    /// 64 characters or more. A null name counts as empty.
    Exception(const char* name, long reason);
    /// The same with a detail; a null detail counts as none. A detail longer than the buffer keeps its
    /// beginning and ends in "...".
    Exception(const char* name, long reason, const char* detail);

private:
    friend void throwException(const char* name, long reason);

    void composeWhat(const char* detail);

    char _szName[64];
    std::int32_t _lReason;
    // The what() line; the detail starts at _uDetail inside it.
    char _szWhat[320];
    std::uint16_t _uDetail;
};

/// Adding an element that is already held (1), adding a collection to itself directly or through nested
/// collections (2), stepping from or removing an element the collection does not hold (3), adding a null
/// element (4).
class KEL_API CollectionException : public Exception {
public:
    /// An exception named "CollectionException" with the given reason.
    explicit CollectionException(long reason);
    /// The same with a detail (see Exception::detail()).
    CollectionException(long reason, const char* detail);
    ///@{
    /// The copy holds the same name and reason.
    CollectionException(const CollectionException& o);
    CollectionException& operator=(const CollectionException& o);
    ///@}
    ~CollectionException() override;
};

/// Invalid dates, times and timestamps, and values that do not match their format (reasons 1 to 5).
class KEL_API DateTimeException : public Exception {
public:
    /// An exception named "DateTimeException" with the given reason.
    explicit DateTimeException(long reason);
    /// The same with a detail (see Exception::detail()).
    DateTimeException(long reason, const char* detail);
    ///@{
    /// The copy holds the same name and reason.
    DateTimeException(const DateTimeException& o);
    DateTimeException& operator=(const DateTimeException& o);
    ///@}
    ~DateTimeException() override;
};

/// A DB handle whose manager has no connection to give (1).
class KEL_API DBPoolException : public Exception {
public:
    /// An exception named "DBPoolException" with the given reason.
    explicit DBPoolException(long reason);
    /// The same with a detail (see Exception::detail()).
    DBPoolException(long reason, const char* detail);
    ///@{
    /// The copy holds the same name and reason.
    DBPoolException(const DBPoolException& o);
    DBPoolException& operator=(const DBPoolException& o);
    ///@}
    ~DBPoolException() override;
};

/// A failed socket call: the reason is the Windows Sockets error code, the same on every platform
/// (see Socket::resolveSocketError); -19 for bind on a socket outside the Internet domain, -1 for recv on
/// a closed socket.
class KEL_API SocketException : public Exception {
public:
    /// An exception named "SocketException" with the given reason.
    explicit SocketException(long reason);
    /// The same with a detail (see Exception::detail()).
    SocketException(long reason, const char* detail);
    ///@{
    /// The copy holds the same name and reason.
    SocketException(const SocketException& o);
    SocketException& operator=(const SocketException& o);
    ///@}
    ~SocketException() override;
};

/// A text longer than a fixed length (1), storage not obtained (2), an index past the end (3), a mask of
/// the wrong length (4), an unknown escape (5), an unknown variable (17); further reasons are documented
/// with the operation that raises them.
class KEL_API StringException : public Exception {
public:
    /// An exception named "StringException" with the given reason.
    explicit StringException(long reason);
    /// The same with a detail (see Exception::detail()).
    StringException(long reason, const char* detail);
    ///@{
    /// The copy holds the same name and reason.
    StringException(const StringException& o);
    StringException& operator=(const StringException& o);
    ///@}
    ~StringException() override;
};

/// Entity decoding (101, 102; 103 to 106 for character references and declared entities), node parsing
/// (203, 205), writing (301 a text too long for a String, 302 a text and 303 a name that XML cannot hold)
/// and document reading (401, 403, 404).
class KEL_API XMLException : public Exception {
public:
    /// An exception named "XMLException" with the given reason.
    explicit XMLException(long reason);
    /// The same with a detail (see Exception::detail()).
    XMLException(long reason, const char* detail);
    /// A failure of the reader at a place in its text: the line and the column (both from 1; a column
    /// counts bytes, so a multi-byte character takes several) and the byte offset (from 0). The detail
    /// says the same: "line 3, column 7, offset 41".
    XMLException(long reason, long line, long column, long offset);
    ///@{
    /// The copy holds the same name, reason, detail and place.
    XMLException(const XMLException& o);
    XMLException& operator=(const XMLException& o);
    ///@}
    ~XMLException() override;

    ///@{
    /// Where the reader failed; 0 for each when the exception does not come from reading a text.
    long line() const;
    long column() const;
    long offset() const;
    ///@}

private:
    long _lLine = 0;
    long _lColumn = 0;
    long _lOffset = 0;
};

/// A failed database operation: reason -1 and the driver's diagnostic text.
class KEL_API DatabaseException : public Exception {
public:
    /// A copy of message; a null pointer gives a null message. The message is also the detail of what().
    explicit DatabaseException(const char* message);
    ///@{
    /// The copy holds the same reason and message.
    DatabaseException(const DatabaseException& o);
    DatabaseException& operator=(const DatabaseException& o);
    ///@}
    ~DatabaseException() override;

    /// The driver's diagnostic text given at construction (complete, where what() may cut it).
    const String& message() const;

private:
    // Shared by the copies and never changed, as a caught exception is copied more often than made.
    std::shared_ptr<const String> _message;
};

/// A two-line notice, each line ended by "\n". The same pointer on every call.
KEL_API const char* copyright();
/// "Corvane Foundation Classes". The same pointer on every call.
KEL_API const char* product();
/// "3, 0, 0, 0". The same pointer on every call.
KEL_API const char* version();

} // namespace Kel

// String is part of the foundation that every header builds on: including this header gives it too. It
// follows the classes above, which its own header needs.
#include <kel/string.h>

#endif
