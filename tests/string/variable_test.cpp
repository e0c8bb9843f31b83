#include "kel_test.h"
#include "socket_test_util.h"

#include <kel/string.h>

#include <algorithm>
#include <string>
#include <type_traits>
#include <utility>

using Kel::String;
using Kel::StringException;
using Kel::Variable;
using Kel::VariableList;

namespace {

// The variables written "name=value|name=value..." in order (no '=' or '|' inside names or values).
VariableList listOf(const std::string& text) {
    VariableList list;
    for (std::size_t at = 0, end = 0; at < text.size(); at = end + 1) {
        end = std::min(text.find('|', at), text.size());
        const std::size_t eq = text.find('=', at);
        list.add(Variable(String(text.substr(at, eq - at)), String(text.substr(eq + 1, end - eq - 1))));
    }
    return list;
}

String translated(const char* text, const VariableList& vars) {
    String s(text);
    s.translateVars(vars);
    return s;
}

// The value of the variable after `previous` named `name`, or "(none)".
std::string valueOf(const VariableList& list, const char* name, const Variable* previous = nullptr) {
    const Variable* v = list.find(name, previous);
    return v ? std::string(v->value()) : "(none)";
}

// The variables of a list, walked in order, written as listOf() takes them.
std::string contents(const VariableList& list) {
    std::string out;
    for (const Variable& v : list) {
        out += (out.empty() ? "" : "|") + std::string(v.name()) + "=" + std::string(v.value());
    }
    return out;
}

} // namespace

TEST(VariableList, FindStepsThroughRepeatedNamesInOrder) {
    const VariableList list = listOf("k=1|K=x|k=2");
    const Variable* first = list.find("k");
    EXPECT_EQ(valueOf(list, "k"), "1");
    EXPECT_EQ(valueOf(list, "k", first), "2");
    EXPECT_EQ(list.find("k", list.find("k", first)), nullptr);
    EXPECT_EQ(list.find("missing"), nullptr);
    EXPECT_EQ(VariableList().find("k"), nullptr);

    VariableList nulls;
    nulls.add(Variable(String(), "n"));
    EXPECT_EQ(nulls.find(""), nullptr);
    EXPECT_NE(nulls.find(String()), nullptr);
}

TEST(VariableList, CopiesOwnTheirOwnChainAndMovesHandItOver) {
    auto original = new VariableList(listOf("a=1|b=2"));
    VariableList copy(*original);
    VariableList assigned = listOf("old=x");
    assigned = *original;
    delete original;
    const VariableList& same = assigned;
    assigned = same;
    assigned.add(*assigned.find("a")); // a variable of the list itself added to it
    EXPECT_EQ(contents(copy) + " / " + contents(assigned), "a=1|b=2 / a=1|b=2|a=1");

    static_assert(std::is_nothrow_move_constructible<VariableList>::value, "noexcept move");
    static_assert(std::is_nothrow_move_assignable<VariableList>::value, "noexcept move assignment");
    const Variable* first = copy.find("a");
    VariableList moved(std::move(copy));
    EXPECT_EQ(moved.find("a"), first); // the variables themselves changed hands
    EXPECT_EQ(copy.begin(), copy.end());
    copy.add(Variable("c", "3"));
    EXPECT_EQ(contents(copy), "c=3");
    copy = std::move(moved);
    moved.add(Variable("d", "4"));
    EXPECT_EQ(contents(copy) + " / " + contents(moved), "a=1|b=2 / d=4");
}

TEST(VariableListRange, WalksTheVariablesInTheOrderAdded) {
    const VariableList list = listOf("k=1|x=2|k=3");
    EXPECT_EQ(contents(list), "k=1|x=2|k=3");
    auto it = list.begin();
    EXPECT_EQ(&*it, list.find("k"));
    EXPECT_EQ((it++)->name(), "k");
    EXPECT_EQ(it->name(), "x");
    ++it;
    EXPECT_EQ(&*it, list.find("k", list.find("k")));
    EXPECT_EQ(++it, list.end());
    const VariableList empty;
    EXPECT_EQ(empty.begin(), empty.end());
}

TEST(VariableList, AMillionVariablesAreDestroyedWithoutDeepRecursionAndDumpsShowNamesAndValues) {
    auto list = new VariableList;
    const Variable v("name", "value");
    for (int i = 0; i < 1000000; ++i) {
        list->add(v);
    }
    delete list;

    Variable k("k", String());
    EXPECT_EQ(kel_test::dumpOf(k), "@ class Kel::Variable\nN=k V=(null)\n");
    // The same lines go to a socket.
    sock_test::Watchdog guard(std::chrono::seconds(20));
    {
        sock_test::Connection c;
        Kel::KELDump(&k).dump(c.client);
        c.client << Kel::Socket::flush;
        const std::string sent = "@ class Kel::Variable\nN=k V=(null)\n";
        EXPECT_EQ(sock_test::receiveAll(c.server, sent.size()), sent);
    }
    VariableList dumped = listOf("a=1");
    EXPECT_EQ(kel_test::dumpOf(dumped), "@ class Kel::VariableList\n");
}

TEST(TranslateVars, ExpandsValuesInTurnRescansFromTheStartNullsInsertNothingAndNoReferenceLeavesTheText) {
    VariableList vars =
        listOf("a=1|b=x$(a)y|c=$(b)$(b)| a =spaced|=E|dollar=$|open=$(a|paren=(a)|d=$(c)$(a)");
    vars.add(Variable("n", String()));
    EXPECT_EQ(translated("[$(b)]", vars), "[x1y]");
    EXPECT_EQ(translated("$(a)$(a)", vars), "11");
    EXPECT_EQ(translated("$(c)", vars), "x1yx1y");
    EXPECT_EQ(translated("$( a )|$()", vars), "spaced|E");
    EXPECT_EQ(translated("open $(a", vars), "open 1");
    EXPECT_EQ(translated("$$(a)$", vars), "$1$");
    // Inserted text can form a reference with what follows it.
    EXPECT_EQ(translated("$(dollar)(a)", vars), "1");
    EXPECT_EQ(translated("<$(open))", vars), "<1");
    EXPECT_EQ(translated("$$(paren)", vars), "1");
    // A name used again and again is no self-reference.
    EXPECT_EQ(translated("$(d)|$(d)", vars), "x1yx1y1|x1yx1y1");
    EXPECT_EQ(translated("<$(n)>", vars), "<>");
    EXPECT_EQ(translated("$(n)", vars), "");

    String fixed("no refs", 20);
    fixed.translateVars(VariableList());
    EXPECT_EQ(fixed, "no refs");
    EXPECT_EQ(fixed.fixedLength(), 20u);
    String converted("$(a)", 20);
    converted.translateVars(vars);
    EXPECT_EQ(converted.fixedLength(), 0u);
}

TEST(TranslateVars, UnknownNamesAndSelfReferencesThrowKeepingEarlierSubstitutions) {
    const VariableList vars = listOf("a=1|self=$(self)|grow=x$(grow)|p=$(q)|q=x$(p)|open=$(open|ok=$(p");
    String s("$(a)-$(zz)-$(a)");
    EXPECT_THROW_REASON(s.translateVars(vars), StringException, 17);
    EXPECT_EQ(s, "1-$(zz)-$(a)");
    for (const char* text : {"$(self)", "$(grow)", "$(open)", "$(ok)"}) {
        SCOPED_TRACE(text);
        String looped(text);
        EXPECT_THROW_REASON(looped.translateVars(vars), StringException, 18);
    }
    s = "<$(p)>";
    EXPECT_THROW_REASON(s.translateVars(vars), StringException, 18);
    EXPECT_EQ(s, "<x$(p)>");
}
