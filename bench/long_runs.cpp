// SPDX-License-Identifier: MIT
// long_runs.cpp
//
// What a program that runs for long costs: gaugehost's log on the simulated
// clock as whole processes, its peak resident memory with the driver against
// the same log without it (what the plug-in and the tool need anyway); and
// gaugehost's script with the same reader calls spread over many instances
// against a few, by CPU time, so that finding an instance by its name is
// seen to cost the same however many there are; and gaugehost's plot of a
// million records against one of a few thousand, by peak memory.
#include "bench/notebook.h"
#include "bench/process_run.h"
#include "bench/sections.h"
#include "tools/gaugehost/chart/chart_buckets.h"

#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <stdexcept>

namespace bench {

namespace {

ProcessCost Run(const std::vector<std::string>& argv, const std::string& errors)
{
    ProcessCost cost = RunProcess(argv, "/dev/null", errors);
    if (cost.exitStatus != 0)
        throw std::runtime_error("gaugehost exited with " + std::to_string(cost.exitStatus) +
                                 " (its errors in " + errors + ")");
    return cost;
}

// The peak memory of one run of the program in argv, which peak_memory
// writes to result.
double PeakOf(std::vector<std::string> argv, const std::string& result, const std::string& errors)
{
    argv.insert(argv.begin(), {paths().peakMemory, result});
    Run(argv, errors);
    double peak = 0;
    if (!(std::ifstream(result) >> peak))
        throw std::runtime_error("no peak memory in " + result);
    return peak;
}

Figure LogMemory(const std::filesystem::path& folder, int records, const std::string& errors)
{
    const std::string result = (folder / "peak.txt").string();
    auto log = [&](bool driver) {
        std::vector<std::string> argv = {paths().gaugehost, "--plugin", paths().plugin};
        if (!driver)
            argv.push_back("--no-driver");
        argv.insert(argv.end(), {"log", "--simulated-time", "--count", std::to_string(records),
                                 "--output", "/dev/null"});
        return PeakOf(argv, result, errors);
    };
    Figure f;
    f.group = "memory";
    f.name = "gaugehost log --simulated-time, " + std::to_string(records) + " records, peak";
    f.unit = "KiB";
    f.value = log(true);
    f.floor = log(false);
    f.floorName = "the same log with --no-driver";
    f.goal = 1.2;
    return f;
}

// A CSV log of `records` records a second apart (from 2026-01-01, at most
// 31 days), each the record of a one-record log of the simulated notebook
// with its own time.
std::string WriteLog(const std::filesystem::path& folder, int records, const std::string& errors)
{
    const std::string seed = (folder / "seed.csv").string();
    Run({paths().gaugehost, "--plugin", paths().plugin, "log", "--simulated-time", "--count", "1",
         "--output", seed},
        errors);
    std::ifstream in(seed);
    std::string header, record;
    std::getline(in, header);
    std::getline(in, record);
    const std::string fields = record.substr(record.find(','));
    const auto path = folder / ("plot-" + std::to_string(records) + ".csv");
    std::ofstream log(path);
    log << header << "\n";
    for (int i = 0; i < records; ++i) {
        char time[32];
        std::snprintf(time, sizeof time, "2026-01-%02dT%02d:%02d:%02dZ", 1 + i / 86400,
                      i / 3600 % 24, i / 60 % 60, i % 60);
        log << time << fields << "\n";
    }
    return path.string();
}

// gaugehost plot of a long log against a log of twice as many records as
// the chart has buckets (so its chart is as large): the chart's buckets,
// not the log, bound its memory.
Figure PlotMemory(const std::filesystem::path& folder, int records, const std::string& errors)
{
    const std::string result = (folder / "peak.txt").string();
    const std::string chart = (folder / "plot.svg").string();
    auto plot = [&](int count) {
        return PeakOf(
            {paths().gaugehost, "plot", WriteLog(folder, count, errors), "--output", chart}, result,
            errors);
    };
    Figure f;
    f.group = "memory";
    f.name = "gaugehost plot, " + std::to_string(records) + " records, peak";
    f.unit = "KiB";
    f.value = plot(records);
    const int full = int(2 * gaugehost::ChartBuckets::kMaxBuckets);
    f.floor = plot(full);
    f.floorName = "a log of " + std::to_string(full) + " records";
    f.goal = 1.2;
    return f;
}

// A script that makes `instances` instances of one reader and calls them
// in turn, `calls` calls in all.
std::string WriteScript(const std::filesystem::path& folder, int instances, int calls)
{
    const auto path = folder / ("script-" + std::to_string(instances) + ".txt");
    std::ofstream script(path);
    for (int i = 0; i < instances; ++i)
        script << "create cpu" << i << " GetCPUTemp\n";
    for (int i = 0; i < calls; ++i)
        script << "call cpu" << i % instances << " 5\n";
    return path.string();
}

Figure ScriptInstances(const std::filesystem::path& folder, int calls, int runs,
                       const std::string& errors)
{
    const int many = 10000, few = 8;
    const std::vector<std::string> manyRun = {paths().gaugehost, "--plugin", paths().plugin,
                                              "script", WriteScript(folder, many, calls)};
    const std::vector<std::string> fewRun = {paths().gaugehost, "--plugin", paths().plugin,
                                             "script", WriteScript(folder, few, calls)};
    std::vector<double> manyCpu, fewCpu;
    for (int i = 0; i < runs; ++i) {
        // Alternate the order, so neither always follows the other.
        const bool manyFirst = i % 2 == 0;
        (manyFirst ? manyCpu : fewCpu).push_back(Run(manyFirst ? manyRun : fewRun, errors).cpuMs);
        (manyFirst ? fewCpu : manyCpu).push_back(Run(manyFirst ? fewRun : manyRun, errors).cpuMs);
    }
    Figure f;
    f.group = "process";
    f.name = "gaugehost script, " + std::to_string(calls) + " calls over " + std::to_string(many) +
             " instances, CPU";
    f.unit = "ms";
    f.value = Median(manyCpu);
    f.floor = Median(fewCpu);
    f.floorName = "the same calls over " + std::to_string(few) + " instances";
    f.goal = 2.0;
    return f;
}

} // namespace

std::vector<Figure> LongRunFigures(bool quick)
{
    namespace fs = std::filesystem;
    const fs::path folder =
        fs::temp_directory_path() / ("zephr-bench-long-" + std::to_string(getpid()));
    fs::create_directories(folder);
    const std::string errors = (folder / "stderr.txt").string();
    const int scale = quick ? 100 : 1;
    std::vector<Figure> figures = {LogMemory(folder, 100000 / scale, errors),
                                   PlotMemory(folder, 1000000 / scale, errors),
                                   ScriptInstances(folder, 200000 / scale, quick ? 1 : 5, errors)};
    fs::remove_all(folder);
    return figures;
}

} // namespace bench
