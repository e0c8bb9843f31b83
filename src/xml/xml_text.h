#ifndef KEL_SRC_XML_XML_TEXT_H
#define KEL_SRC_XML_XML_TEXT_H

// Text handling shared by the XML parser, writer and entity coding: a growable scratch buffer, the
// character classes of the scanner, and the entity coding on raw character ranges.

#include <kel/xml.h>

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <new>
#include <string>
#include <vector>

namespace Kel {
namespace detail {

// Makes room for more bytes behind the size bytes held in data (from the allocator's realloc): doubles the
// capacity, starting from smallest, until they fit. Throws std::bad_alloc when memory runs out.
void growStorage(char*& data, std::size_t& capacity, std::size_t size, std::size_t more,
                 std::size_t smallest);

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
        if (_size == _capacity) {
            grow(1);
        }
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

// The white space of the scanner: space, TAB, line feed and carriage return; one table lookup a byte.
struct SpaceTable {
    constexpr SpaceTable() : of() {
        of[static_cast<unsigned char>(' ')] = of[static_cast<unsigned char>('\t')] = true;
        of[static_cast<unsigned char>('\n')] = of[static_cast<unsigned char>('\r')] = true;
    }
    bool of[256];
};
inline constexpr SpaceTable spaceTable{};

inline bool isXmlSpace(char c) {
    return spaceTable.of[static_cast<unsigned char>(c)];
}

// Sets s to the n characters at p (a non-null, possibly empty text).
void assignRange(String& s, const char* p, std::size_t n);

// The general entities that a document's DOCTYPE declares, and the state of their expansion. Each
// reference is expanded where it is used, within limits: no entity inside its own expansion, at most
// maxDepth expansions inside one another, and at most limit() characters charged for expansions in a
// document. Every expansion, at any depth, is charged the replacement text it reads, and at least the
// length of its reference: expansions never give more characters than they read, so the charge bounds both
// the text that expansions give and the work of reading them, even for entities that give nothing.
class EntityTable {
public:
    static constexpr int maxDepth = 16;

    // The expansions of a document of inputSize characters may be charged 10 times as much, at least 1 MiB.
    explicit EntityTable(std::size_t inputSize);
    EntityTable(const EntityTable&) = delete;
    EntityTable& operator=(const EntityTable&) = delete;

    // Declares an entity; the first declaration of a name counts, as in XML. An external one (SYSTEM or
    // PUBLIC) is known by name only: it is never read.
    void declare(const char* name, std::size_t nameLength, const char* value, std::size_t valueLength,
                 bool external);
    bool empty() const { return _entries.empty(); }
    std::size_t limit() const { return _limit; }
    // The length of the longest name declared.
    std::size_t longestName() const { return _longestName; }

    struct Entry {
        std::string name;
        std::string value;
        bool external;
        bool active; // being expanded
    };
    Entry* find(const char* name, std::size_t length);

    // Charges an expansion of referenceLength characters that reads replacementLength; false, with
    // nothing charged, past the limit.
    bool charge(std::size_t referenceLength, std::size_t replacementLength);

    int depth = 0;

private:
    std::vector<Entry> _entries;
    std::size_t _limit;
    std::size_t _charged = 0;
    std::size_t _longestName = 0;
};

// How references are read. XMLUtil::XMLDecode keeps the low 8 bits of a character reference; a document
// read as UTF-8 gives the UTF-8 bytes of the character instead ("&#160;" stays the byte 0xA0, the
// library's no-break space). Entities declared in the document come before the entity table.
struct DecodeOptions {
    bool utf8References = false;
    EntityTable* entities = nullptr;
};

// A reference that cannot be decoded: the reason of the XMLException and the "&" where it begins.
struct DecodeFailure {
    long reason;
    const char* at;
};

// Appends the decoded form of [p, end) to out. Throws DecodeFailure: 101 for an "&" without ";" in the
// 16 characters that begin with it (a reference to an entity that options.entities declares may be longer),
// 102 for an entity outside the table, 103 for a reference to a number that is no character.
void decodeRange(const char* p, const char* end, TextBuffer& out, const DecodeOptions& options);

// Appends the expansion of the entity [amp, semicolon] when the table declares it and returns true;
// false for a name the table does not know. Throws DecodeFailure: 104 for an external entity, 105 past a
// limit of the table, 106 for a replacement text that holds markup.
bool expandDeclared(EntityTable& table, const char* amp, const char* semicolon, TextBuffer& out,
                    const DecodeOptions& options);

// Sets s to the decoded form of [p, end), taking the text over directly when it holds no entity.
void assignDecoded(String& s, const char* p, const char* end, TextBuffer& scratch,
                   const DecodeOptions& options);

// Appends the UTF-8 bytes of the character c (below 0x110000).
void appendUtf8(TextBuffer& out, std::uint32_t c);

// Whether c may begin an XML name, and whether [p, p + n) is one. Bytes above 127 count as the letters of
// UTF-8 characters.
bool isXmlNameStart(unsigned char c);
bool isXmlName(const char* p, std::size_t n);

// The ">" that closes a DOCTYPE whose text begins at p, past an internal subset in brackets, quoted
// literals and comments; null when the text ends first.
const char* docTypeEnd(const char* p);

// The length of the well-formed UTF-8 sequence of two to four bytes that begins at p, where n bytes are
// available; 0 when none begins there.
std::size_t utf8SequenceLength(const unsigned char* p, std::size_t n);

// How a text is encoded. Legacy is XMLUtil::XMLEncode: &, <, > and a 0xA0 that is not part of a UTF-8
// character ("&nbsp;"). The writer's element text replaces the same characters, the 0xA0 by "&#160;",
// which every XML reader knows, and CR by "&#13;", which a reader would otherwise turn into a line
// feed; its attribute values also the double quote, TAB and line feed, which a reader would turn into
// blanks. The writer's codings throw XMLException(302) for a control character XML cannot hold.
enum class Coding { Legacy, Text, Attribute };

// The control characters XML cannot hold, not even as references: all below 0x20 but TAB, LF and CR.
inline bool isForbiddenInXml(unsigned char c) {
    return c < 0x20 && c != '\t' && c != '\n' && c != '\r';
}

// What each coding does with each byte value: 0 for a byte written as it is, otherwise flags.
struct CodingClasses {
    enum : unsigned char {
        replaced = 1,  // written as an entity or reference
        multiByte = 2, // may begin or continue a UTF-8 character
        forbidden = 4  // a control character XML cannot hold
    };
    CodingClasses();
    unsigned char of[3][256]; // indexed by Coding
};
extern const CodingClasses codingClasses;

// The entity that stands for c under coding.
const char* replacementOf(unsigned char c, Coding coding, std::size_t& length);

// Writes the encoded form of the n characters at p through out.put(const char*, std::size_t). A byte
// that belongs to a well-formed UTF-8 character is written as it is, whatever its value.
template <class Out> void putEncoded(Out& out, const char* text, std::size_t n, Coding coding) {
    const unsigned char* const kinds = codingClasses.of[static_cast<int>(coding)];
    const auto* p = reinterpret_cast<const unsigned char*>(text);
    std::size_t run = 0;
    std::size_t i = 0;
    while (i < n) {
        // The plain run up to the next byte the coding looks at.
        const unsigned char* q = p + i;
        const unsigned char* const end = p + n;
        // Four bytes a step: in most text the next such byte is far away.
        while (end - q >= 4 && (kinds[q[0]] | kinds[q[1]] | kinds[q[2]] | kinds[q[3]]) == 0) {
            q += 4;
        }
        while (q < end && kinds[*q] == 0) {
            ++q;
        }
        i = static_cast<std::size_t>(q - p);
        if (i == n) {
            break;
        }
        const unsigned char kind = kinds[p[i]];
        if (kind & CodingClasses::forbidden) {
            throw XMLException(302);
        }
        if (kind & CodingClasses::multiByte) {
            if (const std::size_t length = utf8SequenceLength(p + i, n - i)) {
                i += length;
                continue;
            }
            if (!(kind & CodingClasses::replaced)) {
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

// The longer texts of a parse, laid one after another in chunks aligned to their size. A chunk counts the
// texts that lie in it and goes back to the heap with the last one, whatever tree the text has moved to;
// the parse itself holds a large count on the chunk it fills, so that no text released meanwhile can bring
// the count to zero, and settles it when it moves on.
class TextChunks {
public:
    static constexpr std::size_t chunkSize = 32 * 1024;
    // Longer texts take a heap block of their own.
    static constexpr std::size_t largest = 2048;

    TextChunks() = default;
    TextChunks(const TextChunks&) = delete;
    TextChunks& operator=(const TextChunks&) = delete;
    ~TextChunks() { settle(); }

    // Room for n bytes (n <= largest); the caller's text counts from now on.
    char* place(std::size_t n) {
        if (static_cast<std::size_t>(_pEnd - _pNext) < n) {
            next();
        }
        char* p = _pNext;
        _pNext += n;
        ++_ulPlaced;
        return p;
    }

    // Releases a text that place() gave.
    static void release(char* text) noexcept;

private:
    struct Head {
        std::atomic<std::int64_t> texts;
    };
    static constexpr std::int64_t held = std::int64_t(1) << 40;

    void next();
    void settle() noexcept;

    char* _pChunk = nullptr;
    char* _pNext = nullptr;
    char* _pEnd = nullptr;
    std::int64_t _ulPlaced = 0;
};

} // namespace detail

// ---- XMLAttr::SharedName
// ------------------------------------------------------------------------------------

// Counted with atomics: trees are used by one thread at a time, but a subtree moved from one tree into
// another shares names with both.
struct XMLAttr::SharedName {
    explicit SharedName(const String& s) : references(1), text(s) { keepView(); }
    SharedName(const char* p, std::size_t n) : references(1) {
        detail::assignRange(text, p, n);
        keepView();
    }
    // The characters and length of the text, for the writer (the text never changes).
    void keepView() {
        const char* p = text;
        chars = p ? p : "";
        length = text.length();
    }

    SharedName* acquire() noexcept {
        references.fetch_add(1, std::memory_order_relaxed);
        return this;
    }
    // Gives back count references (none when count is 0); the last one deletes the name.
    static void release(SharedName* shared, std::uint32_t count = 1) noexcept {
        if (shared && count && shared->references.fetch_sub(count, std::memory_order_acq_rel) == count) {
            delete shared;
        }
    }

    std::atomic<std::uint32_t> references;
    String text;
    const char* chars = "";
    std::size_t length = 0;
};

inline void XMLAttr::adoptName(SharedName* shared) noexcept {
    SharedName::release(_pName);
    _pName = shared;
}

// ---- XMLNode::Field ---------------------------------------------------------------------------------------

inline char* XMLNode::Field::pointer() const {
    char* p;
    std::memcpy(&p, _aBytes, sizeof p);
    return p;
}

inline std::uint32_t XMLNode::Field::heapLength() const {
    std::uint32_t n;
    std::memcpy(&n, _aBytes + 8, sizeof n);
    return n;
}

inline void XMLNode::Field::setPointer(void* p, std::uint32_t length, unsigned char t) noexcept {
    std::memcpy(_aBytes, &p, sizeof p);
    std::memcpy(_aBytes + 8, &length, sizeof length);
    _aBytes[15] = static_cast<char>(t);
}

inline void XMLNode::Field::release() noexcept {
    const unsigned char t = tag();
    if (t == heapTag) {
        std::free(pointer());
    } else if (t == sharedTag) {
        detail::TextChunks::release(pointer());
    } else if (t == boxTag) {
        delete reinterpret_cast<String*>(pointer());
    }
}

inline void XMLNode::Field::clear() noexcept {
    release();
    _aBytes[15] = static_cast<char>(nullTag);
}

inline void XMLNode::Field::assign(const char* p, std::size_t n) {
    if (n < 16 && tag() == nullTag) {
        // A field being filled for the first time, as the parser fills them: nothing to keep or release.
        // Two overlapping moves of fixed size, which read and write only the n bytes.
        if (n >= 8) {
            std::memcpy(_aBytes, p, 8);
            std::memcpy(_aBytes + n - 8, p + n - 8, 8);
        } else if (n >= 4) {
            std::memcpy(_aBytes, p, 4);
            std::memcpy(_aBytes + n - 4, p + n - 4, 4);
        } else {
            for (std::size_t i = 0; i < n; ++i) {
                _aBytes[i] = p[i];
            }
        }
        _aBytes[15] = static_cast<char>(n);
        return;
    }
    if (n < 16) {
        // Copied first: p may point into this field.
        char held[15];
        if (n) {
            std::memcpy(held, p, n);
        }
        release();
        if (n) {
            std::memcpy(_aBytes, held, n);
        }
        _aBytes[15] = static_cast<char>(n);
        return;
    }
    if (n > 0xFFFFFFFEu) {
        throw XMLException(301);
    }
    void* text = std::malloc(n);
    if (!text) {
        throw std::bad_alloc();
    }
    std::memcpy(text, p, n);
    release();
    setPointer(text, static_cast<std::uint32_t>(n), heapTag);
}

template <class Chunks> void XMLNode::Field::assign(Chunks& chunks, const char* p, std::size_t n) {
    if (n < 16 || n > Chunks::largest) {
        assign(p, n);
        return;
    }
    char* text = chunks.place(n);
    std::memcpy(text, p, n);
    if (tag() != nullTag) {
        release();
    }
    setPointer(text, static_cast<std::uint32_t>(n), sharedTag);
}

inline bool XMLNode::Field::isNull() const {
    const unsigned char t = tag();
    return t == nullTag || (t == boxTag && reinterpret_cast<const String*>(pointer())->isNull());
}

inline const char* XMLNode::Field::data() const {
    const unsigned char t = tag();
    if (t < 16) {
        return _aBytes;
    }
    if (t == heapTag || t == sharedTag) {
        return pointer();
    }
    if (t == boxTag) {
        const char* text = *reinterpret_cast<const String*>(pointer());
        return text ? text : "";
    }
    return "";
}

inline std::size_t XMLNode::Field::size() const {
    const unsigned char t = tag();
    if (t < 16) {
        return t;
    }
    if (t == heapTag || t == sharedTag) {
        return heapLength();
    }
    if (t == boxTag) {
        return reinterpret_cast<const String*>(pointer())->length();
    }
    return 0;
}

inline bool XMLNode::Field::equals(const char* p, std::size_t n) const {
    return !isNull() && size() == n && (n == 0 || std::memcmp(data(), p, n) == 0);
}

inline bool XMLNode::Field::equals(const String& s) const {
    if (tag() == boxTag) {
        return *reinterpret_cast<const String*>(pointer()) == s;
    }
    if (s.isNull()) {
        return isNull();
    }
    const char* text = s;
    return equals(text ? text : "", s.length());
}

} // namespace Kel

#endif
