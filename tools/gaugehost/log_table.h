// SPDX-License-Identifier: MIT
// log_table.h
//
// A log of gaugehost log read back: its column names and each record's
// fields as texts, from CSV (header line first) or JSON Lines (one flat
// object per line, strings, numbers and null), whichever the file holds.
#pragma once

#include <istream>
#include <optional>
#include <string>
#include <vector>

namespace gaugehost {

struct LogTable {
    std::vector<std::string> columns;
    std::vector<std::vector<std::optional<std::string>>> records; // nothing: null or empty
    // Lines that were cut short (a killed log, a power cut) and left out,
    // each as "source:line: what".
    std::vector<std::string> skipped;
    // The column's index; nothing when the log has no such column.
    std::optional<size_t> column(const std::string& name) const;
};

// A CSV line that repeats the header (a log appended with >>) is passed
// over; a line cut short is left out and named in skipped. Throws
// std::runtime_error naming the source, the line and what is wrong
// otherwise.
LogTable readLogTable(std::istream& in, const std::string& source);

} // namespace gaugehost
