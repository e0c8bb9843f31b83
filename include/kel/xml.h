#ifndef KEL_XML_H
#define KEL_XML_H

// An XML document model: entity coding, a tree of nodes with ordered attributes, a forward scanning
// parser, a writer that indents with TABs, and searches by name, namespace and attribute value.
//
// The parser reads the documents other programs write. Attributes take double or single quotes, with white
// space around "="; white space (blank, TAB, line end) may stand wherever XML allows it inside a tag and
// before the first tag. A comment is a comment whatever it holds ("<!-- <a/> -->" holds no element), kept
// whole as the value of a Comment node. CDATA sections are text. An element whose content is one run of
// text keeps it as its value; white space between child nodes stays out of the tree; an element whose
// content mixes text that is not only white space with child nodes (mixed content, "<a>x <b>y</b> z</a>")
// holds every run of its text, as it stands, as a child node of type Text, in document order. Character
// references above 127 give the UTF-8 bytes of the character in a document read as UTF-8 (declared so, or
// without declared encoding), the low 8 bits otherwise; "&#160;" always gives the byte 0xA0. The parser
// stays lenient where the input is not well-formed: end tags are not compared with start tags, and text
// after the root is ignored. Whatever the input, it never reads or writes outside the text it is given and
// never recurses: trees of any depth are parsed, copied, written, searched and destroyed with loops.
//
// Inputs that the scanner cannot make sense of, beyond the reasons listed with each operation:
// - an attribute with no "=" after its name, or without its quotes, and a declaration with no ">" after it,
//   raise XMLException(205), like a tag without ">";
// - element text with no "<" after it becomes the element's value up to the end of the text, and the
//   parse ends there; an end tag without ">" also ends the parse.
// Deeper trees than any limit one might set are simply read: depth costs heap, not stack.
//
// The writer writes well-formed XML that the parser, and any XML reader, reads back to the same content.
// Null and empty texts are both written empty and read back as null; "&", "<" and ">" are written as
// entities, a 0xA0 that is not part of a UTF-8 character as "&#160;", CR as "&#13;", and in attribute values
// the double quote, TAB and line feed as "&quot;", "&#9;" and "&#10;"; element text made only of white
// space starts with a character reference ("&#32;"), since the parser would otherwise see no text. The
// content of a mixed element is written as it stands, without indentation. A comment is written as the
// whole comment its value holds, or as "<!--" value "-->"; so is an element named like a comment's tag
// ("!--...") that has no namespace, attributes or children (refused with 303 as a document's root, which
// must be an element); other nodes so named keep their form and are refused with 303. An instruction is
// written "<?name attributes?>", or "<?name value?>" without attributes; a declaration like an element. What
// XML itself cannot hold raises XMLException, and nothing is written: 302 for a control character other than
// TAB, line feed and CR, "--" in a comment or "-" at its end, "?>" in an instruction, a version other than
// "1." and digits, an encoding name that is not one, and an empty DOCTYPE text; 303 for an element, attribute
// or instruction name that XML does not read as a name. What the text form does not carry comes back
// otherwise: a value together with children (the value is not written), the type of a declaration (read back
// as an element), names with a second ":" (the text after it is dropped), bytes that are not UTF-8 in a
// document declared UTF-8 (written as they are). A text that would be longer than a String can hold (4 GiB)
// raises XMLException(301); so does a chain of 100,000 nested elements, whose indentation alone needs about
// 10^10 TABs.
//
// Objects are not synchronised: a tree, its document and its search lists are used by one thread at a
// time. Different threads may parse or write different trees at once.

#include <kel/foundation.h>
#include <kel/string.h>

#include <cstddef>
#include <cstdint>
#include <iosfwd>
#include <iterator>
#include <type_traits>

namespace Kel {

class XMLAttr;
class XMLDoc;
class XMLNode;
class XMLNodeList;
class XMLSNode;
class XMLParser;
class XMLWriter;

/// A forward iterator over the children or attributes of a node, or the nodes of a search list, for
/// range-for. Step gives the item after one (null after the last). It stays valid while the item it
/// stands on does: destroying that item, or clearing the list, invalidates it; adding items at the end
/// does not. Iterating while another thread changes the tree is not allowed (trees are not synchronised).
template <class Owner, class Item, class Step> class XMLIterator {
public:
    using iterator_category = std::forward_iterator_tag;
    using value_type = std::remove_const_t<Item>;
    using difference_type = std::ptrdiff_t;
    using pointer = Item*;
    using reference = Item&;

    XMLIterator() = default;
    XMLIterator(Owner* owner, Item* item) : _owner(owner), _item(item) {}
    reference operator*() const { return *_item; }
    pointer operator->() const { return _item; }
    XMLIterator& operator++() {
        _item = Step()(_owner, _item);
        return *this;
    }
    XMLIterator operator++(int) {
        XMLIterator old = *this;
        ++*this;
        return old;
    }
    friend bool operator==(const XMLIterator& a, const XMLIterator& b) { return a._item == b._item; }
    friend bool operator!=(const XMLIterator& a, const XMLIterator& b) { return a._item != b._item; }

private:
    Owner* _owner = nullptr;
    Item* _item = nullptr;
};

/// The begin and end of an XMLIterator walk, for range-for.
template <class Iterator> class XMLRange {
public:
    explicit XMLRange(Iterator first) : _first(first) {}
    Iterator begin() const { return _first; }
    Iterator end() const { return Iterator(); }
    bool empty() const { return _first == Iterator(); }

private:
    Iterator _first;
};

/// The entity coding of the XML classes, on 8-bit text. Decoding knows "\&per;" (%), "\&amp;" (&), "\&gt;",
/// "\&lt;", "\&slash;" (/), "\&qm;" (?), "\&em;" (!), "\&dash;" (-), "\&ob;" ([), "\&cb;" (]), "\&eq;" (=),
/// "\&dq;" and "\&quot;" ("), "\&sq;" and "\&apos;" (') and "\&nbsp;" (the byte 0xA0), and character
/// references, decimal "\&\#N;" and hexadecimal "\&\#xN;". Encoding replaces only &, >, < and a byte 0xA0
/// that is not part of a well-formed UTF-8 character, so decoding gives back any encoded text.
class KEL_API XMLUtil {
public:
    /// The text with every &, >, < replaced by its entity, and every 0xA0 that does not belong to a
    /// well-formed UTF-8 character ("à" is C3 A0) by "\&nbsp;". A null text gives a null String.
    static const String XMLEncode(const String& text);

    /// The text with every entity replaced by its character, in one pass: "&amp;lt;" gives "&lt;". An
    /// entity runs from "&" to the first ";" within the 16 characters that begin with the "&"; none there
    /// raises XMLException(101), an entity outside the table XMLException(102). A decimal reference gives
    /// the low 8 bits of its number (read as atol reads it: "&#321;" is "A", "&#-1;" is 0xFF), and nothing
    /// when they are 0 ("&#x41;" reads as 0). A null text gives a null String.
    static const String XMLDecode(const String& text);

    /// Always String::null; the arguments are not used and *found is not written.
    static const String& getNode(const String& path, bool* found);
};

/// One attribute: a name and a value, linked into its node's attribute list.
class KEL_API XMLAttr : public KELBase {
public:
    /// Name and value as given; with a non-null node the attribute is appended to the node's attributes
    /// and belongs to the node from then on.
    XMLAttr(XMLNode* node, const String& name, const String& value);
    /// Parses name="value" or name='value' (white space allowed around "=") at the cursor, leaves the
    /// cursor behind the closing quote and appends the attribute to node (without a node it is read as for
    /// an element and belongs to the caller). An empty value ("") reads as null. For a declaration node the
    /// attribute is the whole text up to the next ">" (the cursor stays on the ">"). Throws
    /// XMLException(101, 102, 103) for a value that does not decode and XMLException(205) when no "=", no
    /// quote or no closing quote (or, for a declaration, no ">") follows; the place counts from the cursor.
    XMLAttr(XMLNode* node, const char*& text);
    ///@{
    /// Copies name and value and also the neighbour links, so that iterating from a copy goes on in the
    /// source's list; the copy itself is in no list.
    XMLAttr(const XMLAttr& o);
    XMLAttr& operator=(const XMLAttr& o);
    ///@}
    /// Does not unlink the attribute: attributes are destroyed through their node.
    ~XMLAttr() override;

    ///@{
    /// Attributes take their memory from a pool of equal-sized blocks instead of one heap allocation each:
    /// a large tree is built and torn down without fragmenting the heap. new and delete are written as
    /// usual; placement and nothrow forms need the global operator new, named explicitly.
    static void* operator new(std::size_t size);
    static void operator delete(void* attribute, std::size_t size) noexcept;
    ///@}

    /// The attribute's name.
    const String& name() const;
    ///@{
    /// The attribute's value as text (entities decoded).
    const String& value() const;
    void value(const String& value);
    ///@}

    /// name="value" with the value encoded and a double quote in it written "&quot;"; a null name or value
    /// is written empty.
    const String stream() const;

protected:
    ///@{
    /// "@ class Kel::XMLAttr" (ended by "\n" on a stream), then "Nm=<name> Va=<value>" with "(null)" for a
    /// null field.
    void dump(Socket& s) override;
    void dump(std::ostream& os) override;
    ///@}

private:
    XMLAttr();

    // A name, shared by the attributes that a parse or a copy gives the same name; counted.
    struct SharedName;
    // Takes over one reference to shared (null for a null name) as the name.
    void adoptName(SharedName* shared) noexcept;

    SharedName* _pName;
    String _value;
    XMLAttr* _pPrev;
    XMLAttr* _pNext;

    friend class XMLNode;
    friend class XMLParser;
    friend class XMLWriter;
};

/// A node of a document tree: a namespace prefix, a name, a text value, a type, ordered children and ordered
/// attributes. A node owns its children and attributes; destroying a linked node on its own unlinks it
/// from its parent and siblings. Names and values compare as Strings do: case-sensitively, null equal
/// only to null.
class KEL_API XMLNode : public KELBase {
public:
    /// What kind of tag the node stands for.
    enum Type {
        Element = 0,     ///< any other tag
        Instruction = 1, ///< a tag opened with "<?"; the name is kept without the "?"
        Declaration = 2, ///< a tag opened with "<!"; the name is kept without the "!"
        Comment = 3,     ///< "<!--" to "-->"; the value holds the whole comment, the name is "!--"
        Text = 4         ///< a run of text in mixed content; the value holds it, the name is null
    };

    /// An element of that name, without namespace or value.
    explicit XMLNode(const String& name);
    /// An element with that namespace and name, without value.
    XMLNode(const String& nameSpace, const String& name);
    /// A deep copy of other without parent or siblings. Attributes that share a name collapse into the
    /// first, holding the last one's value.
    XMLNode(const XMLNode& other);
    /// Takes other's namespace, name, value, type, children (whose parent becomes this node) and
    /// attributes, without parent or siblings. other keeps its place in its tree, emptied: null name,
    /// namespace and value, type Element, no children, no attributes.
    XMLNode(XMLNode&& other) noexcept;
    /// Destroys the subtree and unlinks the node from its parent and siblings.
    ~XMLNode() override;

    ///@{
    /// Nodes take their memory from a pool of equal-sized blocks instead of one heap allocation each: a
    /// large tree is built and torn down without fragmenting the heap. new and delete are written as
    /// usual; placement and nothrow forms need the global operator new, named explicitly. A derived class of
    /// another size is allocated on the heap.
    static void* operator new(std::size_t size);
    static void operator delete(void* node, std::size_t size) noexcept;
    ///@}

    /// Replaces name, namespace, value, type, children and attributes by a deep copy of other; the node
    /// keeps its place in its own tree. Other may lie anywhere, even inside this node's subtree.
    const XMLNode& operator=(const XMLNode& other);
    /// Replaces this node's fields and content by other's, as the move constructor takes them, and
    /// empties other likewise; the node keeps its place in its own tree. other may lie inside this
    /// node's subtree (it is destroyed with the old content once its own content is taken); when other is
    /// an ancestor of this node, or this node itself, nothing changes.
    XMLNode& operator=(XMLNode&& other) noexcept;

    ///@{
    /// Each appends a new last child and returns it: parsed at the cursor (advancing it; on XMLException
    /// nothing is appended), a deep copy of node, or built from the given fields.
    XMLNode* addNode(const char*& text);
    XMLNode* addNode(const XMLNode& node);
    XMLNode* addNode(const String& nameSpace, const String& name, const String& value);
    XMLNode* addNode(const String& name, const String& value);
    ///@}
    ///@{
    /// As addNode on this node's parent: the new node becomes the parent's last child, wherever this node
    /// stands. Without a parent the new node has none either, and the caller owns it.
    XMLNode* insertNodeAfter(const char*& text);
    XMLNode* insertNodeAfter(const XMLNode& node);
    XMLNode* insertNodeAfter(const String& nameSpace, const String& name, const String& value);
    XMLNode* insertNodeAfter(const String& name, const String& value);
    ///@}

    /// Gives the first attribute of that name the value (it keeps its place), or appends a new attribute.
    void attribute(const String& name, const String& value);
    /// The value of the first attribute of that name, or a null String.
    const String attribute(const String& name) const;
    /// The first attribute for a null prev, otherwise the one after prev; null after the last.
    XMLAttr* attribute(XMLAttr* prev) const;

    struct NextChild {
        XMLNode* operator()(XMLNode* n, XMLNode* c) const { return n->nextChild(c); }
        const XMLNode* operator()(const XMLNode* n, const XMLNode* c) const { return n->nextChild(c); }
    };
    struct NextAttribute {
        XMLAttr* operator()(const XMLNode* n, XMLAttr* a) const { return n->attribute(a); }
        const XMLAttr* operator()(const XMLNode* n, const XMLAttr* a) const {
            return n->attribute(const_cast<XMLAttr*>(a));
        }
    };
    using ChildIterator = XMLIterator<XMLNode, XMLNode, NextChild>;
    using ConstChildIterator = XMLIterator<const XMLNode, const XMLNode, NextChild>;
    using AttributeIterator = XMLIterator<const XMLNode, XMLAttr, NextAttribute>;
    using ConstAttributeIterator = XMLIterator<const XMLNode, const XMLAttr, NextAttribute>;

    ///@{
    /// The children, first to last, for range-for: `for (XMLNode& child : node.children())`. Text
    /// nodes of mixed content are among them.
    XMLRange<ChildIterator> children() {
        return XMLRange<ChildIterator>(ChildIterator(this, nextChild(nullptr)));
    }
    XMLRange<ConstChildIterator> children() const {
        return XMLRange<ConstChildIterator>(ConstChildIterator(this, nextChild(nullptr)));
    }
    ///@}
    ///@{
    /// The attributes, first to last, for range-for: `for (XMLAttr& a : node.attributes())`.
    XMLRange<AttributeIterator> attributes() {
        return XMLRange<AttributeIterator>(AttributeIterator(this, attribute(nullptr)));
    }
    XMLRange<ConstAttributeIterator> attributes() const {
        return XMLRange<ConstAttributeIterator>(ConstAttributeIterator(this, attribute(nullptr)));
    }
    ///@}

    /// Destroys all children and attributes; name, namespace, value and type stay.
    void deleteContent();
    /// The number of ancestors: 0 without parent.
    long level() const;

    ///@{
    /// The node that holds this one; null for a root or an unlinked node.
    XMLNode* parent();
    const XMLNode* parent() const;
    ///@}
    ///@{
    /// The first child for a null prev, otherwise the sibling after prev; null after the last.
    XMLNode* nextChild(const XMLNode* prev);
    const XMLNode* nextChild(const XMLNode* prev) const;
    ///@}

    /// The tag name (without namespace).
    const String name() const;
    /// The namespace prefix of the name; null when none was given.
    const String nameSpace() const;
    ///@{
    /// The node's text (entities decoded); null when none was given.
    const String value() const;
    void value(const String& value);
    ///@}
    ///@{
    /// The kind of tag the node stands for.
    Type type() const;
    void type(Type t);
    ///@}

    /// Parses one node with its subtree at the cursor into this node and advances the cursor behind what
    /// it read (to null when the text ends). Name and type are replaced; the namespace only when the new
    /// name has one ("p:item"); the value only when the new text sets one. Children and attributes found
    /// are appended after those the node already has. Throws XMLException: 203 when the text does not begin
    /// with "<", or a "!DOCTYPE" has no ">", a comment no "-->" or a CDATA section no "]]>"; 205 when the
    /// tag has no ">"; 101, 102 or 103 for text that does not decode. Nodes of the subtree under
    /// construction are then discarded.
    void fromStream(const char*& cursor);

    /// The node and its subtree as text, one tag per line, each line ended by a line feed and indented by
    /// one TAB per level (the node's own first line only when indent is true); the content of a mixed
    /// element as it stands. See the notes at the top of this file. Throws XMLException(301) when the text
    /// would be too long for a String, 302 or 303 for a text or name XML cannot hold.
    const String stream(bool indent) const;

    ///@{
    /// The first direct child after `after` (from the first child when it is null; `after` must be a child
    /// of this node) whose name, namespace and attribute attrName equal the arguments, or null. A child
    /// without the attribute matches a null attrValue. Text nodes are never found.
    XMLNode* findChild(const String& nameSpace, const String& name, const String& attrName,
                       const String& attrValue, const XMLNode* after);
    const XMLNode* findChild(const String& nameSpace, const String& name, const String& attrName,
                             const String& attrValue, const XMLNode* after) const;
    XMLNode* findChild(const String& name, const String& attrName, const String& attrValue,
                       const XMLNode* after);
    const XMLNode* findChild(const String& name, const String& attrName, const String& attrValue,
                             const XMLNode* after) const;
    XMLNode* findChild(const String& nameSpace, const String& name, const XMLNode* after);
    const XMLNode* findChild(const String& nameSpace, const String& name, const XMLNode* after) const;
    XMLNode* findChild(const String& name, const XMLNode* after);
    const XMLNode* findChild(const String& name, const XMLNode* after) const;
    ///@}

    ///@{
    /// Appends to list every node below this one (this node itself is not tested; text nodes never) that
    /// matches, in post-order: a node's matching descendants come before it, siblings in document order. The
    /// list is not cleared first.
    void findNodeS(XMLNodeList& list, const String& nameSpace, const String& name, const String& attrName,
                   const String& attrValue);
    void findNodeS(XMLNodeList& list, const String& name, const String& attrName, const String& attrValue);
    void findNodeS(XMLNodeList& list, const String& nameSpace, const String& name);
    void findNodeS(XMLNodeList& list, const String& name);
    ///@}

protected:
    /// Links node as the last child; node's parent is not set.
    void addNodeToParent(XMLNode* node);
    /// Links attr as the last attribute.
    void addAttr(XMLAttr* attr);
    ///@{
    /// The first attribute of that name, or null.
    XMLAttr* findAttribute(const String& name);
    const XMLAttr* findAttribute(const String& name) const;
    ///@}

    ///@{
    /// "@ class Kel::XMLNode", then "Ns=<namespace> Nm=<name> Va=<value>" with "(null)" for a null field.
    void dump(Socket& s) override;
    void dump(std::ostream& os) override;
    ///@}

private:
    XMLNode();
    XMLNode(XMLNode* parent, const char*& text);
    XMLNode(XMLNode* parent, const XMLNode& other);
    XMLNode(XMLNode* parent, const String& nameSpace, const String& name, const String& value);
    XMLNode(XMLNode* parent, const String& name, const String& value);

    void linkTo(XMLNode* parent);
    /// Links node as a child right after `after`, or as the first child when after is null.
    void insertChildAfter(XMLNode* node, XMLNode* after);
    void copyContentFrom(const XMLNode& other);
    void copyAttributesFrom(const XMLNode& other);
    void takeContentFrom(XMLNode& other) noexcept;
    /// The search criteria: name always, namespace and attribute where given.
    bool matches(const String* nameSpace, const String& name, const String* attrName,
                 const String* attrValue) const;
    XMLNode* firstMatch(const XMLNode* after, const String* nameSpace, const String& name,
                        const String* attrName, const String* attrValue) const;
    void collect(XMLNodeList& list, const String* nameSpace, const String& name, const String* attrName,
                 const String* attrValue);

    // A name or a value, in 16 bytes: null, a text of up to 15 characters held in place, a longer text
    // on the heap or among the texts of the parse that read it, or a copy of a String whose fixed length or
    // numeric mark must come back with it.
    class Field {
    public:
        Field() noexcept { _aBytes[15] = static_cast<char>(nullTag); }
        Field(const Field&) = delete;
        ~Field() { release(); }
        Field& operator=(const Field& o);
        Field& operator=(Field&& o) noexcept;
        Field& operator=(const String& s);

        // The text [p, p + n), not null.
        void assign(const char* p, std::size_t n);
        // The same, kept in the chunk of texts of a parse when it does not fit in place.
        template <class Chunks> void assign(Chunks& chunks, const char* p, std::size_t n);
        void clear() noexcept;
        bool isNull() const;
        // The characters (an empty text when null) and their number.
        const char* data() const;
        std::size_t size() const;
        // The String the field stands for: null, the text, or the copy kept.
        String str() const;
        // As String's ==: both null, or neither null and the same text.
        bool equals(const String& s) const;
        bool equals(const char* p, std::size_t n) const;

    private:
        // Below 16: held in place.
        enum : unsigned char { heapTag = 0x80, boxTag = 0x81, nullTag = 0x82, sharedTag = 0x83 };
        void release() noexcept;
        unsigned char tag() const { return static_cast<unsigned char>(_aBytes[15]); }
        char* pointer() const;
        std::uint32_t heapLength() const;
        void setPointer(void* p, std::uint32_t length, unsigned char tag) noexcept;

        alignas(8) char _aBytes[16];
    };

    // The type first: it fits into the room KELBase leaves behind its members.
    Type _type;
    Field _nameSpace;
    Field _name;
    Field _value;
    XMLNode* _pPrev;
    XMLNode* _pNext;
    XMLNode* _pFirstChild;
    XMLNode* _pLastChild;
    XMLAttr* _pFirstAttr;
    XMLAttr* _pLastAttr;
    XMLNode* _pParent;

    friend class XMLAttr;
    friend class XMLDoc;
    friend class XMLParser;
    friend class XMLWriter;
};

/// One cell of a search list: a found node (not owned) and the next cell.
class KEL_API XMLSNode {
public:
    /// A cell without node and without next cell.
    XMLSNode();
    ///@{
    /// A single cell for the same node; the chain behind o is not copied.
    XMLSNode(const XMLSNode& o);
    XMLSNode& operator=(const XMLSNode& o);
    ///@}
    /// Destroys the cells after this one (with a loop, however long the chain).
    virtual ~XMLSNode();

private:
    explicit XMLSNode(XMLNode* node);

    XMLNode* _pNode;
    XMLSNode* _pNext;

    friend class XMLNodeList;
};

/// The result of findNodeS: a singly linked list of cells pointing into a tree. The list owns its cells,
/// not the nodes; a list that outlives its tree holds dangling pointers and never touches them. Copies are
/// deep: each list has its own cells pointing to the same nodes.
class KEL_API XMLNodeList {
public:
    /// An empty list.
    XMLNodeList();
    ///@{
    /// Copy construction and assignment, as the class comment describes.
    XMLNodeList(const XMLNodeList& o);
    XMLNodeList& operator=(const XMLNodeList& o);
    ///@}
    ///@{
    /// Takes o's cells; o is left empty.
    XMLNodeList(XMLNodeList&& o) noexcept;
    XMLNodeList& operator=(XMLNodeList&& o) noexcept;
    ///@}
    virtual ~XMLNodeList();

    /// Destroys all cells; the list is empty.
    void clear();
    /// Steps cell to the first cell when it is null, otherwise to the next one, and returns that cell's node;
    /// null, with cell null, after the last.
    XMLNode* next(XMLSNode*& cell);

    /// The found nodes in list order, for range-for: `for (XMLNode& found : list)`.
    class Iterator {
    public:
        using iterator_category = std::forward_iterator_tag;
        using value_type = XMLNode;
        using difference_type = std::ptrdiff_t;
        using pointer = XMLNode*;
        using reference = XMLNode&;

        Iterator() = default;
        reference operator*() const { return *_node; }
        pointer operator->() const { return _node; }
        Iterator& operator++() {
            _node = _list->next(_cell);
            return *this;
        }
        Iterator operator++(int) {
            Iterator old = *this;
            ++*this;
            return old;
        }
        friend bool operator==(const Iterator& a, const Iterator& b) { return a._cell == b._cell; }
        friend bool operator!=(const Iterator& a, const Iterator& b) { return a._cell != b._cell; }

    private:
        explicit Iterator(XMLNodeList* list) : _list(list) { _node = _list->next(_cell); }
        XMLNodeList* _list = nullptr;
        XMLSNode* _cell = nullptr;
        XMLNode* _node = nullptr;
        friend class XMLNodeList;
    };
    ///@{
    /// The first and past-the-last found node.
    Iterator begin() const { return Iterator(const_cast<XMLNodeList*>(this)); }
    Iterator end() const { return Iterator(); }
    ///@}

protected:
    /// Appends a cell for node.
    void add(XMLNode* node);

private:
    XMLSNode* _pFirst;
    XMLSNode* _pLast;

    friend class XMLNode;
};

/// A document: the values of the XML declaration (version and encoding), the DOCTYPE text, and the root
/// node, which the document owns. Copies are deep.
class KEL_API XMLDoc : public KELBase {
public:
    /// No declaration values, no DOCTYPE, no root.
    XMLDoc();
    /// The document parsed from text, as fromStream does (the caller's pointer does not move). Throws what
    /// fromStream throws.
    explicit XMLDoc(const char* text);
    /// A root element rootName; no DOCTYPE.
    XMLDoc(const String& rootName, const String& version, const String& encoding);
    /// DOCTYPE text name, and a root element name when createRoot is true.
    XMLDoc(const String& name, const String& version, const String& encoding, bool createRoot);
    ///@{
    /// A root element rootName, which is also the DOCTYPE text when withDocType is true.
    XMLDoc(const String& rootName, bool withDocType, const String& version, const String& encoding);
    XMLDoc(const XMLDoc& other);
    ~XMLDoc() override;
    const XMLDoc& operator=(const XMLDoc& other);
    ///@}
    ///@{
    /// Takes other's declaration values, DOCTYPE text, root, prolog and epilog; other is left as XMLDoc()
    /// leaves a document: no values, no DOCTYPE, no root. Nodes of the tree keep their addresses.
    XMLDoc(XMLDoc&& other) noexcept;
    XMLDoc& operator=(XMLDoc&& other) noexcept;
    ///@}

    ///@{
    /// True when there is no root.
    bool isNull() const;
    XMLNode* rootNode();
    const XMLNode* rootNode() const;
    ///@}
    /// Replaces the root by a new element named name; the encoding becomes "UTF-8", the DOCTYPE text
    /// becomes name when withDocType is true.
    void rootNode(const String& name, bool withDocType);
    /// Replaces the root by node as its text carries it: node is written with stream(false) and parsed
    /// back, and the DOCTYPE text becomes the new root's name. node may lie in this document's own tree.
    /// On XMLException (the text does not parse back) the document is left without root.
    void rootNode(const XMLNode& node);

    ///@{
    /// The version and the encoding of the XML declaration; null when the document has none.
    String version() const;
    String encoding() const;
    ///@}
    ///@{
    /// The DOCTYPE text: what stands between "<!DOCTYPE " and its ">", internal subset included
    /// ("svg [ <!ENTITY ns 'http://...'> ]"); null when the document has none.
    String docType() const;
    void docType(const String& text);
    ///@}

    ///@{
    /// The comments and processing instructions before the root (prolog) and after it (epilog), in
    /// document order, as the children of a holder node without name; null when there are none (the
    /// non-const forms create an empty holder then). The writer writes the prolog's nodes after the
    /// DOCTYPE and before the root, the epilog's after the root, each on a line of its own. Only
    /// comments and instructions may stand there (an element standing for a comment is one): stream()
    /// refuses an element or a declaration, which would be a second tag beside the root, with
    /// XMLException(303), and a text node holding more than white space with XMLException(302); text
    /// nodes of white space alone are not written (the reader keeps no white space outside the root).
    XMLNode* prolog();
    const XMLNode* prolog() const;
    XMLNode* epilog();
    const XMLNode* epilog() const;
    ///@}

    /// Reads a document: the root, prolog, epilog, version, encoding and DOCTYPE text are reset, then one
    /// top-level node after another is parsed, white space between them passed over. The first element
    /// becomes the root (a later one is dropped when it follows directly, and ends the document after
    /// white space), an "xml" instruction gives version and encoding, a "DOCTYPE" declaration the DOCTYPE
    /// text and the declarations below (XML allows one: a later one is passed over, so that the text kept
    /// is the one whose declarations were read), and comments and other instructions go to the prolog or
    /// the epilog. Text that is not a tag ends the document quietly.
    ///
    /// General entities that the DOCTYPE's internal subset declares (<!ENTITY name "text">) are expanded
    /// where text and attribute values refer to them, whatever the length of their names (other
    /// references keep the 16 characters that XMLUtil::XMLDecode allows them), within limits:
    /// XMLException(105) for an entity met inside its own expansion, for more than 16 expansions inside one
    /// another, or for expansions that read more than 10 times the size of the text (at least 1 MiB) of
    /// replacement text in all, each expansion at any depth counting at least the length of its reference, so
    /// that entities that give nothing cannot keep the reader busy either (expansions never give more text
    /// than they read); XMLException(106) for an entity whose text holds markup ("<"). An external entity
    /// (SYSTEM or PUBLIC) is never read: a reference to one raises XMLException(104).
    ///
    /// Attribute defaults that the internal subset declares (<!ATTLIST element name CDATA "value">, also
    /// with `#FIXED`, any type, several attributes in one declaration, several declarations for one element)
    /// are given to the elements of the root's tree whose tags lack the attribute, behind their own
    /// attributes in the order of declaration. The first declaration of an attribute counts, as in XML;
    /// `#REQUIRED` and `#IMPLIED` add nothing. Element and attribute names match as tags write them, prefix
    /// included. A value is read like an attribute value where it is given, entities expanded: a reference
    /// that fails raises its XMLException at its place in the DOCTYPE.
    ///
    /// Throws XMLException(401) for a null cursor and passes on 101 to 106 and 205; what was read before
    /// stays. Every XMLException raised while reading the text tells where: line(), column() (counting
    /// bytes) and offset() from the start of the text, also in its detail and what().
    const XMLDoc& fromStream(const char*& cursor);
    /// Reads the file (in text mode) and parses it as fromStream does. The root is dropped first. Throws
    /// XMLException: 401 for a null path or a file smaller than 5 bytes, 403 when the file cannot be read,
    /// 404 when there is no memory for its text, and what fromStream throws.
    const XMLDoc& fromFile(const char* path);

    /// The declaration "<?xml version="..." encoding="..."?>" when the version or the encoding is set (the
    /// version "1.0" when only the encoding is, the encoding only when it is set), followed on the same line
    /// by "<!DOCTYPE text>" when there is a DOCTYPE text, a line feed when either was written, the
    /// prolog's nodes, the root's stream(true) and the epilog's nodes. Throws XMLException(301) when the
    /// text would be too long for a String, 302 or 303 for a text or name XML cannot hold, or a node that
    /// cannot stand outside the root (see prolog()).
    String stream() const;

protected:
    ///@{
    /// "@ class Kel::XMLDoc", then the text of stream() and one more line end.
    void dump(Socket& s) override;
    void dump(std::ostream& os) override;
    ///@}

private:
    void replaceRoot(XMLNode* root);
    void clearTopLevel();
    void keepTopLevel(XMLNode* node);
    void copyTopLevel(const XMLDoc& other);

    String _version;
    String _encoding;
    String _docType;
    XMLNode* _pRoot;
    XMLNode* _pProlog = nullptr;
    XMLNode* _pEpilog = nullptr;

    friend class XMLWriter;
};

} // namespace Kel

#endif
