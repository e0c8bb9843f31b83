#ifndef KEL_SRC_FOUNDATION_DUMP_H
#define KEL_SRC_FOUNDATION_DUMP_H

// Helpers shared by every class's dump: the header line and value lines on both sinks. On a stream
// each line ends with std::endl; on a socket with "\n" and nothing is sent.

#include <iosfwd>

namespace Kel {
class Socket;

namespace detail {

// "@ class <qualifiedName>" and a line end, for example dumpHeader(os, "Kel::String").
void dumpHeader(std::ostream& os, const char* qualifiedName);
void dumpHeader(Socket& s, const char* qualifiedName);

// One value line; a null text is written "(null)".
void dumpLine(std::ostream& os, const char* text);
void dumpLine(Socket& s, const char* text);

// The text of a dump value: text itself, or "(null)" for a null pointer.
const char* orNull(const char* text);

} // namespace detail
} // namespace Kel

#endif
