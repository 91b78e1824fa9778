// SPDX-License-Identifier: MIT
// sensor_reading.h
//
// What a person reads in the eight readers' texts: each reader's label, what
// kind of value its text stands for, the value itself with its unit (the
// fan speed as the fan really turns, so times the model's divisor).
#pragma once

#include "plugin/vocabulary.h"

#include <cstddef>
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
// times fanDivisor), a fan state 0, 1, 2 (GaugeletFanStateNames). Nothing
// for an error text or anything else.
std::optional<long> interpretReading(ReadingKind kind, std::string_view text, unsigned fanDivisor);

// Celsius from a Fahrenheit text of the plug-in (the panel keeps Celsius).
double fahrenheitToCelsius(double fahrenheit);

} // namespace gaugehost
