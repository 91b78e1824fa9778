// process_comparison.cpp
//
// What a user would pick instead of zephrctl sysinfo: dmidecode reading the
// same firmware image as its memory device. Both run as whole processes,
// alternated, and are compared by the medians of their CPU times (user and
// system) and of their wall times.
#include "bench/notebook.h"
#include "bench/process_run.h"
#include "bench/sections.h"

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
    std::ofstream(machineFile) << R"({ "memory": [ ")" << FixtureFolder(image) << R"(" ] })";

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

    run(zephrctl); // warm the page cache for both
    run(dmidecode);
    std::vector<double> zephrctlCpu, dmidecodeCpu, zephrctlWall, dmidecodeWall;
    for (int i = 0; i < runs; ++i) {
        // Alternate which goes first, so neither always follows the other.
        for (int k = 0; k < 2; ++k) {
            if ((i + k) % 2 == 0) {
                ProcessCost c = run(zephrctl);
                zephrctlCpu.push_back(c.cpuMs);
                zephrctlWall.push_back(c.wallMs);
            } else {
                ProcessCost c = run(dmidecode);
                dmidecodeCpu.push_back(c.cpuMs);
                dmidecodeWall.push_back(c.wallMs);
            }
        }
    }
    fs::remove_all(folder);
    const std::string what = "zephrctl sysinfo, " + image + ", ";
    return {Compared(what + "CPU per process", zephrctlCpu, dmidecodeCpu, 1.0),
            Compared(what + "wall time per process", zephrctlWall, dmidecodeWall, std::nullopt)};
}

} // namespace bench
