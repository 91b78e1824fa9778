// SPDX-License-Identifier: MIT
// sensor_reading.h
//
// What a person reads in the eight readers' texts: each reader's label, what
// kind of value its text stands for, the value itself with its unit (the
// fan speed as the fan really turns, so times the model's divisor), and a
// value's history since the start (minimum, maximum, recent values).
#pragma once

#include "plugin/vocabulary.h"

#include <cstddef>
#include <deque>
#include <optional>
#include <string>
#include <string_view>

namespace gaugehost {

enum class ReadingKind { Temperature, FanSpeed, FanState };

struct SensorRow {
    const char* reader; // the export, as init lists it
    const char* label;  // "CPU temperature"
    const char* key;    // the log's value column: "cpu_temp_c"
    ReadingKind kind;
};

// The eight readers of Gaugelet, in init's order; null for another name.
const SensorRow* findSensorRow(std::string_view reader);
constexpr size_t kSensorRowCount = GAUGELET_READER_COUNT;
const SensorRow& sensorRow(size_t index);

// The number a reader's 8-bit text stands for: degrees as the text gives them
// ("52", "52" and the degree byte 0xB0), revolutions per minute (the text
// times fanDivisor), a fan state 0, 1, 2 ("Off", "Slow", "High"). Nothing
// for an error text or anything else.
std::optional<long> interpretReading(ReadingKind kind, std::string_view text, unsigned fanDivisor);

// Celsius from a Fahrenheit text of the plug-in (the panel keeps Celsius).
double fahrenheitToCelsius(double fahrenheit);

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
