// Feeds arbitrary bytes to the profile reader as the user's settings file, saves them, and checks
// that reading and saving the saved file gives it back unchanged.

#include <kel/profile.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include <ftw.h>
#include <unistd.h>

namespace {

std::string g_home;
std::string g_file;

int removeEntry(const char* path, const struct stat*, int, struct FTW*) {
    return ::remove(path);
}

void removeHome() {
    ::nftw(g_home.c_str(), removeEntry, 16, FTW_DEPTH | FTW_PHYS);
}

void writeFile(const uint8_t* data, size_t size) {
    std::FILE* file = std::fopen(g_file.c_str(), "wb");
    if (file == nullptr) {
        std::abort();
    }
    if (size > 0 && std::fwrite(data, 1, size, file) != size) {
        std::abort();
    }
    std::fclose(file);
}

std::string readFile() {
    std::string text;
    std::FILE* file = std::fopen(g_file.c_str(), "rb");
    if (file == nullptr) {
        return "<absent>";
    }
    char buffer[65536];
    size_t got;
    while ((got = std::fread(buffer, 1, sizeof buffer, file)) > 0) {
        text.append(buffer, got);
    }
    std::fclose(file);
    return text;
}

// Looks up names taken from the input, so that the look-up tables meet what the parser made.
class Probe : public Kel::Profile {
public:
    Probe() : Profile("fuzz.ini", nullptr) {}
    void probe(const uint8_t* data, size_t size) {
        std::string name(reinterpret_cast<const char*>(data), size < 16 ? size : 16);
        const char* section = name.c_str();
        ProfileSection* found = find(section);
        if (found != nullptr && found->firstEntry() != nullptr) {
            const char* key = found->firstEntry()->key();
            if (std::strcmp(getProfileString(section, key, nullptr), found->firstEntry()->value()) != 0) {
                std::abort();
            }
        }
        getProfileLong(section, section, 0);
        writeProfileString(section, "fuzz", section);
    }
};

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    // Every input is saved three times, each save flushed to disk: a memory file system keeps
    // that fast where there is one.
    std::string pattern = ::access("/dev/shm", W_OK) == 0 ? "/dev/shm" : "/tmp";
    pattern += "/kel-profile-fuzz-XXXXXX";
    if (::mkdtemp(&pattern[0]) == nullptr) {
        std::abort();
    }
    g_home = pattern;
    g_file = g_home + "/fuzz.ini";
    ::setenv("HOME", g_home.c_str(), 1);
    std::atexit(removeHome);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    writeFile(data, size);
    {
        Kel::Profile profile("fuzz.ini", nullptr);
        if (!profile.profileFound()) {
            std::abort();
        }
    }
    const std::string first = readFile();
    { Kel::Profile again("fuzz.ini", nullptr); }
    if (readFile() != first) {
        std::abort();
    }

    writeFile(data, size);
    {
        Probe probe;
        probe.probe(data, size);
    }
    return 0;
}
