// SPDX-License-Identifier: MIT
// sensor_reading.cpp
//
// The eight readers' labels and the values their texts stand for.
#include "tools/gaugehost/plugin_host/sensor_reading.h"

#include <algorithm>
#include <array>

namespace gaugehost {

namespace {

constexpr ReadingKind kindOf(GaugeletReaderKind kind)
{
    return kind == GaugeletTemperature ? ReadingKind::Temperature
           : kind == GaugeletFanSpeed  ? ReadingKind::FanSpeed
                                       : ReadingKind::FanState;
}

// The plug-in's reader table as the tools read it.
constexpr std::array<SensorRow, kSensorRowCount> kRows = [] {
    std::array<SensorRow, kSensorRowCount> rows{};
    for (size_t i = 0; i < kSensorRowCount; ++i)
        rows[i] = SensorRow{GaugeletReaders[i].Export, GaugeletReaders[i].Label,
                            GaugeletReaders[i].LogKey, kindOf(GaugeletReaders[i].Kind)};
    return rows;
}();

constexpr char kDegreeByte = '\xB0';

// A decimal number with an optional minus sign, and what follows it.
std::optional<long> leadingNumber(std::string_view text, std::string_view& rest)
{
    size_t at = 0;
    const bool negative = !text.empty() && text[0] == '-';
    if (negative)
        ++at;
    if (at >= text.size() || text[at] < '0' || text[at] > '9')
        return std::nullopt;
    long value = 0;
    for (; at < text.size() && text[at] >= '0' && text[at] <= '9'; ++at) {
        if (value > 100000000)
            return std::nullopt; // no sensor gives such a number
        value = value * 10 + (text[at] - '0');
    }
    rest = text.substr(at);
    return negative ? -value : value;
}

} // namespace

const SensorRow* findSensorRow(std::string_view reader)
{
    for (const SensorRow& row : kRows)
        if (reader == row.reader)
            return &row;
    return nullptr;
}

const SensorRow& sensorRow(size_t index)
{
    return kRows.at(index);
}

std::optional<long> interpretReading(ReadingKind kind, std::string_view text, unsigned fanDivisor)
{
    if (kind == ReadingKind::FanState) {
        for (size_t state = 0; state < GAUGELET_FAN_STATE_COUNT; ++state)
            if (text == GaugeletFanStateNames[state])
                return long(state);
        return std::nullopt;
    }
    std::string_view rest;
    const std::optional<long> number = leadingNumber(text, rest);
    if (!number)
        return std::nullopt;
    if (kind == ReadingKind::FanSpeed)
        return rest.empty() ? std::optional<long>(*number * long(fanDivisor)) : std::nullopt;
    if (rest.empty() || (rest.size() == 1 && rest[0] == kDegreeByte))
        return number;
    return std::nullopt;
}

double fahrenheitToCelsius(double fahrenheit)
{
    return (fahrenheit - 32) * 5 / 9;
}

} // namespace gaugehost
