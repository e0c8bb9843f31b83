#include "kel_test.h"

#include <kel/string.h>

using Kel::String;
using Kel::StringException;

TEST(StringCreateMask, MarksTheCharactersOfTheSet) {
    EXPECT_EQ(String("a1b2").createMask("0123456789"), " # #");
    EXPECT_EQ(String("YYYY-MM-DD").createMask("M"), "     ##   ");
    EXPECT_EQ(String("abc").createMask(""), "   ");
    EXPECT_EQ(String("\xe9-\xe9").createMask("\xe9"), "# #");
}

TEST(StringCreateMask, KeepsLengthFixedLengthAndEmptyOrNullTexts) {
    const String mask = String("2024", 10).createMask("0123456789");
    EXPECT_EQ(mask, "####");
    EXPECT_EQ(mask.fixedLength(), 10u);
    EXPECT_EQ(String("").createMask("a"), "");
    EXPECT_TRUE(String().createMask("a").isNull());
    EXPECT_EQ(String("abc").createMask(String()), "   ");
}

TEST(StringMask, BlanksWhatTheMaskBlanks) {
    EXPECT_EQ(String("abc").mask("# #"), "a c");
    EXPECT_EQ(String("2024-12-31").mask("     ##   "), "     12   ");
    EXPECT_THROW_REASON(String("abc").mask("##"), StringException, 4);
    EXPECT_THROW_REASON(String("abc").mask(String()), StringException, 4);
    EXPECT_EQ(String("").mask(""), "");
}

TEST(StringReplaceMask, ReplacesFromTheFirstMarkToTheLast) {
    const String s("abcdef");
    struct Case {
        const char* mask;
        const char* repl;
        const char* expected;
    } cases[] = {
        {"  ##  ", "XY", "abXYef"}, {"  ##  ", "XYZ", "abXYZef"}, {"##    ", "Z", "Zcdef"},
        {"    ##", "Z", "abcdZ"},   {"  ##  ", "", "abef"},       {"######", "Z", "Z"},
        {" #  # ", "-", "a-f"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(s.replaceMask(c.mask, c.repl), c.expected) << c.mask << " " << c.repl;

    EXPECT_EQ(String("abc").replaceMask("# #", "Z"), "Z");
    EXPECT_EQ(s.replaceMask("  ##  ", String()), "abef");
    const String format("YYYY-MM-DD");
    EXPECT_EQ(format.replaceMask(format.createMask("M"), "12"), "YYYY-12-DD");
}

TEST(StringReplaceMask, AMaskWithoutMarksLeavesTheText) {
    EXPECT_EQ(String("abcdef").replaceMask("      ", "Z"), "abcdef");
    EXPECT_EQ(String("abcdef").replaceMask(String(), "Z"), "abcdef");
    EXPECT_TRUE(String().replaceMask("", String()).isNull());
}
