#include "foundation/dump.h"

#include <kel/string.h>

#include <cstring>
#include <new>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace Kel {

namespace {

// The longest text a String can hold.
constexpr std::size_t maxTextLength = 0xFFFFFFFEu;

void writeVariableLine(const String& name, const String& value, std::string& line) {
    line = "N=";
    line += detail::orNull(name);
    line += " V=";
    line += detail::orNull(value);
}

// The text still to be read by translateVars, as a stack of pieces: the rest of the original text at the
// bottom and, above it, the value of each variable being expanded, innermost on top. Values are read in
// place, never copied into the text. A piece read to its end stays on the stack until the next character
// is taken from below it, so that a reference formed partly by a value (its "$(" or its name running on
// past the value's end) still counts as met inside that value. The variables of the pieces on the stack
// are the expansions in progress: a reference to one of them is a self-reference, which could go on
// without end. Since every variable appears at most once on the stack, its depth is bounded by the size
// of the list and every translation ends.
class Expansion {
public:
    Expansion(const char* text, std::size_t length) {
        _pieces.push_back(Piece{text, text + length, nullptr});
    }

    // Drops the pieces that are read to their end.
    void dropFinished() {
        while (!_pieces.empty() && _pieces.back().pos == _pieces.back().end) {
            _pieces.pop_back();
        }
    }

    bool done() const { return _pieces.empty(); }

    // The piece being read; only after dropFinished() on a stack that is not done.
    const char*& pos() { return _pieces.back().pos; }
    const char* end() const { return _pieces.back().end; }

    // The next character to read, or NUL at the end of the whole text. Finished pieces are looked through.
    char peek() const {
        for (auto it = _pieces.rbegin(); it != _pieces.rend(); ++it) {
            if (it->pos != it->end) {
                return *it->pos;
            }
        }
        return '\0';
    }

    // Reads the next character, looking through finished pieces without dropping them.
    char next() {
        for (auto it = _pieces.rbegin(); it != _pieces.rend(); ++it) {
            if (it->pos != it->end) {
                return *it->pos++;
            }
        }
        return '\0';
    }

    // Reads a name up to the next ')' or the end of the text. Returns true when a ')' closed it.
    bool readName(std::string& name) {
        name.clear();
        for (auto it = _pieces.rbegin(); it != _pieces.rend(); ++it) {
            const char* close = static_cast<const char*>(std::memchr(it->pos, ')', it->end - it->pos));
            if (close) {
                name.append(it->pos, close);
                it->pos = close + 1;
                return true;
            }
            name.append(it->pos, it->end);
            it->pos = it->end;
        }
        return false;
    }

    // True when v's value is being expanded already.
    bool expanding(const Variable* v) const {
        for (const Piece& p : _pieces) {
            if (p.var == v) {
                return true;
            }
        }
        return false;
    }

    void push(const Variable* v) {
        const char* value = v->value();
        if (!value) {
            value = "";
        }
        _pieces.push_back(Piece{value, value + std::strlen(value), v});
    }

    // Appends what is left to read to text.
    void appendRest(std::string& text) const {
        for (auto it = _pieces.rbegin(); it != _pieces.rend(); ++it) {
            text.append(it->pos, it->end);
        }
    }

private:
    struct Piece {
        const char* pos;
        const char* end;
        const Variable* var;
    };
    std::vector<Piece> _pieces;
};

} // namespace

// ---- Variable ----------------------------------------------------------------------------------------

Variable::Variable(const String& name, const String& value) : _pNext(nullptr), _name(name), _value(value) {}

// The base starts unmarked: a copy is a new object, not the one that was excluded from dumps.
Variable::Variable(const Variable& o) : KELBase(), _pNext(nullptr), _name(o._name), _value(o._value) {}

Variable& Variable::operator=(const Variable& o) {
    if (this != &o) {
        KELBase::operator=(o);
        _name = o._name;
        _value = o._value;
    }
    return *this;
}

// A variable owns the rest of its chain. The chain is unlinked and destroyed one variable at a time, so
// that a long list does not nest one destructor call per variable.
Variable::~Variable() {
    Variable* p = _pNext;
    _pNext = nullptr;
    while (p) {
        Variable* next = p->_pNext;
        p->_pNext = nullptr;
        delete p;
        p = next;
    }
}

const String& Variable::name() const {
    return _name;
}

const String& Variable::value() const {
    return _value;
}

void Variable::value(const String& v) {
    _value = v;
}

void Variable::dump(Socket& s) {
    std::string line;
    writeVariableLine(_name, _value, line);
    detail::dumpHeader(s, "Kel::Variable");
    detail::dumpLine(s, line.c_str());
}

void Variable::dump(std::ostream& os) {
    std::string line;
    writeVariableLine(_name, _value, line);
    detail::dumpHeader(os, "Kel::Variable");
    detail::dumpLine(os, line.c_str());
}

// ---- VariableList ------------------------------------------------------------------------------------

VariableList::VariableList() : _pFirst(nullptr), _pLast(nullptr) {}

VariableList::VariableList(const VariableList& o) : KELBase(o), _pFirst(nullptr), _pLast(nullptr) {
    try {
        for (const Variable* v = o._pFirst; v; v = v->_pNext) {
            add(*v);
        }
    } catch (...) {
        clear();
        throw;
    }
}

VariableList& VariableList::operator=(const VariableList& o) {
    if (this != &o) {
        VariableList copy(o);
        std::swap(_pFirst, copy._pFirst);
        std::swap(_pLast, copy._pLast);
        KELBase::operator=(o);
    }
    return *this;
}

VariableList::VariableList(VariableList&& o) noexcept : KELBase(o), _pFirst(o._pFirst), _pLast(o._pLast) {
    o._pFirst = nullptr;
    o._pLast = nullptr;
}

VariableList& VariableList::operator=(VariableList&& o) noexcept {
    if (this != &o) {
        clear();
        _pFirst = o._pFirst;
        _pLast = o._pLast;
        o._pFirst = nullptr;
        o._pLast = nullptr;
        KELBase::operator=(o);
    }
    return *this;
}

VariableList::~VariableList() {
    clear();
}

void VariableList::clear() {
    delete _pFirst;
    _pFirst = nullptr;
    _pLast = nullptr;
}

void VariableList::add(const Variable& v) {
    Variable* added = new Variable(v);
    if (_pLast) {
        _pLast->_pNext = added;
    } else {
        _pFirst = added;
    }
    _pLast = added;
}

const Variable* VariableList::find(const String& name, const Variable* after) const {
    for (const Variable* v = after ? after->_pNext : _pFirst; v; v = v->_pNext) {
        if (v->_name == name) {
            return v;
        }
    }
    return nullptr;
}

void VariableList::dump(Socket& s) {
    detail::dumpHeader(s, "Kel::VariableList");
}

void VariableList::dump(std::ostream& os) {
    detail::dumpHeader(os, "Kel::VariableList");
}

// ---- String::translateVars ---------------------------------------------------------------------------

// The text is rewritten as if each pass searched the whole text again for the first "$(": what has been
// written out holds no "$(" and never changes again, except that a '$' at its end may pair with a '('
// that a substitution brings behind it.
void String::translateVars(const VariableList& vars) {
    if (!_pBuffer) {
        return;
    }
    const std::string_view text(_pBuffer, textLength());
    const std::size_t first = text.find("$(");
    if (first == std::string_view::npos) {
        return;
    }

    // The pieces point into this String's storage, which is replaced only once they have been read.
    std::string out(text.substr(0, first));
    Expansion expansion(text.data() + first, text.size() - first);
    std::string name;

    // Replaces the reference whose "$(" has just been read (its '$' already taken from out or from the
    // text). On failure the String receives the text as it stood before this reference.
    auto substitute = [&]() {
        bool closed = expansion.readName(name);
        const Variable* v = vars.find(String(name.c_str()), nullptr);
        long reason = !v ? 17 : expansion.expanding(v) ? 18 : 0;
        if (reason) {
            out += "$(";
            out += name;
            if (closed) {
                out += ')';
            }
            expansion.appendRest(out);
            *this = out.c_str();
            throw StringException(reason);
        }
        expansion.push(v);
    };

    try {
        for (;;) {
            if (out.size() > maxTextLength) {
                throw StringException(2);
            }
            expansion.dropFinished();
            if (expansion.done()) {
                break;
            }
            const char*& pos = expansion.pos();
            const char* dollar = static_cast<const char*>(std::memchr(pos, '$', expansion.end() - pos));
            if (!dollar) {
                out.append(pos, expansion.end());
                pos = expansion.end();
                continue;
            }
            out.append(pos, dollar);
            pos = dollar + 1;
            if (expansion.peek() != '(') {
                out += '$';
                continue;
            }
            expansion.next();
            substitute();
            while (!out.empty() && out.back() == '$' && expansion.peek() == '(') {
                out.pop_back();
                expansion.next();
                substitute();
            }
        }
    } catch (const std::bad_alloc&) {
        throw StringException(2);
    } catch (const std::length_error&) {
        throw StringException(2);
    }
    if (out.size() > maxTextLength) {
        throw StringException(2);
    }
    *this = out.c_str();
}

} // namespace Kel
