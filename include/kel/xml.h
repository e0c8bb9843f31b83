#ifndef KEL_XML_H
#define KEL_XML_H

// An XML document model: entity coding, a tree of nodes with ordered attributes, a forward scanning
// parser, a writer that indents with TABs, and searches by name, namespace and attribute value.
//
// The parser reads a subset of XML with plain character searches: attributes are written name="value"
// (double quotes, no white space around "="), an element keeps its text only when it has no child
// elements, end tags are not compared with start tags, and comments, instructions and declarations are
// kept as nodes of their own types. Whatever the input, it never reads or writes outside the text it is
// given and never recurses: trees of any depth are parsed, copied, written, searched and destroyed with
// loops.
//
// Inputs that the scanner cannot make sense of, beyond the reasons listed with each operation:
// - an attribute with no "=" after it, or without its closing double quote, and a declaration whose
//   attribute text has no ">" after it, raise XMLException(205), like a tag without ">";
// - element text with no "<" after it becomes the element's value up to the end of the text, and the
//   parse ends there; an end tag without ">" also ends the parse;
// - a start tag with white space before its "/" or ">" (<br />, <a >) is an element without attributes
//   named by the text before the white space; only a "/" directly before ">" is taken off a name.
// Deeper trees than any limit one might set are simply read: depth costs heap, not stack.
//
// The writer writes what the parser reads back to the same values. Null and empty texts are both written
// empty and read back as null; a double quote in an attribute value, the version or the encoding is
// written "&quot;"; element text made only of white space starts with a character reference ("&#32;"),
// since the parser would otherwise see no text; a comment is preceded by as much of "<!--" and its tag
// name as its value lacks, since the parser starts a comment's value a number of characters after the
// "<" that depends on the blanks behind the name. What the text form cannot carry does not come back as
// it was: a value together with children, the type of an instruction or declaration inside an element
// (written like an element), names that read differently (an empty name, a leading "!", "?" or "/",
// a trailing "/", a "<" or a blank inside, attribute names holding "=", ">" or a quote), a DOCTYPE text
// ending with "/", and a comment whose first ">" follows a "/" (read as an empty-element tag, so what
// follows that ">" is read again).
// A text that would be longer than a String can hold (4 GiB) raises XMLException(301); so does a chain
// of 100,000 nested elements, whose indentation alone needs about 10^10 TABs.
//
// Objects are not synchronised: a tree, its document and its search lists are used by one thread at a
// time. Different threads may parse or write different trees at once.

#include <kel/foundation.h>
#include <kel/string.h>

#include <cstddef>
#include <iosfwd>

namespace Kel {

class XMLAttr;
class XMLDoc;
class XMLNode;
class XMLNodeList;
class XMLSNode;
class XMLParser;
class XMLWriter;

/// The entity coding of the XML classes, on 8-bit text. Decoding knows "\&per;" (%), "\&amp;" (&), "\&gt;",
/// "\&lt;", "\&slash;" (/), "\&qm;" (?), "\&em;" (!), "\&dash;" (-), "\&ob;" ([), "\&cb;" (]), "\&eq;" (=),
/// "\&dq;" and "\&quot;" ("), "\&sq;" (') and "\&nbsp;" (the byte 0xA0), and decimal references "\&\#N;".
/// Encoding replaces only &, >, < and the byte 0xA0, so decoding gives back any encoded text.
class KEL_API XMLUtil {
public:
    /// The text with every &, >, < and 0xA0 replaced by its entity. A null text gives a null String.
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
    /// Parses name="value" at the cursor, leaves the cursor behind the closing quote and appends the
    /// attribute to node (without a node it is read as for an element and belongs to the caller). An empty
    /// value ("") reads as null. For a declaration node the attribute is the whole text up to the next ">"
    /// (the cursor stays on the ">"). Throws
    /// XMLException(101, 102) for a value that does not decode and XMLException(205) when no "=" or no
    /// closing quote (or, for a declaration, no ">") follows.
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

    String _name;
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
        Comment = 3      ///< "<!--" followed by white space; the value holds the comment's text
    };

    /// An element of that name, without namespace or value.
    explicit XMLNode(const String& name);
    /// An element with that namespace and name, without value.
    XMLNode(const String& nameSpace, const String& name);
    /// A deep copy of other without parent or siblings. Attributes that share a name collapse into the
    /// first, holding the last one's value.
    XMLNode(const XMLNode& other);
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
    /// with "<", or a "!DOCTYPE" has no ">" or a comment no "-->"; 205 when the tag has no ">"; 101 or 102
    /// for text that does not decode. Nodes of the subtree under construction are then discarded.
    void fromStream(const char*& cursor);

    /// The node and its subtree as text, one tag per line, each line ended by a line feed and indented by
    /// one TAB per level (the node's own first line only when indent is true). See the notes at the top of
    /// this file. Throws XMLException(301) when the text would be too long for a String.
    const String stream(bool indent) const;

    ///@{
    /// The first direct child after `after` (from the first child when it is null; `after` must be a child
    /// of this node) whose name, namespace and attribute attrName equal the arguments, or null. A child
    /// without the attribute matches a null attrValue.
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
    /// Appends to list every node below this one (this node itself is not tested) that matches, in
    /// post-order: a node's matching descendants come before it, siblings in document order. The list is
    /// not cleared first.
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
    void copyContentFrom(const XMLNode& other);
    void copyAttributesFrom(const XMLNode& other);
    /// The search criteria: name always, namespace and attribute where given.
    bool matches(const String* nameSpace, const String& name, const String* attrName,
                 const String* attrValue) const;
    XMLNode* firstMatch(const XMLNode* after, const String* nameSpace, const String& name,
                        const String* attrName, const String* attrValue) const;
    void collect(XMLNodeList& list, const String* nameSpace, const String& name, const String* attrName,
                 const String* attrValue);

    String _nameSpace;
    String _name;
    String _value;
    Type _type;
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
    virtual ~XMLNodeList();

    /// Destroys all cells; the list is empty.
    void clear();
    /// Steps cell to the first cell when it is null, otherwise to the next one, and returns that cell's node;
    /// null, with cell null, after the last.
    XMLNode* next(XMLSNode*& cell);

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
    /// The DOCTYPE text; null when the document has none.
    String docType() const;
    void docType(const String& text);
    ///@}

    /// Reads a document: the root, version, encoding and DOCTYPE text are reset, then one top-level node
    /// after another is parsed. The first element becomes the root (later ones are dropped), an "xml"
    /// instruction gives version and encoding, a "DOCTYPE" declaration the DOCTYPE text. Text that is not a
    /// tag ends the document quietly. Throws XMLException(401) for a null cursor and passes on 101, 102
    /// and 205; what was read before stays.
    const XMLDoc& fromStream(const char*& cursor);
    /// Reads the file (in text mode) and parses it as fromStream does. The root is dropped first. Throws
    /// XMLException: 401 for a null path or a file smaller than 5 bytes, 403 when the file cannot be read,
    /// 404 when there is no memory for its text, and what fromStream throws.
    const XMLDoc& fromFile(const char* path);

    /// The declaration line "<?xml version="..." encoding="..."?>" (null values written empty), followed on
    /// the same line by "<!DOCTYPE text>" when there is a DOCTYPE text, a line feed, and the root's
    /// stream(true). Throws XMLException(301) when the text would be too long for a String.
    String stream() const;

protected:
    ///@{
    /// "@ class Kel::XMLDoc", then the text of stream() and one more line end.
    void dump(Socket& s) override;
    void dump(std::ostream& os) override;
    ///@}

private:
    void replaceRoot(XMLNode* root);

    String _version;
    String _encoding;
    String _docType;
    XMLNode* _pRoot;

    friend class XMLWriter;
};

} // namespace Kel

#endif
