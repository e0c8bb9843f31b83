// The forward scanner: every step looks for the next "<", ">", space, "=" or double quote with plain
// character searches. A node's subtree is read with a loop, not recursion: the node whose children are
// being read is the top of a chain that runs through the parent links of the nodes under construction.
// Those nodes are linked into their parent's child list only once their own subtree is complete, so that a
// failure discards exactly the unfinished ones.

#include "xml/xml_text.h"

#include <kel/xml.h>

#include <sys/stat.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>

namespace Kel {

namespace {

using detail::isXmlSpace;

// Skips white space and "?", which the scanner passes over between attributes.
const char* skipSpaceAndMark(const char* p) {
    while (isXmlSpace(*p) || *p == '?')
        ++p;
    return p;
}

bool equalsIgnoreCase(const char* p, std::size_t n, const char* word) {
    for (std::size_t i = 0; i < n; ++i) {
        char c = p[i];
        if (c >= 'a' && c <= 'z')
            c = static_cast<char>(c - 'a' + 'A');
        if (c != word[i] || word[i] == '\0')
            return false;
    }
    return word[n] == '\0';
}

// Fields 0 and 1 of [p, end) split at sep, where the quote character opens and closes stretches in which
// sep is ordinary text and the quotes themselves are dropped. A field into which nothing was collected is
// absent (a null String).
void splitFields(const char* p, const char* end, char sep, char quote, detail::TextBuffer field[2],
                 bool present[2]) {
    field[0].clear();
    field[1].clear();
    present[0] = present[1] = false;
    int index = 0;
    bool quoted = false;
    const char* run = p;
    for (; p < end; ++p) {
        if (*p == quote) {
            if (p > run) {
                field[index].append(run, static_cast<std::size_t>(p - run));
                present[index] = true;
            }
            run = p + 1;
            quoted = !quoted;
        } else if (!quoted && *p == sep) {
            if (p > run) {
                field[index].append(run, static_cast<std::size_t>(p - run));
                present[index] = true;
            }
            run = p + 1;
            if (++index > 1)
                return;
        }
    }
    if (p > run) {
        field[index].append(run, static_cast<std::size_t>(p - run));
        present[index] = true;
    }
}

} // namespace

bool detail::scanComment(const char* t, const char*& valueBegin, const char*& valueEnd,
                         const char*& nameEnd) {
    if (*t != '<')
        return false;
    const char* q = t + 1;
    while (*q && *q != ' ' && *q != '>')
        ++q;
    if (*q != ' ' || !std::strchr(q + 1, '>'))
        return false;
    const std::size_t nameLength = static_cast<std::size_t>(q - (t + 1));
    if (nameLength < 3 || std::memcmp(t + 1, "!--", 3) != 0)
        return false;
    const char* p = skipSpaceAndMark(q);
    const char* close = std::strstr(p, "-->");
    if (!close)
        return false;
    valueBegin = p - (nameLength + 2);
    valueEnd = close + 3;
    nameEnd = q;
    return true;
}

class XMLParser {
public:
    // Parses one node with its subtree at the cursor into top (XMLNode::fromStream). On failure the
    // unfinished nodes below top are destroyed and the exception passes on.
    static void parse(XMLNode* top, const char*& cursor) {
        XMLParser parser;
        parser.parseTree(top, cursor);
    }

    // Parses one attribute at the cursor into attr, as an attribute of a node of the given type.
    static void parseAttribute(XMLNode::Type type, XMLAttr& attr, const char*& cursor) {
        XMLParser parser;
        parser.readAttribute(type, attr, cursor);
    }

private:
    XMLParser() = default;

    void parseTree(XMLNode* top, const char*& cursor);
    bool readStartTag(XMLNode* node, const char*& cursor);
    void readText(XMLNode* node, const char*& cursor);
    void readAttribute(XMLNode::Type type, XMLAttr& attr, const char*& cursor);
    void setName(XMLNode* node, const char* begin, const char* end);

    detail::TextBuffer _fields[2];
    detail::TextBuffer _decoded;
};

void XMLParser::parseTree(XMLNode* top, const char*& cursor) {
    XMLNode* node = top;
    try {
        bool readingChildren = false;
        for (;;) {
            if (!readingChildren) {
                if (readStartTag(node, cursor)) {
                    // Element content: children when the first character after the tag that is not white
                    // space opens a tag, text otherwise.
                    const char* p = cursor + 1;
                    while (isXmlSpace(*p))
                        ++p;
                    if (*p == '<')
                        readingChildren = true;
                    else
                        readText(node, cursor);
                }
            }
            if (readingChildren) {
                const char* lt = cursor ? std::strchr(cursor, '<') : nullptr;
                if (lt && lt[1] != '/') {
                    // A child: it is read next, with its parent link set but not yet in the child list.
                    cursor = lt;
                    XMLNode* child = new XMLNode();
                    child->_pParent = node;
                    node = child;
                    readingChildren = false;
                    continue;
                }
                if (lt) {
                    // Taken as this element's end tag, whatever its name.
                    const char* gt = std::strchr(lt + 1, '>');
                    cursor = gt ? gt + 1 : nullptr;
                }
            }
            // The node is complete.
            if (node == top)
                return;
            XMLNode* parent = node->_pParent;
            parent->addNodeToParent(node);
            node = parent;
            readingChildren = true;
        }
    } catch (...) {
        while (node != top) {
            XMLNode* parent = node->_pParent;
            node->_pParent = nullptr;
            delete node;
            node = parent;
        }
        throw;
    }
}

// Reads the tag at the cursor into node. Returns true when element content follows, with the cursor on
// the character before it; otherwise the cursor is left where the node ends.
bool XMLParser::readStartTag(XMLNode* node, const char*& cursor) {
    const char* start = cursor;
    if (!start || *start != '<')
        throw XMLException(203);
    node->_type = start[1] == '!'   ? XMLNode::Declaration
                  : start[1] == '?' ? XMLNode::Instruction
                                    : XMLNode::Element;

    // The tag end is the first ">" after "<"; what matters of the first space is whether it comes before.
    const char* q = start + 1;
    while (*q && *q != ' ' && *q != '>')
        ++q;
    const char* space = *q == ' ' ? q : nullptr;
    const char* tagEnd = *q == '>' ? q : space ? std::strchr(space + 1, '>') : nullptr;
    if (!tagEnd)
        throw XMLException(205);

    const char* nameBegin = start + 1;
    const char* nameEnd;
    if (space) {
        nameEnd = space;
        const std::size_t nameLength = static_cast<std::size_t>(nameEnd - nameBegin);
        const char* p = skipSpaceAndMark(space);
        if (equalsIgnoreCase(nameBegin, nameLength, "!DOCTYPE")) {
            // The whole declaration text becomes the name of one attribute without value.
            const char* gt = std::strchr(p, '>');
            if (!gt)
                throw XMLException(203);
            std::unique_ptr<XMLAttr> attr(new XMLAttr());
            detail::assignRange(attr->_name, p, static_cast<std::size_t>(gt - p));
            node->addAttr(attr.release());
            p = gt;
        } else if (nameLength >= 3 && std::memcmp(nameBegin, "!--", 3) == 0) {
            node->_type = XMLNode::Comment;
            const char* close = std::strstr(p, "-->");
            if (!close)
                throw XMLException(203);
            // The value starts the name's length plus two characters before the text after the blanks:
            // at the "<" when exactly one blank follows the name.
            const char* valueBegin = p - (nameLength + 2);
            detail::assignRange(node->_value, valueBegin, static_cast<std::size_t>(close + 3 - valueBegin));
            p = close + 3;
        } else if (*p != '/' && *p != '>') {
            // Attributes, until a "/" or ">" stands where the next one would begin. White space before
            // the "/" or ">" of a tag means no attribute at all.
            for (;;) {
                std::unique_ptr<XMLAttr> attr(new XMLAttr());
                readAttribute(node->_type, *attr, p);
                node->addAttr(attr.release());
                p = skipSpaceAndMark(p);
                if (*p == '/' || *p == '>')
                    break;
            }
        }
        cursor = p;
    } else {
        nameEnd = tagEnd;
        cursor = tagEnd;
    }

    if ((node->_type == XMLNode::Instruction || node->_type == XMLNode::Declaration) && nameEnd > nameBegin)
        ++nameBegin;

    bool content = false;
    if (tagEnd[-1] == '/') {
        // An empty-element tag; a "/" that the name took in is dropped.
        cursor = tagEnd + 1;
        if (!node->_pFirstAttr && nameEnd > nameBegin && nameEnd[-1] == '/')
            --nameEnd;
    } else if (node->_type != XMLNode::Element) {
        cursor = std::strchr(cursor, '<');
    } else {
        content = true;
    }
    setName(node, nameBegin, nameEnd);
    return content;
}

// Element text: from behind the character at the cursor to the next "<". The cursor then moves on to
// the "<" after that one, passing over the end tag unread.
void XMLParser::readText(XMLNode* node, const char*& cursor) {
    const char* begin = cursor + 1;
    const char* lt = std::strchr(begin, '<');
    const char* end = lt ? lt : begin + std::strlen(begin);
    if (end > begin)
        detail::assignDecoded(node->_value, begin, end, _decoded);
    cursor = lt ? std::strchr(lt + 1, '<') : nullptr;
}

void XMLParser::readAttribute(XMLNode::Type type, XMLAttr& attr, const char*& cursor) {
    const char* begin = cursor;
    if (!begin)
        throw XMLException(205);
    const char* end;
    if (type == XMLNode::Declaration) {
        end = std::strchr(begin, '>');
        if (!end)
            throw XMLException(205);
        cursor = end;
    } else {
        const char* eq = std::strchr(begin, '=');
        if (!eq)
            throw XMLException(205);
        const char* close = std::strchr(eq[1] == '"' ? eq + 2 : eq + 1, '"');
        if (!close)
            throw XMLException(205);
        end = close + 1;
        cursor = end;

        if (eq[1] == '"' && !std::memchr(begin, '"', static_cast<std::size_t>(eq - begin))) {
            // The usual name="value": both fields lie in the text as they are.
            if (eq > begin)
                detail::assignRange(attr._name, begin, static_cast<std::size_t>(eq - begin));
            if (close > eq + 2)
                detail::assignDecoded(attr._value, eq + 2, close, _decoded);
            return;
        }
    }
    bool present[2];
    splitFields(begin, end, '=', '"', _fields, present);
    if (present[0])
        detail::assignRange(attr._name, _fields[0].data(), _fields[0].size());
    if (present[1]) {
        const char* raw = _fields[1].data();
        detail::assignDecoded(attr._value, raw, raw + _fields[1].size(), _decoded);
    }
}

// The name, split at ":" into namespace and local name when it has one; text after a second ":" is
// dropped and an empty part is null.
void XMLParser::setName(XMLNode* node, const char* begin, const char* end) {
    const std::size_t length = static_cast<std::size_t>(end - begin);
    const char* colon = static_cast<const char*>(std::memchr(begin, ':', length));
    if (!colon) {
        detail::assignRange(node->_name, begin, length);
        return;
    }
    const char* localBegin = colon + 1;
    const char* second =
        static_cast<const char*>(std::memchr(localBegin, ':', static_cast<std::size_t>(end - localBegin)));
    const char* localEnd = second ? second : end;
    if (colon > begin)
        detail::assignRange(node->_nameSpace, begin, static_cast<std::size_t>(colon - begin));
    else
        node->_nameSpace = String();
    if (localEnd > localBegin)
        detail::assignRange(node->_name, localBegin, static_cast<std::size_t>(localEnd - localBegin));
    else
        node->_name = String();
}

// ---- entry points -----------------------------------------------------------------------------------

XMLNode::XMLNode(XMLNode* parent, const char*& text) : XMLNode() {
    try {
        XMLParser::parse(this, text);
    } catch (...) {
        deleteContent();
        throw;
    }
    if (parent)
        linkTo(parent);
}

void XMLNode::fromStream(const char*& cursor) {
    XMLParser::parse(this, cursor);
}

XMLAttr::XMLAttr(XMLNode* node, const char*& text) : XMLAttr() {
    XMLParser::parseAttribute(node ? node->_type : XMLNode::Element, *this, text);
    if (node)
        node->addAttr(this);
}

const XMLDoc& XMLDoc::fromStream(const char*& cursor) {
    replaceRoot(nullptr);
    _version = String();
    _encoding = String();
    _docType = String();
    if (!cursor)
        throw XMLException(401);
    while (cursor) {
        std::unique_ptr<XMLNode> node;
        try {
            node.reset(new XMLNode(nullptr, cursor));
        } catch (const XMLException& e) {
            if (e.reason() == 203)
                break;
            throw;
        }
        switch (node->_type) {
        case XMLNode::Element:
            if (!_pRoot)
                _pRoot = node.release();
            break;
        case XMLNode::Instruction:
            if (node->_name == "xml") {
                _version = node->attribute(String("version"));
                _encoding = node->attribute(String("encoding"));
            }
            break;
        case XMLNode::Declaration:
            if (node->_name == "DOCTYPE" && node->_pFirstAttr)
                _docType = node->_pFirstAttr->name();
            break;
        default:
            break;
        }
    }
    return *this;
}

namespace {

struct FileCloser {
    void operator()(std::FILE* f) const { std::fclose(f); }
};

struct MemoryFreer {
    void operator()(char* p) const { std::free(p); }
};

} // namespace

const XMLDoc& XMLDoc::fromFile(const char* path) {
    replaceRoot(nullptr);
    if (!path)
        throw XMLException(401);
    struct stat status;
    if (stat(path, &status) != 0 || S_ISDIR(status.st_mode))
        throw XMLException(403);
    if (status.st_size < 5)
        throw XMLException(401);
    // Text mode: where the platform tells text from binary, CR LF arrives as LF.
    std::unique_ptr<std::FILE, FileCloser> file(std::fopen(path, "r"));
    if (!file)
        throw XMLException(403);
    const auto size = static_cast<unsigned long long>(status.st_size);
    if (size >= static_cast<std::size_t>(-1))
        throw XMLException(404);
    std::unique_ptr<char, MemoryFreer> text(
        static_cast<char*>(std::calloc(static_cast<std::size_t>(size) + 1, 1)));
    if (!text)
        throw XMLException(404);
    std::size_t read = 0;
    while (read < size) {
        const std::size_t got =
            std::fread(text.get() + read, 1, static_cast<std::size_t>(size) - read, file.get());
        if (got == 0)
            break;
        read += got;
    }
    // A read error is no end of file: parsing what arrived would give a document silently cut short.
    if (std::ferror(file.get()))
        throw XMLException(403);
    const char* cursor = text.get();
    return fromStream(cursor);
}

} // namespace Kel
