// SPDX-License-Identifier: MIT
// request_bench.cpp
//
// One device request round trip through DeviceIoControl in the host build,
// for each control code, against a request the driver refuses at once with
// the same buffer lengths (the dispatch floor: the I/O manager's buffered
// transfer and the dispatcher's table walk, no work).
#include "bench/notebook.h"
#include "bench/timed.h"

#include "common/zephr_ioctl.h"

#include <benchmark/benchmark.h>

#include <string>
#include <vector>

namespace bench {

namespace {

struct CodeRow {
    const char* name;
    DWORD code;
    DWORD inputLength;
    DWORD outputLength;
    ZEPHR_REQUEST input;
};

// Fan 0 / sensor 0; the set requests keep the built-in notebook's state.
const CodeRow kCodes[] = {
    {"IOCTL_ZEPHR_SET_FAN_STATE", IOCTL_ZEPHR_SET_FAN_STATE, 4, 4, {0, 1}},
    {"IOCTL_ZEPHR_GET_FAN_STATE", IOCTL_ZEPHR_GET_FAN_STATE, 4, 4, {0, 0}},
    {"IOCTL_ZEPHR_GET_FAN_SPEED", IOCTL_ZEPHR_GET_FAN_SPEED, 4, 4, {0, 0}},
    {"IOCTL_ZEPHR_GET_CPU_SPEED", IOCTL_ZEPHR_GET_CPU_SPEED, 0, ZEPHR_CPU_SPEED_LENGTH, {0, 0}},
    {"IOCTL_ZEPHR_DETECT_SUPERIO", IOCTL_ZEPHR_DETECT_SUPERIO, 0, 4, {0, 0}},
    {"IOCTL_ZEPHR_SET_PWM", IOCTL_ZEPHR_SET_PWM, 4, 4, {0, 10}},
    {"IOCTL_ZEPHR_GET_PWM", IOCTL_ZEPHR_GET_PWM, 4, 4, {0, 0}},
    {"IOCTL_ZEPHR_GET_TEMP", IOCTL_ZEPHR_GET_TEMP, 4, 4, {0, 0}},
    {"IOCTL_ZEPHR_GET_VERSION", IOCTL_ZEPHR_GET_VERSION, 0, sizeof(ZEPHR_VERSION_RECORD), {0, 0}},
    {"IOCTL_ZEPHR_GET_SYSINFO", IOCTL_ZEPHR_GET_SYSINFO, 0, ZEPHR_SYSINFO_LENGTH, {0, 0}},
    {"IOCTL_ZEPHR_GET_ACPI_REPORT",
     IOCTL_ZEPHR_GET_ACPI_REPORT,
     0,
     ZEPHR_ACPI_REPORT_LENGTH,
     {0, 0}},
};

// A code of the device's form inside the table's range that no row has.
constexpr DWORD kRefusedCode = ZEPHR_CTL_CODE(0x903);

std::string FloorName(DWORD inputLength, DWORD outputLength)
{
    return "request/refused in " + std::to_string(inputLength) + " out " +
           std::to_string(outputLength);
}

void RoundTrip(benchmark::State& state, DWORD code, DWORD inputLength, DWORD outputLength,
               ZEPHR_REQUEST input, bool refused)
{
    Notebook notebook(BuiltinNotebook());
    std::vector<uint8_t> output(outputLength);
    void* out = output.empty() ? nullptr : output.data();
    const void* in = inputLength ? &input : nullptr;
    if (Request(notebook.device(), code, in, inputLength, out, outputLength) == refused) {
        state.SkipWithError(refused ? "the floor's request was accepted"
                                    : "the driver refused the request");
        return;
    }
    for (auto _ : state) {
        benchmark::DoNotOptimize(
            Request(notebook.device(), code, in, inputLength, out, outputLength));
        benchmark::ClobberMemory();
    }
}

} // namespace

void RegisterRequestBenchmarks(std::vector<TimedPair>& pairs)
{
    std::vector<std::string> floors;
    for (const CodeRow& row : kCodes) {
        const std::string floor = FloorName(row.inputLength, row.outputLength);
        bool known = false;
        for (const auto& f : floors)
            known = known || f == floor;
        if (!known) {
            floors.push_back(floor);
            benchmark::RegisterBenchmark(floor.c_str(), RoundTrip, kRefusedCode, row.inputLength,
                                         row.outputLength, ZEPHR_REQUEST{0, 0}, true);
        }
        const std::string subject = std::string("request/") + row.name;
        benchmark::RegisterBenchmark(subject.c_str(), RoundTrip, row.code, row.inputLength,
                                     row.outputLength, row.input, false);
        pairs.push_back({"request", subject, floor, "refused, same lengths", std::nullopt});
    }
}

} // namespace bench
