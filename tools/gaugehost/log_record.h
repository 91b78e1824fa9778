// SPDX-License-Identifier: MIT
// log_record.h
//
// The records of gaugehost log: one per refresh of the readers, with the
// time (ISO 8601, UTC), each reader's text (as the host shows it, control
// bytes escaped) and the value it stands for. Two formats with the same
// columns: CSV with a header line, and JSON Lines with one flat object per
// record. Column names: "time", each reader's export name for its text,
// and the value's key ("cpu_temp_c", "fan1_rpm", "fan1_state" ...).
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace gaugehost {

enum class LogFormat { Csv, JsonLines };

struct LogField {
    std::string name;
    std::optional<std::string> text; // a text column
    std::optional<long> number;      // a value column; nothing: no value
};

// A FILETIME (100 ns ticks since 1601) as "2026-01-01T00:00:00Z", and back
// to seconds since 1601 (nothing when the text is not such a time).
std::string isoTime(uint64_t fileTime);
std::optional<double> isoTimeSeconds(const std::string& text);

// The CSV header line for the fields' names, and one record (each with its
// line break).
std::string csvHeader(const std::vector<LogField>& fields);
std::string csvRecord(const std::vector<LogField>& fields);
std::string jsonRecord(const std::vector<LogField>& fields);

} // namespace gaugehost
