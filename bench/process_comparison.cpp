// SPDX-License-Identifier: MIT
// process_comparison.cpp
//
// What a user would pick instead of zephrctl sysinfo: dmidecode reading the
// same firmware image as its memory device. Both run as whole processes,
// in turn, and are compared by the medians of their CPU times (user and
// system) and of their wall times.
#include "bench/notebook.h"
#include "bench/process_run.h"
#include "bench/sections.h"

#include <nlohmann/json.hpp>

#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <stdexcept>

namespace bench {

namespace {

Figure Compared(const std::string& name, const std::vector<double>& zephrctl,
                const std::vector<double>& dmidecode, std::optional<double> goal)
{
    Figure f;
    f.group = "process";
    f.name = name;
    f.unit = "ms";
    f.value = Median(zephrctl);
    f.floor = Median(dmidecode);
    f.floorName = "dmidecode --dev-mem, same image";
    f.goal = goal;
    return f;
}

} // namespace

std::vector<Figure> ProcessFigures(int runs)
{
    namespace fs = std::filesystem;
    const std::string image = kFixtureImages[0];
    const std::string firstMiB = FixtureFolder(image) + "/memory/00000000.bin";
    if (access(paths().dmidecode.c_str(), X_OK) != 0) {
        Figure f;
        f.group = "process";
        f.name = "zephrctl sysinfo against dmidecode";
        f.note = paths().dmidecode + " is not there (scripts/install-deps installs it)";
        return {f};
    }

    const fs::path folder = fs::temp_directory_path() / ("zephr-bench-" + std::to_string(getpid()));
    fs::create_directories(folder);
    const std::string machineFile = (folder / "notebook.json").string();
    std::ofstream(machineFile)
        << nlohmann::json{{"memory", nlohmann::json::array({FixtureFolder(image)})}}.dump();

    const std::vector<std::string> zephrctl = {paths().zephrctl, "--machine", machineFile,
                                               "sysinfo"};
    const std::vector<std::string> dmidecode = {paths().dmidecode, "--dev-mem", firstMiB};
    const std::string errors = (folder / "stderr.txt").string();
    auto run = [&](const std::vector<std::string>& argv) {
        ProcessCost cost = RunProcess(argv, "/dev/null", errors);
        if (cost.exitStatus != 0)
            throw std::runtime_error(argv[0] + " exited with " + std::to_string(cost.exitStatus) +
                                     " on " + image);
        return cost;
    };

    // zephrctl's own start-up (no notebook, no driver): what any run of the
    // tool costs before it does anything.
    const std::vector<std::string> startup = {paths().zephrctl, "--help"};
    // Any C++ program of this build, before it does anything.
    const std::vector<std::string> cxxStart = {paths().cxxStart};
    const std::vector<std::vector<std::string>> programs = {zephrctl, dmidecode, startup, cxxStart};
    for (const auto& program : programs)
        run(program); // warms the page cache for all of them
    std::vector<std::vector<double>> cpu(programs.size()), wall(programs.size());
    for (int i = 0; i < runs; ++i) {
        // Rotate the order, so none always follows another.
        for (size_t k = 0; k < programs.size(); ++k) {
            const size_t which = (i + k) % programs.size();
            ProcessCost c = run(programs[which]);
            cpu[which].push_back(c.cpuMs);
            wall[which].push_back(c.wallMs);
        }
    }
    fs::remove_all(folder);
    const std::string what = "zephrctl sysinfo, " + image + ", ";
    Figure beyond =
        Compared("zephrctl sysinfo beyond its start-up, CPU", cpu[0], cpu[2], std::nullopt);
    beyond.floorName = "zephrctl --help";
    return {Compared(what + "CPU per process", cpu[0], cpu[1], 1.0),
            Compared(what + "wall time per process", wall[0], wall[1], std::nullopt),
            Compared("zephrctl --help (start-up only), CPU", cpu[2], cpu[1], std::nullopt),
            Compared("the smallest C++ program (cxx_start), CPU", cpu[3], cpu[1], std::nullopt),
            beyond};
}

} // namespace bench
