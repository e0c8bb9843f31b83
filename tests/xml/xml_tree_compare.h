#ifndef KEL_TESTS_XML_TREE_COMPARE_H
#define KEL_TESTS_XML_TREE_COMPARE_H

// Compares a tree with the one read back from its text, node by node with a loop: names, namespaces,
// types, values and attributes in order. Empty and null texts count as equal, since the writer writes
// both as nothing, and so do an instruction or declaration and the element it is written as. Returns ""
// when equal, otherwise a description of the first difference.

#include <kel/xml.h>

#include <string>

namespace kel_test {

inline bool sameText(const Kel::String& a, const Kel::String& b) {
    return a.length() == 0 ? b.length() == 0 : a == b;
}

inline bool sameType(Kel::XMLNode::Type original, Kel::XMLNode::Type readBack) {
    return original == readBack || (original != Kel::XMLNode::Comment && readBack == Kel::XMLNode::Element);
}

inline std::string describe(const Kel::XMLNode* n) {
    return n ? std::string("<") + (n->name().isNull() ? "" : static_cast<const char*>(n->name())) + ">"
             : std::string("(none)");
}

inline std::string treeDifference(const Kel::XMLNode* a, const Kel::XMLNode* b) {
    const Kel::XMLNode* const topA = a;
    while (a || b) {
        if (!a || !b) {
            return "missing node: " + describe(a) + " vs " + describe(b);
        }
        if (!sameText(a->name(), b->name()) || !sameText(a->nameSpace(), b->nameSpace()) ||
            !sameType(a->type(), b->type())) {
            return "node " + describe(a) + " vs " + describe(b);
        }
        if (!sameText(a->value(), b->value())) {
            return "value of " + describe(a);
        }
        Kel::XMLAttr* x = a->attribute(nullptr);
        Kel::XMLAttr* y = b->attribute(nullptr);
        for (; x && y; x = a->attribute(x), y = b->attribute(y)) {
            if (!sameText(x->name(), y->name()) || !sameText(x->value(), y->value())) {
                return "attribute of " + describe(a);
            }
        }
        if (x || y) {
            return "attribute count of " + describe(a);
        }
        // Pre-order step in both trees at once.
        const Kel::XMLNode* nextA = a->nextChild(nullptr);
        const Kel::XMLNode* nextB = b->nextChild(nullptr);
        if (!nextA && !nextB) {
            while (a != topA && !a->parent()->nextChild(a)) {
                if (b->parent()->nextChild(b)) {
                    return "extra sibling after " + describe(b);
                }
                a = a->parent();
                b = b->parent();
            }
            if (a == topA) {
                return "";
            }
            nextA = a->parent()->nextChild(a);
            nextB = b->parent() ? b->parent()->nextChild(b) : nullptr;
        }
        a = nextA;
        b = nextB;
    }
    return "";
}

} // namespace kel_test

#endif
