// SPDX-License-Identifier: MIT
// report_bench.cpp
//
// The two text reports per request on each firmware fixture, against a
// refused request with the same buffer lengths; and the plug-in's load
// (process attach: open the device, read the report, choose the profile)
// against the floor of that work done by hand: load a library that does
// nothing, open, one report, close.
#include "bench/notebook.h"
#include "bench/timed.h"

#include "common/zephr_ioctl.h"

#include <benchmark/benchmark.h>

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <string>
#include <vector>

namespace bench {

namespace {

void Report(benchmark::State& state, std::string image, DWORD code, DWORD outputLength)
{
    Notebook notebook(FixtureNotebook(image));
    std::vector<uint8_t> output(outputLength);
    for (auto _ : state) {
        if (!Request(notebook.device(), code, nullptr, 0, output.data(), outputLength)) {
            state.SkipWithError("the driver refused the report request");
            break;
        }
        benchmark::ClobberMemory();
    }
}

void PluginAttach(benchmark::State& state)
{
    Notebook notebook(FixtureNotebook(kFixtureImages[0]));
    for (auto _ : state)
        Plugin plugin; // LoadLibraryA runs DllMain's attach, FreeLibrary its detach
}

// The cheapest correct way to do the attach's work: a library must be loaded
// to run at all (here one that does nothing when it loads), and the model
// takes the device opened, one report read, the device closed.
void PluginAttachFloor(benchmark::State& state)
{
    Notebook notebook(FixtureNotebook(kFixtureImages[0]));
    std::vector<uint8_t> report(ZEPHR_SYSINFO_LENGTH);
    for (auto _ : state) {
        HMODULE library = LoadLibraryA(paths().emptyLibrary.c_str());
        if (library == nullptr) {
            state.SkipWithError("cannot load the empty library");
            return;
        }
        HANDLE device = CreateFileA(ZEPHR_USER_PATH, GENERIC_WRITE, FILE_SHARE_WRITE, nullptr,
                                    OPEN_EXISTING, 0, nullptr);
        Request(device, IOCTL_ZEPHR_GET_SYSINFO, nullptr, 0, report.data(), ZEPHR_SYSINFO_LENGTH);
        CloseHandle(device);
        FreeLibrary(library);
        benchmark::ClobberMemory();
    }
}

// Loading a fixture image into a simulated notebook's memory, against
// mapping its range files (the floor below).
void ImageLoad(benchmark::State& state, std::string image)
{
    for (auto _ : state) {
        sim::PhysicalMemory memory;
        memory.loadImageFolder(FixtureFolder(image));
        benchmark::DoNotOptimize(memory);
    }
}

// The cheapest correct way to make a folder of range files a machine's
// memory: list the folder and map each file read-only, as the loader does
// (reading them would copy pages the driver never looks at).
void ImageLoadFloor(benchmark::State& state, std::string image)
{
    for (auto _ : state) {
        for (const auto& entry :
             std::filesystem::directory_iterator(FixtureFolder(image) + "/memory")) {
            const int fd = ::open(entry.path().c_str(), O_RDONLY | O_CLOEXEC);
            struct stat facts {};
            void* mapped = MAP_FAILED;
            if (fd >= 0 && ::fstat(fd, &facts) == 0 && facts.st_size > 0)
                mapped = ::mmap(nullptr, size_t(facts.st_size), PROT_READ, MAP_PRIVATE, fd, 0);
            if (fd >= 0)
                ::close(fd);
            if (mapped == MAP_FAILED) {
                state.SkipWithError("cannot map a range file");
                return;
            }
            benchmark::DoNotOptimize(mapped);
            ::munmap(mapped, size_t(facts.st_size));
        }
    }
}

} // namespace

void RegisterReportBenchmarks(std::vector<TimedPair>& pairs)
{
    struct Kind {
        const char* name;
        DWORD code;
        DWORD length;
        std::optional<double> goal;
    };
    const Kind kinds[] = {{"sysinfo", IOCTL_ZEPHR_GET_SYSINFO, ZEPHR_SYSINFO_LENGTH, std::nullopt},
                          {"acpi", IOCTL_ZEPHR_GET_ACPI_REPORT, ZEPHR_ACPI_REPORT_LENGTH, 50.0}};
    for (const Kind& kind : kinds) {
        for (const char* image : kFixtureImages) {
            const std::string subject = std::string("report/") + kind.name + " " + image;
            benchmark::RegisterBenchmark(subject.c_str(), Report, std::string(image), kind.code,
                                         kind.length);
            pairs.push_back({"report", subject,
                             "request/refused in 0 out " + std::to_string(kind.length),
                             "refused, same lengths", kind.goal});
        }
    }
    for (const char* image : kFixtureImages) {
        const std::string subject = std::string("image load/") + image;
        const std::string floor = std::string("image load/floor ") + image;
        benchmark::RegisterBenchmark(subject.c_str(), ImageLoad, std::string(image));
        benchmark::RegisterBenchmark(floor.c_str(), ImageLoadFloor, std::string(image));
        pairs.push_back({"image load", subject, floor, "map each file", 1.5});
    }
    benchmark::RegisterBenchmark("plugin/attach", PluginAttach);
    benchmark::RegisterBenchmark("plugin/attach floor", PluginAttachFloor);
    pairs.push_back({"plugin", "plugin/attach", "plugin/attach floor",
                     "load a library, open, one report, close", 10.0});
}

} // namespace bench
