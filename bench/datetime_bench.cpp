// Writing and reading "YYYY-MM-DD HH:NN:SS" timestamps against the C library's strftime and strptime with
// the matching "%Y-%m-%d %H:%M:%S", in the same run. Compare each Kel figure with the baseline below it.

#include <kel/datetime.h>

#include <benchmark/benchmark.h>

#include <cstring>
#include <ctime>
#include <string>

namespace {

const char* const kelFormat = "YYYY-MM-DD HH:NN:SS";
const char* const cFormat = "%Y-%m-%d %H:%M:%S";
const char* const sample = "2024-12-25 08:00:30";

// The sample as the C library's broken-down time.
std::tm sampleTime() {
    std::tm tm{};
    tm.tm_year = 124;
    tm.tm_mon = 11;
    tm.tm_mday = 25;
    tm.tm_hour = 8;
    tm.tm_sec = 30;
    return tm;
}

void KelFormat(benchmark::State& state) {
    const Kel::Timestamp ts(2024, 12, 25, 8, 0, 30L);
    const Kel::String fmt(kelFormat);
    for (auto _ : state) {
        Kel::String text = ts.format(fmt);
        benchmark::DoNotOptimize(text);
    }
}

// The same with the format given as a literal, which builds a String for it on every call.
void KelFormatFromLiteral(benchmark::State& state) {
    const Kel::Timestamp ts(2024, 12, 25, 8, 0, 30L);
    for (auto _ : state) {
        Kel::String text = ts.format(kelFormat);
        benchmark::DoNotOptimize(text);
    }
}

void StrftimeBaseline(benchmark::State& state) {
    const std::tm tm = sampleTime();
    for (auto _ : state) {
        char buffer[64];
        benchmark::DoNotOptimize(std::strftime(buffer, sizeof buffer, cFormat, &tm));
        benchmark::DoNotOptimize(buffer);
    }
}

// Not the comparison the table makes, which sets Kel's owned String against strftime into a stack buffer:
// the same strftime with the text handed back as a std::string, as a caller that keeps the text needs it
// (19 characters do not fit the short-string buffer, so this allocates as Kel does).
void StrftimeToStdString(benchmark::State& state) {
    const std::tm tm = sampleTime();
    for (auto _ : state) {
        char buffer[64];
        const std::size_t length = std::strftime(buffer, sizeof buffer, cFormat, &tm);
        std::string text(buffer, length);
        benchmark::DoNotOptimize(text);
    }
}

void KelParse(benchmark::State& state) {
    const Kel::String value(sample);
    const Kel::String fmt(kelFormat);
    for (auto _ : state) {
        Kel::Timestamp ts(value, fmt);
        benchmark::DoNotOptimize(ts);
    }
}

void StrptimeBaseline(benchmark::State& state) {
    for (auto _ : state) {
        std::tm tm{};
        benchmark::DoNotOptimize(strptime(sample, cFormat, &tm));
        benchmark::DoNotOptimize(tm);
    }
}

} // namespace

BENCHMARK(KelFormat);
BENCHMARK(KelFormatFromLiteral);
BENCHMARK(StrftimeBaseline);
BENCHMARK(StrftimeToStdString);
BENCHMARK(KelParse);
BENCHMARK(StrptimeBaseline);

BENCHMARK_MAIN();
