// Every operation that takes text must read it as it was before the call, even when the caller hands it
// a pointer into the String's own storage (s.format("%s/file", (const char*)s) and the like).

#include "kel_test.h"

#include <kel/string.h>

#include <functional>
#include <string>

using Kel::String;
using Kel::Variable;
using Kel::VariableList;

namespace {

// How the target's text is stored: each kind reaches a different path of the storage code.
struct Storage {
    const char* name;
    std::function<String()> make;
};

String builtByAppends() {
    String s("");
    for (const char* p = "grown one character at a time"; *p; ++p) {
        s += *p; // leaves spare room behind the text
    }
    return s;
}

String formattedRoom() {
    String s;
    s.format("%s", "root"); // capacity 256 holding a short text
    return s;
}

const Storage storages[] = {
    {"inline short text", [] { return String("root"); }},
    {"heap text of exact size", [] { return String("/usr/local/share/applications"); }},
    {"heap text with spare room", builtByAppends},
    {"storage of 256 bytes", formattedRoom},
    {"fixed length", [] { return String("root", 40); }},
};

// An operation given the target and the text to pass: returns what the call gave back, as text.
struct Operation {
    const char* name;
    std::function<std::string(String& target, const char* arg)> run;
};

std::string str(long v) {
    return std::to_string(v);
}

// An operation that gives nothing back: only its effect on the target counts.
template <class F> std::function<std::string(String&, const char*)> changes(F f) {
    return [f](String& s, const char* a) {
        f(s, a);
        return std::string();
    };
}

const Operation operations[] = {
    {"format %s/file", changes([](String& s, const char* a) { s.format("%s/file", a); })},
    {"format x%s", changes([](String& s, const char* a) { s.format("x%s", a); })},
    {"format %s!%s", changes([](String& s, const char* a) { s.format("%s!%s", a, a); })},
    {"format with own text as format", changes([](String& s, const char* a) { s.format(a, 0); })},
    {"assign", changes([](String& s, const char* a) { s = a; })},
    {"append", changes([](String& s, const char* a) { s += a; })},
    {"plus", [](String& s, const char* a) { return std::string(s + a); }},
    {"copy all", changes([](String& s, const char* a) { s.copy(a); })},
    {"copy two", changes([](String& s, const char* a) { s.copy(a, 2); })},
    {"compare", [](String& s, const char* a) { return str(s.compare(a)); }},
    {"compare ignoring case", [](String& s, const char* a) { return str(s.compare(a, true)); }},
    {"compareFor", [](String& s, const char* a) { return str(s.compareFor(a, 3)); }},
    {"equality", [](String& s, const char* a) { return str(s == a); }},
    {"find",
     [](String& s, const char* a) {
         const char* at = s.find(a);
         return str(at ? at - static_cast<const char*>(s) : -1);
     }},
    {"findIndex", [](String& s, const char* a) { return str(static_cast<long>(s.findIndex(a))); }},
    {"createMask", [](String& s, const char* a) { return std::string(s.createMask(a)); }},
    {"mask", [](String& s, const char* a) { return std::string(s.mask(s.createMask(a))); }},
    {"replaceMask",
     [](String& s, const char* a) { return std::string(s.replaceMask(s.createMask("o"), a)); }},
    {"translateVars", changes([](String& s, const char* a) {
         VariableList vars;
         vars.add(Variable("v", a));
         s += "$(v)";
         s.translateVars(vars);
     })},
    {"escape after assign", changes([](String& s, const char* a) {
         s = a;
         s += "\t";
         s.escape();
     })},
    {"fromURI after assign", changes([](String& s, const char* a) {
         s = a;
         s += "%41";
         s.fromURI();
     })},
};

// What an observer can tell about a String.
std::string describe(String& s) {
    const char* text = s;
    return std::string(s.isNull() ? "null" : "text") + " [" + (text ? text : "") + "] fixed " +
           std::to_string(s.fixedLength()) + " sql " + s.sql();
}

} // namespace

TEST(StringAliasing, ATextInsideTheStringReadsAsItWasBeforeTheCall) {
    for (const Storage& storage : storages) {
        for (const Operation& op : operations) {
            // From the start of the text, and from inside it.
            for (unsigned long offset : {0ul, 1ul}) {
                SCOPED_TRACE(std::string(op.name) + " on " + storage.name + " at offset " +
                             std::to_string(offset));
                String target = storage.make();
                String independent = target;
                const std::string argument(static_cast<const char*>(target) + offset);

                const std::string expected = op.run(independent, argument.c_str());
                const std::string actual = op.run(target, static_cast<const char*>(target) + offset);
                EXPECT_EQ(actual, expected);
                EXPECT_EQ(describe(target), describe(independent));
            }
        }
    }
}

TEST(StringAliasing, AStringPassedToItsOwnOperations) {
    String s("a text of more than eleven characters");
    String copy = s;
    s += s;
    copy += String(copy);
    EXPECT_EQ(s, copy);
    s.copy(s, 5);
    EXPECT_STREQ(s, "a tex");
    s = s;
    EXPECT_STREQ(s, "a tex");
    EXPECT_STREQ(s.mask(s), "a tex");
    EXPECT_STREQ(s.replaceMask(s.createMask("t"), s), "a a texex");
}

TEST(StringAliasing, VariablesTakeTheirOwnTexts) {
    Variable v("name", "value of some length");
    v.value(v.value());
    EXPECT_STREQ(v.value(), "value of some length");
    v.value(v.name());
    EXPECT_STREQ(v.value(), "name");

    VariableList list;
    list.add(v);
    list.add(*list.find("name"));
    const Variable* first = list.find("name");
    ASSERT_NE(first, nullptr);
    const Variable* second = list.find("name", first);
    ASSERT_NE(second, nullptr);
    EXPECT_STREQ(second->value(), "name");
}
