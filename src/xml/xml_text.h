#ifndef KEL_SRC_XML_XML_TEXT_H
#define KEL_SRC_XML_XML_TEXT_H

// Text handling shared by the XML parser, writer and entity coding: a growable scratch buffer, the
// character classes of the scanner, and the entity coding on raw character ranges.

#include <kel/xml.h>

#include <cstddef>
#include <cstdint>

namespace Kel {
namespace detail {

// A growable run of characters, not terminated, reused between pieces of a parse to avoid allocations.
class TextBuffer {
public:
    TextBuffer();
    ~TextBuffer();
    TextBuffer(const TextBuffer&) = delete;
    TextBuffer& operator=(const TextBuffer&) = delete;

    void clear() { _size = 0; }
    void append(const char* p, std::size_t n);
    void append(char c) {
        if (_size == _capacity)
            grow(1);
        _data[_size++] = c;
    }
    const char* data() const { return _data ? _data : ""; }
    std::size_t size() const { return _size; }

private:
    void grow(std::size_t more);

    char* _data;
    std::size_t _size;
    std::size_t _capacity;
};

// The white space of the scanner: space, TAB, line feed and carriage return.
inline bool isXmlSpace(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\r';
}

// Sets s to the n characters at p (a non-null, possibly empty text).
void assignRange(String& s, const char* p, std::size_t n);

// Appends the decoded form of [p, end) to out. Throws XMLException(101) for an "&" without ";" in the 16
// characters that begin with it, XMLException(102) for an entity outside the table.
void decodeRange(const char* p, const char* end, TextBuffer& out);

// Sets s to the decoded form of [p, end), taking the text over directly when it holds no entity.
void assignDecoded(String& s, const char* p, const char* end, TextBuffer& scratch);

// How a text is encoded: element text replaces &, <, > and 0xA0; attribute values also the double quote.
enum class Coding { Text, Attribute };

// The length of the encoded form of the n characters at p.
std::uint64_t encodedLength(const char* p, std::size_t n, Coding coding);
// Writes the encoded form of the n characters at p to out and returns the position behind it.
char* encodeTo(char* out, const char* p, std::size_t n, Coding coding);

// How the parser reads a comment: when the tag at t (a terminated text starting with "<") is read as a
// comment, sets [valueBegin, valueEnd) to its value and nameEnd behind its name (which begins at t + 1)
// and returns true.
bool scanComment(const char* t, const char*& valueBegin, const char*& valueEnd, const char*& nameEnd);

} // namespace detail
} // namespace Kel

#endif
