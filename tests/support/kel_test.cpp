#include "kel_test.h"

#include <kel/net.h>

#include <cstdlib>
#include <filesystem>
#include <random>
#include <sstream>
#include <system_error>

namespace kel_test {

namespace fs = std::filesystem;

TempDir::TempDir() {
    std::random_device random;
    const fs::path base = fs::temp_directory_path();
    for (int attempt = 0; attempt < 100; ++attempt) {
        const fs::path candidate = base / ("kel-test-" + std::to_string(random()));
        std::error_code error;
        if (fs::create_directory(candidate, error)) {
            _path = candidate.string();
            return;
        }
    }
    throw std::runtime_error("cannot create a temporary directory");
}

TempDir::~TempDir() {
    std::error_code error;
    fs::remove_all(_path, error);
}

std::string TempDir::file(const std::string& name) const {
    return (fs::path(_path) / name).string();
}

void setEnv(const char* name, const char* value) {
#ifdef _WIN32
    _putenv_s(name, value ? value : "");
#else
    if (value) {
        ::setenv(name, value, 1);
    } else {
        ::unsetenv(name);
    }
#endif
}

ScopedEnv::ScopedEnv(const char* name, const char* value) : _name(name), _hadOld(false) {
    if (const char* old = std::getenv(name)) {
        _old = old;
        _hadOld = true;
    }
    setEnv(name, value);
}

ScopedEnv::~ScopedEnv() {
    setEnv(_name.c_str(), _hadOld ? _old.c_str() : nullptr);
}

long slowdown() {
    static const long factor = [] {
        const char* text = std::getenv("KEL_TEST_SLOWDOWN");
        const long value = text ? std::strtol(text, nullptr, 10) : 1;
        return value < 1 ? 1L : value > 100 ? 100L : value;
    }();
    return factor;
}

std::string currentTestName() {
    const ::testing::TestInfo* info = ::testing::UnitTest::GetInstance()->current_test_info();
    if (!info) {
        return "(no test)";
    }
    return std::string(info->test_suite_name()) + "." + info->name();
}

std::string dumpOf(Kel::KELBase& object) {
    std::ostringstream os;
    Kel::KELDump(&object).dump(os);
    return os.str();
}

bool localSocketsAvailable() {
    try {
        Kel::Socket probe(Kel::Socket::local);
        probe.close();
        return true;
    } catch (const Kel::SocketException& e) {
        EXPECT_EQ(e.reason(), 10047);
        return false;
    }
}

} // namespace kel_test
