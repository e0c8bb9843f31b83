#include "foundation/block_pool.h"
#include "foundation/dump.h"
#include "xml/xml_text.h"

#include <kel/net.h>
#include <kel/xml.h>

#include <memory>
#include <ostream>
#include <string_view>
#include <unordered_map>
#include <utility>

namespace Kel {

namespace {

template <class Sink>
void writeNodeLine(Sink& sink, const String& nameSpace, const String& name, const String& value) {
    sink << "Ns=" << detail::orNull(nameSpace) << " Nm=" << detail::orNull(name)
         << " Va=" << detail::orNull(value);
}

} // namespace

// ---- XMLNode::Field ----------------------------------------------------------------------------------

namespace {

// Whether the numeric mark may be set on s: numbers are written with digits, sign, point, "inf" and "nan".
bool mayBeNumber(const char* p, std::size_t n) {
    if (n == 0) {
        return false;
    }
    for (std::size_t i = 0; i < n; ++i) {
        if (!std::strchr("0123456789+-.infaINFA", p[i]) || p[i] == '\0') {
            return false;
        }
    }
    return true;
}

} // namespace

XMLNode::Field& XMLNode::Field::operator=(const Field& o) {
    if (this == &o) {
        return *this;
    }
    if (o.tag() == boxTag) {
        String* copy = new String(*reinterpret_cast<const String*>(o.pointer()));
        release();
        setPointer(copy, 0, boxTag);
    } else if (o.tag() == nullTag) {
        clear();
    } else {
        assign(o.data(), o.size());
    }
    return *this;
}

XMLNode::Field& XMLNode::Field::operator=(Field&& o) noexcept {
    if (this != &o) {
        release();
        std::memcpy(_aBytes, o._aBytes, sizeof _aBytes);
        o._aBytes[15] = static_cast<char>(nullTag);
    }
    return *this;
}

// A String with a fixed length, or that may carry the numeric mark, is kept as it is, so that it comes
// back with its marks; any other is kept as its text.
XMLNode::Field& XMLNode::Field::operator=(const String& s) {
    const char* text = s;
    const std::size_t n = s.length();
    if (s.fixedLength() != 0 || (text && mayBeNumber(text, n))) {
        String* copy = new String(s);
        release();
        setPointer(copy, 0, boxTag);
    } else if (s.isNull()) {
        clear();
    } else {
        assign(text ? text : "", n);
    }
    return *this;
}

String XMLNode::Field::str() const {
    const unsigned char t = tag();
    if (t == boxTag) {
        return *reinterpret_cast<const String*>(pointer());
    }
    String s;
    if (t != nullTag) {
        s.copy(data(), static_cast<unsigned long>(size()));
    }
    return s;
}

// ---- XMLAttr ----------------------------------------------------------------------------------------

XMLAttr::XMLAttr() : KELBase(), _pName(nullptr), _pPrev(nullptr), _pNext(nullptr) {}

XMLAttr::XMLAttr(XMLNode* node, const String& name, const String& value)
    : KELBase(), _pName(name.isNull() && name.fixedLength() == 0 ? nullptr : new SharedName(name)),
      _value(value), _pPrev(nullptr), _pNext(nullptr) {
    if (node) {
        node->addAttr(this);
    }
}

XMLAttr::XMLAttr(const XMLAttr& o)
    : KELBase(o), _pName(o._pName ? o._pName->acquire() : nullptr), _value(o._value), _pPrev(o._pPrev),
      _pNext(o._pNext) {}

XMLAttr& XMLAttr::operator=(const XMLAttr& o) {
    if (this != &o) {
        KELBase::operator=(o);
        _value = o._value;
        adoptName(o._pName ? o._pName->acquire() : nullptr);
        _pPrev = o._pPrev;
        _pNext = o._pNext;
    }
    return *this;
}

XMLAttr::~XMLAttr() {
    SharedName::release(_pName);
}

void* XMLAttr::operator new(std::size_t size) {
    return detail::pooledNew<XMLAttr>(size);
}

void XMLAttr::operator delete(void* attribute, std::size_t size) noexcept {
    detail::pooledDelete<XMLAttr>(attribute, size);
}

const String& XMLAttr::name() const {
    return _pName ? _pName->text : String::null;
}

const String& XMLAttr::value() const {
    return _value;
}

void XMLAttr::value(const String& value) {
    _value = value;
}

void XMLAttr::dump(Socket& s) {
    detail::dumpHeader(s, "Kel::XMLAttr");
    s << "Nm=" << detail::orNull(name()) << " Va=" << detail::orNull(_value) << "\n";
}

void XMLAttr::dump(std::ostream& os) {
    os << "@ class Kel::XMLAttr\n";
    os << "Nm=" << detail::orNull(name()) << " Va=" << detail::orNull(_value) << std::endl;
}

// ---- XMLNode: construction and destruction -----------------------------------------------------------

XMLNode::XMLNode()
    : KELBase(), _type(Element), _pPrev(nullptr), _pNext(nullptr), _pFirstChild(nullptr),
      _pLastChild(nullptr), _pFirstAttr(nullptr), _pLastAttr(nullptr), _pParent(nullptr) {}

XMLNode::XMLNode(const String& name) : XMLNode() {
    _name = name;
}

XMLNode::XMLNode(const String& nameSpace, const String& name) : XMLNode() {
    _nameSpace = nameSpace;
    _name = name;
}

XMLNode::XMLNode(const XMLNode& other) : XMLNode() {
    KELBase::operator=(other);
    copyContentFrom(other);
}

XMLNode::XMLNode(XMLNode&& other) noexcept : XMLNode() {
    KELBase::operator=(other);
    takeContentFrom(other);
}

// Moves other's fields, children and attributes into this node, which has none, and empties other.
void XMLNode::takeContentFrom(XMLNode& other) noexcept {
    _nameSpace = std::move(other._nameSpace);
    _name = std::move(other._name);
    _value = std::move(other._value);
    _type = other._type;
    other._type = Element;
    _pFirstChild = other._pFirstChild;
    _pLastChild = other._pLastChild;
    for (XMLNode* c = _pFirstChild; c; c = c->_pNext) {
        c->_pParent = this;
    }
    _pFirstAttr = other._pFirstAttr;
    _pLastAttr = other._pLastAttr;
    other._pFirstChild = other._pLastChild = nullptr;
    other._pFirstAttr = other._pLastAttr = nullptr;
}

XMLNode& XMLNode::operator=(XMLNode&& other) noexcept {
    for (const XMLNode* p = this; p; p = p->_pParent) {
        if (p == &other) {
            return *this;
        }
    }
    // Taken aside first: other may lie in the content destroyed below.
    XMLNode taken(std::move(other));
    KELBase::operator=(taken);
    deleteContent();
    takeContentFrom(taken);
    return *this;
}

XMLNode::XMLNode(XMLNode* parent, const XMLNode& other) : XMLNode() {
    copyContentFrom(other);
    if (parent) {
        linkTo(parent);
    }
}

XMLNode::XMLNode(XMLNode* parent, const String& nameSpace, const String& name, const String& value)
    : XMLNode() {
    _nameSpace = nameSpace;
    _name = name;
    _value = value;
    if (parent) {
        linkTo(parent);
    }
}

XMLNode::XMLNode(XMLNode* parent, const String& name, const String& value) : XMLNode() {
    _name = name;
    _value = value;
    if (parent) {
        linkTo(parent);
    }
}

XMLNode::~XMLNode() {
    deleteContent();
    if (_pPrev) {
        _pPrev->_pNext = _pNext;
    } else if (_pParent) {
        _pParent->_pFirstChild = _pNext;
    }
    if (_pNext) {
        _pNext->_pPrev = _pPrev;
    } else if (_pParent) {
        _pParent->_pLastChild = _pPrev;
    }
}

void* XMLNode::operator new(std::size_t size) {
    return detail::pooledNew<XMLNode>(size);
}

void XMLNode::operator delete(void* node, std::size_t size) noexcept {
    detail::pooledDelete<XMLNode>(node, size);
}

void XMLNode::linkTo(XMLNode* parent) {
    _pParent = parent;
    parent->addNodeToParent(this);
}

// Copies fields, attributes and the whole subtree of other into this node, which has no content yet.
// The copy is built top-down with a loop; other must not lie inside this node's subtree.
void XMLNode::copyContentFrom(const XMLNode& other) {
    try {
        const XMLNode* source = &other;
        XMLNode* target = this;
        for (;;) {
            target->_nameSpace = source->_nameSpace;
            target->_name = source->_name;
            target->_value = source->_value;
            target->_type = source->_type;
            target->copyAttributesFrom(*source);

            if (source->_pFirstChild) {
                source = source->_pFirstChild;
                XMLNode* child = new XMLNode();
                child->linkTo(target);
                target = child;
                continue;
            }
            while (source != &other && !source->_pNext) {
                source = source->_pParent;
                target = target->_pParent;
            }
            if (source == &other) {
                return;
            }
            source = source->_pNext;
            XMLNode* sibling = new XMLNode();
            sibling->linkTo(target->_pParent);
            target = sibling;
        }
    } catch (...) {
        deleteContent();
        throw;
    }
}

// Appends other's attributes in order; attributes that share a name collapse into the first, which takes
// the last one's value. Past a handful of attributes the names already copied are looked up in a hash
// table, so that copying stays linear in the number of attributes.
void XMLNode::copyAttributesFrom(const XMLNode& other) {
    constexpr int scanLimit = 16;
    int count = 0;
    const XMLAttr* a = other._pFirstAttr;
    // Each copy shares its source's name.
    auto copyOf = [this](const XMLAttr* source) {
        XMLAttr* copy = new XMLAttr();
        copy->_pName = source->_pName ? source->_pName->acquire() : nullptr;
        try {
            copy->_value = source->_value;
        } catch (...) {
            delete copy;
            throw;
        }
        addAttr(copy);
        return copy;
    };
    for (; a && count < scanLimit; a = a->_pNext, ++count) {
        if (XMLAttr* found = findAttribute(a->name())) {
            found->_value = a->_value;
        } else {
            copyOf(a);
        }
    }
    if (!a) {
        return;
    }
    std::unordered_map<std::string_view, XMLAttr*> byName;
    XMLAttr* nullName = nullptr;
    auto slotOf = [&](const String& name) -> XMLAttr*& {
        return name.isNull() ? nullName
                             : byName[std::string_view(static_cast<const char*>(name), name.length())];
    };
    for (XMLAttr* copied = _pFirstAttr; copied; copied = copied->_pNext) {
        XMLAttr*& slot = slotOf(copied->name());
        if (!slot) {
            slot = copied;
        }
    }
    for (; a; a = a->_pNext) {
        XMLAttr*& slot = slotOf(a->name());
        if (slot) {
            slot->_value = a->_value;
        } else {
            slot = copyOf(a);
        }
    }
}

const XMLNode& XMLNode::operator=(const XMLNode& other) {
    if (this == &other) {
        return *this;
    }
    // Built aside first: other may be a descendant (destroyed below) or an ancestor (growing below).
    XMLNode copy(other);
    KELBase::operator=(other);
    deleteContent();
    _nameSpace = std::move(copy._nameSpace);
    _name = std::move(copy._name);
    _value = std::move(copy._value);
    _type = copy._type;
    _pFirstChild = copy._pFirstChild;
    _pLastChild = copy._pLastChild;
    for (XMLNode* c = _pFirstChild; c; c = c->_pNext) {
        c->_pParent = this;
    }
    _pFirstAttr = copy._pFirstAttr;
    _pLastAttr = copy._pLastAttr;
    copy._pFirstChild = copy._pLastChild = nullptr;
    copy._pFirstAttr = copy._pLastAttr = nullptr;
    return *this;
}

void XMLNode::deleteContent() {
    // Leaves first, so that no destructor has children left to walk: the loop goes down to a leaf,
    // destroys it (which unlinks it from its parent) and carries on with its sibling or its parent.
    XMLNode* n = _pFirstChild;
    while (n) {
        if (n->_pFirstChild) {
            n = n->_pFirstChild;
            continue;
        }
        XMLNode* parent = n->_pParent;
        XMLNode* next = n->_pNext;
        delete n;
        n = next ? next : parent == this ? nullptr : parent;
    }
    _pFirstChild = _pLastChild = nullptr;

    XMLAttr* a = _pFirstAttr;
    _pFirstAttr = _pLastAttr = nullptr;
    while (a) {
        XMLAttr* next = a->_pNext;
        delete a;
        a = next;
    }
}

// ---- XMLNode: adding nodes ----------------------------------------------------------------------------

XMLNode* XMLNode::addNode(const char*& text) {
    return new XMLNode(this, text);
}

XMLNode* XMLNode::addNode(const XMLNode& node) {
    return new XMLNode(this, node);
}

XMLNode* XMLNode::addNode(const String& nameSpace, const String& name, const String& value) {
    return new XMLNode(this, nameSpace, name, value);
}

XMLNode* XMLNode::addNode(const String& name, const String& value) {
    return new XMLNode(this, name, value);
}

XMLNode* XMLNode::insertNodeAfter(const char*& text) {
    return new XMLNode(_pParent, text);
}

XMLNode* XMLNode::insertNodeAfter(const XMLNode& node) {
    return new XMLNode(_pParent, node);
}

XMLNode* XMLNode::insertNodeAfter(const String& nameSpace, const String& name, const String& value) {
    return new XMLNode(_pParent, nameSpace, name, value);
}

XMLNode* XMLNode::insertNodeAfter(const String& name, const String& value) {
    return new XMLNode(_pParent, name, value);
}

void XMLNode::addNodeToParent(XMLNode* node) {
    node->_pPrev = _pLastChild;
    node->_pNext = nullptr;
    if (_pLastChild) {
        _pLastChild->_pNext = node;
    } else {
        _pFirstChild = node;
    }
    _pLastChild = node;
}

void XMLNode::insertChildAfter(XMLNode* node, XMLNode* after) {
    node->_pParent = this;
    node->_pPrev = after;
    node->_pNext = after ? after->_pNext : _pFirstChild;
    if (node->_pNext) {
        node->_pNext->_pPrev = node;
    } else {
        _pLastChild = node;
    }
    if (after) {
        after->_pNext = node;
    } else {
        _pFirstChild = node;
    }
}

// ---- XMLNode: attributes ------------------------------------------------------------------------------

void XMLNode::addAttr(XMLAttr* attr) {
    attr->_pPrev = _pLastAttr;
    attr->_pNext = nullptr;
    if (_pLastAttr) {
        _pLastAttr->_pNext = attr;
    } else {
        _pFirstAttr = attr;
    }
    _pLastAttr = attr;
}

void XMLNode::attribute(const String& name, const String& value) {
    if (XMLAttr* a = findAttribute(name)) {
        a->_value = value;
    } else {
        new XMLAttr(this, name, value);
    }
}

const String XMLNode::attribute(const String& name) const {
    const XMLAttr* a = findAttribute(name);
    return a ? a->_value : String();
}

XMLAttr* XMLNode::attribute(XMLAttr* prev) const {
    return prev ? prev->_pNext : _pFirstAttr;
}

XMLAttr* XMLNode::findAttribute(const String& name) {
    for (XMLAttr* a = _pFirstAttr; a; a = a->_pNext) {
        if (a->name() == name) {
            return a;
        }
    }
    return nullptr;
}

const XMLAttr* XMLNode::findAttribute(const String& name) const {
    for (const XMLAttr* a = _pFirstAttr; a; a = a->_pNext) {
        if (a->name() == name) {
            return a;
        }
    }
    return nullptr;
}

// ---- XMLNode: navigation and fields ------------------------------------------------------------------

long XMLNode::level() const {
    long depth = 0;
    for (const XMLNode* p = _pParent; p; p = p->_pParent) {
        ++depth;
    }
    return depth;
}

XMLNode* XMLNode::parent() {
    return _pParent;
}

const XMLNode* XMLNode::parent() const {
    return _pParent;
}

XMLNode* XMLNode::nextChild(const XMLNode* prev) {
    return prev ? prev->_pNext : _pFirstChild;
}

const XMLNode* XMLNode::nextChild(const XMLNode* prev) const {
    return prev ? prev->_pNext : _pFirstChild;
}

const String XMLNode::name() const {
    return _name.str();
}

const String XMLNode::nameSpace() const {
    return _nameSpace.str();
}

const String XMLNode::value() const {
    return _value.str();
}

void XMLNode::value(const String& value) {
    _value = value;
}

XMLNode::Type XMLNode::type() const {
    return _type;
}

void XMLNode::type(Type t) {
    _type = t;
}

// ---- XMLNode: dump --------------------------------------------------------------------------------------

void XMLNode::dump(Socket& s) {
    detail::dumpHeader(s, "Kel::XMLNode");
    writeNodeLine(s, _nameSpace.str(), _name.str(), _value.str());
    s << "\n";
}

void XMLNode::dump(std::ostream& os) {
    detail::dumpHeader(os, "Kel::XMLNode");
    writeNodeLine(os, _nameSpace.str(), _name.str(), _value.str());
    os << std::endl;
}

} // namespace Kel
