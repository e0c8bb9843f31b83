// Where the local file is, and how it is replaced: same file read and written, atomic rename,
// permissions kept, failures that leave the old file alone.

#include "profile_files.h"

#include <kel/profile.h>

#include <filesystem>

#ifndef _WIN32
#include <csignal>
#include <sys/resource.h>
#include <sys/stat.h>
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

#ifndef _WIN32

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

    // A disk that fills up: no file may grow past 4096 bytes while the profile saves.
    struct rlimit old;
    ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &old), 0);
    struct rlimit small = old;
    small.rlim_cur = 4096;
    void (*oldHandler)(int) = std::signal(SIGXFSZ, SIG_IGN);
    ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &small), 0);
    delete profile;
    ::setrlimit(RLIMIT_FSIZE, &old);
    std::signal(SIGXFSZ, oldHandler);

    EXPECT_EQ(saved(), "[s]\nk=old\n");
    EXPECT_EQ(entriesIn(home.path()), 1u);
}

#else

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
