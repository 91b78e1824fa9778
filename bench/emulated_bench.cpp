// SPDX-License-Identifier: MIT
// emulated_bench.cpp
//
// Requests to the Windows builds' zephr.sys (i386 and x64) under the CPU
// emulator against the same requests to the host build's driver, on the
// built-in notebook: what running the shipped image costs over running its
// sources natively.
#include "bench/notebook.h"
#include "bench/timed.h"

#include "common/zephr_ioctl.h"

#include <benchmark/benchmark.h>

#include <filesystem>
#include <string>
#include <vector>

namespace bench {

namespace {

// image: the zephr.sys to emulate, or empty for the host build's driver.
void EmulatedRequest(benchmark::State& state, const std::string& image, DWORD code,
                     DWORD inputLength, DWORD outputLength)
{
    if (!image.empty() && !std::filesystem::exists(image)) {
        state.SkipWithError((image + " is not there").c_str());
        return;
    }
    Notebook notebook(BuiltinNotebook(), false, image);
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
    const std::pair<const char*, std::string> images[] = {{"zephr.sys", paths().driverSys},
                                                          {"x64 zephr.sys", paths().driverSys64}};
    for (const Row& row : rows) {
        const std::string floor = std::string("emulated/") + row.name + " host build";
        benchmark::RegisterBenchmark(floor.c_str(), EmulatedRequest, std::string(), row.code,
                                     row.inputLength, row.outputLength);
        for (const auto& [imageName, image] : images) {
            const std::string subject = std::string("emulated/") + row.name + " " + imageName;
            benchmark::RegisterBenchmark(subject.c_str(), EmulatedRequest, image, row.code,
                                         row.inputLength, row.outputLength);
            pairs.push_back({"emulated", subject, floor, "the host build's driver", row.goal});
        }
    }
}

} // namespace bench
