// SPDX-License-Identifier: MIT
// plot_command.cpp
//
// gaugehost plot: a log of gaugehost log drawn as a chart, the temperatures
// (with the warn and critical limits) above, the fan speeds below, over the
// time since the first record.
#include "tools/gaugehost/chart/plot_command.h"

#include "common/bounded_file.h"
#include "tools/common/control_bytes.h"
#include "tools/common/session.h"
#include "tools/gaugehost/chart/chart_buckets.h"
#include "tools/gaugehost/log/log_record.h"
#include "tools/gaugehost/log/log_table.h"
#include "tools/gaugehost/plugin_host/sensor_reading.h"
#include "tools/gaugehost/chart/svg_chart.h"

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstring>
#include <fstream>
#include <stdexcept>

namespace gaugehost {

namespace {

// Warnings shown of the records left out; the rest are counted.
constexpr size_t kShownWarnings = 10;

// A value column's number; nothing for an empty field, a text, or a value
// that is not finite (nan, inf, 1e999), so it neither draws nor stretches
// the axis.
std::optional<double> numberOf(const std::optional<std::string>& field)
{
    if (!field)
        return std::nullopt;
    try {
        size_t used = 0;
        const double value = std::stod(*field, &used);
        return used == field->size() && std::isfinite(value) ? std::optional<double>(value)
                                                             : std::nullopt;
    } catch (const std::exception&) {
        return std::nullopt;
    }
}

// The series a panel draws: the log's columns of that kind of reading.
struct PanelColumns {
    ChartPanel panel;
    std::vector<size_t> columns;
};

PanelColumns panelOf(const LogReader& log, ReadingKind kind, const char* title, const char* unit)
{
    PanelColumns out{ChartPanel{title, unit, {}, {}}, {}};
    for (size_t i = 0; i < kSensorRowCount; ++i) {
        const SensorRow& row = sensorRow(i);
        const auto column = log.column(row.key);
        if (row.kind != kind || !column)
            continue;
        out.panel.series.push_back(ChartSeries{row.key, row.label, {}});
        out.columns.push_back(*column);
    }
    return out;
}

} // namespace

void runPlot(const PlotOptions& options, std::ostream& warnings)
{
    // The log is the user's file at fault for everything below: exit 2.
    auto refuse = [&](const std::string& what) { return tools::InputFileError(what); };
    try {
        bounded::requireRegularFile(options.log, "plot: log");
    } catch (const bounded::FileError& error) {
        throw refuse(error.what());
    }
    std::ifstream in(options.log, std::ios::binary);
    if (!in)
        throw refuse("plot: log " + options.log + " cannot be opened: " + std::strerror(errno));
    size_t leftOut = 0;
    auto warn = [&](const std::string& what) {
        if (++leftOut <= kShownWarnings)
            warnings << "gaugehost: plot: warning: " << tools::escapeControlBytes(what) << "\n";
    };
    LogReader log(in, options.log, warn);
    std::optional<PanelColumns> temperatures, fans;
    std::optional<ChartBuckets> buckets;
    std::optional<size_t> timeColumn;
    std::string start;
    double first = 0, low = 0, high = 0;
    std::vector<std::optional<double>> values;
    try {
        while (log.next()) {
            if (!buckets) { // the columns are known from the first record on
                timeColumn = log.column("time");
                if (!timeColumn)
                    throw refuse(options.log + ": no time column (is it a log of gaugehost log?)");
                temperatures = panelOf(log, ReadingKind::Temperature, "Temperatures", "\u00B0C");
                fans = panelOf(log, ReadingKind::FanSpeed, "Fan speeds", "rpm");
                if (temperatures->columns.empty() && fans->columns.empty())
                    throw refuse(options.log + ": no temperature or fan speed columns to draw");
                buckets.emplace(temperatures->columns.size() + fans->columns.size());
            }
            const auto& time = log.fields()[*timeColumn];
            const std::string where = options.log + ":" + std::to_string(log.line()) + ": ";
            const auto parsed = time ? isoTimeSeconds(*time) : std::nullopt;
            if (!parsed) {
                warn(where + "a time that is not of the form 2026-01-01T00:00:00Z, left out");
                continue;
            }
            const double seconds = parsed.value();
            // Times may go back (logs of the simulated clock joined with >>):
            // the axis spans them all.
            if (buckets->records() == 0) {
                first = seconds;
                start = *time;
            }
            low = std::min(low, seconds - first);
            high = std::max(high, seconds - first);
            values.clear();
            for (const auto* panel : {&*temperatures, &*fans})
                for (size_t column : panel->columns)
                    values.push_back(numberOf(log.fields()[column]));
            buckets->add(seconds - first, values);
        }
    } catch (const tools::InputFileError&) {
        throw;
    } catch (const std::runtime_error& error) {
        throw refuse(error.what());
    }
    if (leftOut > kShownWarnings)
        warnings << "gaugehost: plot: warning: " << leftOut - kShownWarnings
                 << " more records left out\n";
    if (!buckets || buckets->records() == 0)
        throw refuse("plot: " + options.log +
                     " holds no records: nothing to draw (a log stopped before its first "
                     "record?)");

    Chart chart;
    ChartBuckets::Points points = buckets->points();
    const TimeUnit unit = timeAxisUnit(high - low);
    chart.times = std::move(points.times);
    for (double& time : chart.times)
        time /= unit.seconds;
    size_t next = 0;
    for (auto* panel : {&*temperatures, &*fans})
        for (ChartSeries& series : panel->panel.series)
            series.values = std::move(points.values[next++]);
    chart.title = "Notebook temperatures and fans, from " + start;
    chart.timeLabel = std::string(unit.name) + " since " + start;
    temperatures->panel.limits = {
        {"warn " + std::to_string(options.warnCelsius) + " \u00B0C", double(options.warnCelsius)},
        {"critical " + std::to_string(options.criticalCelsius) + " \u00B0C",
         double(options.criticalCelsius)}};
    fans->panel.fromZero = true;
    chart.panels = {std::move(temperatures->panel), std::move(fans->panel)};

    std::ofstream out(options.output, std::ios::binary | std::ios::trunc);
    if (!out)
        throw std::runtime_error("plot: " + options.output + " cannot be written");
    out << renderSvgChart(chart);
    out.close();
    if (!out)
        throw std::runtime_error("plot: writing " + options.output + " failed");
}

} // namespace gaugehost
