// SPDX-License-Identifier: MIT
// figures.h
//
// What the benchmark suite measures, as rows of one table: each figure has
// its value, the floor it is compared with (measured in the same run, or a
// count fixed by what the work needs), the ratio of the two and the goal for
// that ratio. The table is printed for a reader and written as JSON.
#pragma once

#include <optional>
#include <ostream>
#include <string>
#include <vector>

namespace bench {

struct Figure {
    std::string group;           // "reader", "request", "report", "count", "process", "image"
    std::string name;            // what was measured
    double value = 0;            // in `unit`
    std::string unit;            // "ns", "ms", "count", "bytes"
    std::optional<double> floor; // the same unit; none: nothing to compare with
    std::string floorName;       // what the floor is
    std::optional<double> goal;  // the largest ratio that meets the goal
    std::string note;            // a text figure (imports) or why a figure is missing

    // value / floor; for counts with a floor of 0, 1 when the value is 0 too.
    std::optional<double> ratio() const;
    // True when there is a goal and the ratio keeps it.
    std::optional<bool> met() const;
};

// The machine the figures were taken on: processor model, cores, load.
struct MachineFacts {
    std::string processor;
    unsigned cores = 0;
    std::string loadAverage;
    std::string date; // UTC, ISO 8601
};
MachineFacts DescribeMachine();

void PrintTable(std::ostream& out, const std::vector<Figure>& figures);
// Writes {"machine": ..., "figures": [...]}; throws std::runtime_error
// naming the file when it cannot be written.
void WriteJson(const std::string& path, const MachineFacts& machine,
               const std::vector<Figure>& figures);

} // namespace bench
