#include "kel_test.h"

#include <kel/string.h>

#include <string>

using Kel::String;
using Kel::StringException;

TEST(StringEscape, WritesTheTableAndUnescapeReadsItBack) {
    const char* original = "tab\there 'q' \"dq\" back\\slash\n\r\v\b\f\a \x01 end";
    String s(original);
    s.escape();
    EXPECT_STREQ(s, "tab\\there \\'q\\' \\\"dq\\\" back\\\\slash\\n\\r\\v\\b\\f\\a \x01 end");
    s.unescape();
    EXPECT_STREQ(s, original);
}

TEST(StringEscape, EscapeAndFromURIGiveVariableLengthNonNumericText) {
    String fixed("a'b", 10);
    fixed.escape();
    EXPECT_STREQ(fixed, "a\\'b");
    EXPECT_EQ(fixed.fixedLength(), 0u);
    String decoded("%41", 10);
    decoded.fromURI();
    EXPECT_STREQ(decoded, "A");
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

TEST(StringUnescape, KnowsTheQuestionMarkAndNeverPairsAProducedBackslash) {
    String s("\\?\\\\n\\\\\\t");
    s.unescape();
    EXPECT_STREQ(s, "?\\n\\\t");
    EXPECT_EQ(s.length(), 5u);
}

TEST(StringUnescape, UnknownPairOrTrailingBackslashThrowsAfterEarlierPairs) {
    String trailing("ab\\");
    EXPECT_THROW_REASON(trailing.unescape(), StringException, 5);
    EXPECT_STREQ(trailing, "ab\\");

    String unknown("\\n-\\x-\\t");
    EXPECT_THROW_REASON(unknown.unescape(), StringException, 5);
    EXPECT_STREQ(unknown, "\n-\\x-\\t");
    EXPECT_EQ(unknown.length(), 7u);
}

TEST(StringUnescape, KeepsStorageAndMarks) {
    String fixed("a\\tb", 10);
    fixed.unescape();
    EXPECT_STREQ(fixed, "a\tb");
    EXPECT_EQ(fixed.length(), 3u);
    EXPECT_EQ(fixed.fixedLength(), 10u);
    fixed += "cdefghi";
    EXPECT_STREQ(fixed, "a\tbcdefghi");

    String none;
    none.unescape();
    EXPECT_TRUE(none.isNull());
}

TEST(StringFromURI, DecodesPercentSequences) {
    struct Case {
        const char* in;
        const char* out;
    } cases[] = {
        {"a%20b%41", "a bA"},
        {"%00x", "x"},
        {"%zz1", "1"},
        {"a+b", "a+b"},
        {"%4a%4A", "JJ"},
        {"%e9t%C3%A9", "\xe9t\xc3\xa9"},
        {"%%41", "1"},
        {"no escapes", "no escapes"},
        {"end%", "end"},
        {"end%4", "end\x04"},
        {"%", ""},
        {"%2", "\x02"},
    };
    for (const Case& c : cases) {
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
    String null;
    EXPECT_STREQ(null.sql(), "NULL");
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
