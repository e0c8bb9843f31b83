// The writer walks the tree once, collecting the text in a growing buffer, which it then hands to a String,
// cut to the text's size. The walk is a loop over the tree's links, so the time is linear in the size of
// the text and the depth of the tree costs no stack.

#include "string/string_internal.h"
#include "xml/xml_text.h"

#include <kel/xml.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>
#include <string>
#include <vector>

namespace Kel {

namespace {

using detail::Coding;

// A String holds at most this many characters.
constexpr std::uint64_t largestText = 0xFFFFFFFEull;

// Collects the text in a buffer that grows by doubling, checking on the way what XML cannot hold; the
// text is copied into its String once complete, so that nothing is written when a check fails.
class Collect {
public:
    static constexpr bool checks = true;
    Collect() = default;
    Collect(const Collect&) = delete;
    Collect& operator=(const Collect&) = delete;
    ~Collect() { std::free(_data); }

    void put(const char* p, std::size_t n) {
        if (_capacity - _size < n) {
            grow(n);
        }
        if (n) {
            std::memcpy(_data + _size, p, n);
        }
        _size += n;
    }
    void put(char c) {
        if (_capacity == _size) {
            grow(1);
        }
        _data[_size++] = c;
    }
    void tabs(std::uint64_t n) {
        if (n == 0) {
            return; // before the first byte there is no storage to write to
        }
        if (n > largestText) {
            throw XMLException(301);
        }
        if (_capacity - _size < n) {
            grow(static_cast<std::size_t>(n));
        }
        std::memset(_data + _size, '\t', static_cast<std::size_t>(n));
        _size += static_cast<std::size_t>(n);
    }
    void encoded(const char* p, std::size_t n, Coding coding) { detail::putEncoded(*this, p, n, coding); }
    const char* data() const { return _data; }
    std::size_t size() const { return _size; }
    // Takes back what was written after the first size bytes.
    void truncate(std::size_t size) { _size = size; }
    // Hands over the text written, with a NUL behind it, in storage of exactly that size, which the
    // caller frees with std::free. Nothing is left written.
    char* releaseText() {
        char* text = static_cast<char*>(std::realloc(_data, _size + 1));
        if (!text) {
            throw std::bad_alloc();
        }
        text[_size] = '\0';
        _data = nullptr;
        _size = _capacity = 0;
        return text;
    }

private:
    void grow(std::size_t more) {
        if (more > largestText - _size) {
            throw XMLException(301);
        }
        detail::growStorage(_data, _capacity, _size, more, 4096);
    }

    char* _data = nullptr;
    std::size_t _size = 0;
    std::size_t _capacity = 0;
};

// The characters of a String: none for a null one.
struct Text {
    // A null String has no characters: p is then an empty text, never a null pointer.
    explicit Text(const String& s) : p(orEmpty(s)), n(s.length()) {}
    Text(const char* text, std::size_t length) : p(text), n(length) {}
    static const char* orEmpty(const char* s) { return s ? s : ""; }
    const char* p;
    std::size_t n;
};

bool isNameStart(unsigned char c) {
    return detail::isXmlNameStart(c);
}

bool isName(const char* p, std::size_t n) {
    return detail::isXmlName(p, n);
}

void requireName(const Text& name) {
    if (!isName(name.p, name.n)) {
        throw XMLException(303);
    }
}

// Characters XML cannot hold in any form: the control characters other than TAB, line feed and CR.
bool holdsForbidden(const char* p, std::size_t n) {
    for (std::size_t i = 0; i < n; ++i) {
        if (detail::isForbiddenInXml(static_cast<unsigned char>(p[i]))) {
            return true;
        }
    }
    return false;
}

bool contains(const Text& t, const char* what) {
    const std::size_t n = std::strlen(what);
    for (std::size_t i = 0; i + n <= t.n; ++i) {
        if (std::memcmp(t.p + i, what, n) == 0) {
            return true;
        }
    }
    return false;
}

template <class Out> void putQualifiedName(Out& out, const Text& nameSpace, const Text& name) {
    if (nameSpace.n) {
        out.put(nameSpace.p, nameSpace.n);
        out.put(':');
    }
    out.put(name.p, name.n);
}

// A name as the tag shows it; throws XMLException(303) when XML would not read it as a name.
template <class Out> void putTagName(Out& out, const Text& nameSpace, const Text& name) {
    if (Out::checks) {
        if (nameSpace.n) {
            requireName(nameSpace);
        }
        requireName(name);
    }
    putQualifiedName(out, nameSpace, name);
}

template <class Out> void putAttribute(Out& out, const Text& n, const String& value) {
    const Text v(value);
    out.put(n.p, n.n);
    out.put("=\"", 2);
    out.encoded(v.p, v.n, Coding::Attribute);
    out.put('"');
}

// Element text. Text made only of white space would read back as no text at all (the parser looks for
// the first character that is not white space), so its first character goes as a character reference.
template <class Out> void putElementText(Out& out, const Text& value) {
    std::size_t i = 0;
    while (i < value.n && detail::isXmlSpace(value.p[i])) {
        ++i;
    }
    if (i == value.n) {
        char reference[8];
        const int c = static_cast<unsigned char>(value.p[0]);
        const std::size_t length =
            static_cast<std::size_t>(std::snprintf(reference, sizeof reference, "&#%d;", c));
        out.put(reference, length);
        out.encoded(value.p + 1, value.n - 1, Coding::Text);
        return;
    }
    out.encoded(value.p, value.n, Coding::Text);
}

// A comment: the value is the whole comment as the parser keeps it ("<!-- x -->"), or only its text,
// which the writer encloses. XML cannot hold "--" inside a comment, nor a "-" at its end.
template <class Out> void putComment(Out& out, const Text& value) {
    Text body = value;
    if (value.n >= 7 && std::memcmp(value.p, "<!--", 4) == 0 &&
        std::memcmp(value.p + value.n - 3, "-->", 3) == 0) {
        body.p += 4;
        body.n -= 7;
    }
    if (contains(body, "--") || (body.n && body.p[body.n - 1] == '-') || holdsForbidden(body.p, body.n)) {
        throw XMLException(302);
    }
    out.put("<!--", 4);
    out.put(body.p, body.n);
    out.put("-->", 3);
}

// Whether a DOCTYPE text reads back as it is: it starts with a name, holds no character XML cannot
// hold, and its closing ">" is the one written behind it (no open bracket, literal or comment).
bool isWholeDocType(const Text& type) {
    if (!type.n || !isNameStart(static_cast<unsigned char>(type.p[0])) || holdsForbidden(type.p, type.n)) {
        return false;
    }
    const std::string closed = std::string(type.p, type.n) + ">";
    return detail::docTypeEnd(closed.c_str()) == closed.c_str() + type.n;
}

} // namespace

class XMLWriter {
public:
    // The node's subtree, as XMLNode::stream describes. Inside an element with mixed content nothing is
    // indented and no line is ended: the characters between its children are its text. Whether content
    // is mixed shows only at its first text child; looking ahead through every element's children would
    // read each child twice, far apart on a large document. So children are written as if the content
    // were not mixed, and when a text child turns up, what was written behind its parent's start tag is
    // taken back and the parent's children are written again, in line.
    template <class Out> static void node(Out& out, const XMLNode* top, bool indent) {
        constexpr std::uint64_t none = ~std::uint64_t(0);
        std::uint64_t depth = static_cast<std::uint64_t>(top->level());
        std::uint64_t mixedDepth = none; // the depth of the outermost mixed element being written
        // Where the content of each open element written with line ends starts, innermost last.
        std::vector<std::size_t> contentStarts;
        const XMLNode* n = top;
        for (;;) {
            if (mixedDepth == none && n != top && n->_type == XMLNode::Text) {
                out.truncate(contentStarts.back());
                mixedDepth = depth - 1;
                n = n->_pParent->_pFirstChild;
            }
            const bool inLine = mixedDepth != none;
            if (!inLine && (n != top || indent)) {
                out.tabs(depth);
            }
            if (open(out, n)) {
                if (!inLine) {
                    contentStarts.push_back(out.size());
                    out.put('\n');
                }
                n = n->_pFirstChild;
                ++depth;
                continue;
            }
            if (!inLine) {
                out.put('\n');
            }
            for (;;) {
                if (n == top) {
                    return;
                }
                if (n->_pNext) {
                    n = n->_pNext;
                    break;
                }
                n = n->_pParent;
                --depth;
                if (mixedDepth == none) {
                    out.tabs(depth);
                }
                close(out, n);
                if (mixedDepth == none || mixedDepth == depth) {
                    contentStarts.pop_back();
                }
                if (mixedDepth == depth) {
                    mixedDepth = none;
                }
                if (mixedDepth == none) {
                    out.put('\n');
                }
            }
        }
    }

    template <class Out> static void attribute(Out& out, const XMLAttr* a) {
        putAttribute(out, attributeName(a), a->_value);
    }

    // The declaration when the version or the encoding is set (version "1.0" when only the encoding is),
    // the DOCTYPE, then the root.
    template <class Out> static void document(Out& out, const XMLDoc* doc) {
        const Text version(doc->_version), encoding(doc->_encoding);
        const bool declared = version.n || encoding.n;
        if (declared) {
            out.put("<?xml version=\"", 15);
            if (version.n) {
                requireVersion(version);
                out.put(version.p, version.n);
            } else {
                out.put("1.0", 3);
            }
            out.put('"');
            if (encoding.n) {
                requireEncoding(encoding);
                out.put(" encoding=\"", 11);
                out.put(encoding.p, encoding.n);
                out.put('"');
            }
            out.put("?>", 2);
        }
        if (!doc->_docType.isNull()) {
            const Text type(doc->_docType);
            if (Out::checks && !isWholeDocType(type)) {
                throw XMLException(302);
            }
            out.put("<!DOCTYPE ", 10);
            out.put(type.p, type.n);
            out.put('>');
        }
        if (declared || !doc->_docType.isNull()) {
            out.put('\n');
        }
        topLevel(out, doc->_pProlog);
        if (doc->_pRoot && standsForComment(doc->_pRoot)) {
            throw XMLException(303); // a document needs a root element
        }
        if (doc->_pRoot) {
            node(out, doc->_pRoot, true);
        }
        topLevel(out, doc->_pEpilog);
    }

private:
    static Text field(const XMLNode::Field& f) { return Text(f.data(), f.size()); }
    static Text attributeName(const XMLAttr* a) {
        return a->_pName ? Text(a->_pName->chars, a->_pName->length) : Text("", 0);
    }

    // Whether n is an element that stands for a comment: named like a comment's tag, without namespace,
    // attributes or children. Any other node so named keeps its own form (and is refused, as XML cannot
    // hold the name), so that nothing it holds is lost.
    static bool standsForComment(const XMLNode* n) {
        if (n->_type != XMLNode::Element || n->_pFirstChild || n->_pFirstAttr || n->_nameSpace.size()) {
            return false;
        }
        const Text name = field(n->_name);
        return name.n >= 3 && std::memcmp(name.p, "!--", 3) == 0;
    }

    // The nodes a holder keeps outside the root, each on a line of its own. Only comments and instructions
    // may stand there: an element or a declaration would be a second tag beside the root (303), text no
    // XML at all (302). White space is left out: the reader keeps none there, and each node written
    // has a line of its own anyway.
    template <class Out> static void topLevel(Out& out, const XMLNode* holder) {
        for (const XMLNode* n = holder ? holder->_pFirstChild : nullptr; n; n = n->_pNext) {
            if (n->_type == XMLNode::Text) {
                if (!isBlank(field(n->_value))) {
                    throw XMLException(302);
                }
                continue;
            }
            if (n->_type != XMLNode::Comment && n->_type != XMLNode::Instruction && !standsForComment(n)) {
                throw XMLException(303);
            }
            node(out, n, false);
        }
    }

    static bool isBlank(const Text& t) {
        for (std::size_t i = 0; i < t.n; ++i) {
            if (!detail::isXmlSpace(t.p[i])) {
                return false;
            }
        }
        return true;
    }

    // "1." and digits.
    static void requireVersion(const Text& v) {
        bool ok = v.n > 2 && v.p[0] == '1' && v.p[1] == '.';
        for (std::size_t i = 2; ok && i < v.n; ++i) {
            ok = v.p[i] >= '0' && v.p[i] <= '9';
        }
        if (!ok) {
            throw XMLException(302);
        }
    }

    // A letter, then letters, digits, ".", "_" and "-".
    static void requireEncoding(const Text& e) {
        bool ok = (e.p[0] >= 'a' && e.p[0] <= 'z') || (e.p[0] >= 'A' && e.p[0] <= 'Z');
        for (std::size_t i = 1; ok && i < e.n; ++i) {
            const char c = e.p[i];
            ok = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '.' ||
                 c == '_' || c == '-';
        }
        if (!ok) {
            throw XMLException(302);
        }
    }

    // Writes the node's start tag, or the whole node when it has no children, without the line end.
    // Returns true when its children follow.
    template <class Out> static bool open(Out& out, const XMLNode* n) {
        // Each String is read only where it is written: an element with children has no text to write.
        switch (n->_type) {
        case XMLNode::Comment:
            putComment(out, field(n->_value));
            return false;
        case XMLNode::Text: {
            const Text value = field(n->_value);
            out.encoded(value.p, value.n, Coding::Text);
            return false;
        }
        case XMLNode::Instruction:
            putInstruction(out, n, field(n->_value));
            return false;
        default:
            break;
        }
        if (standsForComment(n)) {
            putComment(out, field(n->_value));
            return false;
        }
        const Text nameSpace = field(n->_nameSpace), name = field(n->_name);
        out.put('<');
        putTagName(out, nameSpace, name);
        for (const XMLAttr* a = n->_pFirstAttr; a; a = a->_pNext) {
            out.put(' ');
            if (Out::checks) {
                requireName(attributeName(a));
            }
            putAttribute(out, attributeName(a), a->_value);
        }
        if (n->_pFirstChild) {
            out.put('>');
            return true;
        }
        const Text value = field(n->_value);
        if (value.n == 0) {
            out.put("/>", 2);
        } else {
            out.put('>');
            putElementText(out, value);
            out.put("</", 2);
            putQualifiedName(out, nameSpace, name);
            out.put('>');
        }
        return false;
    }

    template <class Out> static void close(Out& out, const XMLNode* n) {
        out.put("</", 2);
        putQualifiedName(out, field(n->_nameSpace), field(n->_name));
        out.put('>');
    }

    // "<?target data?>": the attributes as data, or the value as it stands when there are none.
    template <class Out> static void putInstruction(Out& out, const XMLNode* n, const Text& value) {
        const Text name = field(n->_name);
        requireName(name);
        out.put("<?", 2);
        out.put(name.p, name.n);
        if (n->_pFirstAttr) {
            for (const XMLAttr* a = n->_pFirstAttr; a; a = a->_pNext) {
                out.put(' ');
                requireName(attributeName(a));
                putAttribute(out, attributeName(a), a->_value);
            }
        } else if (value.n) {
            if (contains(value, "?>") || holdsForbidden(value.p, value.n)) {
                throw XMLException(302);
            }
            out.put(' ');
            out.put(value.p, value.n);
        }
        out.put("?>", 2);
    }
};

namespace {

// Writes the text, then hands its storage, cut to its length, to a String: no copy of a long text.
template <class Write> String writeText(const Write& write) {
    Collect out;
    write(out);
    String result("");
    const auto length = static_cast<std::uint32_t>(out.size());
    if (length > 0) {
        detail::StringStorage::adopt(result, out.releaseText(), length);
    }
    return result;
}

} // namespace

const String XMLNode::stream(bool indent) const {
    return writeText([this, indent](auto& out) { XMLWriter::node(out, this, indent); });
}

const String XMLAttr::stream() const {
    return writeText([this](auto& out) { XMLWriter::attribute(out, this); });
}

String XMLDoc::stream() const {
    return writeText([this](auto& out) { XMLWriter::document(out, this); });
}

} // namespace Kel
