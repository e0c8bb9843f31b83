// Reading and writing profile files: the line format, local over global, what is saved.

#include "profile_files.h"

#include <kel/profile.h>

#include <sstream>

using Kel::Profile;
using profile_test::ProfileFiles;
using namespace std::string_literals;

TEST_F(ProfileFiles, LocalValuesWinAndGlobalEntriesAreNeverSaved) {
    writeLocal("[db]\nuser=guest\n");
    writeGlobal("[db]\nuser=admin\nport=5000\n[shared]\ntheme=dark\n");
    {
        Profile profile("app.ini", "app.ini");
        EXPECT_TRUE(profile.profileFound());
        EXPECT_STREQ(profile.getProfileString("db", "user", "x"), "guest");
        EXPECT_EQ(profile.getProfileLong("db", "port", 0), 5000);
        EXPECT_STREQ(profile.getProfileString("db", "host", "x"), "x");
        EXPECT_STREQ(profile.getProfileString("shared", "theme", "x"), "dark");

        // A global entry takes the new value in memory only.
        profile.writeProfileString("db", "port", "6000");
        EXPECT_STREQ(profile.getProfileString("db", "port", "x"), "6000");
        profile.writeProfileLong("new", "n", -3);
    }
    // The section met only in the global file stays as a bare header.
    EXPECT_EQ(saved(), "[db]\nuser=guest\n[shared]\n[new]\nn=-3\n");
}

TEST_F(ProfileFiles, LoadAndSaveKeepEntriesAsWrittenAndReachAFixpoint) {
    writeLocal("orphan=0\n"
               "[s]\n"
               "key = value\n"
               "dup=1\n"
               "dup=2\n"
               "; a note\n"
               "#a=1\n"
               "a=1;2\n"
               "[t]\n"
               "[s]\n"
               "late=3\n");
    {
        Profile profile("app.ini", nullptr);
        EXPECT_STREQ(profile.getProfileString("s", "key ", "x"), " value");
        EXPECT_STREQ(profile.getProfileString("s", "key", "x"), "x");
        EXPECT_STREQ(profile.getProfileString("s", "dup", "x"), "1");
        EXPECT_STREQ(profile.getProfileString("s", "#a", "x"), "1");
        EXPECT_STREQ(profile.getProfileString("s", "a", "x"), "1;2");
        EXPECT_STREQ(profile.getProfileString("s", "late", "x"), "3");
        EXPECT_STREQ(profile.getProfileString("S", "late", "x"), "x");
        profile.writeProfileString("t", "added", "1");
    }
    const std::string first = saved();
    EXPECT_EQ(first, "[s]\nkey = value\ndup=1\ndup=2\n#a=1\na=1;2\nlate=3\n[t]\nadded=1\n");
    {
        Profile again("app.ini", nullptr);
        again.writeProfileString("t", "added", "2");
        again.writeProfileString("t", "added", "1");
    }
    EXPECT_EQ(saved(), first);
}

TEST_F(ProfileFiles, LinesOfAnyLengthAreReadWhole) {
    const std::string value(600, 'v');
    const std::string section(3000, 's');
    writeLocal("[" + section + "]\nlong=" + value + "\nafter=1\n");
    {
        Profile profile("app.ini", nullptr);
        EXPECT_EQ(profile.getProfileString(section.c_str(), "long", "x"), value);
        EXPECT_STREQ(profile.getProfileString(section.c_str(), "after", "x"), "1");
        profile.writeProfileLong(section.c_str(), "after", 2);
    }
    EXPECT_EQ(saved(), "[" + section + "]\nlong=" + value + "\nafter=2\n");
}

TEST_F(ProfileFiles, CarriageReturnsByteOrderMarkAndNulAreNotPartOfTheText) {
    writeLocal("\xEF\xBB\xBF[db]\r\nuser=guest\r\n[open\r\nport=1\r\nnul=2\r\0rest\r\n"s);
    {
        Profile profile("app.ini", nullptr);
        EXPECT_STREQ(profile.getProfileString("db", "user", "x"), "guest");
        // Without "]" the name runs to the end of the line, the line end excluded.
        EXPECT_EQ(profile.getProfileLong("open", "port", 0), 1);
        EXPECT_STREQ(profile.getProfileString("open", "nul", "x"), "2");
        profile.writeProfileLong("open", "added", 3);
    }
    EXPECT_EQ(saved(), "[db]\nuser=guest\n[open]\nport=1\nnul=2\nadded=3\n");
}

TEST_F(ProfileFiles, AFileThatWasOnlyReadStaysByteForByteAsItWas) {
    const std::string original = "; settings\r\n\r\n[db]\r\nuser = guest\r\n# note\r\n[empty]\r\n";
    writeLocal(original);
    writeGlobal("[db]\nport=5000\n[global only]\nx=1\n");
    {
        Profile profile("app.ini", "app.ini");
        EXPECT_STREQ(profile.getProfileString("db", "user ", "x"), " guest");
        // Writes that leave the content as it was read change nothing either.
        profile.writeProfileString("db", "user ", " guest");
        profile.writeProfileString("db", "port", "6000"); // global: never saved
    }
    EXPECT_EQ(profile_test::readText(local(), true), original);
    {
        Profile assigned("app.ini", nullptr);
        assigned = Profile("app.ini", nullptr);
    }
    EXPECT_EQ(profile_test::readText(local(), true), original);

    // Any real change, whichever way it is made, is saved.
    {
        Profile profile("app.ini", nullptr);
        Profile changed(profile);
        changed.writeProfileString("db", "user ", "admin");
        profile = changed;
    }
    EXPECT_EQ(saved(), "[db]\nuser =admin\n[empty]\n");
}

TEST_F(ProfileFiles, MissingFilesAreNotFoundAndTheLocalFileIsCreatedOnSave) {
    {
        Profile nothing(nullptr, nullptr);
        EXPECT_FALSE(nothing.profileFound());
    }
    EXPECT_EQ(saved(), "<absent>");
    {
        Profile profile("app.ini", "app.ini");
        EXPECT_FALSE(profile.profileFound());
        EXPECT_STREQ(profile.getProfileString("a", "b", "default"), "default");
        profile.writeProfileString("a", "b", "c");
    }
    EXPECT_EQ(saved(), "[a]\nb=c\n");
}

TEST_F(ProfileFiles, CopyDoesNotSaveButAssignmentSavesIntoTheTargetsFile) {
    writeLocal("[s]\nk=original\n");
    writeGlobal("[s]\ng=global\n");
    Profile* profile = new Profile("app.ini", "app.ini");
    {
        Profile copy(*profile);
        EXPECT_TRUE(copy.profileFound());
        copy.writeProfileString("s", "k", "changed");
        EXPECT_STREQ(copy.getProfileString("s", "g", "x"), "global");
        EXPECT_STREQ(profile->getProfileString("s", "k", "x"), "original");
    }
    EXPECT_EQ(saved(), "[s]\nk=original\n");

    {
        Profile other("other.ini", nullptr);
        other = *profile;
        other.writeProfileString("t", "n", "1");
        EXPECT_STREQ(other.getProfileString("s", "g", "x"), "global");
    }
    // The global entry keeps its mark in the assigned copy.
    EXPECT_EQ(profile_test::readText(local("other.ini")), "[s]\nk=original\n[t]\nn=1\n");

    profile->writeProfileString("s", "k", "updated");
    delete profile;
    EXPECT_EQ(saved(), "[s]\nk=updated\n");
}

TEST_F(ProfileFiles, DumpNamesBothFiles) {
    Profile named("app.ini", nullptr);
    std::ostringstream os;
    Kel::KELDump(&named).dump(os);
    EXPECT_EQ(os.str(), "@ class Kel::Profile\nL=app.ini G=(null)\n");
}
