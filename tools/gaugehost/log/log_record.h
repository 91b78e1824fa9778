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

// When each record of a log is due: on a fixed grid from the first record
// (first + k * period, FILETIME ticks), so the time the reads and the
// writing take does not add up from record to record. A record found late
// by less than a period is written late; whole periods that went by (the
// computer slept, the clock jumped) are skipped and counted.
class RecordSchedule {
  public:
    RecordSchedule(uint64_t first, uint64_t period) : first_(first), period_(period) {}
    struct Next {
        uint64_t due;    // wait until then; at or before now: write at once
        uint64_t missed; // records skipped before this one
    };
    // The next record, seen at now.
    Next next(uint64_t now);

  private:
    uint64_t first_;
    uint64_t period_;
    uint64_t index_ = 0;
};

} // namespace gaugehost
