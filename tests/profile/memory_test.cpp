// Profiles in memory: look-ups and changes, the look-up tables of large profiles, copies and moves,
// ranges, the process-wide mode.

#include "kel_test.h"

#include <kel/profile.h>

#include <set>
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

// Twelve sections prefix0 to prefix11, each with n set to its number, or given a section, twelve keys
// prefix0 to prefix11 in it: enough names to make a look-up table.
void fill(Profile& profile, const char* prefix, const char* section = nullptr) {
    for (int i = 0; i < 12; ++i) {
        const std::string name = prefix + std::to_string(i);
        profile.writeProfileLong(section ? section : name.c_str(), section ? name.c_str() : "n", i);
    }
}

} // namespace

TEST(ProfileLookup, NumbersAreReadAsLeadingDecimalDigits) {
    Profile profile(nullptr, nullptr);
    const std::pair<const char*, long> cases[] = {{"12abc", 12}, {"abc", 0},       {"", 0},
                                                  {"  -7", -7},  {"+5 apples", 5}, {"0x1F", 0}};
    for (const auto& c : cases) {
        profile.writeProfileString("n", "v", c.first);
        EXPECT_EQ(profile.getProfileLong("n", "v", 99), c.second) << c.first;
    }
    EXPECT_EQ(profile.getProfileLong("n", "missing", 99), 99);
    EXPECT_EQ(profile.getProfileLong("missing", "v", 99), 99);
    profile.writeProfileLong("n", "v", -2147483647L - 1);
    EXPECT_STREQ(profile.getProfileString("n", "v", "x"), "-2147483648");
}

// Large sections and profiles answer from look-up tables that compare texts a word at a time: a key or
// name of any length must find its first entry or section, and never a text that differs in one byte.
TEST(ProfileLookup, LargeSectionsAndProfilesFindTheFirstOfEachTextAndNoOther) {
    // Texts of every length from 0 to 40, and for each the same with one byte changed at the start, the
    // middle and the end, so that the words of a comparison see every position differ.
    const std::string letters = "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ";
    std::set<std::string> unique;
    for (std::size_t length = 0; length <= 40; ++length) {
        const std::string text = letters.substr(length % 7, length);
        unique.insert(text);
        for (std::size_t at : {std::size_t{0}, length / 2, length - 1}) {
            if (at < length) {
                unique.insert(text.substr(0, at) + '#' + text.substr(at + 1));
            }
        }
    }
    const std::vector<std::string> texts(unique.begin(), unique.end());
    Sections profile;
    Profile::ProfileSection* big = profile.addSection("big");
    for (std::size_t i = 0; i < texts.size(); ++i) {
        // Keys carry a prefix so that none is empty; section names run from the empty one up. A twin of
        // each comes before its first look-up, so that tables are made from chains holding twins, and
        // another after it, so that tables learn twins as well.
        const std::string key = "k" + texts[i];
        const std::string value = std::to_string(i);
        big->addEntry(key.c_str(), value.c_str());
        big->addEntry(key.c_str(), "twin");
        profile.addSection(texts[i].c_str())->addEntry("n", value.c_str());
        profile.addSection(texts[i].c_str())->addEntry("n", "twin");
        EXPECT_STREQ(big->entryValue(key.c_str(), nullptr), value.c_str()) << key;
        EXPECT_STREQ(profile.getProfileString(texts[i].c_str(), "n", nullptr), value.c_str()) << key;
        big->addEntry(key.c_str(), "late twin");
        profile.addSection(texts[i].c_str())->addEntry("n", "late twin");
    }
    for (std::size_t i = 0; i < texts.size(); ++i) {
        SCOPED_TRACE(texts[i]);
        EXPECT_STREQ(profile.getProfileString("big", ("k" + texts[i]).c_str(), nullptr),
                     std::to_string(i).c_str());
        EXPECT_STREQ(profile.getProfileString(texts[i].c_str(), "n", nullptr), std::to_string(i).c_str());
    }
    // Texts that were never written, one byte longer or shorter than written ones, find nothing.
    EXPECT_EQ(profile.getProfileString("big", ("k" + letters.substr(0, 36)).c_str(), nullptr), nullptr);
    EXPECT_EQ(profile.getProfileString(letters.substr(0, 34).c_str(), "n", nullptr), nullptr);
    EXPECT_EQ(profile.getProfileString("big", "k##", nullptr), nullptr);
}

TEST(ProfileLookup, SectionsAndEntriesCopyTheirTextAndTablesFollowTheirPublicAssignments) {
    Sections profile;
    fill(profile, "s");
    fill(profile, "k", "s0");
    // These look-ups pass enough names to make both tables.
    ASSERT_EQ(profile.getProfileLong("s11", "n", -1), 11);
    ASSERT_EQ(profile.getProfileLong("s0", "k11", -1), 11);

    Profile::ProfileSection replacement("renamed");
    replacement.addEntry("n", 99L);
    *profile.find("s5") = replacement;
    replacement.setEntry("n", "changed");
    Profile::ProfileSection copy(*profile.find("renamed"));
    profile.find("renamed")->setEntry("n", 98L);
    EXPECT_STREQ(copy.entryValue("n", "x"), "99");
    EXPECT_EQ(copy.next(), nullptr);
    EXPECT_EQ(profile.getProfileLong("s5", "n", -1), -1);
    EXPECT_EQ(profile.getProfileLong("renamed", "n", -1), 98);
    EXPECT_EQ(profile.getProfileLong("s11", "n", -1), 11);

    *profile.find("s0")->firstEntry() = Profile::ProfileEntry("other", "7");
    EXPECT_EQ(profile.getProfileLong("s0", "n", -1), -1);
    EXPECT_EQ(profile.getProfileLong("s0", "other", -1), 7);
    EXPECT_EQ(profile.getProfileLong("s0", "k11", -1), 11);
    profile.writeProfileLong("s0", "k12", 12);
    profile.writeProfileLong("s12", "n", 12);
    EXPECT_EQ(profile.getProfileLong("s0", "k12", -1), 12);
    EXPECT_EQ(profile.getProfileLong("s12", "n", -1), 12);
}

TEST(ProfileLookup, TextTakenFromTheProfileItselfActsAsACopy) {
    Sections p;
    p.writeProfileString("s", "k", "value");
    fill(p, "f");
    ASSERT_EQ(p.getProfileLong("f11", "n", -1), 11); // the look-up tables exist
    const auto value = [&p](const char* section, const char* key) {
        return p.getProfileString(section, key, "-");
    };

    p.writeProfileString("s", value("s", "k"), "new"); // a key from a value
    EXPECT_STREQ(value("s", "value"), "new");
    const char* v = value("s", "k"); // a new section, key and value from one value
    p.writeProfileString(v, v, v);
    EXPECT_STREQ(value("value", "value"), "value");
    p.writeProfileString("s", "k", value("s", "k") + 1); // a value from the value it replaces
    EXPECT_STREQ(value("s", "k"), "alue");
    p.find("s")->setEntry("k", p.find("s")->entryValue("k", "") + 2); // a section's entry from its value
    EXPECT_STREQ(value("s", "k"), "ue");
    p.writeProfileString("s", "k", p.find("s")->firstEntry()->key()); // a value from its own key
    EXPECT_STREQ(value("s", "k"), "k");
    p.writeProfileString(p.find("s")->name(), "k", "x"); // a section from its own name
    EXPECT_STREQ(value("s", "k"), "x");
    *p.find("s")->firstEntry() = *p.find("s")->firstEntry(); // an entry assigned from itself
    EXPECT_STREQ(value("s", "k"), "x");
    *p.find("s") = *p.find("f3"); // a section assigned from a later one
    EXPECT_STREQ(value("f3", "n"), "3");
    EXPECT_STREQ(value("s", "k"), "-");
    EXPECT_EQ(p.getProfileLong("f11", "n", -1), 11);
}

TEST(ProfileLookup, AMillionEntriesAndSectionsAreReleasedWithoutDeepRecursion) {
    Sections profile;
    Profile::ProfileSection* section = profile.addSection("one");
    for (int i = 0; i < 1000000; ++i) {
        section->addEntry("k", "v");
        profile.addSection("s");
    }
    // Destruction at the end of the scope walks both chains; a recursive release overflows the stack.
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
    fill(source, "again");
    EXPECT_EQ(source.getProfileLong("again11", "n", -1), 11);

    Profile& first = profiles.front();
    first = std::move(first);
    EXPECT_STREQ(first.getProfileString("s", "k", "x"), "v");
    first = std::move(profiles.back());
    first.writeProfileLong("more", "j", 1); // goes after the sections taken
    EXPECT_EQ(first.getProfileLong("n", "i", -1), 19);
    EXPECT_TRUE(profiles.back().sections().empty());
}

TEST(ProfileRanges, ListSectionsAndTheirEntriesInOrderAndWritesChangeTheFirstOfAKey) {
    Sections profile;
    profile.writeProfileString("x", "a", "1");
    profile.writeProfileString("x", "b", "2");
    Profile::ProfileSection* y = profile.addSection("y");
    y->addEntry("a", "3");
    y->addEntry("a", "4");
    EXPECT_TRUE(profile.addSection("empty")->entries().empty());
    profile.writeProfileString("y", "a", "changed");

    // Entries appended while the walk goes on are visited as well.
    std::string seen;
    for (Profile::ProfileSection& section : profile.sections()) {
        section.setEntry("seen", 1L);
        seen += std::string("[") + section.name() + "]";
        for (const Profile::ProfileEntry& entry : section.entries()) {
            seen += std::string(entry.key()) + "=" + entry.value() + ";";
        }
    }
    EXPECT_EQ(seen, "[x]a=1;b=2;seen=1;[y]a=changed;a=4;seen=1;[empty]seen=1;");
    EXPECT_STREQ(std::as_const(profile).sections().begin()->entries().begin()->key(), "a");
    EXPECT_TRUE(Profile(nullptr, nullptr).sections().empty());
}

TEST(ProfileMode, ConstructionEndsReadyAndDestructionSaving) {
    {
        Profile profile(nullptr, nullptr);
        EXPECT_EQ(Profile::mode(), Profile::Ready);
    }
    EXPECT_EQ(Profile::mode(), Profile::Saving);
}
