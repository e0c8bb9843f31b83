#include "xml/xml_text.h"

#include <kel/xml.h>

namespace Kel {

// ---- XMLNode: searches --------------------------------------------------------------------------------

bool XMLNode::matches(const String* nameSpace, const String& name, const String* attrName,
                      const String* attrValue) const {
    // Text nodes are content, not things to look for: no search finds them.
    if (_type == Text || !_name.equals(name)) {
        return false;
    }
    if (nameSpace && !_nameSpace.equals(*nameSpace)) {
        return false;
    }
    if (attrName) {
        // A missing attribute reads as null, so it matches a null value.
        const XMLAttr* a = findAttribute(*attrName);
        return a ? a->_value == *attrValue : attrValue->isNull();
    }
    return true;
}

XMLNode* XMLNode::firstMatch(const XMLNode* after, const String* nameSpace, const String& name,
                             const String* attrName, const String* attrValue) const {
    for (XMLNode* c = after ? after->_pNext : _pFirstChild; c; c = c->_pNext) {
        if (c->matches(nameSpace, name, attrName, attrValue)) {
            return c;
        }
    }
    return nullptr;
}

XMLNode* XMLNode::findChild(const String& nameSpace, const String& name, const String& attrName,
                            const String& attrValue, const XMLNode* after) {
    return firstMatch(after, &nameSpace, name, &attrName, &attrValue);
}

const XMLNode* XMLNode::findChild(const String& nameSpace, const String& name, const String& attrName,
                                  const String& attrValue, const XMLNode* after) const {
    return firstMatch(after, &nameSpace, name, &attrName, &attrValue);
}

XMLNode* XMLNode::findChild(const String& name, const String& attrName, const String& attrValue,
                            const XMLNode* after) {
    return firstMatch(after, nullptr, name, &attrName, &attrValue);
}

const XMLNode* XMLNode::findChild(const String& name, const String& attrName, const String& attrValue,
                                  const XMLNode* after) const {
    return firstMatch(after, nullptr, name, &attrName, &attrValue);
}

XMLNode* XMLNode::findChild(const String& nameSpace, const String& name, const XMLNode* after) {
    return firstMatch(after, &nameSpace, name, nullptr, nullptr);
}

const XMLNode* XMLNode::findChild(const String& nameSpace, const String& name, const XMLNode* after) const {
    return firstMatch(after, &nameSpace, name, nullptr, nullptr);
}

XMLNode* XMLNode::findChild(const String& name, const XMLNode* after) {
    return firstMatch(after, nullptr, name, nullptr, nullptr);
}

const XMLNode* XMLNode::findChild(const String& name, const XMLNode* after) const {
    return firstMatch(after, nullptr, name, nullptr, nullptr);
}

// Post-order over the subtree below this node, with a loop: down to the first leaf, then every node right
// after its descendants.
void XMLNode::collect(XMLNodeList& list, const String* nameSpace, const String& name, const String* attrName,
                      const String* attrValue) {
    XMLNode* c = _pFirstChild;
    if (!c) {
        return;
    }
    while (c->_pFirstChild) {
        c = c->_pFirstChild;
    }
    for (;;) {
        if (c->matches(nameSpace, name, attrName, attrValue)) {
            list.add(c);
        }
        if (c->_pNext) {
            c = c->_pNext;
            while (c->_pFirstChild) {
                c = c->_pFirstChild;
            }
        } else {
            c = c->_pParent;
            if (c == this) {
                return;
            }
        }
    }
}

void XMLNode::findNodeS(XMLNodeList& list, const String& nameSpace, const String& name,
                        const String& attrName, const String& attrValue) {
    collect(list, &nameSpace, name, &attrName, &attrValue);
}

void XMLNode::findNodeS(XMLNodeList& list, const String& name, const String& attrName,
                        const String& attrValue) {
    collect(list, nullptr, name, &attrName, &attrValue);
}

void XMLNode::findNodeS(XMLNodeList& list, const String& nameSpace, const String& name) {
    collect(list, &nameSpace, name, nullptr, nullptr);
}

void XMLNode::findNodeS(XMLNodeList& list, const String& name) {
    collect(list, nullptr, name, nullptr, nullptr);
}

// ---- XMLSNode ---------------------------------------------------------------------------------------------

XMLSNode::XMLSNode() : _pNode(nullptr), _pNext(nullptr) {}

XMLSNode::XMLSNode(XMLNode* node) : _pNode(node), _pNext(nullptr) {}

XMLSNode::XMLSNode(const XMLSNode& o) : _pNode(o._pNode), _pNext(nullptr) {}

XMLSNode& XMLSNode::operator=(const XMLSNode& o) {
    _pNode = o._pNode;
    return *this;
}

XMLSNode::~XMLSNode() {
    // The chain behind this cell goes with it, one cell at a time rather than one destructor inside the
    // next.
    XMLSNode* cell = _pNext;
    while (cell) {
        XMLSNode* next = cell->_pNext;
        cell->_pNext = nullptr;
        delete cell;
        cell = next;
    }
}

// ---- XMLNodeList ------------------------------------------------------------------------------------------

XMLNodeList::XMLNodeList() : _pFirst(nullptr), _pLast(nullptr) {}

XMLNodeList::XMLNodeList(const XMLNodeList& o) : XMLNodeList() {
    try {
        for (const XMLSNode* c = o._pFirst; c; c = c->_pNext) {
            add(c->_pNode);
        }
    } catch (...) {
        clear();
        throw;
    }
}

XMLNodeList& XMLNodeList::operator=(const XMLNodeList& o) {
    if (this != &o) {
        XMLNodeList copy(o);
        clear();
        _pFirst = copy._pFirst;
        _pLast = copy._pLast;
        copy._pFirst = copy._pLast = nullptr;
    }
    return *this;
}

XMLNodeList::XMLNodeList(XMLNodeList&& o) noexcept : _pFirst(o._pFirst), _pLast(o._pLast) {
    o._pFirst = o._pLast = nullptr;
}

XMLNodeList& XMLNodeList::operator=(XMLNodeList&& o) noexcept {
    if (this != &o) {
        clear();
        _pFirst = o._pFirst;
        _pLast = o._pLast;
        o._pFirst = o._pLast = nullptr;
    }
    return *this;
}

XMLNodeList::~XMLNodeList() {
    clear();
}

void XMLNodeList::clear() {
    delete _pFirst;
    _pFirst = _pLast = nullptr;
}

XMLNode* XMLNodeList::next(XMLSNode*& cell) {
    cell = cell ? cell->_pNext : _pFirst;
    return cell ? cell->_pNode : nullptr;
}

void XMLNodeList::add(XMLNode* node) {
    XMLSNode* cell = new XMLSNode(node);
    if (_pLast) {
        _pLast->_pNext = cell;
    } else {
        _pFirst = cell;
    }
    _pLast = cell;
}

} // namespace Kel
