// Reading a String's text: comparing, searching, slicing, masks; and writing it in other forms: escapes,
// URIs and SQL.

#include "kel_test.h"

#include <kel/string.h>

#include <string>

using Kel::String;
using Kel::StringException;

namespace {
const char* const noText = nullptr;
const unsigned long notFound = String::npos;
} // namespace

TEST(StringCompare, NullMarksDecideFirstThenUnsignedBytes) {
    const String null;
    EXPECT_EQ(null.compare(String()), 0);
    EXPECT_EQ(null.compare(noText), 0);
    EXPECT_EQ(null.compare(""), -1);
    EXPECT_EQ(String("").compare(null), 1);
    EXPECT_EQ(String("abc").compare(null, true), 1);
    EXPECT_EQ(null.compareFor("abc", 0), -1);
    EXPECT_EQ(String("abc").compareFor(noText, 3, true), 1);

    EXPECT_EQ(String("abc").compare("abd"), -1);
    EXPECT_EQ(String("abd").compare("abc"), 1);
    EXPECT_EQ(String("abc").compare("abcd"), -1);
    EXPECT_EQ(String("b").compare("aaaaaaaaaaaaaa"), 1); // not a difference of bytes
    EXPECT_EQ(String("\xe9").compare("z"), 1);           // bytes above 0x7F sort last
}

TEST(StringCompare, IgnoringCaseFoldsAsciiCapitalsAndCompareForStopsAfterN) {
    EXPECT_EQ(String("ABC").compare("abc", true), 0);
    EXPECT_EQ(String("abc").compare("ABE", true), 'c' - 'e');
    // '[' lies between 'Z' and 'a': folding to lower case puts it before the letters.
    EXPECT_LT(String("[").compare("A", true), 0);
    EXPECT_NE(String("\xc9").compare("\xe9", true), 0);

    EXPECT_EQ(String("abcdef").compareFor("abcxyz", 3), 0);
    EXPECT_EQ(String("abcdef").compareFor("abcxyz", 4), -1);
    EXPECT_EQ(String("ABCdef").compareFor("abcXYZ", 3, true), 0);
    EXPECT_EQ(String("ab").compareFor("abc", 9), -1);
    EXPECT_EQ(String("ab").compareFor("AB", 9, true), 0);
    EXPECT_EQ(String("abcdef").compareFor(String("abz"), notFound), -1);
}

TEST(StringFind, CharactersFromEitherEndAndTexts) {
    const String s("a,b,c");
    const char* text = s;
    EXPECT_EQ(s.findIndex(','), 1u);
    EXPECT_EQ(s.findIndex(',', true), 3u);
    EXPECT_EQ(s.findIndex(';'), notFound);
    EXPECT_EQ(s.findIndex(';', true), notFound);
    EXPECT_EQ(s.find('b'), text + 2);
    EXPECT_EQ(s.find('\0'), text + 5);
    EXPECT_EQ(s.find('\0', true), text + 5);
    EXPECT_EQ(s.findIndex("b,"), 2u);
    EXPECT_EQ(s.find(""), text);
    EXPECT_EQ(s.find("c,"), nullptr);
    EXPECT_EQ(s.findIndex("a,b,c,"), notFound);
    EXPECT_EQ(s.findIndex(noText), notFound);
    EXPECT_EQ(String().find('\0'), nullptr);
    EXPECT_EQ(String().findIndex(""), notFound);

    // Long texts match the standard search.
    std::string longText;
    for (int i = 0; i < 5000; ++i) {
        longText += "abcab"[i % 5];
    }
    longText += "abcabd";
    const String l(longText.c_str());
    for (const char* needle : {"abcabd", "cabd", "bca", "d", "abcabcabd", "x"}) {
        const std::size_t expected = longText.find(needle);
        EXPECT_EQ(l.findIndex(needle), expected == std::string::npos ? notFound : expected) << needle;
    }
    EXPECT_EQ(l.findIndex('c', true), longText.rfind('c'));
}

TEST(StringMid, SlicesOrGivesNull) {
    const String s("abcdef");
    const unsigned long toEnd = notFound;
    struct Case {
        unsigned long start, count;
        const char* expected;
    } cases[] = {{2, 3, "cde"},        {4, toEnd, "ef"},
                 {0, 6, "abcdef"},     {6, toEnd, nullptr},
                 {0, 0, nullptr},      {5, 2, nullptr},
                 {9, toEnd, nullptr},  {9, 1, nullptr},
                 {0, toEnd, "abcdef"}, {5, static_cast<unsigned long>(-1), "f"}};
    for (const Case& c : cases) {
        EXPECT_EQ(s.mid(c.start, c.count), c.expected) << c.start << "," << c.count;
    }
    EXPECT_TRUE(String().mid(0, toEnd).isNull());
    EXPECT_EQ(String("abc", 5).mid(0, 2).fixedLength(), 0u);
}

TEST(StringField, EmptyAndMissingFieldsAreNullAndQuotesProtectSeparators) {
    const String s("a,b,,d");
    EXPECT_EQ(s.field(',', 0), "a");
    EXPECT_EQ(s.field(',', 1), "b");
    EXPECT_TRUE(s.field(',', 2).isNull());
    EXPECT_EQ(s.field(',', 3), "d");
    EXPECT_TRUE(s.field(',', 4).isNull());
    EXPECT_TRUE(String(",x,").field(',', 0).isNull());
    EXPECT_TRUE(String(",x,").field(',', 2).isNull());
    EXPECT_EQ(String("whole").field(',', 0), "whole");
    EXPECT_TRUE(String().field(',', 0).isNull());

    const String quoted("x,\"y,z\",w");
    EXPECT_EQ(quoted.field(',', 0, '"'), "x");
    EXPECT_EQ(quoted.field(',', 1, '"'), "y,z");
    EXPECT_EQ(quoted.field(',', 2, '"'), "w");
    EXPECT_EQ(quoted.field(',', 2), "z\"");
    EXPECT_TRUE(String("\"\",x").field(',', 0, '"').isNull());
    EXPECT_EQ(String("a\"b,c\"d,e").field(',', 0, '"'), "ab,cd");
    // The quote state carries from the skipped fields into the one collected.
    EXPECT_EQ(String("\"a,b,c").field(',', 0, '"'), "a,b,c");
    EXPECT_TRUE(String("\"a,b,c").field(',', 1, '"').isNull());
    // A quote equal to the separator is only a quote.
    EXPECT_EQ(String("a,b,c").field(',', 0, ','), "abc");
}

TEST(StringField, LongLinesAndFieldsComeBackWhole) {
    std::string line;
    for (int i = 0; i < 2000; ++i) {
        line += std::to_string(i) + ";";
    }
    line += "\"last;" + std::string(100000, 'q') + "\"";
    const String s(line.c_str());
    EXPECT_EQ(s.field(';', 1999), "1999");
    EXPECT_EQ(s.field(';', 2000, '"').length(), 100005u);
}

TEST(StringTrim, RemovesSpacesAndTabsOnlyAndNeverGivesNull) {
    EXPECT_EQ(String(" \tab ").trimLeft(), "ab ");
    EXPECT_EQ(String(" ab \t").trimRight(), " ab");
    EXPECT_EQ(String("\t a b \t").trim(), "a b");
    EXPECT_EQ(String("\nab\r").trim(), "\nab\r");
    // trimRight never removes the first character.
    EXPECT_EQ(String("   ").trimRight(), " ");
    EXPECT_EQ(String("\t").trimRight(), "\t");
    EXPECT_EQ(String("   ").trim(), "");
    EXPECT_EQ(String("   ").trimLeft(), "");
    EXPECT_EQ(String(5ul).trim(), "");
    EXPECT_EQ(String().trimLeft(), "");
    EXPECT_EQ(String().trimRight(), "");
    EXPECT_EQ(String("").trimRight(), "");
    EXPECT_EQ(String(" ab ", 8).trim().fixedLength(), 0u);
}

TEST(StringMask, CreateMarksTheSetAndMaskBlanksTheRest) {
    EXPECT_EQ(String("a1b2").createMask("0123456789"), " # #");
    EXPECT_EQ(String("abc").createMask(""), "   ");
    EXPECT_EQ(String("abc").createMask(String()), "   ");
    EXPECT_EQ(String("\xe9-\xe9").createMask("\xe9"), "# #");
    const String mask = String("2024", 10).createMask("0123456789");
    EXPECT_EQ(mask, "####");
    EXPECT_EQ(mask.fixedLength(), 10u);
    EXPECT_EQ(String("").createMask("a"), "");
    EXPECT_TRUE(String().createMask("a").isNull());

    EXPECT_EQ(String("abc").mask("# #"), "a c");
    EXPECT_EQ(String("").mask(""), "");
    EXPECT_THROW_REASON(String("abc").mask("##"), StringException, 4);
    EXPECT_THROW_REASON(String("abc").mask(String()), StringException, 4);
}

TEST(StringReplaceMask, ReplacesFromTheFirstMarkToTheLast) {
    const String s("abcdef");
    struct Case {
        const char *mask, *repl, *expected;
    } cases[] = {{"  ##  ", "XY", "abXYef"}, {"  ##  ", "XYZ", "abXYZef"}, {"##    ", "Z", "Zcdef"},
                 {"    ##", "Z", "abcdZ"},   {"  ##  ", "", "abef"},       {"######", "Z", "Z"},
                 {" #  # ", "-", "a-f"},     {"      ", "Z", "abcdef"}};
    for (const Case& c : cases) {
        EXPECT_EQ(s.replaceMask(c.mask, c.repl), c.expected) << c.mask << " " << c.repl;
    }
    EXPECT_EQ(String("abc").replaceMask("# #", "Z"), "Z");
    EXPECT_EQ(s.replaceMask("  ##  ", String()), "abef");
    EXPECT_EQ(s.replaceMask(String(), "Z"), "abcdef");
    EXPECT_TRUE(String().replaceMask("", String()).isNull());
    const String format("YYYY-MM-DD");
    EXPECT_EQ(format.replaceMask(format.createMask("M"), "12"), "YYYY-12-DD");
}

TEST(StringEscape, WritesTheTableAndUnescapeReadsItBack) {
    const char* original = "tab\there 'q' \"dq\" back\\slash\n\r\v\b\f\a \x01 end";
    String s(original);
    s.escape();
    EXPECT_STREQ(s, "tab\\there \\'q\\' \\\"dq\\\" back\\\\slash\\n\\r\\v\\b\\f\\a \x01 end");
    s.unescape();
    EXPECT_STREQ(s, original);
    // \? is read too, and a backslash that unescape() produced never pairs with the next character.
    s = "\\?\\\\n\\\\\\t";
    s.unescape();
    EXPECT_STREQ(s, "?\\n\\\t");
    EXPECT_EQ(s.length(), 5u);
}

TEST(StringEscape, EscapeAndFromURIGiveVariableLengthNonNumericText) {
    String fixed("a'b", 10);
    fixed.escape();
    EXPECT_STREQ(fixed, "a\\'b");
    EXPECT_EQ(fixed.fixedLength(), 0u);
    String decoded("%41", 10);
    decoded.fromURI();
    EXPECT_EQ(decoded.fixedLength(), 0u);

    String number;
    number = 42L;
    number.escape();
    EXPECT_STREQ(number.sql(), "'42'");
    String nullWithStorage(4ul);
    nullWithStorage.escape();
    EXPECT_FALSE(nullWithStorage.isNull());
    String none;
    none.escape();
    EXPECT_TRUE(none.isNull());
}

TEST(StringUnescape, ThrowsAfterEarlierPairsAndKeepsStorageAndMarks) {
    String trailing("ab\\");
    EXPECT_THROW_REASON(trailing.unescape(), StringException, 5);
    EXPECT_STREQ(trailing, "ab\\");
    String unknown("\\n-\\x-\\t");
    EXPECT_THROW_REASON(unknown.unescape(), StringException, 5);
    EXPECT_STREQ(unknown, "\n-\\x-\\t");
    EXPECT_EQ(unknown.length(), 7u);

    String fixed("a\\tb", 10);
    fixed.unescape();
    EXPECT_EQ(fixed.length(), 3u);
    EXPECT_EQ(fixed.fixedLength(), 10u);
    fixed += "cdefghi";
    EXPECT_STREQ(fixed, "a\tbcdefghi");
    String none;
    none.unescape();
    EXPECT_TRUE(none.isNull());
}

TEST(StringFromURI, DecodesPercentSequences) {
    const struct {
        const char *in, *out;
    } cases[] = {{"a%20b%41", "a bA"},
                 {"%00x", "x"},
                 {"%zz1", "1"},
                 {"a+b", "a+b"},
                 {"%4a%4A", "JJ"},
                 {"%%41", "1"},
                 {"%e9t%C3%A9", "\xe9t\xc3\xa9"},
                 {"end%", "end"},
                 {"end%4", "end\x04"},
                 {"%", ""},
                 {"%2", "\x02"}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.in);
        String s(c.in);
        s.fromURI();
        EXPECT_STREQ(s, c.out);
        EXPECT_EQ(s.length(), std::string(c.out).size());
    }
}

TEST(StringToURI, EncodesAllButUnreservedAndRoundTrips) {
    String s("a b/\xc3\xbc~-._%+Z9");
    s.toURI();
    EXPECT_STREQ(s, "a%20b%2F%C3%BC~-._%25%2BZ9");

    std::string every;
    for (int c = 1; c < 256; ++c) {
        every += static_cast<char>(c);
    }
    String all(every.c_str());
    all.toURI();
    EXPECT_EQ(std::string(all).find_first_not_of(
                  "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789-._~%"),
              std::string::npos);
    all.fromURI();
    EXPECT_EQ(std::string(all), every);
    String null;
    null.toURI();
    EXPECT_TRUE(null.isNull());
}

TEST(StringSql, QuotesTextAndLeavesNumbersAndNull) {
    EXPECT_STREQ(String().sql(), "NULL");
    EXPECT_STREQ(String("O'Brien").sql(), "'O''Brien'");
    EXPECT_STREQ(String("").sql(), "''");
    EXPECT_STREQ(String("''").sql(), "''''''");
    String number;
    number = 42L;
    EXPECT_STREQ(number.sql(), "42");
    number += "x";
    EXPECT_STREQ(number.sql(), "'42x'");
    number = "other";
    EXPECT_STREQ(number.sql(), "'other'");
}
