// String's states, storage and marks, its text written in other forms, and String beside the standard
// library.

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
// What an observer can tell of a String: "null" or its [text]; then its length where that is not the
// text's, its fixed length and its numeric mark, where set.
std::string describe(String& s) {
    const char* text = s;
    const std::size_t textLength = s.isNull() || !text ? 0 : std::strlen(text);
    std::string out = s.isNull() ? "null" : "[" + std::string(text ? text : "") + "]";
    if (s.length() != textLength) {
        out += " length " + std::to_string(s.length());
    }
    if (s.fixedLength() != 0) {
        out += " fixed " + std::to_string(s.fixedLength());
    }
    return out + (!s.isNull() && s.sql()[0] != '\'' ? " numeric" : "");
}
std::string describe(String&& s) {
    return describe(s);
}
std::string describe(const String& s) {
    String copy(s);
    return describe(copy);
}
// s after one of its own operations.
String after(String s, void (String::*operation)()) {
    (s.*operation)();
    return s;
}
// A String built one character at a time, which leaves spare room behind the text.
String grown(const char* text) {
    String s("");
    for (const char* p = text; *p; ++p) {
        s += *p;
    }
    return s;
}

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

TEST(StringConstruction, NullEmptyAndFixedStatesAsDumpedAndStreamed) {
    String byDefault;
    EXPECT_EQ(describe(byDefault), "null");
    EXPECT_EQ(static_cast<const char*>(byDefault), nullptr);
    EXPECT_EQ(static_cast<const char*>(String(noText)), nullptr);
    EXPECT_EQ(describe(String("")), "[]");
    EXPECT_TRUE(String::null.isNull());
    EXPECT_EQ(static_cast<const char*>(String::null), nullptr);

    String fixed(5ul);
    EXPECT_EQ(describe(fixed), "null fixed 5");
    EXPECT_EQ(describe(String("abc", 3)), "[abc] fixed 3");
    EXPECT_THROW_REASON(String("abcd", 3), StringException, 1);

    String text("abc"), none, empty("");
    EXPECT_EQ(dumpOf(text), "@ class Kel::String\nabc\n");
    EXPECT_EQ(dumpOf(none), "@ class Kel::String\n(null)\n");
    EXPECT_EQ(dumpOf(empty), "@ class Kel::String\n\n");
    std::ostringstream os;
    os << text << none << String("b");
    EXPECT_EQ(os.str(), "abcb");
}

TEST(StringAppend, NullPiecesEmptyTextAndFixedLengthOverflowAlsoForPlus) {
    String s;
    s += noText;
    s += String();
    EXPECT_EQ(describe(s), "null");
    s += "";
    EXPECT_EQ(describe(s), "[]");
    s += 'x';
    s += String("yz");
    EXPECT_EQ(describe(s), "[xyz]");

    String fixed(5ul);
    fixed += "abc";
    EXPECT_THROW_REASON(fixed += "abc", StringException, 1);
    fixed += "d";
    fixed += 'e';
    EXPECT_THROW_REASON(fixed += 'f', StringException, 1);
    EXPECT_EQ(describe(fixed), "[abcde] fixed 5");

    EXPECT_EQ(describe(String(5ul) + "x"), "[x]");
    EXPECT_EQ(describe(String() + String()), "null");
    EXPECT_EQ(describe(String() + "x"), "[x]");
    EXPECT_EQ(describe(String("a") + 'b'), "[ab]");
    String numeric = assignedFrom(1L);
    EXPECT_EQ(describe(numeric + "0"), "[10]");
    EXPECT_EQ(describe(numeric), "[1] numeric");
    EXPECT_EQ(describe(String("abc", 3) + "def"), "[abcdef]");
}

// A character appended in place must leave every mark and size as the general appending path does.
TEST(StringAppendChar, KeepsTheRulesOfEveryOtherAppend) {
    String built;
    std::string letters;
    for (int i = 0; i < 10000; ++i) {
        built += static_cast<char>('a' + i % 26);
        letters += static_cast<char>('a' + i % 26);
    }
    EXPECT_EQ(describe(built), "[" + letters + "]");
    // The capacity is the text's length plus one, whatever room the growth left: format reads it.
    built.format("%s", std::string(12000, 'y').c_str());
    EXPECT_EQ(built.length(), 10000u);

    String number = assignedFrom(42L);
    number += '7';
    EXPECT_EQ(describe(number), "[427]");

    // Text written through buffer() is counted again before the next character goes behind it.
    String written = grown("aaaaaaaaaaaaaaaaaaaa");
    std::strcpy(written.buffer(0), "zz");
    written += 'q';
    EXPECT_EQ(describe(written), "[zzq]");

    String nullWithStorage;
    std::strcpy(nullWithStorage.buffer(8), "ab");
    nullWithStorage += 'c';
    EXPECT_EQ(describe(nullWithStorage), "[c]");
    String empty;
    empty += '\0';
    EXPECT_EQ(describe(empty), "[]");

    String moved(std::move(written));
    moved += 'r';
    written = "";
    written += 's';
    EXPECT_EQ(describe(moved) + describe(written), "[zzqr][s]");
}

TEST(StringAssign, NumbersSetTheNumericMarkAndTextClearsIt) {
    String s = assignedFrom(-42L);
    EXPECT_EQ(describe(s), "[-42] numeric");
    s = 2.5;
    s += "x";
    EXPECT_EQ(describe(s), "[2.500000x]");
    EXPECT_EQ(describe(assignedFrom(static_cast<signed char>(-5))), "[-5] numeric");
    EXPECT_EQ(describe(assignedFrom(static_cast<unsigned char>(200))), "[200] numeric");
    EXPECT_EQ(describe(assignedFrom(static_cast<short>(-32768))), "[-32768] numeric");
    EXPECT_EQ(describe(assignedFrom(static_cast<unsigned short>(65535))), "[65535] numeric");
    EXPECT_EQ(describe(assignedFrom(4294967295ul)), "[4294967295] numeric");
    EXPECT_EQ(describe(assignedFrom(0.25f)), "[0.250000] numeric");

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
    EXPECT_EQ(describe(fixed), "[xyz]");
    variable = String("q", 4);
    EXPECT_EQ(describe(variable), "[q] fixed 4");
    variable = "long text beyond four";
    EXPECT_EQ(describe(variable), "[long text beyond four]");
    variable = noText;
    EXPECT_EQ(describe(variable), "null");
    EXPECT_EQ(variable.buffer(0), nullptr);

    String source("abc", 5);
    String target(std::move(source));
    EXPECT_EQ(describe(target) + describe(source), "[abc] fixed 5null"); // NOLINT(bugprone-use-after-move)
    fixed = std::move(target);
    EXPECT_EQ(describe(fixed) + describe(target), "[abc] fixed 5null"); // NOLINT(bugprone-use-after-move)
}

TEST(StringEquality, NullEqualsOnlyNullNeverEmptyTextNorAStandardText) {
    EXPECT_TRUE(String() == String());
    EXPECT_TRUE(String() == noText);
    EXPECT_FALSE(String() == "");
    EXPECT_TRUE(String() != String(""));
    EXPECT_TRUE(String("abc") == "abc");
    EXPECT_FALSE(String("abc") == noText);
    EXPECT_TRUE(String("abc") != String("abd") && String("ab") != String("abc"));

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

TEST(StringConversion, NumbersAreReadAsThirtyTwoBitValuesAndStandardTextsBothWays) {
    EXPECT_EQ(static_cast<long>(String("  -123xyz")), -123L);
    EXPECT_EQ(static_cast<long>(String("99999999999")), 2147483647L);
    EXPECT_EQ(static_cast<long>(String("-99999999999")), -2147483647L - 1);
    EXPECT_EQ(static_cast<unsigned long>(String("4294967295")), 4294967295ul);
    EXPECT_EQ(static_cast<unsigned long>(String("4294967296")), 4294967295ul);
    EXPECT_EQ(static_cast<unsigned long>(String("-1")), 4294967295ul);
    EXPECT_EQ(static_cast<unsigned long>(String("abc")), 0ul);
    EXPECT_DOUBLE_EQ(static_cast<double>(String("2.5e3")), 2500.0);
    EXPECT_EQ(static_cast<long>(String()), 0L);
    EXPECT_EQ(static_cast<unsigned long>(String()), 0ul);
    EXPECT_EQ(static_cast<double>(String()), 0.0);

    const std::string text = "key=value";
    EXPECT_EQ(static_cast<std::string>(String(text)), text);
    EXPECT_EQ(describe(String(std::string_view(text).substr(0, 3))), "[key]");
    EXPECT_EQ(static_cast<std::string_view>(String(std::string_view(text).substr(0, 3))), "key");
    // An empty standard text is a text, never null; a String's text ends at the first NUL.
    EXPECT_EQ(describe(String(std::string())), "[]");
    EXPECT_EQ(describe(String(std::string("ab\0cd", 5))), "[ab]");
    EXPECT_EQ(static_cast<std::string>(String()), "");
    EXPECT_EQ(static_cast<std::string_view>(String()).size(), 0u);
    // Text written through buffer() is seen by the view as by the pointer.
    String written("");
    std::strcpy(written.buffer(10), "0123456789");
    EXPECT_EQ(static_cast<std::string_view>(written), "0123456789");
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
    // A buffer smaller than the text never cuts it.
    s.buffer(1);
    EXPECT_EQ(describe(s), "[abcd]");

    String none;
    EXPECT_STREQ(none.buffer(3), "");
    EXPECT_TRUE(none.isNull());
    String fixed("", 4);
    EXPECT_THROW_REASON(fixed.buffer(5), StringException, 1);
    std::strcpy(fixed.buffer(4), "wxyz");
    fixed.release();
    EXPECT_EQ(describe(fixed), "[wxyz] fixed 4");

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
    ASSERT_EQ(describe(s), "null");
    EXPECT_TRUE(s.mid(0).isNull());
    EXPECT_TRUE(s.mid(0, 1).isNull());
    EXPECT_EQ(s.mask(String("")).length(), 0u);
    EXPECT_THROW_REASON(s.mask("##"), StringException, 4);
    EXPECT_EQ(s.replaceMask("#", "Z"), "Z");
    EXPECT_TRUE(s.replaceMask(" ", "Z").isNull());
    EXPECT_THROW_REASON(String(4ul).at(0), StringException, 3);

    // createMask leaves the copy as it is: null, with the stored bytes untouched.
    String mask = s.createMask("ab");
    EXPECT_TRUE(mask.isNull());
    EXPECT_STREQ(mask.buffer(0), "ab");

    // Appending starts from no text; at() still reads the storage.
    EXPECT_EQ(s.at(1), 'b');
    s += "c";
    EXPECT_EQ(describe(s), "[c]");
    String fixed(5ul);
    std::strcpy(fixed.buffer(0), "xy");
    EXPECT_EQ(fixed.length(), 0u);
    fixed += "z";
    EXPECT_EQ(describe(fixed), "[z] fixed 5");
}

TEST(StringAccess, AtChecksTheTextAndFixLengthRefusesShortAndHugeLimits) {
    EXPECT_EQ(String("abc").at(2), 'c');
    EXPECT_THROW_REASON(String("abc").at(3), StringException, 3);
    EXPECT_THROW_REASON(String().at(0), StringException, 3);

    String s("abcdef");
    EXPECT_THROW_REASON(s.fixLength(3), StringException, 1);
    EXPECT_THROW_REASON(s.fixLength(0xFFFFFFFFul), StringException, 2);
    EXPECT_THROW_REASON(s.buffer(0xFFFFFFFFul), StringException, 2);
    EXPECT_THROW_REASON(String(0xFFFFFFFFul), StringException, 2);
    EXPECT_EQ(describe(s), "[abcdef]");
    s.fixLength(8);
    s += "gh";
    EXPECT_THROW_REASON(s += "i", StringException, 1);
    EXPECT_EQ(describe(s), "[abcdefgh] fixed 8");
    s.fixLength(0);
    s += "i";
    EXPECT_EQ(describe(s), "[abcdefghi]");
    String none;
    none.fixLength(2);
    EXPECT_EQ(describe(none), "null fixed 2");
    none += "xy";
    EXPECT_EQ(describe(none), "[xy] fixed 2");
}

TEST(StringCopy, CountsNullsAndToTheEnd) {
    String s;
    s.copy(String(), String::npos);
    EXPECT_EQ(describe(s), "[]");
    s.copy(String("abcdef"), 3);
    EXPECT_EQ(describe(s), "[abc]");
    s.copy(String("ab"), 5);
    EXPECT_EQ(describe(s), "[ab]");
    s.copy("abcdef", static_cast<unsigned long>(-1));
    EXPECT_EQ(describe(s), "[abcdef]");
    s.copy(noText, 2);
    EXPECT_EQ(describe(s), "[]");
    String fixed("x", 3);
    fixed = 5L;
    fixed.copy("wxyz", 2);
    EXPECT_EQ(describe(fixed), "[wx]");
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
    EXPECT_EQ(describe(s), "[LLLabc]");

    // Moves and copies of short and long texts are independent of their sources.
    for (const std::string& text : {std::string("short"), longText}) {
        String source(text.c_str());
        String copy(source);
        String moved(std::move(source));
        EXPECT_EQ(describe(source), "null"); // NOLINT(bugprone-use-after-move)
        source = "reused";
        copy.buffer()[0] = '#';
        EXPECT_EQ(std::string(moved), text);
        EXPECT_STREQ(source, "reused");

        String assigned(longText.c_str());
        assigned = std::move(moved);
        String other("x");
        std::swap(other, assigned);
        EXPECT_EQ(std::string(other), text);
        EXPECT_STREQ(assigned, "x");
        assigned = other; // copy over the other size of storage
        EXPECT_EQ(std::string(assigned), text);
        EXPECT_NE(static_cast<const char*>(assigned), static_cast<const char*>(other));
    }
}

TEST(StringFormat, FormatsIntoAnyStringCutAtTheCapacityOrFixedLengthKeepingTheNumericMark) {
    String s;
    s.format("%d-%s", 7, "x");
    EXPECT_EQ(describe(s), "[7-x]");
    s.format("%s=%li (%0.2f) [%s]", "pi", 3L, 3.14159, nullText);
    EXPECT_STREQ(s, "pi=3 (3.14) [(null)]");
    s.format("a%cb", 0); // the text ends at the NUL
    EXPECT_EQ(describe(s), "[a]");
    String number = assignedFrom(1L);
    number.format("%d", 42);
    EXPECT_EQ(describe(number), "[42] numeric");

    const std::string longText(300, 'x');
    String cut;
    cut.format("%s|%d|%s", longText.c_str(), 5, "tail");
    EXPECT_EQ(std::string(cut), longText.substr(0, 255));
    String small("abc");
    small.format("%s", longText.c_str());
    EXPECT_EQ(small.length(), 255u);

    // A String that once held a longer text keeps that room.
    String roomy(std::string(300, 'a').c_str());
    roomy.format("%s%s", longText.c_str(), longText.c_str());
    EXPECT_EQ(std::string(roomy), longText);
    roomy.format("%d", 12);
    EXPECT_EQ(describe(roomy), "[12]");

    String fixed(5ul);
    fixed.format("%s", "abcdefgh");
    EXPECT_EQ(describe(fixed), "[abcde] fixed 5");
}

TEST(StringOrder, IsTotalWithNullFirstAndServesAsAKeyAndAHash) {
    const String null, empty(""), a("a"), high("\xe9");
    EXPECT_TRUE(null < empty && empty < a && a < high); // unsigned bytes
    EXPECT_TRUE(!(null < null) && null <= null);
    EXPECT_TRUE(high > a && high >= a && a <= a && !(a > a));
    // Against a C text the order is the texts', never the pointers'.
    const char* const later = "b";
    EXPECT_TRUE(a < later && later > a && "0" < a);
    EXPECT_TRUE(null < static_cast<const char*>("") && !(null < noText));
    const std::set<String> keys = {"b", "a", String(), "a", ""};
    EXPECT_EQ(keys.size(), 4u);
    EXPECT_TRUE(keys.begin()->isNull());

    String built("");
    built += "ke";
    built += 'y';
    EXPECT_EQ(std::hash<String>()(built), std::hash<std::string_view>()("key"));
    EXPECT_EQ(std::hash<String>()(String()), std::hash<String>()(String(8ul)));
    std::unordered_map<String, int> table = {{"one", 1}, {String(), 0}};
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
    static_assert(refused<long> && refused<long long> && refused<unsigned short> && refused<unsigned> &&
                      refused<unsigned long> && refused<unsigned long long> && refused<float> &&
                      refused<double> && refused<long double>,
                  "numbers other than int do not append a character");
}

TEST(StringEscape, UnescapeReadsTheTableBackKeepsStorageAndMarksAndThrowsAfterEarlierPairs) {
    const char* original = "tab\there 'q' \"dq\" back\\slash\n\r\v\b\f\a \x01 end";
    const String escaped = after(String(original), &String::escape);
    EXPECT_STREQ(escaped, "tab\\there \\'q\\' \\\"dq\\\" back\\\\slash\\n\\r\\v\\b\\f\\a \x01 end");
    EXPECT_STREQ(after(escaped, &String::unescape), original);
    // \? is read too, and a backslash that unescape() produced never pairs with the next character.
    EXPECT_EQ(describe(after(String("\\?\\\\n\\\\\\t"), &String::unescape)), "[?\\n\\\t]");
    String trailing("ab\\");
    EXPECT_THROW_REASON(trailing.unescape(), StringException, 5);
    EXPECT_EQ(describe(trailing), "[ab\\]");
    String unknown("\\n-\\x-\\t");
    EXPECT_THROW_REASON(unknown.unescape(), StringException, 5);
    EXPECT_EQ(describe(unknown), "[\n-\\x-\\t]");

    String fixed = after(String("a\\tb", 10), &String::unescape);
    EXPECT_EQ(describe(fixed), "[a\tb] fixed 10");
    fixed += "cdefghi";
    EXPECT_STREQ(fixed, "a\tbcdefghi");
    EXPECT_EQ(describe(after(String(), &String::unescape)), "null");
}

TEST(StringEscape, EscapeFromURIAndToURIGiveVariableLengthNonNumericText) {
    EXPECT_EQ(describe(after(String("a'b", 10), &String::escape)), "[a\\'b]");
    EXPECT_EQ(describe(after(String("%41", 10), &String::fromURI)), "[A]");
    EXPECT_EQ(describe(after(assignedFrom(42L), &String::escape)), "[42]");
    EXPECT_EQ(describe(after(assignedFrom(42L), &String::toURI)), "[42]");
    EXPECT_EQ(describe(after(String(4ul), &String::escape)), "[]");
    EXPECT_EQ(describe(after(String(), &String::escape)), "null");
    EXPECT_EQ(describe(after(String(), &String::toURI)), "null");
}

TEST(StringURI, FromURIDecodesPercentSequencesAndToURIEncodesAllButUnreserved) {
    const std::pair<const char*, const char*> cases[] = {{"a%20b%41", "a bA"},
                                                         {"%00x", "x"},
                                                         {"%zz1", "1"},
                                                         {"a+b", "a+b"},
                                                         {"%4a%4A", "JJ"},
                                                         {"%%41", "1"},
                                                         {"end%", "end"},
                                                         {"end%4", "end\x04"},
                                                         {"%", ""},
                                                         {"%2", "\x02"},
                                                         {"%e9t%C3%A9", "\xe9t\xc3\xa9"}};
    for (const auto& [in, out] : cases) {
        EXPECT_EQ(describe(after(String(in), &String::fromURI)), "[" + std::string(out) + "]") << in;
    }

    EXPECT_STREQ(after(String("a b/\xc3\xbc~-._%+Z9"), &String::toURI), "a%20b%2F%C3%BC~-._%25%2BZ9");
    std::string every;
    for (int c = 1; c < 256; ++c) {
        every += static_cast<char>(c);
    }
    const String all = after(String(every.c_str()), &String::toURI);
    EXPECT_EQ(std::string(all).find_first_not_of(
                  "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789-._~%"),
              std::string::npos);
    EXPECT_EQ(std::string(after(all, &String::fromURI)), every);
}

TEST(StringSql, QuotesTextAndLeavesNumbersAndNull) {
    EXPECT_STREQ(String().sql(), "NULL");
    EXPECT_STREQ(String("O'Brien").sql(), "'O''Brien'");
    EXPECT_STREQ(String("").sql(), "''");
    EXPECT_STREQ(String("''").sql(), "''''''");
    String number = assignedFrom(42L);
    EXPECT_STREQ(number.sql(), "42");
    number += "x";
    EXPECT_STREQ(number.sql(), "'42x'");
    number = 7L;
    number += String("y");
    EXPECT_STREQ(number.sql(), "'7y'");
    number = 7L;
    number = "other";
    EXPECT_STREQ(number.sql(), "'other'");
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
    {"heap text with spare room", [] { return grown("grown one character at a time"); }},
    {"storage of 256 bytes",
     [] {
         String s;
         s.format("%s", "root");
         return s;
     }},
    {"fixed length", [] { return String("root", 40); }},
};

// An operation that changes the target, given the text to pass. The const operations are not here: they
// cannot disturb the text they read.
const struct Operation {
    const char* name;
    void (*change)(String& target, const char* arg);
} operations[] = {
    {"format %s/file", [](String& s, const char* a) { s.format("%s/file", a); }},
    {"format x%s", [](String& s, const char* a) { s.format("x%s", a); }},
    {"format %s!%s", [](String& s, const char* a) { s.format("%s!%s", a, a); }},
    {"format with own text as format", [](String& s, const char* a) { s.format(a, 0); }},
    {"assign", [](String& s, const char* a) { s = a; }},
    {"append", [](String& s, const char* a) { s += a; }},
    {"copy all", [](String& s, const char* a) { s.copy(a); }},
    {"copy two", [](String& s, const char* a) { s.copy(a, 2); }},
    {"translateVars",
     [](String& s, const char* a) {
         VariableList vars;
         vars.add(Variable("v", a));
         s += "$(v)";
         s.translateVars(vars);
     }},
    {"assign, escape", [](String& s, const char* a) { s = a, s += "\t", s.escape(); }},
    {"assign, fromURI", [](String& s, const char* a) { s = a, s += "%41", s.fromURI(); }},
};

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
                op.change(independent, argument.c_str());
                op.change(target, static_cast<const char*>(target) + offset);
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

    Variable v("name", "value of some length");
    v.value(v.value());
    EXPECT_STREQ(v.value(), "value of some length");
    v.value(v.name());
    EXPECT_STREQ(v.value(), "name");
}
