// SPDX-License-Identifier: MIT
// main.cpp
//
// zephr_bench: the benchmark suite. Runs the timed pairs (Google Benchmark),
// the counts, the whole-process comparison with dmidecode and the figures
// of zephr.sys, prints one table with every figure's ratio to its floor and
// writes the table as JSON.
#include "bench/notebook.h"
#include "bench/sections.h"
#include "bench/timed.h"

#include <cstdlib>
#include <exception>
#include <iostream>
#include <string>
#include <vector>

namespace {

void PrintHelp()
{
    std::cout << "usage: zephr_bench [OPTIONS] [--benchmark_...]\n"
                 "\n"
                 "Measures zephr and Gaugelet against their floors and prints a table of the\n"
                 "figures with their ratios. Timed figures are medians of interleaved\n"
                 "repetitions; counts come from the simulated notebook.\n"
                 "\n"
                 "Options:\n"
                 "  --results FILE     write the figures as JSON (default: none)\n"
                 "  --quick            one iteration of each benchmark, one process run\n"
                 "  --runs N           alternated runs of each process (default 21)\n"
                 "  --fixtures DIR     the fixtures folder (holding firmware/)\n"
                 "  --plugin FILE      libGaugelet.so\n"
                 "  --zephrctl FILE    zephrctl of the host build\n"
                 "  --gaugehost FILE   gaugehost of the host build\n"
                 "  --dmidecode FILE   dmidecode (default /usr/sbin/dmidecode)\n"
                 "  --driver-sys FILE  zephr.sys of the Windows build\n"
                 "  --driver-sys-x64 FILE\n"
                 "                     zephr.sys of the x64 Windows build\n"
                 "  --help             show this help\n"
                 "Options beginning --benchmark_ go to Google Benchmark (such as\n"
                 "--benchmark_filter=REGEX, --benchmark_out=FILE).\n"
                 "\n"
                 "Exit status: 0 every figure measured (goals missed included), 1 a\n"
                 "measurement failed, 2 wrong command line.\n";
}

int UsageError(const std::string& message)
{
    std::cerr << "zephr_bench: " << message << "\n"
              << "Try 'zephr_bench --help' for more information.\n";
    return 2;
}

} // namespace

int main(int argc, char** argv)
{
    bench::Paths& paths = bench::paths();
    paths.fixtures = ZEPHR_FIXTURES_DIR;
    paths.plugin = ZEPHR_PLUGIN_PATH;
    paths.zephrctl = ZEPHR_ZEPHRCTL_PATH;
    paths.gaugehost = ZEPHR_GAUGEHOST_PATH;
    paths.dmidecode = "/usr/sbin/dmidecode";
    paths.driverSys = ZEPHR_DRIVER_SYS_PATH;
    paths.driverSys64 = ZEPHR_DRIVER_SYS_X64_PATH;
    paths.cxxStart = ZEPHR_CXX_START_PATH;
    paths.peakMemory = ZEPHR_PEAK_MEMORY_PATH;
    paths.emptyLibrary = ZEPHR_EMPTY_LIBRARY_PATH;
    std::string results;
    bool quick = false;
    int runs = 21;
    std::vector<std::string> benchmarkOptions;

    for (int i = 1; i < argc; ++i) {
        const std::string option = argv[i];
        auto value = [&](std::string& into) {
            if (i + 1 == argc)
                return false;
            into = argv[++i];
            return true;
        };
        std::string runsText;
        if (option == "--help") {
            PrintHelp();
            return 0;
        } else if (option == "--quick") {
            quick = true;
        } else if (option.rfind("--benchmark_", 0) == 0) {
            benchmarkOptions.push_back(option);
        } else if ((option == "--results" && value(results)) ||
                   (option == "--fixtures" && value(paths.fixtures)) ||
                   (option == "--plugin" && value(paths.plugin)) ||
                   (option == "--zephrctl" && value(paths.zephrctl)) ||
                   (option == "--gaugehost" && value(paths.gaugehost)) ||
                   (option == "--dmidecode" && value(paths.dmidecode)) ||
                   (option == "--driver-sys" && value(paths.driverSys)) ||
                   (option == "--driver-sys-x64" && value(paths.driverSys64))) {
        } else if (option == "--runs" && value(runsText)) {
            char* end = nullptr;
            long n = std::strtol(runsText.c_str(), &end, 10);
            if (*end != 0 || n < 1 || n > 1000)
                return UsageError("--runs needs a number from 1 to 1000, not '" + runsText + "'");
            runs = static_cast<int>(n);
        } else if (option == "--results" || option == "--fixtures" || option == "--plugin" ||
                   option == "--zephrctl" || option == "--gaugehost" || option == "--dmidecode" ||
                   option == "--driver-sys" || option == "--runs") {
            return UsageError(option + " needs a value");
        } else {
            return UsageError("unknown option '" + option + "'");
        }
    }

    // Repetitions interleaved across benchmarks, compared by their medians.
    std::vector<std::string> defaults =
        quick ? std::vector<std::string>{"--benchmark_repetitions=1", "--benchmark_min_time=1e-9"}
              : std::vector<std::string>{
                    "--benchmark_repetitions=9", "--benchmark_enable_random_interleaving=true",
                    "--benchmark_display_aggregates_only=true", "--benchmark_min_time=0.05"};
    if (quick)
        runs = 1;
    defaults.insert(defaults.end(), benchmarkOptions.begin(), benchmarkOptions.end());

    try {
        const bench::MachineFacts machine = bench::DescribeMachine();
        std::vector<bench::TimedPair> pairs;
        bench::RegisterReaderBenchmarks(pairs);
        bench::RegisterRequestBenchmarks(pairs);
        bench::RegisterReportBenchmarks(pairs);
        bench::RegisterEmulatedBenchmarks(pairs);
        std::vector<bench::Figure> figures = bench::RunTimedPairs(pairs, defaults);
        for (auto part : {bench::CountFigures(), bench::ProcessFigures(runs),
                          bench::LongRunFigures(quick), bench::DriverImageFigures()})
            figures.insert(figures.end(), part.begin(), part.end());

        std::cout << "\nzephr benchmarks on " << machine.processor << ", " << machine.cores
                  << " cores, load " << machine.loadAverage << ", " << machine.date << "\n";
        bench::PrintTable(std::cout, figures);
        if (!results.empty()) {
            bench::WriteJson(results, machine, figures);
            std::cout << "results written to " << results << "\n";
        }
        // A filter leaves benchmarks out on purpose; a failure is one anyway.
        bool filtered = false;
        for (const auto& option : benchmarkOptions)
            filtered = filtered || option.rfind("--benchmark_filter", 0) == 0;
        for (const auto& f : figures)
            if (f.note.find(" failed: ") != std::string::npos ||
                (!filtered && f.note.find(" did not run") != std::string::npos))
                return 1;
        return 0;
    } catch (const std::exception& e) {
        std::cerr << "zephr_bench: " << e.what() << "\n";
        return 1;
    }
}
