#ifndef KEL_TESTS_PROFILE_PROFILE_FILES_H
#define KEL_TESTS_PROFILE_PROFILE_FILES_H

// A fixture for profile tests on real files: the home directory (HOME, and HOMEPATH, which the
// Windows build reads) and the global profile directory are fresh temporary directories in
// every test. Under Wine the temporary path carries its drive letter, and a HOMEPATH that names
// a drive is used as it stands.

#include "kel_test.h"

#include <kel/profile.h>

#include <cstdio>
#include <string>

namespace profile_test {

// The file's content read as text, so that CR LF line ends come back as "\n" (or, with binary
// set, its bytes as they are); "<absent>" when the file cannot be opened.
inline std::string readText(const std::string& path, bool binary = false) {
    std::FILE* file = std::fopen(path.c_str(), binary ? "rb" : "r");
    if (file == nullptr) {
        return "<absent>";
    }
    std::string text;
    char buffer[4096];
    std::size_t got;
    while ((got = std::fread(buffer, 1, sizeof buffer, file)) > 0) {
        text.append(buffer, got);
    }
    std::fclose(file);
    return text;
}

// Writes the bytes exactly as given.
inline void writeBytes(const std::string& path, const std::string& bytes) {
    std::FILE* file = std::fopen(path.c_str(), "wb");
    ASSERT_NE(file, nullptr) << path;
    ASSERT_EQ(std::fwrite(bytes.data(), 1, bytes.size(), file), bytes.size());
    std::fclose(file);
}

class ProfileFiles : public ::testing::Test {
protected:
    ProfileFiles() { kel_test::setGlobalProfileDirectory(global.path().c_str()); }
    ~ProfileFiles() override { kel_test::setGlobalProfileDirectory(nullptr); }

    std::string local(const std::string& name = "app.ini") const { return home.file(name); }
    void writeLocal(const std::string& bytes) { writeBytes(local(), bytes); }
    void writeGlobal(const std::string& bytes) { writeBytes(global.file("app.ini"), bytes); }
    std::string saved() const { return readText(local()); }

    kel_test::TempDir home;
    kel_test::TempDir global;

private:
    kel_test::ScopedEnv _home{"HOME", home.path().c_str()};
    kel_test::ScopedEnv _homePath{"HOMEPATH", home.path().c_str()};
};

} // namespace profile_test

#endif
