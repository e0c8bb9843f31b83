#ifndef KEL_TESTS_PROFILE_PROFILE_FILES_H
#define KEL_TESTS_PROFILE_PROFILE_FILES_H

// A fixture for profile tests on real files: the home directory (HOME, and HOMEPATH, which the
// Windows build reads) and the global profile directory are fresh temporary directories in
// every test. Under Wine the temporary path carries its drive letter, and a HOMEPATH that names
// a drive is used as it stands.

#include "kel_test.h"

#include <kel/profile.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <string>

namespace profile_test {

// The file's content read as text, so that CR LF line ends come back as "\n" (or, with binary
// set, its bytes as they are); "<absent>" when the file cannot be opened.
inline std::string readText(const std::string& path, bool binary = false) {
    std::ifstream in(path, binary ? std::ios::binary : std::ios::in);
    return in ? std::string(std::istreambuf_iterator<char>(in), {}) : "<absent>";
}

// Writes the bytes exactly as given.
inline void writeBytes(const std::string& path, const std::string& bytes) {
    ASSERT_TRUE(std::ofstream(path, std::ios::binary) << bytes) << path;
}

// The number of names in a directory, so that a test sees a temporary file left behind.
inline long entriesIn(const std::string& directory) {
    return static_cast<long>(std::distance(std::filesystem::directory_iterator(directory), {}));
}

class ProfileFiles : public ::testing::Test {
protected:
    ProfileFiles() { kel_test::setGlobalProfileDirectory(global.path().c_str()); }
    ~ProfileFiles() override { kel_test::setGlobalProfileDirectory(nullptr); }

    std::string local(const std::string& name = "app.ini") const { return home.file(name); }
    void writeLocal(const std::string& bytes) { writeBytes(local(), bytes); }
    void writeGlobal(const std::string& bytes) { writeBytes(global.file("app.ini"), bytes); }
    std::string saved() const { return readText(local()); }
    // Reads the local file name alone, finds k=from in section s there, and sets it to from + 1; meanwhile
    // runs before the profile saves.
    static void bump(
        const std::string& name = "app.ini", long from = 1, const std::function<void()>& meanwhile = [] {}) {
        Kel::Profile profile(name.c_str(), nullptr);
        EXPECT_TRUE(profile.profileFound());
        EXPECT_EQ(profile.getProfileLong("s", "k", 0), from);
        profile.writeProfileLong("s", "k", from + 1);
        meanwhile();
    }

    kel_test::TempDir home;
    kel_test::TempDir global;

private:
    kel_test::ScopedEnv _home{"HOME", home.path().c_str()};
    kel_test::ScopedEnv _homePath{"HOMEPATH", home.path().c_str()};
};

} // namespace profile_test

#endif
