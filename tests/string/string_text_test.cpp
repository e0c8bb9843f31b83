// Reading a String's text: comparing, searching, slicing and masks.

#include "kel_test.h"

#include <kel/string.h>

#include <string>
#include <tuple>

using Kel::String;
using Kel::StringException;

namespace {
const char* const noText = nullptr;
const unsigned long notFound = String::npos;
} // namespace

// compare() (n < 0) or compareFor() over n characters, against a C text and a String: a null pointer
// stands for a null String. The results of keeping case are -1, 0 or 1, never a difference of bytes, with
// bytes above 0x7F last; folding lowers ASCII capitals only, so '[' (between 'Z' and 'a') comes
// before 'A'; with folding the result is the difference of the first differing pair.
TEST(StringCompare, NullMarksDecideFirstThenUnsignedBytesOrFoldedAsciiCapitals) {
    const std::tuple<const char*, const char*, long long, bool, int> cases[] = {
        {nullptr, nullptr, -1, false, 0},      {nullptr, "", -1, false, -1},
        {"", nullptr, -1, false, 1},           {"abc", nullptr, -1, true, 1},
        {nullptr, "abc", 0, false, -1},        {"abc", nullptr, 3, true, 1},
        {"abc", "abd", -1, false, -1},         {"abd", "abc", -1, false, 1},
        {"abc", "abcd", -1, false, -1},        {"b", "aaaaaaaaaaaaaa", -1, false, 1},
        {"\xe9", "z", -1, false, 1},           {"ABC", "abc", -1, true, 0},
        {"abc", "ABE", -1, true, -2},          {"[", "A", -1, true, -6},
        {"\xc9", "\xe9", -1, true, -32},       {"abcdef", "abcxyz", 3, false, 0},
        {"abcdef", "abcxyz", 4, false, -1},    {"ABCdef", "abcXYZ", 3, true, 0},
        {"ab", "abc", 9, false, -1},           {"ab", "AB", 9, true, 0},
        {"abcdef", "abz", notFound, false, -1}};
    for (const auto& [text, other, n, ignoreCase, expected] : cases) {
        SCOPED_TRACE(std::string(text ? text : "(null)") + " against " + (other ? other : "(null)"));
        const String s(text), o(other);
        const unsigned long count = static_cast<unsigned long>(n);
        EXPECT_EQ(n < 0 ? s.compare(other, ignoreCase) : s.compareFor(other, count, ignoreCase), expected);
        EXPECT_EQ(n < 0 ? s.compare(o, ignoreCase) : s.compareFor(o, count, ignoreCase), expected);
    }
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

    // Long texts are searched whole.
    const String l((std::string(5000, 'a') + "abcabd").c_str());
    EXPECT_EQ(l.findIndex("abd"), 5003u);
    EXPECT_EQ(l.findIndex('c', true), 5002u);
}

TEST(StringMid, SlicesOrGivesNull) {
    const String s("abcdef");
    const unsigned long toEnd = notFound;
    const std::tuple<unsigned long, unsigned long, const char*> cases[] = {
        {2, 3, "cde"},        {4, toEnd, "ef"},
        {0, 6, "abcdef"},     {6, toEnd, nullptr},
        {0, 0, nullptr},      {5, 2, nullptr},
        {9, toEnd, nullptr},  {9, 1, nullptr},
        {0, toEnd, "abcdef"}, {5, static_cast<unsigned long>(-1), "f"}};
    for (const auto& [start, count, expected] : cases) {
        EXPECT_EQ(s.mid(start, count), expected) << start << "," << count;
    }
    EXPECT_TRUE(String().mid(0, toEnd).isNull());
    EXPECT_EQ(String("abc", 5).mid(0, 2).fixedLength(), 0u);
}

// Field n of the text split at commas, with a quote character or none; a null expected is a null field.
// The quote state carries from the skipped fields into the one collected, and a quote equal to the
// separator is only a quote.
TEST(StringField, EmptyAndMissingFieldsAreNullQuotesProtectSeparatorsAndLongFieldsComeBackWhole) {
    const std::tuple<const char*, unsigned long, char, const char*> cases[] = {
        {"a,b,,d", 0, 0, "a"},        {"a,b,,d", 1, 0, "b"},          {"a,b,,d", 2, 0, nullptr},
        {"a,b,,d", 3, 0, "d"},        {"a,b,,d", 4, 0, nullptr},      {",x,", 0, 0, nullptr},
        {",x,", 2, 0, nullptr},       {"whole", 0, 0, "whole"},       {nullptr, 0, 0, nullptr},
        {"x,\"y,z\",w", 0, '"', "x"}, {"x,\"y,z\",w", 1, '"', "y,z"}, {"x,\"y,z\",w", 2, '"', "w"},
        {"x,\"y,z\",w", 2, 0, "z\""}, {"\"\",x", 0, '"', nullptr},    {"a\"b,c\"d,e", 0, '"', "ab,cd"},
        {"\"a,b,c", 0, '"', "a,b,c"}, {"\"a,b,c", 1, '"', nullptr},   {"a,b,c", 0, ',', "abc"}};
    for (const auto& [text, n, quote, expected] : cases) {
        EXPECT_EQ(String(text).field(',', n, quote), expected) << (text ? text : "(null)") << " field " << n;
    }

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

TEST(StringMask, CreateMarksTheSetMaskBlanksTheRestAndReplaceMaskFromTheFirstMarkToTheLast) {
    EXPECT_EQ(String("a1b2").createMask("0123456789"), " # #");
    EXPECT_EQ(String("7").createMask("0123456789"), "#");
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

    const String s("abcdef");
    const std::tuple<const char*, const char*, const char*> replacements[] = {
        {"  ##  ", "XY", "abXYef"}, {"  ##  ", "XYZ", "abXYZef"}, {"##    ", "Z", "Zcdef"},
        {"    ##", "Z", "abcdZ"},   {"  ##  ", "", "abef"},       {"######", "Z", "Z"},
        {" #  # ", "-", "a-f"},     {"      ", "Z", "abcdef"}};
    for (const auto& [marks, repl, expected] : replacements) {
        EXPECT_EQ(s.replaceMask(marks, repl), expected) << marks << " " << repl;
    }
    EXPECT_EQ(s.replaceMask("  ##  ", String()), "abef");
    EXPECT_EQ(s.replaceMask(String(), "Z"), "abcdef");
    EXPECT_TRUE(String().replaceMask("", String()).isNull());
    const String format("YYYY-MM-DD");
    EXPECT_EQ(format.replaceMask(format.createMask("M"), "12"), "YYYY-12-DD");
}
