// Profiles in memory: look-ups and changes, large chains, the process-wide mode, the dump.

#include "kel_test.h"

#include <kel/profile.h>

#include <iterator>
#include <string>
#include <type_traits>
#include <utility>
#include <vector>

using Kel::Profile;

namespace {

// Reaches the protected section interface without touching any file.
class Sections : public Profile {
public:
    Sections() : Profile(nullptr, nullptr) {}
    using Profile::addSection;
    using Profile::find;
};

std::string numbered(const char* prefix, int n) {
    return prefix + std::to_string(n);
}

} // namespace

TEST(ProfileLookup, NumbersAreReadAsLeadingDecimalDigits) {
    Profile profile(nullptr, nullptr);
    const struct {
        const char* text;
        long expected;
    } cases[] = {{"12abc", 12}, {"abc", 0}, {"", 0}, {"  -7", -7}, {"+5 apples", 5}, {"0x1F", 0}};
    for (const auto& c : cases) {
        profile.writeProfileString("n", "v", c.text);
        EXPECT_EQ(profile.getProfileLong("n", "v", 99), c.expected) << c.text;
    }
    EXPECT_EQ(profile.getProfileLong("n", "missing", 99), 99);
    EXPECT_EQ(profile.getProfileLong("missing", "v", 99), 99);
    profile.writeProfileLong("n", "v", -2147483647L - 1);
    EXPECT_STREQ(profile.getProfileString("n", "v", "x"), "-2147483648");
}

TEST(ProfileLookup, WritesReplaceTheFirstEntryOfAKeyAndMayReuseItsOwnValue) {
    Sections profile;
    Profile::ProfileSection* section = profile.addSection("s");
    section->addEntry("k", "first");
    section->addEntry("k", "second");
    profile.writeProfileString("s", "k", "changed");
    EXPECT_STREQ(section->firstEntry()->value(), "changed");
    EXPECT_STREQ(section->firstEntry()->next()->value(), "second");

    // The new value is copied before the old one is released.
    profile.writeProfileString("s", "k", profile.getProfileString("s", "k", "x") + 2);
    EXPECT_STREQ(profile.getProfileString("s", "k", "x"), "anged");
}

TEST(ProfileLookup, LargeSectionsAndProfilesStillFindTheFirstOfEachName) {
    Sections profile;
    for (int i = 0; i < 50; ++i) {
        profile.addSection(numbered("s", i).c_str())->addEntry("n", static_cast<long>(i));
    }
    Profile::ProfileSection* twin = profile.addSection("s7");
    EXPECT_EQ(profile.getProfileLong("s7", "n", -1), 7);
    EXPECT_EQ(profile.getProfileLong("s49", "n", -1), 49);
    EXPECT_NE(profile.find("s7"), twin);

    // Sections appended after the look-ups began are found as well.
    profile.writeProfileLong("late", "n", 50);
    EXPECT_EQ(profile.getProfileLong("late", "n", -1), 50);
    profile.addSection("late")->addEntry("n", 51L);
    EXPECT_EQ(profile.getProfileLong("late", "n", -1), 50);

    Profile::ProfileSection* big = profile.find("s0");
    for (int i = 0; i < 50; ++i) {
        big->addEntry(numbered("k", i).c_str(), static_cast<long>(i));
    }
    big->addEntry("k3", "duplicate");
    EXPECT_STREQ(big->entryValue("k3", "x"), "3");
    EXPECT_STREQ(big->entryValue("k49", "x"), "49");
    big->addEntry("k49", "duplicate");
    big->addEntry("k50", "new");
    EXPECT_STREQ(big->entryValue("k49", "x"), "49");
    EXPECT_STREQ(big->entryValue("k50", "x"), "new");
    EXPECT_STREQ(big->entryValue("k51", "x"), "x");
}

TEST(ProfileLookup, TablesFollowThePublicAssignmentsOfSectionsAndEntries) {
    Sections profile;
    for (int i = 0; i < 12; ++i) {
        profile.writeProfileLong(numbered("s", i).c_str(), "n", i);
        profile.writeProfileLong("s0", numbered("k", i).c_str(), i);
    }
    // These look-ups pass enough names to make both tables.
    ASSERT_EQ(profile.getProfileLong("s11", "n", -1), 11);
    ASSERT_EQ(profile.getProfileLong("s0", "k11", -1), 11);

    Profile::ProfileSection replacement("renamed");
    replacement.addEntry("n", 99L);
    *profile.find("s5") = replacement;
    EXPECT_EQ(profile.getProfileLong("s5", "n", -1), -1);
    EXPECT_EQ(profile.getProfileLong("renamed", "n", -1), 99);
    EXPECT_EQ(profile.getProfileLong("s11", "n", -1), 11);

    Profile::ProfileEntry* entry = profile.find("s0")->firstEntry();
    while (std::string(entry->key()) != "k3") {
        entry = entry->next();
    }
    *entry = Profile::ProfileEntry("other", "7");
    EXPECT_EQ(profile.getProfileLong("s0", "k3", -1), -1);
    EXPECT_EQ(profile.getProfileLong("s0", "other", -1), 7);
    EXPECT_EQ(profile.getProfileLong("s0", "k11", -1), 11);
    profile.writeProfileLong("s0", "k12", 12);
    profile.writeProfileLong("s12", "n", 12);
    EXPECT_EQ(profile.getProfileLong("s0", "k12", -1), 12);
    EXPECT_EQ(profile.getProfileLong("s12", "n", -1), 12);
}

TEST(ProfileLookup, TextTakenFromTheProfileItselfActsAsACopy) {
    const struct {
        const char* what;
        void (*write)(Sections&);
        const char* section;
        const char* key;
        const char* expected;
    } cases[] = {
        {"value from the value it replaces",
         [](Sections& p) { p.writeProfileString("s", "k", p.getProfileString("s", "k", "") + 1); }, "s", "k",
         "alue"},
        {"value from its own key",
         [](Sections& p) { p.writeProfileString("s", "k", p.find("s")->firstEntry()->key()); }, "s", "k",
         "k"},
        {"key from a value",
         [](Sections& p) { p.writeProfileString("s", p.getProfileString("s", "k", ""), "new"); }, "s",
         "value", "new"},
        {"section from its own name",
         [](Sections& p) { p.writeProfileString(p.find("s")->name(), "k", "x"); }, "s", "k", "x"},
        {"new section, key and value from one value",
         [](Sections& p) {
             const char* v = p.getProfileString("s", "k", "");
             p.writeProfileString(v, v, v);
         },
         "value", "value", "value"},
        {"section entry from its value",
         [](Sections& p) {
             Profile::ProfileSection* section = p.find("s");
             section->setEntry("k", section->entryValue("k", "") + 2);
         },
         "s", "k", "lue"},
        {"entry assigned from itself",
         [](Sections& p) {
             Profile::ProfileEntry* entry = p.find("s")->firstEntry();
             *entry = *entry;
         },
         "s", "k", "value"},
        {"section assigned from a later one", [](Sections& p) { *p.find("s") = *p.find("f3"); }, "f3", "n",
         "3"},
    };
    for (const auto& c : cases) {
        Sections profile;
        profile.writeProfileString("s", "k", "value");
        for (int i = 0; i < 12; ++i) {
            profile.writeProfileLong(numbered("f", i).c_str(), "n", i);
        }
        ASSERT_EQ(profile.getProfileLong("f11", "n", -1), 11); // the look-up tables exist
        c.write(profile);
        EXPECT_STREQ(profile.getProfileString(c.section, c.key, "<none>"), c.expected) << c.what;
        EXPECT_EQ(profile.getProfileLong("f11", "n", -1), 11) << c.what;
    }
}

TEST(ProfileLookup, AMillionEntriesAndSectionsAreReleasedWithoutDeepRecursion) {
    Sections profile;
    Profile::ProfileSection* section = profile.addSection("one");
    for (int i = 0; i < 1000000; ++i) {
        section->addEntry("k", "v");
    }
    for (int i = 0; i < 1000000; ++i) {
        profile.addSection("s");
    }
    // Destruction at the end of the scope walks both chains; a recursive release overflows the stack.
}

TEST(ProfileLookup, CopiedSectionsAndEntriesOwnTheirText) {
    Profile::ProfileSection section("s");
    section.addEntry("k", "v");
    Profile::ProfileSection copy(section);
    section.setEntry("k", "changed");
    EXPECT_STREQ(copy.entryValue("k", "x"), "v");
    copy = section;
    EXPECT_STREQ(copy.entryValue("k", "x"), "changed");
    EXPECT_EQ(copy.next(), nullptr);
}

TEST(ProfileMoves, TakeTheSectionsAndLeaveAnEmptyUsableProfile) {
    static_assert(std::is_nothrow_move_constructible<Profile>::value, "moves into containers");
    static_assert(std::is_nothrow_move_assignable<Profile>::value, "moves into containers");
    Profile source(nullptr, nullptr);
    source.writeProfileString("s", "k", "v");
    const char* value = source.getProfileString("s", "k", "x");

    std::vector<Profile> profiles;
    profiles.push_back(std::move(source));
    for (int i = 0; i < 20; ++i) {
        profiles.emplace_back(nullptr, nullptr);
        profiles.back().writeProfileLong("n", "i", i);
    }
    // The text itself moved with the profile, through every reallocation.
    EXPECT_EQ(profiles.front().getProfileString("s", "k", "x"), value);
    EXPECT_EQ(profiles.back().getProfileLong("n", "i", -1), 19);

    EXPECT_TRUE(source.sections().empty());
    EXPECT_FALSE(source.profileFound());
    EXPECT_STREQ(source.getProfileString("s", "k", "x"), "x");
    for (int i = 0; i < 12; ++i) {
        source.writeProfileLong(numbered("again", i).c_str(), "n", i);
    }
    EXPECT_EQ(source.getProfileLong("again11", "n", -1), 11);

    Profile& first = profiles.front();
    first = std::move(first);
    EXPECT_STREQ(first.getProfileString("s", "k", "x"), "v");
    first = std::move(profiles.back());
    EXPECT_EQ(first.getProfileLong("n", "i", -1), 19);
    EXPECT_TRUE(profiles.back().sections().empty());
}

TEST(ProfileRanges, ListSectionsAndTheirEntriesInOrder) {
    Sections profile;
    profile.writeProfileString("x", "a", "1");
    profile.writeProfileString("x", "b", "2");
    profile.addSection("y")->addEntry("a", "3");
    profile.find("y")->addEntry("a", "4");
    profile.addSection("empty");

    std::string seen;
    for (const Profile::ProfileSection& section : profile.sections()) {
        seen += std::string("[") + section.name() + "]";
        for (const Profile::ProfileEntry& entry : section.entries()) {
            seen += std::string(entry.key()) + "=" + entry.value() + ";";
        }
    }
    EXPECT_EQ(seen, "[x]a=1;b=2;[y]a=3;a=4;[empty]");

    const Profile& constant = profile;
    EXPECT_EQ(std::distance(constant.sections().begin(), constant.sections().end()), 3);
    EXPECT_TRUE(profile.find("empty")->entries().empty());
    // Entries appended while the walk goes on are visited as well.
    int visited = 0;
    for (Profile::ProfileSection& section : profile.sections()) {
        section.setEntry("seen", 1L);
        for (Profile::ProfileEntry& entry : section.entries()) {
            visited += std::string(entry.key()) == "seen" ? 1 : 0;
        }
    }
    EXPECT_EQ(visited, 3);
    EXPECT_TRUE(Profile(nullptr, nullptr).sections().empty());
}

TEST(ProfileMode, ConstructionEndsReadyAndDestructionSaving) {
    {
        Profile profile(nullptr, nullptr);
        EXPECT_EQ(Profile::mode(), Profile::Ready);
    }
    EXPECT_EQ(Profile::mode(), Profile::Saving);
}
