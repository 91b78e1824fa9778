// SPDX-License-Identifier: MIT
// emulated_bench.cpp
//
// Requests to the Windows build's zephr.sys under the CPU emulator against
// the same requests to the host build's driver, on the built-in notebook:
// what running the shipped image costs over running its sources natively.
#include "bench/notebook.h"
#include "bench/timed.h"

#include "common/zephr_ioctl.h"

#include <benchmark/benchmark.h>

#include <filesystem>
#include <string>
#include <vector>

namespace bench {

namespace {

void EmulatedRequest(benchmark::State& state, bool emulated, DWORD code, DWORD inputLength,
                     DWORD outputLength)
{
    if (emulated && !std::filesystem::exists(paths().driverSys)) {
        state.SkipWithError((paths().driverSys + " is not there").c_str());
        return;
    }
    Notebook notebook(BuiltinNotebook(), false, emulated ? paths().driverSys : std::string());
    ZEPHR_REQUEST input = {0, 0};
    std::vector<uint8_t> output(outputLength);
    for (auto _ : state) {
        if (!Request(notebook.device(), code, &input, inputLength, output.data(), outputLength)) {
            state.SkipWithError("the driver refused the request");
            break;
        }
        benchmark::ClobberMemory();
    }
}

} // namespace

void RegisterEmulatedBenchmarks(std::vector<TimedPair>& pairs)
{
    struct Row {
        const char* name;
        DWORD code, inputLength, outputLength;
        std::optional<double> goal;
    };
    const Row rows[] = {
        {"sysinfo", IOCTL_ZEPHR_GET_SYSINFO, 0, ZEPHR_SYSINFO_LENGTH, 20.0},
        {"temperature", IOCTL_ZEPHR_GET_TEMP, 4, 4, std::nullopt},
    };
    for (const Row& row : rows) {
        const std::string subject = std::string("emulated/") + row.name + " zephr.sys";
        const std::string floor = std::string("emulated/") + row.name + " host build";
        benchmark::RegisterBenchmark(subject.c_str(), EmulatedRequest, true, row.code,
                                     row.inputLength, row.outputLength);
        benchmark::RegisterBenchmark(floor.c_str(), EmulatedRequest, false, row.code,
                                     row.inputLength, row.outputLength);
        pairs.push_back({"emulated", subject, floor, "the host build's driver", row.goal});
    }
}

} // namespace bench
