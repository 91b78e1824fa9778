// SPDX-License-Identifier: MIT
// reader_bench.cpp
//
// A reader call between refreshes against what the throttle allows it: one
// system-time read and one decimal parse of the same period text.
#include "bench/notebook.h"
#include "bench/timed.h"

#include "platform/host-nt/nt_host.h"
#include "platform/host-win32/win32_host.h"

#include <benchmark/benchmark.h>

#include <cstdlib>

namespace bench {

namespace {

// Some day in 2022; the clock stands still there during the loops.
constexpr uint64_t kStillClock = 133000000000000000ull;

void CachedReader(benchmark::State& state)
{
    Notebook notebook(BuiltinNotebook());
    win32::Clock::useSimulated(kStillClock);
    Plugin plugin;
    TemperatureReader read = plugin.temperatureReader("GetCPUTemp");
    void* instance = plugin.startup();
    read(instance, "5", "c", "no"); // the refresh; every later call is cached
    auto& io = nt::IoManager::instance();
    const uint64_t before = io.deviceControlCount();
    for (auto _ : state)
        benchmark::DoNotOptimize(read(instance, "5", "c", "no"));
    if (io.deviceControlCount() != before)
        state.SkipWithError("a call between refreshes sent a device request");
    plugin.shutdown(instance);
    win32::Clock::useReal();
}

void CachedReaderFloor(benchmark::State& state)
{
    win32::Clock::useSimulated(kStillClock);
    const char* period = "5";
    for (auto _ : state) {
        FILETIME now;
        GetSystemTimeAsFileTime(&now);
        benchmark::DoNotOptimize(now);
        benchmark::DoNotOptimize(period);
        benchmark::DoNotOptimize(std::atoi(period));
    }
    win32::Clock::useReal();
}

} // namespace

void RegisterReaderBenchmarks(std::vector<TimedPair>& pairs)
{
    benchmark::RegisterBenchmark("reader/GetCPUTemp between refreshes", CachedReader);
    benchmark::RegisterBenchmark("reader/floor", CachedReaderFloor);
    pairs.push_back({"reader", "reader/GetCPUTemp between refreshes", "reader/floor",
                     "GetSystemTimeAsFileTime + atoi", 1.5});
}

} // namespace bench
