// SPDX-License-Identifier: MIT
// value_history.h
//
// What the panel keeps of a reading over time: its minimum and maximum since
// the start and its last values, drawn as a sparkline in the trend column.
#pragma once

#include <cstddef>
#include <deque>
#include <string>

namespace gaugehost {

// A value's minimum and maximum since the start and its last values.
class ValueHistory {
  public:
    explicit ValueHistory(size_t kept = 32) : kept_(kept) {}
    void add(double value);
    bool empty() const
    {
        return recent_.empty();
    }
    double minimum() const
    {
        return minimum_;
    }
    double maximum() const
    {
        return maximum_;
    }
    const std::deque<double>& recent() const
    {
        return recent_;
    }

  private:
    size_t kept_;
    double minimum_ = 0;
    double maximum_ = 0;
    std::deque<double> recent_;
};

// The recent values as a row of block characters (UTF-8), the lowest of the
// shown values at the bottom and the highest at the top; the last `width`
// values, one character each.
std::string sparkline(const std::deque<double>& values, size_t width);

} // namespace gaugehost
