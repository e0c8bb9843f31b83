#include "kel_test.h"

#include <kel/string.h>

#include <string>

using Kel::String;

namespace {
// Kept out of the compiler's sight, so that it does not warn about the null argument it is given.
const char* volatile nullText = nullptr;
} // namespace

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
