#ifndef KEL_BENCH_RATIO_REPORT_H
#define KEL_BENCH_RATIO_REPORT_H

// A console reporter that also prints, at the end of the run, the time ratios of chosen pairs of
// benchmarks measured in that same run, by real time and by CPU time (the steadier of the two on a busy
// machine), or the ratios of their counters ("name@counter"). With repetitions it compares medians.

#include <benchmark/benchmark.h>

#include <cstdio>
#include <map>
#include <string>
#include <utility>
#include <vector>

namespace kel_bench {

class RatioReporter : public benchmark::ConsoleReporter {
public:
    // Prints "name / baseline" with the time of name divided by the time of baseline, scaled by factor
    // (to compare per-operation times of runs doing different amounts of work).
    void compare(std::string name, std::string baseline, double factor = 1.0) {
        _pairs.push_back({std::move(name), std::move(baseline), factor});
    }

    void ReportRuns(const std::vector<Run>& runs) override {
        ConsoleReporter::ReportRuns(runs);
        for (const Run& r : runs) {
            const bool median = r.run_type == Run::RT_Aggregate && r.aggregate_name == "median";
            if (median || (r.run_type == Run::RT_Iteration && !_medians.count(r.run_name.str()))) {
                _times[r.run_name.str()] = {r.GetAdjustedRealTime(), r.GetAdjustedCPUTime()};
                // A counter, named "benchmark@counter", stands for both times.
                for (const auto& counter : r.counters) {
                    const double value = counter.second.value;
                    _times[r.run_name.str() + "@" + counter.first] = {value, value};
                }
            }
            if (median) {
                _medians[r.run_name.str()] = true;
            }
        }
    }

    void Finalize() override {
        ConsoleReporter::Finalize();
        std::FILE* out = stdout;
        std::fprintf(out, "\nRatios in this run (%s):\n", _medians.empty() ? "single runs" : "medians");
        for (const Pair& p : _pairs) {
            auto a = _times.find(p.name), b = _times.find(p.baseline);
            if (a != _times.end() && b != _times.end() && b->second.first > 0 && b->second.second > 0) {
                std::fprintf(out, "  %-32s / %-32s = %.2f (cpu %.2f)\n", p.name.c_str(), p.baseline.c_str(),
                             a->second.first / b->second.first * p.factor,
                             a->second.second / b->second.second * p.factor);
            }
        }
        std::fflush(out);
    }

private:
    struct Pair {
        std::string name, baseline;
        double factor;
    };
    std::vector<Pair> _pairs;
    std::map<std::string, std::pair<double, double>> _times; // real, cpu
    std::map<std::string, bool> _medians;
};

} // namespace kel_bench

#endif
