// String beside the standard library: conversions, comparisons, ordering and hashing, and the numbers
// that += and + refuse.

#include "kel_test.h"

#include <kel/string.h>

#include <cstring>
#include <map>
#include <set>
#include <string>
#include <string_view>
#include <type_traits>
#include <unordered_map>
#include <utility>
#include <vector>

using Kel::String;

namespace {

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

TEST(StringStdConversion, BuildsFromStandardTextsAndConvertsBack) {
    const std::string text = "key=value";
    const String fromString = text;
    const String fromView = std::string_view(text).substr(0, 3);
    EXPECT_STREQ(fromString, "key=value");
    EXPECT_STREQ(fromView, "key");
    EXPECT_EQ(fromView.length(), 3u);

    // An empty standard text is a text, never null; a String's text ends at the first NUL.
    EXPECT_FALSE(String(std::string()).isNull());
    const String cut(std::string("ab\0cd", 5));
    EXPECT_STREQ(cut, "ab");
    EXPECT_EQ(cut.length(), 2u);

    EXPECT_EQ(static_cast<std::string>(fromString), text);
    EXPECT_EQ(static_cast<std::string_view>(fromView), "key");
    EXPECT_EQ(static_cast<std::string>(String()), "");
    EXPECT_EQ(static_cast<std::string_view>(String()).size(), 0u);
    EXPECT_EQ(std::string(String("abc")), "abc");

    // Text written through buffer() is seen by the view as by the pointer.
    String written("");
    std::strcpy(written.buffer(10), "0123456789");
    EXPECT_EQ(static_cast<std::string_view>(written), "0123456789");
}

TEST(StringStdConversion, ComparesWithStandardTexts) {
    const String abc("abc");
    const std::string same = "abc";
    const std::string_view other = "abd";
    EXPECT_TRUE(abc == same);
    EXPECT_TRUE(same == abc);
    EXPECT_TRUE(abc != other);
    EXPECT_TRUE(other != abc);
    EXPECT_FALSE(abc == std::string("abc\0", 4));
    // A null String equals no standard text, not even an empty one; an empty String does.
    EXPECT_FALSE(String() == std::string());
    EXPECT_TRUE(String() != std::string_view());
    EXPECT_TRUE(String("") == std::string());
}

TEST(StringOrder, IsTotalWithNullFirstAndServesAsAKey) {
    const String null;
    const String empty("");
    const String a("a");
    const String high("\xe9");
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
    EXPECT_TRUE(null < static_cast<const char*>("") && !(null < static_cast<const char*>(nullptr)));

    std::map<String, int> counts;
    for (const char* word : {"pear", "apple", "pear", "fig"}) {
        ++counts[word];
    }
    ++counts[String()];
    std::vector<std::pair<std::string, int>> seen;
    for (const auto& entry : counts) {
        seen.emplace_back(entry.first.isNull() ? "(null)" : std::string(entry.first), entry.second);
    }
    const std::vector<std::pair<std::string, int>> expected = {
        {"(null)", 1}, {"apple", 1}, {"fig", 1}, {"pear", 2}};
    EXPECT_EQ(seen, expected);

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
    table[std::string("two")] = 2;
    EXPECT_EQ(table.at("one"), 1);
    EXPECT_EQ(table.at(String("two")), 2);
    EXPECT_EQ(table.at(String()), 0);
    EXPECT_EQ(table.count(""), 0u);
}

TEST(StringNumbers, IntAppendsACharacterOtherNumbersDoNotCompile) {
    String digits("");
    for (int d = 0; d < 3; ++d) {
        digits += '0' + d;
    }
    digits += static_cast<unsigned char>('!');
    EXPECT_STREQ(digits, "012!");
    EXPECT_STREQ(String("x") + ('a' + 1), "xb");
    // The low 8 bits, as the char form takes them.
    String wide("");
    wide += 0x141;
    EXPECT_STREQ(wide, "A");

    static_assert(accepted<int> && accepted<char> && accepted<short> && accepted<unsigned char>,
                  "characters");
    static_assert(accepted<const char*> && accepted<String> && accepted<std::string>, "texts");
    static_assert(refused<long> && refused<long long> && refused<unsigned> && refused<unsigned long> &&
                      refused<unsigned long long> && refused<float> && refused<double> &&
                      refused<long double>,
                  "numbers other than int do not append a character");
}
