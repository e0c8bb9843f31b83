// Reading and writing profile files: the line format, local over global, what is saved, and where
// and how the local file is replaced (atomic rename, permissions kept, failures that leave the old
// file alone).

#include "profile_files.h"

#include <kel/profile.h>

#include <algorithm>
#include <filesystem>
#include <memory>

#ifdef _WIN32
#include <windows.h>
#else
#include <csignal>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#endif

using Kel::Profile;
using namespace profile_test;
using namespace std::string_literals;
namespace fs = std::filesystem;

TEST_F(ProfileFiles, LocalValuesWinAndGlobalEntriesAreNeverSaved) {
    writeLocal("[db]\nuser=guest\n");
    // A byte-order mark starts the global file; it is not part of the first line.
    writeGlobal("\xEF\xBB\xBF[db]\nuser=admin\nport=5000\n[shared]\ntheme=dark\n");
    {
        Profile profile("app.ini", "app.ini");
        EXPECT_STREQ(profile.getProfileString("db", "user", "x"), "guest");
        EXPECT_EQ(profile.getProfileLong("db", "port", 0), 5000);
        EXPECT_STREQ(profile.getProfileString("shared", "theme", "x"), "dark");

        // A global entry takes the new value in memory only.
        profile.writeProfileString("db", "port", "6000");
        EXPECT_STREQ(profile.getProfileString("db", "port", "x"), "6000");
        profile.writeProfileLong("new", "n", -3);
    }
    // The section met only in the global file stays as a bare header.
    EXPECT_EQ(saved(), "[db]\nuser=guest\n[shared]\n[new]\nn=-3\n");
}

TEST_F(ProfileFiles, LoadAndSaveKeepEntriesAsWritten) {
    const std::string value(600, 'v');
    const std::string section(3000, 's');
    // Lines of any length are read whole; carriage returns at a line's end and anything from a NUL
    // on are not part of it.
    writeLocal(
        "orphan=0\n[s]\r\nkey = value\ndup=1\ndup=2\r\n; a note\n#a=1\na=1;2\nnul=2\r\0rest\r\n[t]\n"s +
        "[s]\nlate=3\n[" + section + "]\nlong=" + value + "\nafter=1\n[open\r\nport=1");
    {
        Profile profile("app.ini", nullptr);
        // Without "]" a section's name runs to the end of the line, the line end excluded.
        const char* const cases[][3] = {{"s", "key ", " value"}, {"s", "key", "x"},  {"s", "dup", "1"},
                                        {"s", "#a", "1"},        {"s", "a", "1;2"},  {"s", "nul", "2"},
                                        {"s", "late", "3"},      {"S", "late", "x"}, {"s", "orphan", "x"},
                                        {"open", "port", "1"}};
        for (const auto& c : cases) {
            EXPECT_STREQ(profile.getProfileString(c[0], c[1], "x"), c[2]) << c[0] << " " << c[1];
        }
        EXPECT_EQ(profile.getProfileString(section.c_str(), "long", "x"), value);
        EXPECT_STREQ(profile.getProfileString(section.c_str(), "after", "x"), "1");
        profile.writeProfileString("t", "added", "1");
    }
    EXPECT_EQ(saved(), "[s]\nkey = value\ndup=1\ndup=2\n#a=1\na=1;2\nnul=2\nlate=3\n[t]\nadded=1\n[" +
                           section + "]\nlong=" + value + "\nafter=1\n[open]\nport=1\n");
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
        // Nor does taking the content of a profile fresh from the same file.
        profile = Profile("app.ini", nullptr);
    }
    EXPECT_EQ(readText(local(), true), original);

    // Any real change, whichever way it is made, is saved.
    {
        Profile profile("app.ini", nullptr);
        Profile changed(profile);
        changed.writeProfileString("db", "user ", "admin");
        profile = changed;
    }
    EXPECT_EQ(saved(), "[db]\nuser =admin\n[empty]\n");
}

TEST_F(ProfileFiles, MissingFilesAreNotFoundTheLocalOneIsCreatedOnSaveAndTheDumpNamesBoth) {
    {
        Profile noLocal(nullptr, "app.ini");
        EXPECT_FALSE(noLocal.profileFound());
        EXPECT_EQ(kel_test::dumpOf(noLocal), "@ class Kel::Profile\nL=(null) G=app.ini\n");
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

TEST_F(ProfileFiles, CopiesNeverSaveAssignmentsSaveIntoTheTargetsFileAndMovesCarryTheSourcesFile) {
    writeLocal("[s]\nk=original\n");
    writeGlobal("[s]\ng=global\n");
    auto profile = std::make_unique<Profile>("app.ini", "app.ini");
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
        EXPECT_TRUE(other.profileFound());
        other.writeProfileString("t", "n", "1");
        EXPECT_STREQ(other.getProfileString("s", "g", "x"), "global");
    }
    // The global entry keeps its mark in the assigned copy.
    EXPECT_EQ(readText(local("other.ini")), "[s]\nk=original\n[t]\nn=1\n");
    {
        Profile target("other.ini", "other.ini");
        target.writeProfileLong("t", "n", 2);
        profile->writeProfileString("s", "k", "updated");
        // The target ends as its destructor would, then carries the source's file, which it alone saves.
        target = std::move(*profile);
        EXPECT_EQ(kel_test::dumpOf(*profile), "@ class Kel::Profile\nL=(null) G=(null)\n");
        profile.reset();
        EXPECT_EQ(readText(local("other.ini")), "[s]\nk=original\n[t]\nn=2\n");
        EXPECT_STREQ(target.getProfileString("s", "k", "x"), "updated");
        fs::remove(local("other.ini"));
    }
    EXPECT_EQ(saved(), "[s]\nk=updated\n");
    EXPECT_EQ(entriesIn(home.path()), 1);
}

TEST_F(ProfileFiles, ALongHomeDirectoryIsTheOneWrittenWhateverTheEnvironmentDoesMeanwhile) {
    const std::string deep = home.file(std::string(150, 'd'));
    fs::create_directory(deep);
    writeBytes(deep + "/app.ini", "[s]\nk=1\n");
    kel_test::ScopedEnv homeVariable("HOME", deep.c_str());
    kel_test::ScopedEnv homePath("HOMEPATH", deep.c_str());
    bump("app.ini", 1, [this] {
        kel_test::setEnv("HOME", home.path().c_str());
        kel_test::setEnv("HOMEPATH", home.path().c_str());
    });
    EXPECT_EQ(readText(deep + "/app.ini"), "[s]\nk=2\n");
    EXPECT_EQ(entriesIn(home.path()), 1);
}

TEST_F(ProfileFiles, WithoutAHomeDirectoryOnlyAnAbsoluteLocalNameIsReadAndWritten) {
    std::string path = local("settings.ini");
    writeBytes(path, "[s]\nk=1\n");
    kel_test::ScopedEnv noHome("HOME", nullptr);
    kel_test::ScopedEnv noHomePath("HOMEPATH", nullptr);
    {
        Profile profile("app.ini", nullptr);
        EXPECT_FALSE(profile.profileFound());
        profile.writeProfileString("a", "b", "c");
    }
    bump(path);
    EXPECT_EQ(readText(path), "[s]\nk=2\n");
#ifdef _WIN32
    // A drive path written with forward slashes.
    std::replace(path.begin(), path.end(), '\\', '/');
    bump(path, 2);
    EXPECT_EQ(readText(path), "[s]\nk=3\n");
#endif
    EXPECT_EQ(entriesIn(home.path()), 1);
}

TEST_F(ProfileFiles, ADirectoryAtTheLocalPathIsLeftAloneSilently) {
    writeLocal("[s]\nk=1\n");
    writeGlobal("[s]\ng=1\n");
    // Put there after the file was read: the save fails and leaves no temporary file.
    bump("app.ini", 1, [this] {
        fs::remove(local());
        fs::create_directory(local());
    });
    // There when the profile is made: it can be neither read as settings nor replaced.
    {
        Profile profile("app.ini", "app.ini");
        EXPECT_EQ(profile.getProfileLong("s", "g", 0), 1);
        profile.writeProfileString("s", "k", "v");
    }
    EXPECT_TRUE(fs::is_directory(local()));
    EXPECT_EQ(entriesIn(local()), 0);
    EXPECT_EQ(entriesIn(home.path()), 1);
}

TEST_F(ProfileFiles, AFileWithSeveralHardLinksIsRewrittenInPlace) {
    writeLocal("[s]\nk=1\n");
    fs::create_hard_link(local(), local("shared.ini"));
    bump();
    EXPECT_EQ(saved(), "[s]\nk=2\n");
    EXPECT_EQ(readText(local("shared.ini")), "[s]\nk=2\n");
    EXPECT_EQ(entriesIn(home.path()), 2);
}

#ifndef _WIN32

namespace {

// The permissions of the temporary file, seen by the signal that a write past the file size
// limit raises while the new content is being written.
const std::string* g_watchedDirectory = nullptr;
mode_t g_temporaryMode = 0;

void noteTemporaryMode(int) {
    for (const auto& entry : fs::directory_iterator(*g_watchedDirectory)) {
        if (entry.path().filename() != "app.ini") {
            g_temporaryMode = static_cast<mode_t>(fs::status(entry.path()).permissions());
        }
    }
}

} // namespace

TEST_F(ProfileFiles, AWriteThatFailsHalfWayLeavesTheOldFileAndNeverOpensTheNewOneWider) {
    writeLocal("[s]\nsecret=1\n");
    ASSERT_EQ(::chmod(local().c_str(), 0600), 0);
    auto profile = std::make_unique<Profile>("app.ini", nullptr);
    profile->writeProfileString("s", "big", std::string(100000, 'x').c_str());

    // The save runs with no file allowed to grow past 4096 bytes, as on a full disk, and no umask.
    struct rlimit old;
    ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &old), 0);
    const struct rlimit small = {4096, old.rlim_max};
    g_watchedDirectory = &home.path();
    g_temporaryMode = 01000;
    void (*oldHandler)(int) = std::signal(SIGXFSZ, noteTemporaryMode);
    const mode_t oldMask = ::umask(0);
    ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &small), 0);
    profile.reset();
    ::setrlimit(RLIMIT_FSIZE, &old);
    ::umask(oldMask);
    std::signal(SIGXFSZ, oldHandler);

    EXPECT_EQ(g_temporaryMode, 0600u) << std::oct << g_temporaryMode;
    EXPECT_EQ(saved(), "[s]\nsecret=1\n");
    EXPECT_EQ(entriesIn(home.path()), 1);
}

TEST_F(ProfileFiles, AWritableFileInADirectoryThatIsNotIsRewrittenInPlace) {
    writeLocal("[s]\nk=1\n");
    ASSERT_EQ(::chmod(local().c_str(), 0666), 0);
    ASSERT_EQ(::chmod(home.path().c_str(), 0555), 0);
    // An administrator may write anywhere: the save then runs as an ordinary user.
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        if (::geteuid() == 0 && (::setgid(65534) != 0 || ::setuid(65534) != 0)) {
            ::_exit(2);
        }
        bump();
        ::_exit(0);
    }
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    ::chmod(home.path().c_str(), 0755);
    ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
    EXPECT_EQ(saved(), "[s]\nk=2\n");
    EXPECT_EQ(entriesIn(home.path()), 1);
}

TEST_F(ProfileFiles, SavingKeepsPermissionsAndSymbolicLinks) {
    fs::create_directory(home.file("real"));
    const std::string target = home.file("real/app.ini");
    writeBytes(target, "[s]\nk=1\n");
    ASSERT_EQ(::chmod(target.c_str(), 0640), 0);
    fs::create_symlink(target, local());
    bump();
    EXPECT_TRUE(fs::is_symlink(local()));
    EXPECT_EQ(readText(target), "[s]\nk=2\n");
    EXPECT_EQ(fs::status(target).permissions(), static_cast<fs::perms>(0640));
    EXPECT_EQ(entriesIn(home.file("real")), 1);
}

#else

TEST_F(ProfileFiles, ASymbolicLinkStaysALinkToTheUpdatedFile) {
    fs::create_directory(home.file("real"));
    const std::string target = home.file("real\\app.ini");
    writeBytes(target, "[s]\nk=1\n");
    // Some systems (Wine 8 among them) report success without making the link.
    if (!::CreateSymbolicLinkA(local().c_str(), target.c_str(), 0) ||
        ::GetFileAttributesA(local().c_str()) == INVALID_FILE_ATTRIBUTES) {
        GTEST_SKIP() << "symbolic links are not available here";
    }
    bump();
    EXPECT_TRUE(::GetFileAttributesA(local().c_str()) & FILE_ATTRIBUTE_REPARSE_POINT);
    EXPECT_EQ(readText(target), "[s]\nk=2\n");
    EXPECT_EQ(entriesIn(home.file("real")), 1);
}

TEST_F(ProfileFiles, AHomePathWithoutDriveIsTakenOnTheHomeDrive) {
    const std::string& path = home.path();
    ASSERT_EQ(path[1], ':');
    writeLocal("[s]\nk=1\n");
    kel_test::ScopedEnv drive("HOMEDRIVE", path.substr(0, 2).c_str());
    kel_test::ScopedEnv homePath("HOMEPATH", path.substr(2).c_str());
    bump();
    EXPECT_EQ(saved(), "[s]\nk=2\n");
}

#endif
