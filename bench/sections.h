// SPDX-License-Identifier: MIT
// sections.h
//
// The untimed parts of the suite, each giving its rows of the table.
#pragma once

#include "bench/figures.h"

#include <cstdint>
#include <vector>

namespace bench {

// Counts where the count is the cost: SMIs, device requests, mappings and
// allocations, from the simulator's trace and counters.
std::vector<Figure> CountFigures();

// zephrctl sysinfo against dmidecode --dev-mem on the same image, both as
// whole processes, `runs` runs of each in turn (with zephrctl --help and the
// smallest C++ program as start-up floors).
std::vector<Figure> ProcessFigures(int runs);

// gaugehost as a long run makes it: the peak memory of a log of 100,000
// records against the same log without the driver, and of a plot of a log
// of 1,000,000 records against one of 4,000. `quick`: a hundredth of
// the work, only to see that it runs.
std::vector<Figure> LongRunFigures(bool quick);

// zephr.sys: file size, section sizes, imported DLLs.
std::vector<Figure> DriverImageFigures();

// Allocations (malloc, calloc, realloc, operator new) this process made
// while counting was on.
void StartCountingAllocations();
uint64_t StopCountingAllocations();

} // namespace bench
