// The writer walks the tree twice with the same code: once to measure the text, once to write it into
// storage of exactly that size. Both walks are loops over the tree's links, so the time is linear in the
// size of the text and the depth of the tree costs no stack.

#include "xml/xml_text.h"

#include <kel/xml.h>

#include <cstdio>
#include <cstring>

namespace Kel {

namespace {

using detail::Coding;

// A String holds at most this many characters.
constexpr std::uint64_t largestText = 0xFFFFFFFEull;

// Counts the characters that would be written.
class Measure {
public:
    void put(const char*, std::size_t n) { _length += n; }
    void put(char) { ++_length; }
    void tabs(std::uint64_t n) { _length += n; }
    void encoded(const char* p, std::size_t n, Coding coding) { detail::putEncoded(*this, p, n, coding); }
    std::uint64_t length() const { return _length; }

private:
    std::uint64_t _length = 0;
};

// Writes the characters into storage that Measure has sized.
class Fill {
public:
    explicit Fill(char* out) : _out(out) {}
    void put(const char* p, std::size_t n) {
        if (n)
            std::memcpy(_out, p, n);
        _out += n;
    }
    void put(char c) { *_out++ = c; }
    void tabs(std::uint64_t n) {
        std::memset(_out, '\t', static_cast<std::size_t>(n));
        _out += n;
    }
    void encoded(const char* p, std::size_t n, Coding coding) { detail::putEncoded(*this, p, n, coding); }
    char* end() const { return _out; }

private:
    char* _out;
};

// The characters of a String: none for a null one.
struct Text {
    // A null String has no characters: p is then an empty text, never a null pointer.
    explicit Text(const String& s) : p(orEmpty(s)), n(s.length()) {}
    static const char* orEmpty(const char* s) { return s ? s : ""; }
    const char* p;
    std::size_t n;
};

bool isBlankOrMark(char c) {
    return detail::isXmlSpace(c) || c == '?';
}

// True when the parser, reading lead followed by the value, takes exactly the value as a comment, and
// the tag name [name, name + nameLength) unless name is null.
bool readsBack(const detail::TextBuffer& lead, const Text& value, const char* name, std::size_t nameLength,
               detail::TextBuffer& scratch) {
    scratch.clear();
    scratch.append(lead.data(), lead.size());
    scratch.append(value.p, value.n);
    scratch.append('\0');
    const char* text = scratch.data();
    const char* begin;
    const char* end;
    const char* nameEnd;
    if (!detail::scanComment(text, begin, end, nameEnd) || begin != text + lead.size() ||
        end != text + lead.size() + value.n)
        return false;
    return !name || (static_cast<std::size_t>(nameEnd - (text + 1)) == nameLength &&
                     std::memcmp(text + 1, name, nameLength) == 0);
}

// The text written before a comment's value so that the parser reads the same comment back. The parser
// starts a comment's value a number of characters after the "<" that depends on the blanks behind the
// tag name, so a value it read may lack the start of its tag: the lead puts back "<" and the name, or
// the part of them the value lacks. A comment the parser cannot have produced keeps an empty lead and is
// written as it is.
void commentLead(const Text& nameSpace, const Text& name, const Text& value, detail::TextBuffer& lead) {
    lead.clear();
    // Usually the value is the whole comment, from its "<": it reads back as it stands (the String's text
    // is terminated, so it is scanned in place).
    const char* begin;
    const char* end;
    const char* nameEnd;
    if (value.n && detail::scanComment(value.p, begin, end, nameEnd) && begin == value.p &&
        end == value.p + value.n && !nameSpace.n &&
        static_cast<std::size_t>(nameEnd - (value.p + 1)) == name.n &&
        (name.n == 0 || std::memcmp(value.p + 1, name.p, name.n) == 0))
        return;

    detail::TextBuffer tag, scratch;
    tag.append('<');
    if (nameSpace.n) {
        tag.append(nameSpace.p, nameSpace.n);
        tag.append(':');
    }
    tag.append(name.p, name.n);
    const char* t = tag.data();
    const std::size_t tagLength = tag.size();

    // The value begins inside "<" and the name: it holds the rest of them and then the blank.
    for (std::size_t j = 0; j <= tagLength; ++j) {
        const std::size_t rest = tagLength - j;
        if (value.n > rest && value.p[rest] == ' ' && std::memcmp(value.p, t + j, rest) == 0) {
            lead.clear();
            lead.append(t, j);
            if (readsBack(lead, value, t + 1, tagLength - 1, scratch))
                return;
        }
    }
    // The value begins inside the blanks behind the name.
    lead.clear();
    lead.append(t, tagLength);
    lead.append(' ');
    if (readsBack(lead, value, t + 1, tagLength - 1, scratch))
        return;

    // A name that does not fit the value: the same value under another name.
    for (std::size_t head = 0; head <= 4; ++head) {
        lead.clear();
        lead.append("<!--", head);
        if (readsBack(lead, value, nullptr, 0, scratch))
            return;
    }
    const char* space = static_cast<const char*>(std::memchr(value.p, ' ', value.n));
    std::size_t run = 0;
    while (space && space + run < value.p + value.n && isBlankOrMark(space[run]))
        ++run;
    for (int blank = 0; blank < 2; ++blank) {
        if (blank) {
            run = 0;
            while (run < value.n && isBlankOrMark(value.p[run]))
                ++run;
        }
        if (run < 5)
            continue;
        lead.clear();
        lead.append("<!--", 4);
        for (std::size_t i = 0; i < run - 5; ++i)
            lead.append('x');
        if (blank)
            lead.append(' ');
        if (readsBack(lead, value, nullptr, 0, scratch))
            return;
    }
    lead.clear();
}

template <class Out> void putQualifiedName(Out& out, const Text& nameSpace, const Text& name) {
    if (nameSpace.n) {
        out.put(nameSpace.p, nameSpace.n);
        out.put(':');
    }
    out.put(name.p, name.n);
}

template <class Out> void putAttribute(Out& out, const String& name, const String& value) {
    const Text n(name), v(value);
    out.put(n.p, n.n);
    out.put("=\"", 2);
    out.encoded(v.p, v.n, Coding::Attribute);
    out.put('"');
}

// Element text. Text made only of white space would read back as no text at all (the parser looks for
// the first character that is not white space), so its first character goes as a character reference.
template <class Out> void putElementText(Out& out, const Text& value) {
    std::size_t i = 0;
    while (i < value.n && detail::isXmlSpace(value.p[i]))
        ++i;
    if (i == value.n) {
        char reference[8];
        const int c = static_cast<unsigned char>(value.p[0]);
        const std::size_t length =
            static_cast<std::size_t>(std::snprintf(reference, sizeof reference, "&#%d;", c));
        out.put(reference, length);
        out.put(value.p + 1, value.n - 1);
        return;
    }
    out.encoded(value.p, value.n, Coding::Text);
}

} // namespace

class XMLWriter {
public:
    // The node's subtree, as XMLNode::stream describes.
    template <class Out> static void node(Out& out, const XMLNode* top, bool indent) {
        std::uint64_t depth = static_cast<std::uint64_t>(top->level());
        const XMLNode* n = top;
        for (;;) {
            if (n != top || indent)
                out.tabs(depth);
            if (open(out, n)) {
                n = n->_pFirstChild;
                ++depth;
                continue;
            }
            for (;;) {
                if (n == top)
                    return;
                if (n->_pNext) {
                    n = n->_pNext;
                    break;
                }
                n = n->_pParent;
                --depth;
                out.tabs(depth);
                close(out, n);
            }
        }
    }

    template <class Out> static void attribute(Out& out, const XMLAttr* a) {
        putAttribute(out, a->_name, a->_value);
    }

    template <class Out> static void document(Out& out, const XMLDoc* doc) {
        out.put("<?xml ", 6);
        putAttribute(out, String("version"), doc->_version);
        out.put(' ');
        putAttribute(out, String("encoding"), doc->_encoding);
        out.put("?>", 2);
        if (!doc->_docType.isNull()) {
            const Text type(doc->_docType);
            out.put("<!DOCTYPE ", 10);
            out.put(type.p, type.n);
            out.put('>');
        }
        out.put('\n');
        if (doc->_pRoot)
            node(out, doc->_pRoot, true);
    }

private:
    // Writes the node's first line, or its only one. Returns true when its children follow.
    template <class Out> static bool open(Out& out, const XMLNode* n) {
        const Text value(n->_value);
        if (n->_type == XMLNode::Comment) {
            detail::TextBuffer lead;
            commentLead(Text(n->_nameSpace), Text(n->_name), value, lead);
            out.put(lead.data(), lead.size());
            out.put(value.p, value.n);
            out.put('\n');
            return false;
        }
        const Text nameSpace(n->_nameSpace), name(n->_name);
        out.put('<');
        putQualifiedName(out, nameSpace, name);
        for (const XMLAttr* a = n->_pFirstAttr; a; a = a->_pNext) {
            out.put(' ');
            putAttribute(out, a->_name, a->_value);
        }
        if (n->_pFirstChild) {
            out.put(">\n", 2);
            return true;
        }
        if (value.n == 0) {
            out.put("/>\n", 3);
        } else if (name.n >= 3 && std::memcmp(name.p, "!--", 3) == 0) {
            out.put(value.p, value.n);
            out.put('\n');
        } else {
            out.put('>');
            putElementText(out, value);
            out.put("</", 2);
            putQualifiedName(out, nameSpace, name);
            out.put(">\n", 2);
        }
        return false;
    }

    template <class Out> static void close(Out& out, const XMLNode* n) {
        out.put("</", 2);
        putQualifiedName(out, Text(n->_nameSpace), Text(n->_name));
        out.put(">\n", 2);
    }
};

namespace {

// Measures, then writes into a String of exactly that length.
template <class Write> String writeText(const Write& write) {
    Measure measure;
    write(measure);
    if (measure.length() > largestText)
        throw XMLException(301);
    String result("");
    const auto length = static_cast<unsigned long>(measure.length());
    if (length == 0)
        return result;
    char* storage = result.buffer(length);
    Fill fill(storage);
    write(fill);
    *fill.end() = '\0';
    result.release();
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
