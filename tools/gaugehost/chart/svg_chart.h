// SPDX-License-Identifier: MIT
// svg_chart.h
//
// A line chart of values over time as an SVG document: panels stacked one
// above the other on a common time axis, each with its value axis and unit,
// a line per series (broken where a value is missing), dashed limit lines
// and a legend. Each series is a <path> whose id is "series-" and the
// series' key, so a program can find it again.
#pragma once

#include <optional>
#include <string>
#include <vector>

namespace gaugehost {

struct ChartSeries {
    std::string key;                           // "cpu_temp_c"
    std::string label;                         // "CPU temperature"
    std::vector<std::optional<double>> values; // one per time
};

struct ChartLimit {
    std::string label; // "warn 80 °C"
    double value;
};

struct ChartPanel {
    std::string title; // "Temperatures"
    std::string unit;  // "°C"
    std::vector<ChartSeries> series;
    std::vector<ChartLimit> limits;
    bool fromZero = false; // the value axis starts at 0 (fan speeds)
};

struct Chart {
    std::string title;
    std::string timeLabel;     // "minutes since 2026-01-01T00:00:00Z"
    std::vector<double> times; // in the label's unit; the axis spans them
    std::vector<ChartPanel> panels;
};

std::string renderSvgChart(const Chart& chart);

// The unit of a time axis that spans the given seconds: seconds up to three
// minutes, minutes up to three hours, hours beyond, so the ticks are few
// and round.
struct TimeUnit {
    const char* name; // "minutes"
    double seconds;   // 60
};
TimeUnit timeAxisUnit(double spanSeconds);

// Ticks for an axis from low to high: about `count` round values (1, 2 or 5
// times a power of ten apart) within the range.
std::vector<double> axisTicks(double low, double high, int count);

} // namespace gaugehost
