// SPDX-License-Identifier: MIT
// log_table.h
//
// A log of gaugehost log read back one record at a time: its column names
// and each record's fields as texts, from CSV (header line first) or JSON
// Lines (one flat object per line, strings, numbers and null), whichever the
// file holds. Only the current line is held, so a log of any length is read
// in the memory of its longest line, and a line is at most kMaxLogLine bytes.
#pragma once

#include <cstddef>
#include <functional>
#include <istream>
#include <optional>
#include <string>
#include <vector>

namespace gaugehost {

// A record of the log is well under a kilobyte; a longer line is no log's.
constexpr size_t kMaxLogLine = 64 * 1024;

class LogReader {
  public:
    using Fields = std::vector<std::optional<std::string>>; // nothing: null or empty
    // Each line left out (cut short or malformed) is told to skipped as
    // "source:line: what".
    LogReader(std::istream& in, std::string source,
              std::function<void(const std::string&)> skipped);

    // The next record, or false at the end of the log. A CSV line that
    // repeats the header (a log appended with >>) and blank lines are passed
    // over. Throws std::runtime_error naming the source, the line and what
    // is wrong when the log cannot be read on (a line longer than
    // kMaxLogLine, a CSV header cut short).
    bool next();

    const std::vector<std::string>& columns() const
    {
        return columns_;
    }
    const Fields& fields() const
    {
        return fields_;
    }
    // The line of the current record.
    size_t line() const
    {
        return line_;
    }
    // The column's index; nothing when the log has no such column.
    std::optional<size_t> column(const std::string& name) const;

  private:
    bool readLine(std::string& text);
    void skip(const std::string& what);

    std::istream& in_;
    std::string source_;
    std::function<void(const std::string&)> skipped_;
    std::vector<std::string> columns_;
    std::string header_;
    Fields fields_;
    size_t line_ = 0;
    bool started_ = false;
    bool json_ = false;
};

// The column names of a log's first line (CSV header or JSON object).
// Throws std::runtime_error naming the source when it is neither.
std::vector<std::string> logColumns(const std::string& firstLine, const std::string& source);

} // namespace gaugehost
