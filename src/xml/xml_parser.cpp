// The forward scanner. Every step looks for the next "<", ">", quote or white space with plain character
// searches. A node's subtree is read with a loop, not recursion: the element whose content is being read
// is the top of a chain that runs through the parent links of the nodes under construction. Those nodes
// are linked into their parent's child list only once their own subtree is complete, so that a failure
// discards exactly the unfinished ones.
//
// Element content is text runs between markup. An element whose content is one run of text keeps it as
// its value. Runs of white space between child nodes are kept aside: they are dropped when the element
// ends without other text, and become text nodes, in their places, once a run that is not white space
// shows that the content is mixed.

#include "foundation/block_pool.h"
#include "xml/xml_text.h"

#include <kel/xml.h>

#include <sys/stat.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <memory>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace Kel {

namespace {

using detail::isXmlSpace;

const char* skipSpace(const char* p) {
    while (isXmlSpace(*p)) {
        ++p;
    }
    return p;
}

bool equalsIgnoreCase(const char* p, std::size_t n, const char* word) {
    for (std::size_t i = 0; i < n; ++i) {
        char c = p[i];
        if (c >= 'a' && c <= 'z') {
            c = static_cast<char>(c - 'a' + 'A');
        }
        if (c != word[i] || word[i] == '\0') {
            return false;
        }
    }
    return word[n] == '\0';
}

bool startsWith(const char* p, const char* prefix) {
    return std::strncmp(p, prefix, std::strlen(prefix)) == 0;
}

// The character behind the "-->" that ends the comment beginning at start ("<!--"); null when none does.
const char* commentEnd(const char* start) {
    const char* close = std::strstr(start + 4, "-->");
    return close ? close + 3 : nullptr;
}

bool allSpace(const char* p, const char* end) {
    for (; p < end; ++p) {
        if (!isXmlSpace(*p)) {
            return false;
        }
    }
    return true;
}

// The bytes where a name in a tag may end (extra: "=" after an attribute's name): one table lookup a
// byte instead of six tests.
struct NameStops {
    explicit constexpr NameStops(char extra) : of() {
        for (const unsigned char c : {'\0', ' ', '\t', '\n', '\r', '>', '/'}) {
            of[c] = true;
        }
        of[static_cast<unsigned char>(extra)] = true;
    }
    bool of[256];
};
constexpr NameStops tagNameStops('\0');
constexpr NameStops attributeNameStops('=');

// Where a name ends: at a stop byte other than a "/" that is not the one of "/>".
const char* nameEnd(const char* p, const NameStops& stops) {
    for (;; ++p) {
        while (!stops.of[static_cast<unsigned char>(*p)]) {
            ++p;
        }
        if (*p != '/' || p[1] == '>') {
            return p;
        }
    }
}

} // namespace

// The ">" that closes a DOCTYPE, past an internal subset in brackets and quoted literals; null when the
// text ends first.
const char* detail::docTypeEnd(const char* p) {
    int depth = 0;
    for (; *p; ++p) {
        switch (*p) {
        case '"':
        case '\'': {
            const char* close = std::strchr(p + 1, *p);
            if (!close) {
                return nullptr;
            }
            p = close;
            break;
        }
        case '[':
            ++depth;
            break;
        case ']':
            --depth;
            break;
        case '<':
            if (depth > 0 && startsWith(p, "<!--")) {
                const char* end = commentEnd(p);
                if (!end) {
                    return nullptr;
                }
                p = end - 1;
            }
            break;
        case '>':
            if (depth <= 0) {
                return p;
            }
            break;
        default:
            break;
        }
    }
    return nullptr;
}

namespace detail {

// The attribute defaults that a DOCTYPE's internal subset declares (<!ATTLIST element name type "value">),
// by element name as tags write it. Names and values are views into the text being read, which lasts as
// long as they do.
class AttributeDefaults {
public:
    struct Default {
        std::string_view name;
        std::string_view value; // the literal between its quotes
    };

    // Declares an attribute of an element with a default value (null for one declared without: #REQUIRED
    // or #IMPLIED); the first declaration of an attribute counts, as in XML.
    void declare(std::string_view element, std::string_view name, const char* value, std::size_t length) {
        std::vector<Default>& attributes = _byElement[element];
        for (const Default& d : attributes) {
            if (d.name == name) {
                return;
            }
        }
        attributes.push_back(Default{name, std::string_view(value, value ? length : 0)});
        if (value) {
            _valued = true;
        }
    }
    // Whether any default has a value.
    bool any() const { return _valued; }
    // The attributes declared for the element [p, p + n); null when none is.
    const std::vector<Default>* of(const char* p, std::size_t n) const {
        const auto found = _byElement.find(std::string_view(p, n));
        return found == _byElement.end() ? nullptr : &found->second;
    }

private:
    std::unordered_map<std::string_view, std::vector<Default>> _byElement;
    bool _valued = false;
};

} // namespace detail

class XMLParser {
public:
    // A parser for text that begins at begin; options say how references are read.
    XMLParser(const char* begin, const detail::DecodeOptions& options) : _begin(begin), _options(options) {}

    // Parses one node with its subtree at the cursor into top (XMLNode::fromStream). On failure the
    // unfinished nodes below top are destroyed and the exception passes on.
    void parseTree(XMLNode* top, const char*& cursor);

    // Parses one attribute at the cursor into attr, as an attribute of a node of the given type.
    void readAttribute(XMLNode::Type type, XMLAttr& attr, const char*& cursor);

    // Where the next top-level node of a document starts, past white space; see XMLDoc::fromStream.
    static const char* nextTopLevel(const char* cursor) { return skipSpace(cursor); }

    // How character references are read from here on (a document's declaration names its encoding).
    void utf8References(bool on) { _options.utf8References = on; }
    // The entities a document's DOCTYPE declares, expanded where they are used from here on.
    void entities(detail::EntityTable* table) { _options.entities = table; }
    // Gives the elements of the tree under root (root included) the attributes that defaults declare
    // for them and their tags do not give, behind their own attributes in the order of their declarations.
    // A separate walk over the tree, so that documents without defaults pay nothing for them.
    void addDefaults(XMLNode* root, const detail::AttributeDefaults& defaults);

    // A new node or attribute, from the blocks this parser holds.
    XMLNode* newNode() { return ::new (_nodeBlocks.take()) XMLNode(); }
    XMLAttr* newAttr() { return ::new (_attrBlocks.take()) XMLAttr(); }

    // Declares in table the general entities, and in defaults the attribute defaults, of the internal
    // subset in a DOCTYPE text that begins at text, a copy of the text at input: the defaults refer to
    // the input.
    static void declareSubset(const char* text, const char* input, detail::EntityTable& table,
                              detail::AttributeDefaults& defaults);

private:
    // A run of white space between child nodes, kept until the element shows whether its content is mixed.
    struct Blank {
        XMLNode* after; // the child it follows; null before the first one
        const char* begin;
        const char* end;
    };
    // The element whose content is being read.
    struct Open {
        std::size_t blanksFrom; // its blanks in _blanks start here
        bool mixed;
    };

    [[noreturn]] void fail(long reason, const char* at) const;
    void decode(String& s, const char* p, const char* end);
    void decodeInto(detail::TextBuffer& out, const char* p, const char* end);

    bool readTag(XMLNode* node, const char*& cursor);
    void readComment(XMLNode* node, const char* start, const char*& cursor);
    void readInstruction(XMLNode* node, const char* start, const char*& cursor);
    void readDeclaration(XMLNode* node, const char* start, const char*& cursor);
    bool readElementTag(XMLNode* node, const char* start, const char*& cursor);
    void addDefaults(XMLNode* element, const std::vector<detail::AttributeDefaults::Default>& declared);
    bool readPseudoAttributes(XMLNode* node, const char* p, const char* end);
    void setName(XMLNode* node, const char* begin, const char* end);

    const char* readRun(const char* cursor, bool& plain);
    // keepRun for a run [begin, end) known to be white space only.
    void keepBlank(XMLNode* element, Open& state, const char* begin, const char* end, bool last) {
        if (begin == end) {
            return;
        }
        if (state.mixed) {
            addText(element, begin, static_cast<std::size_t>(end - begin));
        } else if (!last) {
            _blanks.push_back(Blank{element->_pLastChild, begin, end});
        }
    }
    void keepRun(XMLNode* element, Open& state, const char* begin, const char* end, bool plain, bool last);
    void becomeMixed(XMLNode* element, Open& state);
    void addText(XMLNode* element, const char* p, std::size_t n);

    // The attribute names read last, shared by the attributes that repeat them: most documents use a
    // few names over and over. A small table indexed by length and end characters. The table takes
    // references to a name by the batch, one atomic addition for many attributes, and hands them out one
    // by one; it gives back those it did not hand out when the name leaves the table.
    class NameCache {
    public:
        NameCache() : _slots() {}
        NameCache(const NameCache&) = delete;
        NameCache& operator=(const NameCache&) = delete;
        ~NameCache() {
            for (Slot& slot : _slots) {
                slot.empty();
            }
        }
        // A reference to the name [p, p + n), n > 0.
        XMLAttr::SharedName* get(const char* p, std::size_t n) {
            Slot& slot = _slots[(n * 31u + static_cast<unsigned char>(p[0]) * 7u +
                                 static_cast<unsigned char>(p[n - 1])) %
                                size];
            if (!slot.shared || slot.length != n || std::memcmp(slot.text, p, n) != 0) {
                XMLAttr::SharedName* fresh = new XMLAttr::SharedName(p, n);
                slot.empty();
                slot.shared = fresh;
                slot.spare = 0; // the reference the name was made with is the table's own
                slot.text = fresh->text;
                slot.length = n;
            }
            if (slot.spare == 0) {
                slot.shared->references.fetch_add(batch, std::memory_order_relaxed);
                slot.spare = batch;
            }
            --slot.spare;
            return slot.shared;
        }

    private:
        static constexpr std::size_t size = 61;
        static constexpr std::uint32_t batch = 64;

        struct Slot {
            XMLAttr::SharedName* shared;
            // The references taken and not yet handed out, besides the table's own.
            std::uint32_t spare;
            // The name's text and length.
            const char* text;
            std::size_t length;

            void empty() {
                XMLAttr::SharedName::release(shared, spare + 1);
                shared = nullptr;
                spare = 0;
            }
        };
        Slot _slots[size];
    };

    const char* _begin;
    detail::DecodeOptions _options;
    NameCache _names;
    detail::TextChunks _texts;
    detail::PoolStash<XMLNode> _nodeBlocks;
    detail::PoolStash<XMLAttr> _attrBlocks;
    detail::TextBuffer _run;     // the current text run, decoded
    detail::TextBuffer _decoded; // scratch for attribute values
    std::vector<Blank> _blanks;
    std::deque<std::string> _decodedBlanks; // blank runs that came from references; their places stay put
    std::vector<Open> _open;
};

// Lines end with LF, CR LF or a lone CR; columns count bytes from 1.
void XMLParser::fail(long reason, const char* at) const {
    if (!at || at < _begin) {
        throw XMLException(reason);
    }
    long line = 1;
    const char* lineStart = _begin;
    for (const char* p = _begin; p < at; ++p) {
        if (*p == '\n' || (*p == '\r' && p + 1 < at && p[1] != '\n') || (*p == '\r' && p + 1 == at)) {
            ++line;
            lineStart = p + 1;
        }
    }
    throw XMLException(reason, line, static_cast<long>(at - lineStart) + 1, static_cast<long>(at - _begin));
}

void XMLParser::decode(String& s, const char* p, const char* end) {
    try {
        detail::assignDecoded(s, p, end, _decoded, _options);
    } catch (const detail::DecodeFailure& failure) {
        fail(failure.reason, failure.at);
    }
}

void XMLParser::decodeInto(detail::TextBuffer& out, const char* p, const char* end) {
    try {
        detail::decodeRange(p, end, out, _options);
    } catch (const detail::DecodeFailure& failure) {
        fail(failure.reason, failure.at);
    }
}

void XMLParser::parseTree(XMLNode* top, const char*& cursor) {
    const std::size_t openAtStart = _open.size();
    XMLNode* node = top;
    try {
        if (!readTag(node, cursor)) {
            return;
        }
        // Whether the element's state is still to be pushed: most elements hold one run of text and no
        // child, and never need one.
        bool stateless = true;
        for (;;) {
            // Element content: a run of text, then markup.
            const char* runBegin = cursor;
            const char* lt = skipSpace(cursor);
            bool ends;
            if (*lt == '<' && lt[1] != '!') {
                // White space up to a tag, the common run between child elements: no search for it.
                ends = lt[1] == '\0' || lt[1] == '/';
                if (!(stateless && ends)) {
                    if (stateless) {
                        _open.push_back(Open{_blanks.size(), false});
                    }
                    stateless = false;
                    keepBlank(node, _open.back(), runBegin, lt, ends);
                }
            } else {
                bool plain;
                lt = readRun(cursor, plain);
                ends = !lt || lt[1] == '\0' || lt[1] == '/';
                const char* runEnd = lt ? lt : runBegin + std::strlen(runBegin);
                if (stateless && ends) {
                    Open only{_blanks.size(), false};
                    keepRun(node, only, runBegin, runEnd, plain, true);
                } else {
                    if (stateless) {
                        _open.push_back(Open{_blanks.size(), false});
                    }
                    stateless = false;
                    keepRun(node, _open.back(), runBegin, runEnd, plain, ends);
                }
            }
            if (!ends) {
                cursor = lt;
                XMLNode* child = newNode();
                child->_pParent = node;
                node = child;
                if (readTag(node, cursor)) {
                    stateless = true;
                    continue;
                }
            } else {
                // An end tag, whatever its name; text that runs to the end of the input ends every element.
                const char* gt = lt && lt[1] == '/' ? std::strchr(lt + 2, '>') : nullptr;
                cursor = gt ? gt + 1 : nullptr;
                if (!stateless) {
                    _blanks.resize(_open.back().blanksFrom);
                    _open.pop_back();
                }
                stateless = false;
            }
            // The node is complete: link it and go on with its parent's content.
            if (node == top) {
                return;
            }
            XMLNode* parent = node->_pParent;
            parent->addNodeToParent(node);
            node = parent;
            if (!cursor) {
                // The text ended inside the parent: it and every open element end here.
                _blanks.resize(_open.back().blanksFrom);
                _open.pop_back();
                while (node != top) {
                    XMLNode* up = node->_pParent;
                    up->addNodeToParent(node);
                    node = up;
                    _open.pop_back();
                }
                return;
            }
        }
    } catch (...) {
        _open.resize(openAtStart);
        _blanks.clear();
        while (node != top) {
            XMLNode* parent = node->_pParent;
            node->_pParent = nullptr;
            delete node;
            node = parent;
        }
        throw;
    }
}

// Collects the text run at the cursor into _run, CDATA sections included, and returns the "<" of the
// markup that ends it (null when the text ends first). plain tells that the run is the text as it stands:
// no reference and no CDATA section, so that it need not be copied.
const char* XMLParser::readRun(const char* cursor, bool& plain) {
    plain = true;
    const char* p = cursor;
    for (;;) {
        const char* lt = std::strchr(p, '<');
        if (!lt || lt[1] != '!' || !startsWith(lt, "<![CDATA[")) {
            if (!plain ||
                (lt ? std::memchr(p, '&', static_cast<std::size_t>(lt - p)) : std::strchr(p, '&'))) {
                if (plain) {
                    _run.clear();
                    plain = false;
                }
                decodeInto(_run, p, lt ? lt : p + std::strlen(p));
            }
            return lt;
        }
        if (plain) {
            _run.clear();
            plain = false;
        }
        decodeInto(_run, p, lt);
        const char* close = std::strstr(lt + 9, "]]>");
        if (!close) {
            fail(203, lt);
        }
        _run.append(lt + 9, static_cast<std::size_t>(close - (lt + 9)));
        p = close + 3;
    }
}

// Decides what becomes of the run [begin, end) (decoded in _run unless plain) in element's content;
// last tells that the element ends behind it.
void XMLParser::keepRun(XMLNode* element, Open& state, const char* begin, const char* end, bool plain,
                        bool last) {
    const char* text = plain ? begin : _run.data();
    const std::size_t length = plain ? static_cast<std::size_t>(end - begin) : _run.size();
    if (length == 0) {
        return;
    }
    if (state.mixed) {
        addText(element, text, length);
        return;
    }
    if (plain && allSpace(begin, end)) {
        if (!last) {
            _blanks.push_back(Blank{element->_pLastChild, begin, end});
        }
        return;
    }
    if (last && !element->_pFirstChild) {
        // The element's only content: its value.
        element->_value.assign(_texts, text, length);
        return;
    }
    if (allSpace(text, text + length)) {
        // References that give white space alone ("&#32;") are white space between tags, like a blank
        // run written out: kept only if the content turns out mixed, so that the tree reads the same
        // whichever way its blanks were written.
        if (!last) {
            _decodedBlanks.emplace_back(text, length);
            const std::string& kept = _decodedBlanks.back();
            _blanks.push_back(Blank{element->_pLastChild, kept.data(), kept.data() + kept.size()});
        }
        return;
    }
    becomeMixed(element, state);
    addText(element, text, length);
}

// Turns the blanks kept for element into text nodes in their places.
void XMLParser::becomeMixed(XMLNode* element, Open& state) {
    state.mixed = true;
    for (std::size_t i = state.blanksFrom; i < _blanks.size(); ++i) {
        const Blank& b = _blanks[i];
        std::unique_ptr<XMLNode> text(newNode());
        text->_type = XMLNode::Text;
        text->_value.assign(_texts, b.begin, static_cast<std::size_t>(b.end - b.begin));
        element->insertChildAfter(text.release(), b.after);
    }
    _blanks.resize(state.blanksFrom);
}

void XMLParser::addText(XMLNode* element, const char* p, std::size_t n) {
    std::unique_ptr<XMLNode> text(newNode());
    text->_type = XMLNode::Text;
    text->_value.assign(_texts, p, n);
    element->insertChildAfter(text.release(), element->_pLastChild);
}

// Reads the markup at the cursor into node. Returns true when element content follows, with the cursor
// on its first character; otherwise the cursor is left behind the node (null when the text ended).
bool XMLParser::readTag(XMLNode* node, const char*& cursor) {
    const char* start = cursor;
    if (!start || *start != '<') {
        fail(203, start);
    }
    if (start[1] == '!') {
        if (startsWith(start, "<!--")) {
            readComment(node, start, cursor);
        } else {
            readDeclaration(node, start, cursor);
        }
        return false;
    }
    if (start[1] == '?') {
        readInstruction(node, start, cursor);
        return false;
    }
    return readElementTag(node, start, cursor);
}

// A comment is kept whole, from its "<" through "-->", whatever it holds.
void XMLParser::readComment(XMLNode* node, const char* start, const char*& cursor) {
    node->_type = XMLNode::Comment;
    const char* end = commentEnd(start);
    if (!end) {
        fail(std::strchr(start, '>') ? 203 : 205, start);
    }
    node->_name.assign(_texts, "!--", 3);
    node->_value.assign(_texts, start, static_cast<std::size_t>(end - start));
    cursor = end;
}

// "<?target data?>": data in the form of attributes (name="value" ...) is read as attributes, any other
// data is the value, as it stands.
void XMLParser::readInstruction(XMLNode* node, const char* start, const char*& cursor) {
    node->_type = XMLNode::Instruction;
    const char* close = std::strstr(start + 2, "?>");
    if (!close) {
        fail(205, start);
    }
    const char* targetEnd = start + 2;
    while (targetEnd < close && !isXmlSpace(*targetEnd)) {
        ++targetEnd;
    }
    setName(node, start + 2, targetEnd);
    const char* data = skipSpace(targetEnd);
    if (data < close && !readPseudoAttributes(node, data, close)) {
        node->_value.assign(_texts, data, static_cast<std::size_t>(close - data));
    }
    cursor = close + 2;
}

// Reads [p, end) as attributes when it holds nothing else; otherwise adds nothing and returns false.
bool XMLParser::readPseudoAttributes(XMLNode* node, const char* p, const char* end) {
    std::vector<std::unique_ptr<XMLAttr>> read;
    while (p < end) {
        const char* name = p;
        while (p < end && *p != '=' && !isXmlSpace(*p)) {
            ++p;
        }
        const char* nameStop = p;
        while (p < end && isXmlSpace(*p)) {
            ++p;
        }
        if (!detail::isXmlName(name, static_cast<std::size_t>(nameStop - name)) || p == end || *p != '=') {
            return false;
        }
        ++p;
        while (p < end && isXmlSpace(*p)) {
            ++p;
        }
        if (p == end || (*p != '"' && *p != '\'')) {
            return false;
        }
        const char* close =
            static_cast<const char*>(std::memchr(p + 1, *p, static_cast<std::size_t>(end - p - 1)));
        if (!close) {
            return false;
        }
        std::unique_ptr<XMLAttr> attr(newAttr());
        attr->adoptName(_names.get(name, static_cast<std::size_t>(nameStop - name)));
        if (close > p + 1) {
            try {
                detail::assignDecoded(attr->_value, p + 1, close, _decoded, _options);
            } catch (const detail::DecodeFailure&) {
                return false;
            }
        }
        read.push_back(std::move(attr));
        p = close + 1;
        while (p < end && isXmlSpace(*p)) {
            ++p;
        }
    }
    for (auto& attr : read) {
        node->addAttr(attr.release());
    }
    return true;
}

// "<!NAME text>": a declaration whose text is one attribute without value. A DOCTYPE's text runs to its
// closing ">", past an internal subset.
void XMLParser::readDeclaration(XMLNode* node, const char* start, const char*& cursor) {
    node->_type = XMLNode::Declaration;
    const char* gt = std::strchr(start, '>');
    if (!gt) {
        fail(205, start);
    }
    const char* name = start + 2;
    const char* end = name;
    while (*end && !isXmlSpace(*end) && *end != '>') {
        ++end;
    }
    const char* text = skipSpace(end);
    if (equalsIgnoreCase(name, static_cast<std::size_t>(end - name), "DOCTYPE")) {
        gt = detail::docTypeEnd(text);
        if (!gt) {
            fail(203, start);
        }
    }
    if (text < gt) {
        std::unique_ptr<XMLAttr> attr(newAttr());
        attr->adoptName(new XMLAttr::SharedName(text, static_cast<std::size_t>(gt - text)));
        node->addAttr(attr.release());
    }
    setName(node, name, end < gt ? end : gt);
    cursor = gt + 1;
}

bool XMLParser::readElementTag(XMLNode* node, const char* start, const char*& cursor) {
    node->_type = XMLNode::Element;
    const char* name = start + 1;
    const char* end = nameEnd(name, tagNameStops);
    const char* p = skipSpace(end);
    for (;;) {
        if (*p == '>') {
            setName(node, name, end);
            cursor = p + 1;
            return true;
        }
        if (*p == '/' && p[1] == '>') {
            setName(node, name, end);
            cursor = p + 2;
            return false;
        }
        if (!*p) {
            fail(205, start);
        }
        std::unique_ptr<XMLAttr> attr(newAttr());
        readAttribute(XMLNode::Element, *attr, p);
        node->addAttr(attr.release());
        p = skipSpace(p);
    }
}

void XMLParser::addDefaults(XMLNode* root, const detail::AttributeDefaults& defaults) {
    std::string name; // as the tag writes it
    for (XMLNode* n = root; n;) {
        if (n->_type == XMLNode::Element) {
            name.clear();
            if (!n->_nameSpace.isNull()) {
                name.append(n->_nameSpace.data(), n->_nameSpace.size()).append(1, ':');
            }
            name.append(n->_name.data(), n->_name.size());
            if (const auto* declared = defaults.of(name.data(), name.size())) {
                addDefaults(n, *declared);
            }
        }
        // The next node in document order.
        if (n->_pFirstChild) {
            n = n->_pFirstChild;
            continue;
        }
        while (n != root && !n->_pNext) {
            n = n->_pParent;
        }
        n = n == root ? nullptr : n->_pNext;
    }
}

void XMLParser::addDefaults(XMLNode* element,
                            const std::vector<detail::AttributeDefaults::Default>& declared) {
    for (const detail::AttributeDefaults::Default& d : declared) {
        if (!d.value.data()) {
            continue;
        }
        bool given = false;
        for (const XMLAttr* a = element->_pFirstAttr; a && !given; a = a->_pNext) {
            given = a->_pName && a->_pName->length == d.name.size() &&
                    std::memcmp(a->_pName->chars, d.name.data(), d.name.size()) == 0;
        }
        if (given) {
            continue;
        }
        std::unique_ptr<XMLAttr> attr(newAttr());
        attr->adoptName(_names.get(d.name.data(), d.name.size()));
        if (!d.value.empty()) {
            decode(attr->_value, d.value.data(), d.value.data() + d.value.size());
        }
        element->addAttr(attr.release());
    }
}

// name="value" or name='value', with white space allowed around "=".
void XMLParser::readAttribute(XMLNode::Type type, XMLAttr& attr, const char*& cursor) {
    const char* begin = cursor;
    if (!begin) {
        fail(205, begin);
    }
    if (type == XMLNode::Declaration) {
        const char* gt = std::strchr(begin, '>');
        if (!gt) {
            fail(205, begin);
        }
        if (gt > begin) {
            attr.adoptName(new XMLAttr::SharedName(begin, static_cast<std::size_t>(gt - begin)));
        }
        cursor = gt;
        return;
    }
    const char* const nameStop = nameEnd(begin, attributeNameStops);
    const char* p = skipSpace(nameStop);
    if (*p != '=') {
        fail(205, p);
    }
    p = skipSpace(p + 1);
    if (*p != '"' && *p != '\'') {
        fail(205, p);
    }
    const char* close = std::strchr(p + 1, *p);
    if (!close) {
        fail(205, p);
    }
    if (nameStop > begin) {
        // A fresh attribute: no name to give back, and none read from memory just written.
        attr._pName = _names.get(begin, static_cast<std::size_t>(nameStop - begin));
    }
    if (close > p + 1) {
        decode(attr._value, p + 1, close);
    }
    cursor = close + 1;
}

// The name, split at ":" into namespace and local name when it has one; text after a second ":" is
// dropped and an empty part is null.
void XMLParser::setName(XMLNode* node, const char* begin, const char* end) {
    const std::size_t length = static_cast<std::size_t>(end - begin);
    // Names are short: a plain loop costs less than a call.
    const char* colon = begin;
    while (colon < end && *colon != ':') {
        ++colon;
    }
    if (colon == end) {
        node->_name.assign(_texts, begin, length);
        return;
    }
    const char* localBegin = colon + 1;
    const char* second =
        static_cast<const char*>(std::memchr(localBegin, ':', static_cast<std::size_t>(end - localBegin)));
    const char* localEnd = second ? second : end;
    if (colon > begin) {
        node->_nameSpace.assign(_texts, begin, static_cast<std::size_t>(colon - begin));
    } else {
        node->_nameSpace.clear();
    }
    if (localEnd > localBegin) {
        node->_name.assign(_texts, localBegin, static_cast<std::size_t>(localEnd - localBegin));
    } else {
        node->_name.clear();
    }
}

namespace {

// Behind a quoted literal at p (null when p holds none or it is not closed).
const char* literalEnd(const char* p) {
    if (*p != '"' && *p != '\'') {
        return nullptr;
    }
    const char* close = std::strchr(p + 1, *p);
    return close ? close + 1 : nullptr;
}

// Behind the markup declaration that starts at p: its ">" outside quoted literals.
const char* declarationEnd(const char* p) {
    while (*p && *p != '>') {
        if (*p == '"' || *p == '\'') {
            const char* end = literalEnd(p);
            if (!end) {
                return p + std::strlen(p);
            }
            p = end;
        } else {
            ++p;
        }
    }
    return *p ? p + 1 : p;
}

const char* nameEndIn(const char* p) {
    while (*p && !isXmlSpace(*p) && *p != '>' && *p != '"' && *p != '\'' && *p != '[' && *p != ']') {
        ++p;
    }
    return p;
}

// Declares the attributes of an attribute-list declaration whose text, behind "<!ATTLIST", runs from p to
// end, within a copy, that begins at text, of the text at origin; the defaults refer to the origin. A
// definition that does not read ends the declaration there.
void declareAttributes(const char* p, const char* end, const char* text, const char* origin,
                       detail::AttributeDefaults& defaults) {
    const auto input = [text, origin](const char* q) { return origin + (q - text); };
    p = skipSpace(p);
    const char* element = p;
    p = nameEndIn(p);
    const std::string_view elementName(input(element), static_cast<std::size_t>(p - element));
    for (;;) {
        p = skipSpace(p);
        const char* name = p;
        const char* nameStop = nameEndIn(p);
        if (nameStop == name || elementName.empty() || nameStop >= end) {
            return;
        }
        // The type: a keyword, or an enumeration in parentheses, after NOTATION or not.
        p = skipSpace(nameStop);
        if (startsWith(p, "NOTATION")) {
            p = skipSpace(p + 8);
        }
        if (*p == '(') {
            p = std::strchr(p, ')');
            if (!p || p >= end) {
                return;
            }
            ++p;
        } else {
            p = nameEndIn(p);
        }
        // The default: #REQUIRED or #IMPLIED, or a value after #FIXED or not.
        p = skipSpace(p);
        if (startsWith(p, "#FIXED") && isXmlSpace(p[6])) {
            p = skipSpace(p + 6);
        }
        const char* value = nullptr;
        std::size_t length = 0;
        if (*p == '#') {
            p = nameEndIn(p);
        } else if (const char* literal = literalEnd(p)) {
            value = input(p + 1);
            length = static_cast<std::size_t>(literal - 1 - (p + 1));
            p = literal;
        } else {
            return;
        }
        if (p >= end) {
            return;
        }
        defaults.declare(elementName,
                         std::string_view(input(name), static_cast<std::size_t>(nameStop - name)), value,
                         length);
    }
}

} // namespace

void XMLParser::declareSubset(const char* text, const char* input, detail::EntityTable& table,
                              detail::AttributeDefaults& defaults) {
    // The subset opens with the first "[" outside the literals of the external identifier.
    const char* p = text;
    while (*p && *p != '[') {
        if (*p == '"' || *p == '\'') {
            p = literalEnd(p);
            if (!p) {
                return;
            }
        } else {
            ++p;
        }
    }
    if (!*p) {
        return;
    }
    ++p;
    for (;;) {
        p = skipSpace(p);
        if (!*p || *p == ']') {
            return;
        }
        if (startsWith(p, "<!--")) {
            p = commentEnd(p);
            if (!p) {
                return;
            }
        } else if (startsWith(p, "<?")) {
            const char* close = std::strstr(p + 2, "?>");
            if (!close) {
                return;
            }
            p = close + 2;
        } else if (startsWith(p, "<!ENTITY") && isXmlSpace(p[8])) {
            const char* end = declarationEnd(p);
            const char* q = skipSpace(p + 8);
            if (*q != '%') {
                const char* name = q;
                const char* nameStop = nameEndIn(q);
                q = skipSpace(nameStop);
                if (const char* literal = literalEnd(q)) {
                    table.declare(name, static_cast<std::size_t>(nameStop - name), q + 1,
                                  static_cast<std::size_t>(literal - 1 - (q + 1)), false);
                } else if (nameStop > name && (startsWith(q, "SYSTEM") || startsWith(q, "PUBLIC"))) {
                    table.declare(name, static_cast<std::size_t>(nameStop - name), "", 0, true);
                }
            }
            p = end;
        } else if (startsWith(p, "<!ATTLIST") && isXmlSpace(p[9])) {
            const char* end = declarationEnd(p);
            declareAttributes(p + 9, end, text, input, defaults);
            p = end;
        } else if (*p == '<') {
            p = declarationEnd(p);
        } else {
            // A parameter entity reference ("%name;") or text that belongs to no declaration.
            const char* semicolon = std::strchr(p, ';');
            const char* next = std::strpbrk(p, "<]");
            p = semicolon && (!next || semicolon < next) ? semicolon + 1 : next ? next : p + std::strlen(p);
        }
    }
}

// ---- entry points -----------------------------------------------------------------------------------

namespace {

// A text read without a declared encoding is read as UTF-8, as XML reads it.
detail::DecodeOptions standaloneOptions() {
    detail::DecodeOptions options;
    options.utf8References = true;
    return options;
}

bool isUtf8(const String& encoding) {
    const char* e = encoding;
    return !e || !*e || equalsIgnoreCase(e, std::strlen(e), "UTF-8") ||
           equalsIgnoreCase(e, std::strlen(e), "UTF8");
}

} // namespace

XMLNode::XMLNode(XMLNode* parent, const char*& text) : XMLNode() {
    try {
        XMLParser parser(text, standaloneOptions());
        parser.parseTree(this, text);
    } catch (...) {
        deleteContent();
        throw;
    }
    if (parent) {
        linkTo(parent);
    }
}

void XMLNode::fromStream(const char*& cursor) {
    XMLParser parser(cursor, standaloneOptions());
    parser.parseTree(this, cursor);
}

XMLAttr::XMLAttr(XMLNode* node, const char*& text) : XMLAttr() {
    XMLParser parser(text, standaloneOptions());
    parser.readAttribute(node ? node->_type : XMLNode::Element, *this, text);
    if (node) {
        node->addAttr(this);
    }
}

const XMLDoc& XMLDoc::fromStream(const char*& cursor) {
    replaceRoot(nullptr);
    clearTopLevel();
    _version = String();
    _encoding = String();
    _docType = String();
    if (!cursor) {
        throw XMLException(401);
    }
    const char* const begin = cursor;
    XMLParser parser(cursor, standaloneOptions());
    std::unique_ptr<detail::EntityTable> entities;
    std::unique_ptr<detail::AttributeDefaults> defaults;
    while (cursor) {
        const char* next = XMLParser::nextTopLevel(cursor);
        // Behind the root, an element after white space is not read (text after the root is ignored);
        // one that follows directly is read and dropped.
        if (*next == '\0' || (_pRoot && next != cursor && next[1] != '!' && next[1] != '?')) {
            break;
        }
        cursor = next;
        std::unique_ptr<XMLNode> node(parser.newNode());
        try {
            parser.parseTree(node.get(), cursor);
        } catch (const XMLException& e) {
            if (e.reason() == 203) {
                break;
            }
            throw;
        }
        switch (node->_type) {
        case XMLNode::Element:
            if (!_pRoot) {
                if (defaults && defaults->any()) {
                    parser.addDefaults(node.get(), *defaults);
                }
                _pRoot = node.release();
            }
            break;
        case XMLNode::Instruction:
            if (node->_name.equals("xml", 3)) {
                _version = node->attribute(String("version"));
                _encoding = node->attribute(String("encoding"));
                parser.utf8References(isUtf8(_encoding));
            } else {
                keepTopLevel(node.release());
            }
            break;
        case XMLNode::Comment:
            keepTopLevel(node.release());
            break;
        case XMLNode::Declaration:
            // XML allows one DOCTYPE: a later one is passed over, so that the text kept is the one whose
            // declarations are read.
            if (node->_name.equals("DOCTYPE", 7) && node->_pFirstAttr && !entities) {
                _docType = node->_pFirstAttr->name();
                entities.reset(new detail::EntityTable(std::strlen(begin)));
                defaults.reset(new detail::AttributeDefaults());
                // The DOCTYPE text ends at the ">" before the cursor.
                XMLParser::declareSubset(_docType, cursor - 1 - _docType.length(), *entities, *defaults);
                if (!entities->empty()) {
                    parser.entities(entities.get());
                }
            }
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

// "path: the system's words for error".
std::string systemError(const char* path, int error) {
    return std::string(path) + ": " + std::strerror(error);
}

} // namespace

const XMLDoc& XMLDoc::fromFile(const char* path) {
    replaceRoot(nullptr);
    clearTopLevel();
    if (!path) {
        throw XMLException(401);
    }
    struct stat status;
    if (stat(path, &status) != 0) {
        throw XMLException(403, systemError(path, errno).c_str());
    }
    if (S_ISDIR(status.st_mode)) {
        throw XMLException(403, systemError(path, EISDIR).c_str());
    }
    if (status.st_size < 5) {
        throw XMLException(401);
    }
    // Text mode: where the platform tells text from binary, CR LF arrives as LF.
    std::unique_ptr<std::FILE, FileCloser> file(std::fopen(path, "r"));
    if (!file) {
        throw XMLException(403, systemError(path, errno).c_str());
    }
    const auto size = static_cast<unsigned long long>(status.st_size);
    if (size >= static_cast<std::size_t>(-1)) {
        throw XMLException(404);
    }
    std::unique_ptr<char, MemoryFreer> text(
        static_cast<char*>(std::calloc(static_cast<std::size_t>(size) + 1, 1)));
    if (!text) {
        throw XMLException(404);
    }
    std::size_t read = 0;
    while (read < size) {
        const std::size_t got =
            std::fread(text.get() + read, 1, static_cast<std::size_t>(size) - read, file.get());
        if (got == 0) {
            break;
        }
        read += got;
    }
    // A read error is no end of file: parsing what arrived would give a document silently cut short.
    if (std::ferror(file.get())) {
        throw XMLException(403, systemError(path, errno).c_str());
    }
    const char* cursor = text.get();
    return fromStream(cursor);
}

} // namespace Kel
