// Where the local file is, and how it is replaced: same file read and written, atomic rename,
// permissions kept, failures that leave the old file alone.

#include "profile_files.h"

#include <kel/profile.h>

#include <cstdio>
#include <cstring>
#include <filesystem>

#ifdef _WIN32
#include <windows.h>
#else
#include <csignal>
#include <dirent.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#endif

using Kel::Profile;
using profile_test::ProfileFiles;
using profile_test::writeBytes;
namespace fs = std::filesystem;

namespace {

// The names in a directory, so that a test sees a temporary file left behind.
std::size_t entriesIn(const std::string& directory) {
    std::size_t count = 0;
    for (const auto& entry : fs::directory_iterator(directory)) {
        (void)entry;
        ++count;
    }
    return count;
}

} // namespace

TEST_F(ProfileFiles, TheFileReadIsTheFileWrittenWhateverTheEnvironmentDoesMeanwhile) {
    writeLocal("[s]\nk=1\n");
    kel_test::TempDir elsewhere;
    {
        Profile profile("app.ini", nullptr);
        profile.writeProfileLong("s", "k", 2);
        kel_test::ScopedEnv homeVariable("HOME", elsewhere.path().c_str());
        kel_test::ScopedEnv homePath("HOMEPATH", elsewhere.path().c_str());
    }
    EXPECT_EQ(saved(), "[s]\nk=2\n");
    EXPECT_EQ(entriesIn(elsewhere.path()), 0u);
    EXPECT_EQ(entriesIn(home.path()), 1u);
}

TEST_F(ProfileFiles, LongHomeDirectoriesWork) {
    const std::string deep = home.file(std::string(150, 'd'));
    fs::create_directory(deep);
    writeBytes(deep + "/app.ini", "[s]\nk=1\n");
    kel_test::ScopedEnv homeVariable("HOME", deep.c_str());
    kel_test::ScopedEnv homePath("HOMEPATH", deep.c_str());
    {
        Profile profile("app.ini", nullptr);
        EXPECT_EQ(profile.getProfileLong("s", "k", 0), 1);
        profile.writeProfileLong("s", "k", 2);
    }
    EXPECT_EQ(profile_test::readText(deep + "/app.ini"), "[s]\nk=2\n");
}

TEST_F(ProfileFiles, WithoutAHomeDirectoryNothingIsReadOrWritten) {
    kel_test::ScopedEnv noHome("HOME", nullptr);
    kel_test::ScopedEnv noHomePath("HOMEPATH", nullptr);
    {
        Profile profile("app.ini", nullptr);
        EXPECT_FALSE(profile.profileFound());
        profile.writeProfileString("a", "b", "c");
    }
    EXPECT_EQ(entriesIn(home.path()), 0u);
}

TEST_F(ProfileFiles, ALocalPathThatCannotBeWrittenIsLeftAloneSilently) {
    // A directory where the file should be: it can be neither read as settings nor replaced.
    fs::create_directory(local());
    writeGlobal("[s]\ng=1\n");
    {
        Profile profile("app.ini", "app.ini");
        EXPECT_EQ(profile.getProfileLong("s", "g", 0), 1);
        profile.writeProfileString("s", "k", "v");
    }
    EXPECT_TRUE(fs::is_directory(local()));
    EXPECT_EQ(entriesIn(local()), 0u);
    EXPECT_EQ(entriesIn(home.path()), 1u);
}

TEST_F(ProfileFiles, AFailedRenameLeavesNoTemporaryFile) {
    writeLocal("[s]\nk=1\n");
    {
        Profile profile("app.ini", nullptr);
        fs::remove(local());
        fs::create_directory(local());
    }
    EXPECT_TRUE(fs::is_directory(local()));
    EXPECT_EQ(entriesIn(home.path()), 1u);
}

TEST_F(ProfileFiles, AnAbsoluteLocalNameIsUsedAsItStands) {
    kel_test::TempDir elsewhere;
    std::string path = elsewhere.file("settings.ini");
    writeBytes(path, "[s]\nk=1\n");
    {
        kel_test::ScopedEnv noHome("HOME", nullptr);
        kel_test::ScopedEnv noHomePath("HOMEPATH", nullptr);
        Profile profile(path.c_str(), nullptr);
        EXPECT_TRUE(profile.profileFound());
        EXPECT_EQ(profile.getProfileLong("s", "k", 0), 1);
        profile.writeProfileLong("s", "k", 2);
    }
    EXPECT_EQ(profile_test::readText(path), "[s]\nk=2\n");
#ifdef _WIN32
    // A drive path written with forward slashes.
    for (char& c : path) {
        c = c == '\\' ? '/' : c;
    }
    {
        Profile profile(path.c_str(), nullptr);
        EXPECT_EQ(profile.getProfileLong("s", "k", 0), 2);
        profile.writeProfileLong("s", "k", 3);
    }
    EXPECT_EQ(profile_test::readText(path), "[s]\nk=3\n");
#endif
    EXPECT_EQ(entriesIn(home.path()), 0u);
    EXPECT_EQ(entriesIn(elsewhere.path()), 1u);
}

TEST_F(ProfileFiles, AMovedProfileSavesItsOwnFileOnce) {
    writeLocal("[s]\nk=1\n");
    {
        Profile target("other.ini", nullptr);
        target.writeProfileLong("t", "n", 1);
        Profile source("app.ini", nullptr);
        source.writeProfileLong("s", "k", 2);
        // The target ends as its destructor would, then carries the source's file.
        target = std::move(source);
        EXPECT_EQ(profile_test::readText(local("other.ini")), "[t]\nn=1\n");
        EXPECT_EQ(target.getProfileLong("s", "k", 0), 2);
        std::remove(local("other.ini").c_str());
    }
    EXPECT_EQ(saved(), "[s]\nk=2\n");
    EXPECT_EQ(entriesIn(home.path()), 1u);
}

TEST_F(ProfileFiles, AFileWithSeveralHardLinksIsRewrittenInPlace) {
    writeLocal("[s]\nk=1\n");
    const std::string other = home.file("shared.ini");
    fs::create_hard_link(local(), other);
    {
        Profile profile("app.ini", nullptr);
        profile.writeProfileLong("s", "k", 2);
    }
    EXPECT_EQ(saved(), "[s]\nk=2\n");
    EXPECT_EQ(profile_test::readText(other), "[s]\nk=2\n");
    EXPECT_EQ(entriesIn(home.path()), 2u);
}

#ifndef _WIN32

namespace {

// The permissions of the temporary file, seen by the signal that a write past the file size
// limit raises while the new content is being written.
const char* g_watchedDirectory = nullptr;
mode_t g_temporaryMode = 0;

void noteTemporaryMode(int) {
    DIR* directory = ::opendir(g_watchedDirectory);
    if (directory == nullptr) {
        return;
    }
    while (const dirent* entry = ::readdir(directory)) {
        if (std::strstr(entry->d_name, ".tmp") == nullptr) {
            continue;
        }
        const std::string path = std::string(g_watchedDirectory) + "/" + entry->d_name;
        struct stat info;
        if (::stat(path.c_str(), &info) == 0) {
            g_temporaryMode = info.st_mode & 07777;
        }
    }
    ::closedir(directory);
}

// Runs the profile's save with no file allowed to grow past 4096 bytes, as on a full disk.
void saveWithSmallFileLimit(Profile* profile, void (*onLimit)(int)) {
    struct rlimit old;
    ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &old), 0);
    struct rlimit small = old;
    small.rlim_cur = 4096;
    void (*oldHandler)(int) = std::signal(SIGXFSZ, onLimit);
    ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &small), 0);
    delete profile;
    ::setrlimit(RLIMIT_FSIZE, &old);
    std::signal(SIGXFSZ, oldHandler);
}

} // namespace

TEST_F(ProfileFiles, TheNewFileIsNeverOpenToMoreThanTheOldOne) {
    writeLocal("[s]\nsecret=1\n");
    ASSERT_EQ(::chmod(local().c_str(), 0600), 0);
    Profile* profile = new Profile("app.ini", nullptr);
    profile->writeProfileString("s", "big", std::string(100000, 'x').c_str());

    const mode_t oldMask = ::umask(0);
    g_watchedDirectory = home.path().c_str();
    g_temporaryMode = 01000;
    saveWithSmallFileLimit(profile, noteTemporaryMode);
    ::umask(oldMask);

    EXPECT_EQ(g_temporaryMode, 0600u) << std::oct << g_temporaryMode;
    EXPECT_EQ(saved(), "[s]\nsecret=1\n");
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
        {
            Profile profile("app.ini", nullptr);
            profile.writeProfileLong("s", "k", 2);
        }
        ::_exit(0);
    }
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    ::chmod(home.path().c_str(), 0755);
    ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
    EXPECT_EQ(saved(), "[s]\nk=2\n");
    EXPECT_EQ(entriesIn(home.path()), 1u);
}

TEST_F(ProfileFiles, SavingKeepsPermissionsAndSymbolicLinks) {
    fs::create_directory(home.file("real"));
    const std::string target = home.file("real/app.ini");
    writeBytes(target, "[s]\nk=1\n");
    ASSERT_EQ(::chmod(target.c_str(), 0640), 0);
    fs::create_symlink(target, local());
    {
        Profile profile("app.ini", nullptr);
        profile.writeProfileLong("s", "k", 2);
    }
    EXPECT_TRUE(fs::is_symlink(local()));
    EXPECT_EQ(profile_test::readText(target), "[s]\nk=2\n");
    struct stat info;
    ASSERT_EQ(::stat(target.c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 07777, 0640u);
    EXPECT_EQ(entriesIn(home.file("real")), 1u);
}

TEST_F(ProfileFiles, AWriteThatFailsHalfWayLeavesTheOldFile) {
    writeLocal("[s]\nk=old\n");
    Profile* profile = new Profile("app.ini", nullptr);
    profile->writeProfileString("s", "big", std::string(100000, 'x').c_str());
    saveWithSmallFileLimit(profile, SIG_IGN);

    EXPECT_EQ(saved(), "[s]\nk=old\n");
    EXPECT_EQ(entriesIn(home.path()), 1u);
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
    {
        Profile profile("app.ini", nullptr);
        EXPECT_EQ(profile.getProfileLong("s", "k", 0), 1);
        profile.writeProfileLong("s", "k", 2);
    }
    EXPECT_TRUE(::GetFileAttributesA(local().c_str()) & FILE_ATTRIBUTE_REPARSE_POINT);
    EXPECT_EQ(profile_test::readText(target), "[s]\nk=2\n");
    EXPECT_EQ(entriesIn(home.file("real")), 1u);
}

TEST_F(ProfileFiles, AHomePathWithoutDriveIsTakenOnTheHomeDrive) {
    const std::string& path = home.path();
    ASSERT_EQ(path[1], ':');
    writeLocal("[s]\nk=1\n");
    kel_test::ScopedEnv drive("HOMEDRIVE", path.substr(0, 2).c_str());
    kel_test::ScopedEnv homePath("HOMEPATH", path.substr(2).c_str());
    {
        Profile profile("app.ini", nullptr);
        EXPECT_EQ(profile.getProfileLong("s", "k", 0), 1);
        profile.writeProfileLong("s", "k", 2);
    }
    EXPECT_EQ(saved(), "[s]\nk=2\n");
}

#endif
