// SPDX-License-Identifier: MIT
// long_runs.cpp
//
// What a program that runs for long costs: gaugehost's log on the simulated
// clock as whole processes, its peak resident memory with the driver against
// the same log without it (what the plug-in and the tool need anyway).
#include "bench/notebook.h"
#include "bench/process_run.h"
#include "bench/sections.h"

#include <unistd.h>

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

Figure LogMemory(const std::filesystem::path& folder, int records, const std::string& errors)
{
    const std::string result = (folder / "peak.txt").string();
    auto log = [&](bool driver) {
        std::vector<std::string> argv = {paths().peakMemory, result, paths().gaugehost, "--plugin",
                                         paths().plugin};
        if (!driver)
            argv.push_back("--no-driver");
        argv.insert(argv.end(), {"log", "--simulated-time", "--count", std::to_string(records),
                                 "--output", "/dev/null"});
        Run(argv, errors);
        double peak = 0;
        if (!(std::ifstream(result) >> peak))
            throw std::runtime_error("no peak memory in " + result);
        return peak;
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

} // namespace

std::vector<Figure> LongRunFigures(bool quick)
{
    namespace fs = std::filesystem;
    const fs::path folder =
        fs::temp_directory_path() / ("zephr-bench-long-" + std::to_string(getpid()));
    fs::create_directories(folder);
    const std::string errors = (folder / "stderr.txt").string();
    const int scale = quick ? 100 : 1;
    std::vector<Figure> figures = {LogMemory(folder, 100000 / scale, errors)};
    fs::remove_all(folder);
    return figures;
}

} // namespace bench
