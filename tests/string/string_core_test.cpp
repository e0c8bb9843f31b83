#include "kel_test.h"

#include <kel/net.h>
#include <kel/string.h>

#include <cstring>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

using namespace Kel;
using kel_test::dumpOf;

namespace {
// A String given value by assignment.
template <class T> String assignedFrom(T value) {
    String s;
    s = value;
    return s;
}
// Kept out of the compiler's sight, so that it does not warn about the null argument it is given.
const char* volatile nullText = nullptr;
} // namespace

TEST(StringConstruction, NullEmptyAndFixedStates) {
    String byDefault;
    String fromNull(static_cast<const char*>(nullptr));
    String empty("");
    EXPECT_TRUE(byDefault.isNull());
    EXPECT_TRUE(fromNull.isNull());
    EXPECT_EQ(byDefault.length(), 0u);
    EXPECT_EQ(static_cast<const char*>(byDefault), nullptr);
    EXPECT_EQ(static_cast<const char*>(fromNull), nullptr);
    EXPECT_FALSE(empty.isNull());
    EXPECT_STREQ(empty, "");

    String fixed(5ul);
    EXPECT_TRUE(fixed.isNull());
    EXPECT_EQ(fixed.fixedLength(), 5u);
    EXPECT_NE(fixed.buffer(0), nullptr);

    String exact("abc", 3);
    EXPECT_STREQ(exact, "abc");
    EXPECT_THROW_REASON(String("abcd", 3), StringException, 1);
}

TEST(StringAppend, FixedLengthRejectsOverflowAndKeepsText) {
    String s(5ul);
    s += "abc";
    EXPECT_FALSE(s.isNull());
    EXPECT_THROW_REASON(s += "abc", StringException, 1);
    EXPECT_STREQ(s, "abc");
    s += "de";
    EXPECT_STREQ(s, "abcde");
    EXPECT_THROW_REASON(s += 'f', StringException, 1);
}

TEST(StringAppend, NullPiecesAndEmptyText) {
    String s;
    s += static_cast<const char*>(nullptr);
    EXPECT_TRUE(s.isNull());
    s += String();
    EXPECT_TRUE(s.isNull());
    s += "";
    EXPECT_FALSE(s.isNull());
    EXPECT_EQ(s.length(), 0u);
    s += 'x';
    s += String("yz");
    EXPECT_STREQ(s, "xyz");
}

TEST(StringAppend, SelfAppendAndManyPiecesKeepTheText) {
    String s("ab");
    s += s;
    EXPECT_STREQ(s, "abab");
    // Growth in place must not lose text that lies inside the String's own storage.
    for (int i = 0; i < 6; ++i) {
        s += s;
    }
    EXPECT_EQ(s.length(), 256u);
    std::string expected;
    for (int i = 0; i < 128; ++i) {
        expected += "ab";
    }
    EXPECT_EQ(std::string(s), expected);

    String built;
    std::string letters;
    for (int i = 0; i < 10000; ++i) {
        const char c = static_cast<char>('a' + i % 26);
        built += c;
        letters += c;
    }
    EXPECT_EQ(std::string(built), letters);
    EXPECT_EQ(built.length(), letters.size());
}

// A character appended in place must leave every mark and size as the general appending path does.
TEST(StringAppendChar, KeepsTheRulesOfEveryOtherAppend) {
    String built("");
    for (int i = 0; i < 300; ++i) {
        built += 'x';
    }
    // The capacity is the text's length plus one, whatever room the growth left: format reads it.
    built.format("%s", std::string(400, 'y').c_str());
    EXPECT_EQ(built.length(), 300u);

    String number;
    number = 42L;
    number += '7';
    EXPECT_STREQ(number.sql(), "'427'");
    number += '8';
    EXPECT_STREQ(number.sql(), "'4278'");

    String fixed("ab", 3);
    fixed += 'c';
    EXPECT_THROW_REASON(fixed += 'd', StringException, 1);
    EXPECT_STREQ(fixed, "abc");

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
    EXPECT_FALSE(empty.isNull());
    EXPECT_STREQ(empty, "");

    String moved(std::move(written));
    moved += 'r';
    written = "";
    written += 's';
    EXPECT_STREQ(moved, "zzqr");
    EXPECT_STREQ(written, "s");
}

TEST(StringAssign, NumbersSetTheNumericMarkAndTextClearsIt) {
    String s;
    s = -42L;
    EXPECT_STREQ(s, "-42");
    EXPECT_STREQ(s.sql(), "-42");
    s = 2.5;
    EXPECT_STREQ(s, "2.500000");
    s += "x";
    EXPECT_STREQ(s.sql(), "'2.500000x'");

    EXPECT_STREQ(assignedFrom(static_cast<signed char>(-5)), "-5");
    EXPECT_STREQ(assignedFrom(static_cast<unsigned char>(200)), "200");
    EXPECT_STREQ(assignedFrom(static_cast<short>(-32768)), "-32768");
    EXPECT_STREQ(assignedFrom(static_cast<unsigned short>(65535)), "65535");
    EXPECT_STREQ(assignedFrom(4294967295ul), "4294967295");
    EXPECT_STREQ(assignedFrom(0.25f), "0.250000");
    EXPECT_STREQ(assignedFrom(0.25f).sql(), "0.250000");
}

TEST(StringAssign, HugeDoubleIsKeptWhole) {
    String s;
    s = 1e200;
    const std::string text(s);
    EXPECT_EQ(text.size(), 207u); // 200 digits and ".000000": nothing cut at 127 characters
    EXPECT_EQ(text.substr(200), ".000000");
    EXPECT_DOUBLE_EQ(static_cast<double>(s), 1e200);
}

TEST(StringAssign, FixedLengthIsTakenFromTheSource) {
    String fixed("ab", 5);
    String variable("xyz");
    fixed = variable;
    EXPECT_EQ(fixed.fixedLength(), 0u);
    variable = String("q", 4);
    EXPECT_EQ(variable.fixedLength(), 4u);
    variable = "long text beyond four";
    EXPECT_EQ(variable.fixedLength(), 0u);
    variable = static_cast<const char*>(nullptr);
    EXPECT_TRUE(variable.isNull());
    EXPECT_EQ(variable.buffer(0), nullptr);
}

TEST(StringAssign, SelfAssignmentAndAliasedTextAreSafe) {
    String s("hello world");
    const String& alias = s;
    s = alias;
    EXPECT_STREQ(s, "hello world");
    s = static_cast<const char*>(s) + 6;
    EXPECT_STREQ(s, "world");
    s.copy(static_cast<const char*>(s) + 1, 3);
    EXPECT_STREQ(s, "orl");
}

TEST(StringAssign, MovedFromStringIsNull) {
    String source("abc", 5);
    String target(std::move(source));
    EXPECT_STREQ(target, "abc");
    EXPECT_EQ(target.fixedLength(), 5u);
    EXPECT_TRUE(source.isNull()); // NOLINT(bugprone-use-after-move)
    String other("x");
    other = std::move(target);
    EXPECT_STREQ(other, "abc");
    EXPECT_TRUE(target.isNull()); // NOLINT(bugprone-use-after-move)
}

TEST(StringPlus, ResultsFollowTheAppendingRules) {
    String nullFixed(5ul);
    EXPECT_STREQ(nullFixed + "x", "x");
    EXPECT_TRUE((String() + String()).isNull());
    EXPECT_STREQ(String() + "x", "x");
    EXPECT_STREQ(String("a") + 'b', "ab");
    String numeric;
    numeric = 1L;
    const String sum = numeric + "0";
    EXPECT_STREQ(sum, "10");
    EXPECT_STREQ(numeric, "1");
    String fixed("abc", 3);
    EXPECT_STREQ(fixed + "def", "abcdef"); // the result is variable-length
}

TEST(StringEquality, NullEqualsOnlyNullNeverEmptyText) {
    EXPECT_TRUE(String() == String());
    EXPECT_TRUE(String() == static_cast<const char*>(nullptr));
    EXPECT_FALSE(String() == "");
    EXPECT_TRUE(String() != String(""));
    EXPECT_TRUE(String("abc") == "abc");
    EXPECT_FALSE(String("abc") == static_cast<const char*>(nullptr));
    EXPECT_TRUE(String("abc") != String("abd"));
    EXPECT_TRUE(String("ab") != String("abc"));
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

TEST(StringAccess, AtChecksTheTextNotTheNullMark) {
    String s("abc");
    EXPECT_EQ(s.at(2), 'c');
    EXPECT_THROW_REASON(s.at(3), StringException, 3);
    EXPECT_THROW_REASON(String().at(0), StringException, 3);
    String nullWithStorage(4ul);
    EXPECT_THROW_REASON(nullWithStorage.at(0), StringException, 3);
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
    EXPECT_STREQ(s, "abc");
    s += "d";
    EXPECT_STREQ(s, "abcd");

    // A buffer smaller than the text never cuts it.
    s.buffer(1);
    EXPECT_STREQ(s, "abcd");

    String none;
    char* fresh = none.buffer(3);
    EXPECT_STREQ(fresh, "");
    EXPECT_TRUE(none.isNull());

    String fixed("", 4);
    EXPECT_THROW_REASON(fixed.buffer(5), StringException, 1);
    std::strcpy(fixed.buffer(4), "wxyz");
    fixed.release();
    EXPECT_EQ(fixed.fixedLength(), 4u);
    EXPECT_EQ(fixed.length(), 4u);
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

TEST(StringStorage, StorageBeyondThirtyTwoBitsIsRefusedAndTheTextKept) {
    String s("abc");
    EXPECT_THROW_REASON(s.buffer(0xFFFFFFFFul), StringException, 2);
    EXPECT_THROW_REASON(s.fixLength(0xFFFFFFFFul), StringException, 2);
    EXPECT_THROW_REASON(String(0xFFFFFFFFul), StringException, 2);
    EXPECT_STREQ(s, "abc");
    EXPECT_EQ(s.fixedLength(), 0u);
}

TEST(StringStorage, CopiesOfAWrittenBufferStayInsideTheirStorage) {
    String s("abc");
    s += "d"; // capacity 5, room behind it
    String copy(s);
    EXPECT_STREQ(copy, "abcd");
    String target;
    target = s;
    EXPECT_STREQ(target, "abcd");
}

TEST(StringStorage, FixLengthRefusesShortLimitsAndZeroLifts) {
    String s("abcdef");
    EXPECT_THROW_REASON(s.fixLength(3), StringException, 1);
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
    EXPECT_FALSE(s.isNull());
    EXPECT_STREQ(s, "");
    s.copy(String("abcdef"), 3);
    EXPECT_STREQ(s, "abc");
    s.copy(String("ab"), 5);
    EXPECT_STREQ(s, "ab");
    s.copy("abcdef", static_cast<unsigned long>(-1));
    EXPECT_STREQ(s, "abcdef");
    s.copy(static_cast<const char*>(nullptr), 2);
    EXPECT_STREQ(s, "");
    String fixed("x", 3);
    fixed = 5L;
    fixed.copy("wxyz", 2);
    EXPECT_EQ(fixed.fixedLength(), 0u);
    EXPECT_STREQ(fixed.sql(), "'wx'");
}

TEST(StringDump, HeaderAndTextOrNull) {
    String text("abc");
    String none;
    String empty("");
    EXPECT_EQ(dumpOf(text), "@ class Kel::String\nabc\n");
    EXPECT_EQ(dumpOf(none), "@ class Kel::String\n(null)\n");
    EXPECT_EQ(dumpOf(empty), "@ class Kel::String\n\n");
}

TEST(StringNull, SharedNullIsNullWithoutStorage) {
    EXPECT_TRUE(String::null.isNull());
    EXPECT_EQ(String::null.length(), 0u);
    EXPECT_EQ(String::null.fixedLength(), 0u);
    EXPECT_EQ(static_cast<const char*>(String::null), nullptr);
}

TEST(StringStream, WritesTheTextAndNothingForNull) {
    std::ostringstream os;
    os << String("a") << String() << String("b");
    EXPECT_EQ(os.str(), "ab");
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

    // Many short Strings relocated by a growing container keep their own texts.
    std::vector<String> list;
    for (int i = 0; i < 100; ++i) {
        list.emplace_back();
        list.back() = i;
    }
    for (int i = 0; i < 100; ++i) {
        EXPECT_EQ(static_cast<long>(list[static_cast<std::size_t>(i)]), i);
    }

    // format() works with a larger storage than any short text, and keeps its rules afterwards.
    String f("ab");
    f.format("%s-%d", "x", 7);
    EXPECT_STREQ(f, "x-7");
    f.release();
    f.format("%s", longText.c_str());
    EXPECT_EQ(std::string(f), longText);
}

TEST(StringFormat, FormatsIntoADefaultStringAndMakesItNonNull) {
    String s;
    s.format("%d-%s", 7, "x");
    EXPECT_STREQ(s, "7-x");
    EXPECT_FALSE(s.isNull());
    EXPECT_EQ(s.length(), 3u);
    s.format("%s=%li (%0.2f)", "pi", 3L, 3.14159);
    EXPECT_STREQ(s, "pi=3 (3.14)");
}

TEST(StringFormat, VariableLengthOutputIsCutAtTheCapacity) {
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
    EXPECT_EQ(std::string(roomy), std::string(300, 'x'));
    roomy.format("%d", 12);
    EXPECT_STREQ(roomy, "12");
}

TEST(StringFormat, FixedLengthLimitsTheOutput) {
    String fixed(5ul);
    fixed.format("%s", "abcdefgh");
    EXPECT_STREQ(fixed, "abcde");
    EXPECT_EQ(fixed.fixedLength(), 5u);
    EXPECT_THROW_REASON(fixed += "x", Kel::StringException, 1);
}

TEST(StringFormat, ANullTextArgumentIsWrittenAsNullInParentheses) {
    String s;
    s.format("[%s]", nullText);
    EXPECT_STREQ(s, "[(null)]");
}

TEST(StringFormat, KeepsTheNumericMark) {
    String number;
    number = 1L;
    number.format("%d", 42);
    EXPECT_STREQ(number.sql(), "42");
}
