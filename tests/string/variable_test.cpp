#include "kel_test.h"

#include <kel/string.h>

#include <string>
#include <type_traits>
#include <utility>
#include <vector>

using Kel::String;
using Kel::StringException;
using Kel::Variable;
using Kel::VariableList;

namespace {

VariableList listOf(std::initializer_list<std::pair<const char*, const char*>> variables) {
    VariableList list;
    for (const auto& v : variables) {
        list.add(Variable(v.first, v.second));
    }
    return list;
}

String translated(const char* text, const VariableList& vars) {
    String s(text);
    s.translateVars(vars);
    return s;
}

} // namespace

TEST(VariableList, FindStepsThroughRepeatedNamesInOrder) {
    const VariableList list = listOf({{"k", "1"}, {"K", "x"}, {"k", "2"}});
    const Variable* first = list.find("k");
    ASSERT_NE(first, nullptr);
    EXPECT_EQ(first->value(), "1");
    const Variable* second = list.find("k", first);
    ASSERT_NE(second, nullptr);
    EXPECT_EQ(second->value(), "2");
    EXPECT_EQ(list.find("k", second), nullptr);
    EXPECT_EQ(list.find("missing"), nullptr);
    EXPECT_EQ(VariableList().find("k"), nullptr);

    VariableList nulls;
    nulls.add(Variable(String(), "n"));
    EXPECT_EQ(nulls.find(""), nullptr);
    EXPECT_NE(nulls.find(String()), nullptr);
}

TEST(VariableList, CopiesOwnTheirOwnChain) {
    auto original = new VariableList(listOf({{"a", "1"}, {"b", "2"}}));
    VariableList copy(*original);
    VariableList assigned = listOf({{"old", "x"}});
    assigned = *original;
    delete original;
    ASSERT_NE(copy.find("b"), nullptr);
    EXPECT_EQ(copy.find("b")->value(), "2");
    EXPECT_EQ(assigned.find("old"), nullptr);
    EXPECT_EQ(assigned.find("a")->value(), "1");
    const VariableList& same = assigned;
    assigned = same;
    EXPECT_EQ(assigned.find("b")->value(), "2");
    assigned.add(*assigned.find("a"));
    EXPECT_NE(assigned.find("a", assigned.find("a")), nullptr);
}

TEST(VariableListMove, TakesTheChainAndLeavesAnEmptyReusableList) {
    static_assert(std::is_nothrow_move_constructible<VariableList>::value, "noexcept move");
    static_assert(std::is_nothrow_move_assignable<VariableList>::value, "noexcept move assignment");
    VariableList source = listOf({{"a", "1"}, {"b", "2"}});
    const Variable* first = source.find("a");
    VariableList moved(std::move(source));
    EXPECT_EQ(moved.find("a"), first); // the variables themselves changed hands
    EXPECT_EQ(source.find("a"), nullptr);
    EXPECT_EQ(source.begin(), source.end());

    source.add(Variable("c", "3"));
    EXPECT_STREQ(source.find("c")->value(), "3");
    source = std::move(moved);
    EXPECT_EQ(source.find("c"), nullptr);
    EXPECT_STREQ(source.find("b")->value(), "2");
    EXPECT_EQ(moved.find("b"), nullptr);
    moved.add(Variable("d", "4"));

    std::vector<VariableList> lists;
    lists.push_back(std::move(source));
    lists.push_back(std::move(moved));
    lists.emplace_back();
    EXPECT_STREQ(lists[0].find("a")->value(), "1");
    EXPECT_STREQ(lists[1].find("d")->value(), "4");
}

TEST(VariableListRange, WalksTheVariablesInTheOrderAdded) {
    const VariableList list = listOf({{"k", "1"}, {"x", "2"}, {"k", "3"}});
    std::string walked;
    for (const Variable& v : list) {
        walked += static_cast<const char*>(v.name());
        walked += static_cast<const char*>(v.value());
    }
    EXPECT_EQ(walked, "k1x2k3");
    auto it = list.begin();
    EXPECT_EQ(&*it, list.find("k"));
    EXPECT_EQ((it++)->name(), "k");
    EXPECT_EQ(it->name(), "x");
    ++it;
    EXPECT_EQ(&*it, list.find("k", list.find("k")));
    EXPECT_EQ(++it, list.end());
    for (const Variable& v : VariableList()) {
        ADD_FAILURE() << "an empty list holds " << v.name();
    }
}

TEST(VariableList, AMillionVariablesAreDestroyedWithoutDeepRecursion) {
    auto list = new VariableList;
    const Variable v("name", "value");
    for (int i = 0; i < 1000000; ++i) {
        list->add(v);
    }
    delete list;
}

TEST(Variable, DumpsShowNameAndValueOrNull) {
    Variable k("k", String());
    EXPECT_EQ(kel_test::dumpOf(k), "@ class Kel::Variable\nN=k V=(null)\n");
    VariableList list = listOf({{"a", "1"}});
    EXPECT_EQ(kel_test::dumpOf(list), "@ class Kel::VariableList\n");
}

TEST(TranslateVars, ExpandsInsertedValuesInTurn) {
    const VariableList vars =
        listOf({{"a", "1"}, {"b", "x$(a)y"}, {"c", "$(b)$(b)"}, {" a ", "spaced"}, {"", "E"}});
    EXPECT_EQ(translated("[$(b)]", vars), "[x1y]");
    EXPECT_EQ(translated("$(a)$(a)", vars), "11");
    EXPECT_EQ(translated("$(c)", vars), "x1yx1y");
    EXPECT_EQ(translated("$( a )|$()", vars), "spaced|E");
    EXPECT_EQ(translated("open $(a", vars), "open 1");
    EXPECT_EQ(translated("$$(a)$", vars), "$1$");
}

TEST(TranslateVars, RescansFromTheStartSoInsertedTextCanFormAReference) {
    const VariableList vars = listOf({{"a", "1"}, {"dollar", "$"}, {"open", "$(a"}, {"paren", "(a)"}});
    EXPECT_EQ(translated("$(dollar)(a)", vars), "1");
    EXPECT_EQ(translated("<$(open))", vars), "<1");
    EXPECT_EQ(translated("$$(paren)", vars), "1");
}

TEST(TranslateVars, NullValuesInsertNothing) {
    VariableList vars;
    vars.add(Variable("n", String()));
    EXPECT_EQ(translated("<$(n)>", vars), "<>");
    const String alone = translated("$(n)", vars);
    EXPECT_FALSE(alone.isNull());
    EXPECT_EQ(alone, "");
}

TEST(TranslateVars, TextWithoutReferencesIsUntouched) {
    String fixed("no refs", 20);
    fixed.translateVars(VariableList());
    EXPECT_EQ(fixed, "no refs");
    EXPECT_EQ(fixed.fixedLength(), 20u);

    String converted("$(a)", 20);
    converted.translateVars(listOf({{"a", "1"}}));
    EXPECT_EQ(converted.fixedLength(), 0u);
}

TEST(TranslateVars, UnknownNameThrowsKeepingEarlierSubstitutions) {
    const VariableList vars = listOf({{"a", "1"}});
    String s("$(a)-$(zz)-$(a)");
    EXPECT_THROW_REASON(s.translateVars(vars), StringException, 17);
    EXPECT_EQ(s, "1-$(zz)-$(a)");
}

TEST(TranslateVars, SelfReferenceThrowsInsteadOfLooping) {
    const VariableList vars = listOf({{"self", "$(self)"},
                                      {"grow", "x$(grow)"},
                                      {"p", "$(q)"},
                                      {"q", "x$(p)"},
                                      {"open", "$(open"},
                                      {"ok", "$(p"}});
    for (const char* text : {"$(self)", "$(grow)", "$(open)", "$(ok)"}) {
        SCOPED_TRACE(text);
        String s(text);
        EXPECT_THROW_REASON(s.translateVars(vars), StringException, 18);
    }
    String s("<$(p)>");
    EXPECT_THROW_REASON(s.translateVars(vars), StringException, 18);
    EXPECT_EQ(s, "<x$(p)>");
}

TEST(TranslateVars, RepeatedUseIsNotASelfReference) {
    const VariableList vars = listOf({{"a", "1"}, {"b", "$(a)$(a)"}, {"c", "$(b)-$(b)"}, {"d", "$(c)$(a)"}});
    EXPECT_EQ(translated("$(d)|$(d)", vars), "11-111|11-111");
}
