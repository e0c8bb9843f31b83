// Settings files: read a user's settings, change a value, and see the file the profile writes back.
// Everything happens in a temporary directory that stands in for the home directory.

#include <kel/kel.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <random>
#include <sstream>
#include <string>

using namespace Kel;
namespace fs = std::filesystem;

namespace {

// The profile finds the user's file through HOME (HOMEPATH on Windows).
void setVariable(const char* name, const std::string& value) {
#ifdef _WIN32
    _putenv_s(name, value.c_str());
#else
    setenv(name, value.c_str(), 1);
#endif
}

std::string contents(const fs::path& file) {
    std::ifstream in(file);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

void show(const char* title, const fs::path& file) {
    std::cout << title << "\n";
    std::istringstream lines(contents(file));
    for (std::string line; std::getline(lines, line);) {
        std::cout << "    " << line << "\n";
    }
}

} // namespace

int main() {
    const fs::path home =
        fs::temp_directory_path() / ("kel-settings-" + std::to_string(std::random_device()()));
    fs::create_directory(home);
    setVariable("HOME", home.string());
    setVariable("HOMEPATH", home.string());

    const fs::path file = home / "editor.ini";
    std::ofstream(file) << "[window]\nwidth=640\nheight=480\n[user]\nname=guest\n; a note without an equals "
                           "sign is dropped on saving\n";
    show("settings file before:", file);

    {
        Profile settings("editor.ini", nullptr);
        std::cout << "found: " << std::boolalpha << settings.profileFound() << "\n"
                  << "window " << settings.getProfileLong("window", "width", 0) << " x "
                  << settings.getProfileLong("window", "height", 0) << ", user "
                  << settings.getProfileString("user", "name", "(none)") << ", theme "
                  << settings.getProfileString("user", "theme", "light") << " (default)\n";

        settings.writeProfileLong("window", "width", 800);
        settings.writeProfileString("user", "theme", "dark");
        std::cout << "changed in memory: width " << settings.getProfileLong("window", "width", 0)
                  << ", theme " << settings.getProfileString("user", "theme", "light") << "\n";
        std::cout << "the file is unchanged until the profile goes: "
                  << (contents(file).find("width=640") != std::string::npos ? "yes" : "no") << "\n";
    }

    show("settings file written back:", file);

    // An absolute name is used as it stands, wherever the program keeps its settings.
    {
        const Profile settings(file.string().c_str(), nullptr);
        std::cout << "every setting, by absolute path:\n";
        for (const Profile::ProfileSection& section : settings.sections()) {
            for (const Profile::ProfileEntry& entry : section.entries()) {
                std::cout << "    " << section.name() << "." << entry.key() << " = " << entry.value() << "\n";
            }
        }
    }
    // Only read, so the file stays as it was, byte for byte.

    std::error_code ignored;
    fs::remove_all(home, ignored);
    return 0;
}
