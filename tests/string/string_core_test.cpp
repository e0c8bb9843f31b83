// String's states and storage, and String beside the standard library.

#include "kel_test.h"

#include <kel/string.h>

#include <cstring>
#include <set>
#include <sstream>
#include <string>
#include <string_view>
#include <type_traits>
#include <unordered_map>
#include <utility>

using namespace Kel;
using kel_test::dumpOf;

namespace {
// A String given value by assignment: a number given so carries the numeric mark.
template <class T> String assignedFrom(T value) {
    String s;
    s = value;
    return s;
}
// Kept out of the compiler's sight, so that it does not warn about the null argument it is given.
const char* volatile nullText = nullptr;
const char* const noText = nullptr;

template <class T, class = void> struct CanAppend : std::false_type {};
template <class T>
struct CanAppend<T, std::void_t<decltype(std::declval<String&>() += std::declval<T>())>> : std::true_type {};
template <class T, class = void> struct CanAdd : std::false_type {};
template <class T>
struct CanAdd<T, std::void_t<decltype(std::declval<const String&>() + std::declval<T>())>> : std::true_type {
};
template <class T> constexpr bool refused = !CanAppend<T>::value && !CanAdd<T>::value;
template <class T> constexpr bool accepted = CanAppend<T>::value && CanAdd<T>::value;
} // namespace

TEST(StringConstruction, NullEmptyAndFixedStates) {
    String byDefault;
    EXPECT_TRUE(byDefault.isNull());
    EXPECT_EQ(byDefault.length(), 0u);
    EXPECT_EQ(static_cast<const char*>(byDefault), nullptr);
    EXPECT_EQ(static_cast<const char*>(String(noText)), nullptr);
    EXPECT_STREQ(String(""), "");
    EXPECT_TRUE(String::null.isNull());
    EXPECT_EQ(String::null.fixedLength(), 0u);
    EXPECT_EQ(static_cast<const char*>(String::null), nullptr);

    String fixed(5ul);
    EXPECT_TRUE(fixed.isNull());
    EXPECT_EQ(fixed.fixedLength(), 5u);
    EXPECT_NE(fixed.buffer(0), nullptr);
    EXPECT_STREQ(String("abc", 3), "abc");
    EXPECT_THROW_REASON(String("abcd", 3), StringException, 1);
}

TEST(StringDump, HeaderAndTextOrNullAndStreamsWriteNothingForNull) {
    String text("abc"), none, empty("");
    EXPECT_EQ(dumpOf(text), "@ class Kel::String\nabc\n");
    EXPECT_EQ(dumpOf(none), "@ class Kel::String\n(null)\n");
    EXPECT_EQ(dumpOf(empty), "@ class Kel::String\n\n");
    std::ostringstream os;
    os << text << none << String("b");
    EXPECT_EQ(os.str(), "abcb");
}

TEST(StringAppend, NullPiecesEmptyTextAndFixedLengthOverflow) {
    String s;
    s += noText;
    s += String();
    EXPECT_TRUE(s.isNull());
    s += "";
    EXPECT_FALSE(s.isNull());
    EXPECT_EQ(s.length(), 0u);
    s += 'x';
    s += String("yz");
    EXPECT_STREQ(s, "xyz");

    String fixed(5ul);
    fixed += "abc";
    EXPECT_THROW_REASON(fixed += "abc", StringException, 1);
    fixed += 'd';
    fixed += "e";
    EXPECT_THROW_REASON(fixed += 'f', StringException, 1);
    EXPECT_STREQ(fixed, "abcde");
    String full("ab", 3);
    full += 'c';
    EXPECT_THROW_REASON(full += 'd', StringException, 1);
    EXPECT_STREQ(full, "abc");
}

// A character appended in place must leave every mark and size as the general appending path does.
TEST(StringAppendChar, KeepsTheRulesOfEveryOtherAppend) {
    String built;
    std::string letters;
    for (int i = 0; i < 10000; ++i) {
        built += static_cast<char>('a' + i % 26);
        letters += static_cast<char>('a' + i % 26);
    }
    EXPECT_EQ(std::string(built), letters);
    EXPECT_EQ(built.length(), letters.size());
    // The capacity is the text's length plus one, whatever room the growth left: format reads it.
    built.format("%s", std::string(12000, 'y').c_str());
    EXPECT_EQ(built.length(), 10000u);

    String number = assignedFrom(42L);
    number += '7';
    EXPECT_STREQ(number.sql(), "'427'");

    // Text written through buffer() is counted again before the next character goes behind it.
    String written("");
    for (int i = 0; i < 20; ++i) {
        written += 'a';
    }
    std::strcpy(written.buffer(0), "zz");
    written += 'q';
    EXPECT_STREQ(written, "zzq");
    EXPECT_EQ(written.length(), 3u);

    String nullWithStorage;
    std::strcpy(nullWithStorage.buffer(8), "ab");
    nullWithStorage += 'c';
    EXPECT_STREQ(nullWithStorage, "c");
    String empty;
    empty += '\0';
    EXPECT_STREQ(empty, "");

    String moved(std::move(written));
    moved += 'r';
    written = "";
    written += 's';
    EXPECT_STREQ(moved, "zzqr");
    EXPECT_STREQ(written, "s");
}

TEST(StringAssign, NumbersSetTheNumericMarkAndTextClearsIt) {
    String s = assignedFrom(-42L);
    EXPECT_STREQ(s, "-42");
    EXPECT_STREQ(s.sql(), "-42");
    s = 2.5;
    s += "x";
    EXPECT_STREQ(s.sql(), "'2.500000x'");
    EXPECT_STREQ(assignedFrom(static_cast<signed char>(-5)), "-5");
    EXPECT_STREQ(assignedFrom(static_cast<unsigned char>(200)), "200");
    EXPECT_STREQ(assignedFrom(static_cast<short>(-32768)), "-32768");
    EXPECT_STREQ(assignedFrom(static_cast<unsigned short>(65535)), "65535");
    EXPECT_STREQ(assignedFrom(4294967295ul), "4294967295");
    EXPECT_STREQ(assignedFrom(0.25f).sql(), "0.250000");

    s = 1e200;
    const std::string text(s);
    EXPECT_EQ(text.size(), 207u); // 200 digits and ".000000": nothing cut at 127 characters
    EXPECT_EQ(text.substr(200), ".000000");
    EXPECT_DOUBLE_EQ(static_cast<double>(s), 1e200);
}

TEST(StringAssign, FixedLengthIsTakenFromTheSourceAndMovesLeaveNull) {
    String fixed("ab", 5);
    String variable("xyz");
    fixed = variable;
    EXPECT_EQ(fixed.fixedLength(), 0u);
    variable = String("q", 4);
    EXPECT_EQ(variable.fixedLength(), 4u);
    variable = "long text beyond four";
    EXPECT_EQ(variable.fixedLength(), 0u);
    variable = noText;
    EXPECT_TRUE(variable.isNull());
    EXPECT_EQ(variable.buffer(0), nullptr);

    String source("abc", 5);
    String target(std::move(source));
    EXPECT_STREQ(target, "abc");
    EXPECT_EQ(target.fixedLength(), 5u);
    EXPECT_TRUE(source.isNull()); // NOLINT(bugprone-use-after-move)
    fixed = std::move(target);
    EXPECT_STREQ(fixed, "abc");
    EXPECT_TRUE(target.isNull()); // NOLINT(bugprone-use-after-move)
}

TEST(StringPlus, ResultsFollowTheAppendingRules) {
    EXPECT_STREQ(String(5ul) + "x", "x");
    EXPECT_TRUE((String() + String()).isNull());
    EXPECT_STREQ(String() + "x", "x");
    EXPECT_STREQ(String("a") + 'b', "ab");
    const String numeric = assignedFrom(1L);
    EXPECT_STREQ(numeric + "0", "10");
    EXPECT_STREQ(numeric, "1");
    EXPECT_STREQ(String("abc", 3) + "def", "abcdef"); // the result is variable-length
}

TEST(StringEquality, NullEqualsOnlyNullNeverEmptyTextNorAStandardText) {
    EXPECT_TRUE(String() == String());
    EXPECT_TRUE(String() == noText);
    EXPECT_FALSE(String() == "");
    EXPECT_TRUE(String() != String(""));
    EXPECT_TRUE(String("abc") == "abc");
    EXPECT_FALSE(String("abc") == noText);
    EXPECT_TRUE(String("abc") != String("abd"));
    EXPECT_TRUE(String("ab") != String("abc"));

    const String abc("abc");
    EXPECT_TRUE(abc == std::string("abc"));
    EXPECT_TRUE(std::string("abc") == abc);
    EXPECT_TRUE(abc != std::string_view("abd"));
    EXPECT_TRUE(std::string_view("abd") != abc);
    EXPECT_FALSE(abc == std::string("abc\0", 4));
    EXPECT_FALSE(String() == std::string());
    EXPECT_TRUE(String() != std::string_view());
    EXPECT_TRUE(String("") == std::string());
}

TEST(StringConversion, NumbersAreReadAsThirtyTwoBitValues) {
    EXPECT_EQ(static_cast<long>(String("  -123xyz")), -123L);
    EXPECT_EQ(static_cast<long>(String("99999999999")), 2147483647L);
    EXPECT_EQ(static_cast<long>(String("-99999999999")), -2147483647L - 1);
    EXPECT_EQ(static_cast<unsigned long>(String("4294967295")), 4294967295ul);
    EXPECT_EQ(static_cast<unsigned long>(String("4294967296")), 4294967295ul);
    EXPECT_EQ(static_cast<unsigned long>(String("-1")), 4294967295ul);
    EXPECT_EQ(static_cast<unsigned long>(String("abc")), 0ul);
    EXPECT_DOUBLE_EQ(static_cast<double>(String("2.5e3")), 2500.0);
    EXPECT_EQ(static_cast<long>(String()), 0L);
    EXPECT_EQ(static_cast<double>(String()), 0.0);
}

TEST(StringStdConversion, BuildsFromStandardTextsAndConvertsBack) {
    const std::string text = "key=value";
    const String fromView = std::string_view(text).substr(0, 3);
    EXPECT_EQ(static_cast<std::string>(String(text)), text);
    EXPECT_STREQ(fromView, "key");
    EXPECT_EQ(static_cast<std::string_view>(fromView), "key");
    EXPECT_EQ(fromView.length(), 3u);
    // An empty standard text is a text, never null; a String's text ends at the first NUL.
    EXPECT_FALSE(String(std::string()).isNull());
    const String cut(std::string("ab\0cd", 5));
    EXPECT_STREQ(cut, "ab");
    EXPECT_EQ(cut.length(), 2u);
    EXPECT_EQ(static_cast<std::string>(String()), "");
    EXPECT_EQ(static_cast<std::string_view>(String()).size(), 0u);

    // Text written through buffer() is seen by the view as by the pointer.
    String written("");
    std::strcpy(written.buffer(10), "0123456789");
    EXPECT_EQ(static_cast<std::string_view>(written), "0123456789");
}

TEST(StringAccess, AtChecksTheTextNotTheNullMark) {
    EXPECT_EQ(String("abc").at(2), 'c');
    EXPECT_THROW_REASON(String("abc").at(3), StringException, 3);
    EXPECT_THROW_REASON(String().at(0), StringException, 3);
    EXPECT_THROW_REASON(String(4ul).at(0), StringException, 3);
}

TEST(StringStorage, TextWrittenThroughBufferCountsAfterRelease) {
    String s("ab");
    char* p = s.buffer(10);
    EXPECT_STREQ(p, "ab");
    std::strcpy(p, "abcdefghij");
    EXPECT_EQ(s.length(), 10u);
    p[3] = '\0';
    EXPECT_EQ(s.length(), 3u);
    s.release();
    s += "d";
    EXPECT_STREQ(s, "abcd");
    // A buffer smaller than the text never cuts it.
    s.buffer(1);
    EXPECT_STREQ(s, "abcd");

    String none;
    EXPECT_STREQ(none.buffer(3), "");
    EXPECT_TRUE(none.isNull());

    String fixed("", 4);
    EXPECT_THROW_REASON(fixed.buffer(5), StringException, 1);
    std::strcpy(fixed.buffer(4), "wxyz");
    fixed.release();
    EXPECT_EQ(fixed.fixedLength(), 4u);
    EXPECT_EQ(fixed.length(), 4u);

    // Copies of a String with room behind its text stay inside their storage.
    String roomy("abc");
    roomy += "d";
    String copy(roomy);
    EXPECT_STREQ(copy, "abcd");
    copy = roomy;
    EXPECT_STREQ(copy, "abcd");
}

// Bytes written through buffer() into a null String are storage, not text: every operation that starts
// from the length sees none, until the String is given a value.
TEST(StringNullWithStorage, HoldsNoText) {
    String s;
    std::strcpy(s.buffer(8), "ab");
    ASSERT_TRUE(s.isNull());
    EXPECT_EQ(s.length(), 0u);
    EXPECT_TRUE(s.mid(0).isNull());
    EXPECT_TRUE(s.mid(0, 1).isNull());
    EXPECT_EQ(s.mask(String("")).length(), 0u);
    EXPECT_THROW_REASON(s.mask("##"), StringException, 4);
    EXPECT_EQ(s.replaceMask("#", "Z"), "Z");
    EXPECT_TRUE(s.replaceMask(" ", "Z").isNull());

    // createMask leaves the copy as it is: null, with the stored bytes untouched.
    String mask = s.createMask("ab");
    EXPECT_TRUE(mask.isNull());
    EXPECT_STREQ(mask.buffer(0), "ab");

    // Appending starts from no text; at() still reads the storage.
    EXPECT_EQ(s.at(1), 'b');
    s += "c";
    EXPECT_STREQ(s, "c");

    String fixed(5ul);
    std::strcpy(fixed.buffer(0), "xy");
    EXPECT_EQ(fixed.length(), 0u);
    fixed += "z";
    EXPECT_STREQ(fixed, "z");
}

TEST(StringStorage, FixLengthRefusesShortAndHugeLimitsAndZeroLifts) {
    String s("abcdef");
    EXPECT_THROW_REASON(s.fixLength(3), StringException, 1);
    EXPECT_THROW_REASON(s.fixLength(0xFFFFFFFFul), StringException, 2);
    EXPECT_THROW_REASON(s.buffer(0xFFFFFFFFul), StringException, 2);
    EXPECT_THROW_REASON(String(0xFFFFFFFFul), StringException, 2);
    EXPECT_STREQ(s, "abcdef");
    EXPECT_EQ(s.fixedLength(), 0u);
    s.fixLength(8);
    EXPECT_EQ(s.fixedLength(), 8u);
    s += "gh";
    EXPECT_THROW_REASON(s += "i", StringException, 1);
    s.fixLength(0);
    s += "i";
    EXPECT_STREQ(s, "abcdefghi");

    String none;
    none.fixLength(2);
    EXPECT_TRUE(none.isNull());
    none += "xy";
    EXPECT_STREQ(none, "xy");
}

TEST(StringCopy, CountsNullsAndToTheEnd) {
    String s;
    s.copy(String(), String::npos);
    EXPECT_STREQ(s, "");
    s.copy(String("abcdef"), 3);
    EXPECT_STREQ(s, "abc");
    s.copy(String("ab"), 5);
    EXPECT_STREQ(s, "ab");
    s.copy("abcdef", static_cast<unsigned long>(-1));
    EXPECT_STREQ(s, "abcdef");
    s.copy(noText, 2);
    EXPECT_STREQ(s, "");
    String fixed("x", 3);
    fixed = 5L;
    fixed.copy("wxyz", 2);
    EXPECT_EQ(fixed.fixedLength(), 0u);
    EXPECT_STREQ(fixed.sql(), "'wx'");
}

// Short texts are kept inside the object and longer ones elsewhere: every operation must carry the text
// across that boundary in both directions, and copies and moves must never share storage.
TEST(StringStorage, TextsCrossingBetweenShortAndLongStorage) {
    const std::string longText(40, 'L');

    // Growing by appends, with the appended text inside the String's own short storage.
    String s("0123456789");
    s += s;
    EXPECT_STREQ(s, "01234567890123456789");
    s += static_cast<const char*>(s) + 15;
    EXPECT_STREQ(s, "0123456789012345678956789");
    // Shrinking back: an assignment from the String's own long storage, then release().
    s = static_cast<const char*>(s) + 20;
    EXPECT_STREQ(s, "56789");
    s.buffer(100);
    std::strcpy(s.buffer(), longText.c_str());
    EXPECT_EQ(s.length(), 40u);
    s.buffer()[3] = '\0';
    s.release();
    EXPECT_STREQ(s, "LLL");
    s.fixLength(30);
    s += "abc";
    s.fixLength(0);
    EXPECT_STREQ(s, "LLLabc");

    // Moves and copies of short and long texts are independent of their sources.
    for (const std::string& text : {std::string("short"), longText}) {
        String source(text.c_str());
        String copy(source);
        String moved(std::move(source));
        EXPECT_EQ(std::string(moved), text);
        EXPECT_TRUE(source.isNull()); // NOLINT(bugprone-use-after-move)
        source = "reused";
        copy.buffer()[0] = '#';
        EXPECT_EQ(std::string(moved), text);
        EXPECT_STREQ(source, "reused");

        String assigned(longText.c_str());
        assigned = std::move(moved);
        EXPECT_EQ(std::string(assigned), text);
        String other("x");
        std::swap(other, assigned);
        EXPECT_EQ(std::string(other), text);
        EXPECT_STREQ(assigned, "x");
        assigned = other; // copy over the other size of storage
        EXPECT_EQ(std::string(assigned), text);
        EXPECT_NE(static_cast<const char*>(assigned), static_cast<const char*>(other));
    }
}

TEST(StringFormat, FormatsIntoAnyStringKeepingTheNumericMarkAndNullTextArguments) {
    String s;
    s.format("%d-%s", 7, "x");
    EXPECT_STREQ(s, "7-x");
    EXPECT_EQ(s.length(), 3u);
    s.format("%s=%li (%0.2f) [%s]", "pi", 3L, 3.14159, nullText);
    EXPECT_STREQ(s, "pi=3 (3.14) [(null)]");

    String number = assignedFrom(1L);
    number.format("%d", 42);
    EXPECT_STREQ(number.sql(), "42");
}

TEST(StringFormat, OutputIsCutAtTheCapacityOrTheFixedLength) {
    const std::string longText(300, 'x');
    String s;
    s.format("%s|%d|%s", longText.c_str(), 5, "tail");
    EXPECT_EQ(std::string(s), longText.substr(0, 255));
    String small("abc");
    small.format("%s", longText.c_str());
    EXPECT_EQ(small.length(), 255u);

    // A String that once held a longer text keeps that room.
    String roomy(std::string(300, 'a').c_str());
    roomy.format("%s%s", longText.c_str(), longText.c_str());
    EXPECT_EQ(std::string(roomy), longText);
    roomy.format("%d", 12);
    EXPECT_STREQ(roomy, "12");

    String fixed(5ul);
    fixed.format("%s", "abcdefgh");
    EXPECT_STREQ(fixed, "abcde");
    EXPECT_EQ(fixed.fixedLength(), 5u);
    EXPECT_THROW_REASON(fixed += "x", StringException, 1);
}

TEST(StringOrder, IsTotalWithNullFirstAndServesAsAKey) {
    const String null, empty(""), a("a"), high("\xe9");
    EXPECT_TRUE(null < empty);
    EXPECT_TRUE(empty < a);
    EXPECT_TRUE(a < high); // unsigned bytes
    EXPECT_FALSE(null < null);
    EXPECT_TRUE(null <= null);
    EXPECT_TRUE(high > a && high >= a && a <= a && !(a > a));
    // Against a C text the order is the texts', never the pointers'.
    const char* const later = "b";
    EXPECT_TRUE(a < later);
    EXPECT_TRUE(later > a);
    EXPECT_TRUE("0" < a);
    EXPECT_TRUE(null < static_cast<const char*>("") && !(null < noText));

    const std::set<String> keys = {"b", "a", String(), "a", ""};
    EXPECT_EQ(keys.size(), 4u);
    EXPECT_TRUE(keys.begin()->isNull());
}

TEST(StringHash, EqualStringsHashAlikeAndFillUnorderedMaps) {
    const std::hash<String> hash;
    String built("");
    built += "ke";
    built += 'y';
    EXPECT_EQ(hash(built), hash(String("key")));
    EXPECT_EQ(hash(built), std::hash<std::string_view>()("key"));
    EXPECT_EQ(hash(String()), hash(String(8ul)));

    std::unordered_map<String, int> table;
    table["one"] = 1;
    table[String()] = 0;
    EXPECT_EQ(table.at("one"), 1);
    EXPECT_EQ(table.at(String()), 0);
    EXPECT_EQ(table.count(""), 0u);
}

TEST(StringNumbers, IntAppendsACharacterOtherNumbersDoNotCompile) {
    String digits("");
    for (int d = 0; d < 3; ++d) {
        digits += '0' + d;
    }
    digits += static_cast<unsigned char>('!');
    digits += 0x141; // the low 8 bits, as the char form takes them
    EXPECT_STREQ(digits, "012!A");
    EXPECT_STREQ(String("x") + ('a' + 1), "xb");

    static_assert(accepted<int> && accepted<char> && accepted<short> && accepted<unsigned char>,
                  "characters");
    static_assert(accepted<const char*> && accepted<String> && accepted<std::string>, "texts");
    static_assert(refused<long> && refused<long long> && refused<unsigned> && refused<unsigned long> &&
                      refused<unsigned long long> && refused<float> && refused<double> &&
                      refused<long double>,
                  "numbers other than int do not append a character");
}

// Every operation that takes text must read it as it was before the call, even when the caller hands it
// a pointer into the String's own storage (s.format("%s/file", (const char*)s) and the like).
namespace {
// How the target's text is stored: each kind reaches a different path of the storage code.
const struct Storage {
    const char* name;
    String (*make)();
} storages[] = {
    {"inline short text", [] { return String("root"); }},
    {"heap text of exact size", [] { return String("/usr/local/share/applications"); }},
    {"heap text with spare room",
     [] {
         String s("");
         for (const char* p = "grown one character at a time"; *p; ++p) {
             s += *p; // leaves spare room behind the text
         }
         return s;
     }},
    {"storage of 256 bytes",
     [] {
         String s;
         s.format("%s", "root");
         return s;
     }},
    {"fixed length", [] { return String("root", 40); }},
};

std::string str(long v) {
    return std::to_string(v);
}

// An operation given the target and the text to pass: returns what the call gave back, as text (nothing
// for one whose effect on the target is all that counts).
const struct Operation {
    const char* name;
    std::string (*run)(String& target, const char* arg);
} operations[] = {
    {"format %s/file", [](String& s, const char* a) { return s.format("%s/file", a), std::string(); }},
    {"format x%s", [](String& s, const char* a) { return s.format("x%s", a), std::string(); }},
    {"format %s!%s", [](String& s, const char* a) { return s.format("%s!%s", a, a), std::string(); }},
    {"format with own text as format",
     [](String& s, const char* a) { return s.format(a, 0), std::string(); }},
    {"assign", [](String& s, const char* a) { return std::string(s = a); }},
    {"append", [](String& s, const char* a) { return std::string(s += a); }},
    {"plus", [](String& s, const char* a) { return std::string(s + a); }},
    {"copy all", [](String& s, const char* a) { return s.copy(a), std::string(); }},
    {"copy two", [](String& s, const char* a) { return s.copy(a, 2), std::string(); }},
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
    {"translateVars",
     [](String& s, const char* a) {
         VariableList vars;
         vars.add(Variable("v", a));
         s += "$(v)";
         return s.translateVars(vars), std::string();
     }},
    {"escape after assign",
     [](String& s, const char* a) {
         s = a;
         s += "\t";
         return s.escape(), std::string();
     }},
    {"fromURI after assign",
     [](String& s, const char* a) {
         s = a;
         s += "%41";
         return s.fromURI(), std::string();
     }},
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
                EXPECT_EQ(op.run(target, static_cast<const char*>(target) + offset), expected);
                EXPECT_EQ(describe(target), describe(independent));
            }
        }
    }
}

TEST(StringAliasing, AStringOrVariablePassedToItsOwnOperations) {
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

    Variable v("name", "value of some length");
    v.value(v.value());
    EXPECT_STREQ(v.value(), "value of some length");
    v.value(v.name());
    EXPECT_STREQ(v.value(), "name");
}
