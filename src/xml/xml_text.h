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

// The length of the well-formed UTF-8 sequence of two to four bytes that begins at p, where n bytes are
// available; 0 when none begins there.
std::size_t utf8SequenceLength(const unsigned char* p, std::size_t n);

// How a text is encoded. Legacy is XMLUtil::XMLEncode: &, <, > and a 0xA0 that is not part of a UTF-8
// character. The writer's element text replaces the same characters; its attribute values also the
// double quote.
enum class Coding { Legacy, Text, Attribute };

// What the coding does with each byte value.
struct CodingClasses {
    enum : unsigned char {
        legacyEntity = 1,    // replaced by XMLEncode
        textEntity = 2,      // replaced in element text
        attributeEntity = 4, // replaced in attribute values
        multiByte = 8        // may begin or continue a UTF-8 character
    };
    CodingClasses();
    unsigned char of[256];
};
extern const CodingClasses codingClasses;

// The entity that stands for c under coding.
const char* replacementOf(unsigned char c, Coding coding, std::size_t& length);

// Writes the encoded form of the n characters at p through out.put(const char*, std::size_t). A byte
// that belongs to a well-formed UTF-8 character is written as it is, whatever its value.
template <class Out> void putEncoded(Out& out, const char* text, std::size_t n, Coding coding) {
    const unsigned char replaced = coding == Coding::Legacy ? CodingClasses::legacyEntity
                                   : coding == Coding::Text ? CodingClasses::textEntity
                                                            : CodingClasses::attributeEntity;
    const unsigned char wanted = replaced | CodingClasses::multiByte;
    const auto* p = reinterpret_cast<const unsigned char*>(text);
    std::size_t run = 0;
    std::size_t i = 0;
    while (i < n) {
        const unsigned char kind = codingClasses.of[p[i]] & wanted;
        if (kind == 0) {
            ++i;
            continue;
        }
        if (kind & CodingClasses::multiByte) {
            if (const std::size_t length = utf8SequenceLength(p + i, n - i)) {
                i += length;
                continue;
            }
            if (!(kind & replaced)) {
                ++i;
                continue;
            }
        }
        out.put(text + run, i - run);
        std::size_t length;
        const char* entity = replacementOf(p[i], coding, length);
        out.put(entity, length);
        run = ++i;
    }
    out.put(text + run, n - run);
}

// Collects putEncoded's output in a TextBuffer.
struct BufferOut {
    explicit BufferOut(TextBuffer& b) : buffer(b) {}
    void put(const char* p, std::size_t n) { buffer.append(p, n); }
    TextBuffer& buffer;
};

// How the parser reads a comment: when the tag at t (a terminated text starting with "<") is read as a
// comment, sets [valueBegin, valueEnd) to its value and nameEnd behind its name (which begins at t + 1)
// and returns true.
bool scanComment(const char* t, const char*& valueBegin, const char*& valueEnd, const char*& nameEnd);

} // namespace detail
} // namespace Kel

#endif
