// SPDX-License-Identifier: MIT
// timed.cpp
//
// Runs the registered benchmarks and turns each pair's medians into a
// figure. The repetitions of all benchmarks are interleaved, so a subject
// and its floor see the same load of a shared machine.
#include "bench/timed.h"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <map>

namespace bench {

namespace {

// Shows the runs as the console reporter does and keeps the CPU times.
class CollectingReporter : public benchmark::ConsoleReporter {
  public:
    void ReportRuns(const std::vector<Run>& runs) override
    {
        for (const Run& run : runs) {
            const std::string& name = run.run_name.function_name;
            if (run.error_occurred)
                errors[name] = run.error_message;
            else if (run.run_type == Run::RT_Aggregate && run.aggregate_name == "median")
                medians[name] = run.GetAdjustedCPUTime();
            else if (run.run_type == Run::RT_Iteration)
                samples[name].push_back(run.GetAdjustedCPUTime());
        }
        benchmark::ConsoleReporter::ReportRuns(runs);
    }

    // Nanoseconds per iteration: the median of the repetitions.
    std::optional<double> median(const std::string& name) const
    {
        if (auto m = medians.find(name); m != medians.end())
            return m->second;
        auto s = samples.find(name);
        if (s == samples.end() || s->second.empty())
            return std::nullopt;
        std::vector<double> sorted = s->second;
        std::sort(sorted.begin(), sorted.end());
        size_t n = sorted.size();
        return n % 2 ? sorted[n / 2] : (sorted[n / 2 - 1] + sorted[n / 2]) / 2;
    }

    std::map<std::string, std::string> errors;

  private:
    std::map<std::string, double> medians;
    std::map<std::string, std::vector<double>> samples;
};

} // namespace

std::vector<Figure> RunTimedPairs(const std::vector<TimedPair>& pairs,
                                  const std::vector<std::string>& benchmarkOptions)
{
    std::vector<std::string> words = {"zephr_bench"};
    words.insert(words.end(), benchmarkOptions.begin(), benchmarkOptions.end());
    std::vector<char*> argv;
    for (auto& word : words)
        argv.push_back(word.data());
    int argc = static_cast<int>(argv.size());
    benchmark::Initialize(&argc, argv.data());

    CollectingReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);

    std::vector<Figure> figures;
    for (const TimedPair& pair : pairs) {
        Figure f;
        f.group = pair.group;
        f.name = pair.subject.substr(pair.subject.find('/') + 1);
        f.unit = "ns";
        f.floorName = pair.floorName;
        f.goal = pair.goal;
        auto subject = reporter.median(pair.subject);
        auto floor = reporter.median(pair.floor);
        if (subject)
            f.value = *subject;
        if (floor)
            f.floor = *floor;
        for (const std::string* name : {&pair.subject, &pair.floor}) {
            if (auto e = reporter.errors.find(*name); e != reporter.errors.end())
                f.note += *name + " failed: " + e->second + ". ";
            else if (!reporter.median(*name))
                f.note += *name + " did not run. ";
        }
        if (!subject || !floor) {
            f.unit.clear(); // no figure to show, only the note
            f.floor.reset();
        }
        figures.push_back(f);
    }
    return figures;
}

} // namespace bench
