// SPDX-License-Identifier: MIT
// timed.h
//
// The timed figures: Google Benchmark benchmarks registered in pairs, a
// subject and its floor, run in one process with their repetitions
// interleaved, and compared by the medians of their CPU times.
#pragma once

#include "bench/figures.h"

#include <optional>
#include <string>
#include <vector>

namespace bench {

// One subject and the floor it is compared with, both registered benchmarks.
struct TimedPair {
    std::string group;     // figure group
    std::string subject;   // benchmark name of the subject
    std::string floor;     // benchmark name of its floor
    std::string floorName; // what the floor is, for the table
    std::optional<double> goal;
};

// Each registers its benchmarks and adds its pairs.
void RegisterReaderBenchmarks(std::vector<TimedPair>& pairs);
void RegisterRequestBenchmarks(std::vector<TimedPair>& pairs);
void RegisterReportBenchmarks(std::vector<TimedPair>& pairs);
void RegisterEmulatedBenchmarks(std::vector<TimedPair>& pairs);

// Runs every registered benchmark with the Google Benchmark options given
// (repetitions, interleaving, minimum time, --benchmark_out) and gives one
// figure per pair: the subject's median CPU time per iteration against the
// floor's. A benchmark that failed gives a figure with a note saying why.
std::vector<Figure> RunTimedPairs(const std::vector<TimedPair>& pairs,
                                  const std::vector<std::string>& benchmarkOptions);

} // namespace bench
