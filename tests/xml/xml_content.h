#ifndef KEL_TESTS_XML_CONTENT_H
#define KEL_TESTS_XML_CONTENT_H

// The content of a tree as the XML interop issue compares it, in the line format that
// scripts/xml_compare.py writes for a standard reader ("NAME.content"): "(name" for an element, "@name=value"
// for each attribute in order, '"text' for each text run, ")" at the end of the element. A text run is the
// character data between two element tags (text nodes and an element's value; comments and instructions do
// not split it); each run of white space counts as one blank, blanks at the ends are dropped and a run of
// white space alone is no text. Attribute values have TAB, CR and line feed as blanks, as a reader gives
// them. Comments and instructions are not part of the content; a declaration inside an element counts as
// the element it is written as (XML has no declarations there).

#include <kel/xml.h>

#include <algorithm>
#include <cstring>
#include <string>

namespace kel_test {

inline std::string text(const Kel::String& s) {
    return s.isNull() ? "(null)" : static_cast<const char*>(s);
}

// The attributes of a node in order, as "name=value;".
inline std::string attributeList(const Kel::XMLNode& node) {
    std::string s;
    for (Kel::XMLAttr* a = node.attribute(nullptr); a; a = node.attribute(a)) {
        s += text(a->name()) + "=" + text(a->value()) + ";";
    }
    return s;
}

// A subtree on one line: a type mark (? instruction, ! declaration, # comment), [namespace:]name, "=value"
// unless null, the attributes in braces, the children in parentheses; a text node is 'text'.
inline std::string shapeOf(const Kel::XMLNode& n) {
    static const char* const marks[] = {"", "?", "!", "#"};
    if (n.type() == Kel::XMLNode::Text) {
        return "'" + text(n.value()) + "'";
    }
    std::string s =
        marks[n.type()] + (n.nameSpace().isNull() ? "" : text(n.nameSpace()) + ":") + text(n.name());
    s += (n.value().isNull() ? "" : "=" + text(n.value())) +
         (n.attribute(nullptr) ? "{" + attributeList(n) + "}" : "");
    for (const Kel::XMLNode* c = n.nextChild(nullptr); c; c = n.nextChild(c)) {
        s +=
            (c == n.nextChild(nullptr) ? "(" : " ") + shapeOf(*c) + (c->parent() == &n ? "" : "(bad parent)");
    }
    return s + (n.nextChild(nullptr) ? ")" : "");
}

// Parses one node at the start of text under parent and returns it (owned by the parent).
inline Kel::XMLNode* parseNode(Kel::XMLNode& parent, const char* text) {
    return parent.addNode(text);
}

inline bool isBlank(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\r';
}

// Appends s with every run of white space as one blank.
inline void appendCollapsed(std::string& out, const Kel::String& s) {
    for (const char* p = s; p && *p; ++p) {
        if (!isBlank(*p)) {
            out += *p;
        } else if (out.empty() || out.back() != ' ') {
            out += ' ';
        }
    }
}

inline void putRun(std::string& lines, std::string& run) {
    const std::size_t b = run.find_first_not_of(' ');
    if (b != std::string::npos) {
        lines += "\"" + run.substr(b, run.find_last_not_of(' ') - b + 1) + "\n";
    }
    run.clear();
}

inline std::string orEmpty(const Kel::String& s) {
    return s.isNull() ? "" : static_cast<const char*>(s);
}

inline std::string qualifiedName(const Kel::XMLNode* n) {
    return (n->nameSpace().length() ? orEmpty(n->nameSpace()) + ":" : "") + orEmpty(n->name());
}

// An element named like a comment's tag, without namespace, attributes or children, is a comment as the
// writer writes it.
inline bool standsForComment(const Kel::XMLNode* n) {
    const Kel::String name = n->name();
    return n->type() == Kel::XMLNode::Element && !n->nextChild(nullptr) && !n->attribute(nullptr) &&
           n->nameSpace().length() == 0 && name.length() >= 3 && std::strncmp(name, "!--", 3) == 0;
}

inline bool isElement(const Kel::XMLNode* n) {
    return (n->type() == Kel::XMLNode::Element && !standsForComment(n)) ||
           n->type() == Kel::XMLNode::Declaration;
}

inline void putStart(std::string& lines, const Kel::XMLNode* n) {
    lines += "(" + qualifiedName(n) + "\n";
    for (Kel::XMLAttr* a = n->attribute(nullptr); a; a = n->attribute(a)) {
        std::string value = orEmpty(a->value());
        std::replace_if(value.begin(), value.end(), isBlank, ' ');
        lines += "@" + orEmpty(a->name()) + "=" + value + "\n";
    }
}

// Appends the content of the element n and its subtree; run holds the text read since the last tag.
inline void putContent(std::string& lines, std::string& run, const Kel::XMLNode* n) {
    putRun(lines, run);
    putStart(lines, n);
    if (!n->nextChild(nullptr)) {
        appendCollapsed(run, n->value());
    }
    for (const Kel::XMLNode* c = n->nextChild(nullptr); c; c = n->nextChild(c)) {
        if (c->type() == Kel::XMLNode::Text) {
            appendCollapsed(run, c->value());
        } else if (isElement(c)) {
            putContent(lines, run, c);
        }
    }
    putRun(lines, run);
    lines += ")\n";
}

// The content of the element root and its subtree (none for a null root).
inline std::string contentOf(const Kel::XMLNode* root) {
    std::string lines, run;
    if (root) {
        putContent(lines, run, root);
    }
    return lines;
}

} // namespace kel_test

#endif
