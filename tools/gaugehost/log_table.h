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
    // The column's index; nothing when the log has no such column.
    std::optional<size_t> column(const std::string& name) const;
};

// Throws std::runtime_error naming the source, the line and what is wrong.
LogTable readLogTable(std::istream& in, const std::string& source);

} // namespace gaugehost
