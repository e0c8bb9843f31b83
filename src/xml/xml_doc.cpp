#include "foundation/dump.h"

#include <kel/net.h>
#include <kel/xml.h>

#include <memory>
#include <ostream>
#include <utility>

namespace Kel {

XMLDoc::XMLDoc() : KELBase(), _pRoot(nullptr) {}

XMLDoc::XMLDoc(const char* text) : XMLDoc() {
    const char* cursor = text;
    try {
        fromStream(cursor);
    } catch (...) {
        replaceRoot(nullptr);
        throw;
    }
}

XMLDoc::XMLDoc(const String& rootName, const String& version, const String& encoding)
    : KELBase(), _version(version), _encoding(encoding), _pRoot(new XMLNode(rootName)) {}

XMLDoc::XMLDoc(const String& name, const String& version, const String& encoding, bool createRoot)
    : KELBase(), _version(version), _encoding(encoding), _docType(name),
      _pRoot(createRoot ? new XMLNode(name) : nullptr) {}

XMLDoc::XMLDoc(const String& rootName, bool withDocType, const String& version, const String& encoding)
    : KELBase(), _version(version), _encoding(encoding), _docType(withDocType ? rootName : String()),
      _pRoot(new XMLNode(rootName)) {}

XMLDoc::XMLDoc(const XMLDoc& other)
    : KELBase(other), _version(other._version), _encoding(other._encoding), _docType(other._docType),
      _pRoot(other._pRoot ? new XMLNode(*other._pRoot) : nullptr) {
    try {
        copyTopLevel(other);
    } catch (...) {
        replaceRoot(nullptr);
        clearTopLevel();
        throw;
    }
}

XMLDoc::XMLDoc(XMLDoc&& other) noexcept
    : KELBase(other), _version(std::move(other._version)), _encoding(std::move(other._encoding)),
      _docType(std::move(other._docType)), _pRoot(other._pRoot), _pProlog(other._pProlog),
      _pEpilog(other._pEpilog) {
    other._pRoot = other._pProlog = other._pEpilog = nullptr;
}

XMLDoc& XMLDoc::operator=(XMLDoc&& other) noexcept {
    if (this == &other) {
        return *this;
    }
    KELBase::operator=(other);
    replaceRoot(other._pRoot);
    clearTopLevel();
    _pProlog = other._pProlog;
    _pEpilog = other._pEpilog;
    other._pRoot = other._pProlog = other._pEpilog = nullptr;
    _version = std::move(other._version);
    _encoding = std::move(other._encoding);
    _docType = std::move(other._docType);
    other._version = String();
    other._encoding = String();
    other._docType = String();
    return *this;
}

XMLDoc::~XMLDoc() {
    delete _pRoot;
    clearTopLevel();
}

void XMLDoc::clearTopLevel() {
    delete _pProlog;
    delete _pEpilog;
    _pProlog = _pEpilog = nullptr;
}

// A comment or instruction read outside the root: before it while there is none.
void XMLDoc::keepTopLevel(XMLNode* node) {
    XMLNode* holder = _pRoot ? epilog() : prolog();
    holder->insertChildAfter(node, holder->_pLastChild);
}

void XMLDoc::copyTopLevel(const XMLDoc& other) {
    std::unique_ptr<XMLNode> prolog(other._pProlog ? new XMLNode(*other._pProlog) : nullptr);
    std::unique_ptr<XMLNode> epilog(other._pEpilog ? new XMLNode(*other._pEpilog) : nullptr);
    clearTopLevel();
    _pProlog = prolog.release();
    _pEpilog = epilog.release();
}

XMLNode* XMLDoc::prolog() {
    if (!_pProlog) {
        _pProlog = new XMLNode(String());
    }
    return _pProlog;
}

const XMLNode* XMLDoc::prolog() const {
    return _pProlog;
}

XMLNode* XMLDoc::epilog() {
    if (!_pEpilog) {
        _pEpilog = new XMLNode(String());
    }
    return _pEpilog;
}

const XMLNode* XMLDoc::epilog() const {
    return _pEpilog;
}

const XMLDoc& XMLDoc::operator=(const XMLDoc& other) {
    if (this == &other) {
        return *this;
    }
    std::unique_ptr<XMLNode> root(other._pRoot ? new XMLNode(*other._pRoot) : nullptr);
    copyTopLevel(other);
    KELBase::operator=(other);
    _version = other._version;
    _encoding = other._encoding;
    _docType = other._docType;
    replaceRoot(root.release());
    return *this;
}

void XMLDoc::replaceRoot(XMLNode* root) {
    XMLNode* old = _pRoot;
    _pRoot = root;
    delete old;
}

bool XMLDoc::isNull() const {
    return _pRoot == nullptr;
}

XMLNode* XMLDoc::rootNode() {
    return _pRoot;
}

const XMLNode* XMLDoc::rootNode() const {
    return _pRoot;
}

void XMLDoc::rootNode(const String& name, bool withDocType) {
    // Everything is taken from name before the old tree goes: name may belong to it.
    std::unique_ptr<XMLNode> root(new XMLNode(name));
    if (withDocType) {
        _docType = name;
    }
    _encoding = "UTF-8";
    replaceRoot(root.release());
}

void XMLDoc::rootNode(const XMLNode& node) {
    // Written before the old tree is released, since node may lie inside it.
    const String text = node.stream(false);
    replaceRoot(nullptr);
    const char* cursor = text;
    XMLNode* root = new XMLNode(nullptr, cursor);
    _pRoot = root;
    _docType = root->_name.str();
}

String XMLDoc::version() const {
    return _version;
}

String XMLDoc::encoding() const {
    return _encoding;
}

String XMLDoc::docType() const {
    return _docType;
}

void XMLDoc::docType(const String& text) {
    _docType = text;
}

void XMLDoc::dump(Socket& s) {
    detail::dumpHeader(s, "Kel::XMLDoc");
    s << stream() << "\n";
}

void XMLDoc::dump(std::ostream& os) {
    detail::dumpHeader(os, "Kel::XMLDoc");
    os << stream() << std::endl;
}

} // namespace Kel
