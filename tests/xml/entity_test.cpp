#include "kel_test.h"

#include <kel/xml.h>

using namespace Kel;

namespace {

String decode(const char* text) {
    return XMLUtil::XMLDecode(String(text));
}

} // namespace

TEST(XMLDecode, ReplacesEveryEntityOfTheTable) {
    const struct {
        const char* text;
        const char* expected;
    } rows[] = {
        {"a &amp; b", "a & b"},
        {"x &lt;y&gt;", "x <y>"},
        {"&per;", "%"},
        {"&slash;", "/"},
        {"&qm;", "?"},
        {"&em;", "!"},
        {"&dash;", "-"},
        {"&ob;&cb;", "[]"},
        {"&eq;", "="},
        {"&dq;&quot;", "\"\""},
        {"&sq;", "'"},
        {"&nbsp;", "\xA0"},
        {"plain text", "plain text"},
    };
    for (const auto& row : rows)
        EXPECT_STREQ(decode(row.text), row.expected) << row.text;
}

TEST(XMLDecode, DecodesInOnePass) {
    EXPECT_STREQ(decode("&amp;lt;"), "&lt;");
    EXPECT_STREQ(decode("&amp;amp;x"), "&amp;x");
    EXPECT_STREQ(XMLUtil::XMLDecode(XMLUtil::XMLEncode("&lt; & \xA0 <>")), "&lt; & \xA0 <>");
}

TEST(XMLDecode, DecimalReferencesKeepTheLowEightBitsOfTheNumber) {
    EXPECT_STREQ(decode("&#65;"), "A");
    EXPECT_STREQ(decode("&#321;"), "A");
    EXPECT_STREQ(decode("x&#x41;y"), "xy");
    EXPECT_STREQ(decode("&#;"), "");
    EXPECT_STREQ(decode("&#-1;"), "\xFF");
    EXPECT_STREQ(decode("&#-191;"), "A");
    EXPECT_STREQ(decode("&# +66;"), "B");
    // 2^32 + 65: a reader that saturates or wraps at 32 bits would not give 'A'.
    EXPECT_STREQ(decode("&#4294967361;"), "A");
    EXPECT_STREQ(decode("&#0000000000065;"), "A");
    EXPECT_STREQ(decode("a&#256;b"), "ab");
    EXPECT_FALSE(decode("&#0;").isNull());
}

TEST(XMLDecode, EntityMustEndWithinSixteenCharacters) {
    EXPECT_THROW_REASON(decode("&#00000000000065;"), XMLException, 101);
    EXPECT_THROW_REASON(decode("&#99999999999999;"), XMLException, 101);
    EXPECT_THROW_REASON(decode("fish & chips"), XMLException, 101);
    EXPECT_THROW_REASON(decode("tail &amp"), XMLException, 101);
}

TEST(XMLDecode, UnknownEntitiesAreRejected) {
    EXPECT_THROW_REASON(decode("&AMP;"), XMLException, 102);
    EXPECT_THROW_REASON(decode("&apos;"), XMLException, 102);
    EXPECT_THROW_REASON(decode("a & b; c"), XMLException, 102);
    EXPECT_THROW_REASON(decode("&;"), XMLException, 102);
}

TEST(XMLEncode, ReplacesOnlyAmpersandAnglesAndNoBreakSpace) {
    EXPECT_STREQ(XMLUtil::XMLEncode("a<b & \"c\""), "a&lt;b &amp; \"c\"");
    EXPECT_STREQ(XMLUtil::XMLEncode("x>y\xA0z"), "x&gt;y&nbsp;z");
    EXPECT_STREQ(XMLUtil::XMLEncode("'/?!-[]=%"), "'/?!-[]=%");
}

TEST(XMLCoding, NullStaysNullAndEmptyStaysEmpty) {
    EXPECT_TRUE(XMLUtil::XMLEncode(String()).isNull());
    EXPECT_TRUE(XMLUtil::XMLDecode(String()).isNull());
    EXPECT_STREQ(XMLUtil::XMLEncode(""), "");
    EXPECT_FALSE(XMLUtil::XMLDecode("").isNull());
}

TEST(XMLUtilGetNode, AlwaysNullAndLeavesTheFlag) {
    bool found = true;
    EXPECT_TRUE(XMLUtil::getNode("a/b", &found).isNull());
    EXPECT_TRUE(found);
    EXPECT_EQ(&XMLUtil::getNode(String(), nullptr), &String::null);
}
