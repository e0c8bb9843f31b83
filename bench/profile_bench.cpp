// Profile files: loading, looking up and saving entries spread over sections, against a plain
// standard-library reader and writer of the same files in the same run. Arguments: entries,
// sections. Loading and saving cost the same per entry at every size when they are linear in
// the size of the file; the many-sections case (one entry per section) checks that section
// look-ups while loading do not grow with the number of sections.
//
//   bench_profile --benchmark_repetitions=5 --benchmark_report_aggregates_only=true

#include <kel/profile.h>

#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <unordered_map>
#include <utility>
#include <vector>

#ifdef _WIN32
#include <io.h>
#else
#include <unistd.h>
#endif

namespace fs = std::filesystem;
using Kel::Profile;

namespace {

void setVariable(const char* name, const std::string& value) {
#ifdef _WIN32
    _putenv_s(name, value.c_str());
#else
    setenv(name, value.c_str(), 1);
#endif
}

// A temporary home directory holding the generated files, removed at exit.
class Home {
public:
    Home()
        : _path(fs::temp_directory_path() / ("kel-profile-bench-" + std::to_string(std::random_device()()))) {
        fs::create_directory(_path);
        setVariable("HOME", _path.string());
        setVariable("HOMEPATH", _path.string());
    }
    ~Home() {
        std::error_code ignored;
        fs::remove_all(_path, ignored);
    }
    const fs::path& path() const { return _path; }

private:
    fs::path _path;
};

const Home& home() {
    static Home instance;
    return instance;
}

std::string sectionName(long s) {
    return "section" + std::to_string(s);
}
std::string keyName(long e) {
    return "key" + std::to_string(e);
}

// The file name for a profile of `entries` entries over `sections` sections, written once.
std::string profileFile(long entries, long sections) {
    const std::string name = "bench-" + std::to_string(entries) + "-" + std::to_string(sections) + ".ini";
    const fs::path path = home().path() / name;
    if (!fs::exists(path)) {
        std::ofstream out(path, std::ios::binary);
        const long perSection = entries / sections;
        for (long s = 0; s < sections; ++s) {
            out << '[' << sectionName(s) << "]\n";
            for (long e = 0; e < perSection; ++e) {
                out << keyName(e) << "=value of entry " << e << " in section " << s << '\n';
            }
        }
    }
    return name;
}

// The baseline: the same file read with getline into standard containers, in file order, with
// a hash table for the first section of each name and the first entry of each key.
struct Baseline {
    struct Section {
        std::string name;
        std::vector<std::pair<std::string, std::string>> entries;
        std::unordered_map<std::string, std::size_t> firstEntry;
    };
    std::vector<Section> sections;
    std::unordered_map<std::string, std::size_t> firstSection;

    explicit Baseline(const fs::path& path) {
        std::ifstream in(path, std::ios::binary);
        Section* current = nullptr;
        for (std::string line; std::getline(in, line);) {
            while (!line.empty() && line.back() == '\r') {
                line.pop_back();
            }
            if (!line.empty() && line[0] == '[') {
                std::string name = line.substr(1, line.find(']') - 1);
                auto found = firstSection.emplace(name, sections.size());
                if (found.second) {
                    sections.push_back(Section{name, {}, {}});
                }
                current = &sections[found.first->second];
            } else if (current != nullptr) {
                std::size_t equals = line.find('=');
                if (equals == std::string::npos) {
                    continue;
                }
                current->firstEntry.emplace(line.substr(0, equals), current->entries.size());
                current->entries.emplace_back(line.substr(0, equals), line.substr(equals + 1));
            }
        }
    }

    const char* lookup(const std::string& section, const std::string& key) const {
        auto s = firstSection.find(section);
        if (s == firstSection.end()) {
            return nullptr;
        }
        const Section& found = sections[s->second];
        auto e = found.firstEntry.find(key);
        return e == found.firstEntry.end() ? nullptr : found.entries[e->second].second.c_str();
    }

    // Written as the profile writes: to a temporary file, flushed to disk, renamed over.
    bool save(const fs::path& path) const {
        std::string text;
        for (const Section& section : sections) {
            text += '[' + section.name + "]\n";
            for (const auto& entry : section.entries) {
                text += entry.first + '=' + entry.second + '\n';
            }
        }
        const std::string temporary = path.string() + ".baseline";
        std::FILE* file = std::fopen(temporary.c_str(), "wb");
        if (file == nullptr) {
            return false;
        }
        bool ok = std::fwrite(text.data(), 1, text.size(), file) == text.size() && std::fflush(file) == 0;
#ifdef _WIN32
        ok = ok && _commit(_fileno(file)) == 0;
#else
        ok = ok && ::fsync(fileno(file)) == 0;
#endif
        ok = std::fclose(file) == 0 && ok;
        std::error_code error;
        fs::rename(temporary, path, error);
        return ok && !error;
    }
};

// 100,000 look-ups of existing keys in random order.
std::vector<std::pair<std::string, std::string>> lookups(long entries, long sections) {
    std::mt19937 random(42);
    std::vector<std::pair<std::string, std::string>> keys;
    keys.reserve(100000);
    for (int i = 0; i < 100000; ++i) {
        keys.emplace_back(sectionName(static_cast<long>(random() % sections)),
                          keyName(static_cast<long>(random() % (entries / sections))));
    }
    return keys;
}

void setBytes(benchmark::State& state, const std::string& name) {
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) *
                            static_cast<int64_t>(fs::file_size(home().path() / name)));
    state.SetComplexityN(state.range(0));
}

void BM_Load_Kel(benchmark::State& state) {
    const std::string name = profileFile(state.range(0), state.range(1));
    for (auto _ : state) {
        Profile* profile = new Profile(name.c_str(), nullptr);
        benchmark::DoNotOptimize(profile->profileFound());
        state.PauseTiming();
        delete profile;
        state.ResumeTiming();
    }
    setBytes(state, name);
}

void BM_Load_Baseline(benchmark::State& state) {
    const std::string name = profileFile(state.range(0), state.range(1));
    for (auto _ : state) {
        Baseline baseline(home().path() / name);
        benchmark::DoNotOptimize(baseline.sections.data());
    }
    setBytes(state, name);
}

void BM_Lookup_Kel(benchmark::State& state) {
    const std::string name = profileFile(state.range(0), state.range(1));
    const auto keys = lookups(state.range(0), state.range(1));
    Profile profile(name.c_str(), nullptr);
    for (auto _ : state) {
        for (const auto& key : keys) {
            benchmark::DoNotOptimize(
                profile.getProfileString(key.first.c_str(), key.second.c_str(), nullptr));
        }
    }
}

void BM_Lookup_Baseline(benchmark::State& state) {
    const std::string name = profileFile(state.range(0), state.range(1));
    const auto keys = lookups(state.range(0), state.range(1));
    Baseline baseline(home().path() / name);
    for (auto _ : state) {
        for (const auto& key : keys) {
            benchmark::DoNotOptimize(baseline.lookup(key.first, key.second));
        }
    }
}

// Destruction: composing the text, writing it beside the file, renaming it over, releasing. One
// value changes each time, since a profile that was only read leaves its file alone.
void BM_Save_Kel(benchmark::State& state) {
    const std::string name = profileFile(state.range(0), state.range(1));
    long round = 0;
    for (auto _ : state) {
        state.PauseTiming();
        Profile* profile = new Profile(name.c_str(), nullptr);
        profile->writeProfileLong(sectionName(0).c_str(), keyName(0).c_str(), ++round);
        state.ResumeTiming();
        delete profile;
    }
    setBytes(state, name);
}

void BM_Save_Baseline(benchmark::State& state) {
    const std::string name = profileFile(state.range(0), state.range(1));
    const fs::path path = home().path() / name;
    for (auto _ : state) {
        state.PauseTiming();
        Baseline* baseline = new Baseline(path);
        state.ResumeTiming();
        benchmark::DoNotOptimize(baseline->save(path));
        delete baseline;
    }
    setBytes(state, name);
}

void sizes(benchmark::internal::Benchmark* b) {
    b->Args({20000, 200})->Args({100000, 1000})->Args({500000, 5000})->Unit(benchmark::kMillisecond);
    b->UseRealTime()->Complexity(benchmark::oN);
}

void manySections(benchmark::internal::Benchmark* b) {
    b->Args({100000, 100000})->Unit(benchmark::kMillisecond)->UseRealTime();
}

} // namespace

BENCHMARK(BM_Load_Kel)->Apply(sizes);
BENCHMARK(BM_Load_Baseline)->Apply(sizes);
BENCHMARK(BM_Load_Kel)->Apply(manySections);
BENCHMARK(BM_Load_Baseline)->Apply(manySections);
BENCHMARK(BM_Lookup_Kel)->Args({100000, 1000})->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Lookup_Baseline)->Args({100000, 1000})->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Save_Kel)->Apply(sizes);
BENCHMARK(BM_Save_Baseline)->Apply(sizes);

BENCHMARK_MAIN();
