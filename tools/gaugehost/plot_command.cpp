// SPDX-License-Identifier: MIT
// plot_command.cpp
//
// gaugehost plot: a log of gaugehost log drawn as a chart, the temperatures
// (with the warn and critical limits) above, the fan speeds below, over the
// time since the first record.
#include "tools/gaugehost/commands.h"

#include "tools/gaugehost/log_table.h"
#include "tools/gaugehost/sensor_reading.h"
#include "tools/gaugehost/svg_chart.h"

#include <cerrno>
#include <cstring>
#include <fstream>
#include <stdexcept>

namespace gaugehost {

namespace {

std::optional<double> numberOf(const std::optional<std::string>& field)
{
    if (!field)
        return std::nullopt;
    try {
        size_t used = 0;
        const double value = std::stod(*field, &used);
        return used == field->size() ? std::optional<double>(value) : std::nullopt;
    } catch (const std::exception&) {
        return std::nullopt;
    }
}

ChartPanel panelOf(const LogTable& table, ReadingKind kind, const char* title, const char* unit)
{
    ChartPanel panel{title, unit, {}, {}};
    for (size_t i = 0; i < kSensorRowCount; ++i) {
        const SensorRow& row = sensorRow(i);
        const auto column = table.column(row.key);
        if (row.kind != kind || !column)
            continue;
        ChartSeries series{row.key, row.label, {}};
        for (const auto& record : table.records)
            series.values.push_back(numberOf(record[*column]));
        panel.series.push_back(std::move(series));
    }
    return panel;
}

} // namespace

void runPlot(const PlotOptions& options, std::ostream& warnings)
{
    std::ifstream in(options.log, std::ios::binary);
    if (!in)
        throw std::runtime_error("plot: log " + options.log +
                                 " cannot be opened: " + std::strerror(errno));
    const LogTable table = readLogTable(in, options.log);
    for (const std::string& skipped : table.skipped)
        warnings << "gaugehost: plot: warning: " << skipped << "\n";
    if (table.records.empty())
        throw std::runtime_error("plot: " + options.log +
                                 " holds no records: nothing to draw (a log stopped before its "
                                 "first record?)");
    const auto timeColumn = table.column("time");
    if (!timeColumn)
        throw std::runtime_error(options.log + ": no time column (is it a log of gaugehost log?)");
    Chart chart;
    double first = 0;
    for (size_t i = 0; i < table.records.size(); ++i) {
        const auto& field = table.records[i][*timeColumn];
        const auto seconds = field ? isoTimeSeconds(*field) : std::nullopt;
        if (!seconds)
            throw std::runtime_error(options.log + ": record " + std::to_string(i + 1) +
                                     " has no ISO 8601 time");
        if (i == 0)
            first = *seconds;
        chart.times.push_back(*seconds - first);
    }
    const std::string start = table.records.empty() ? "" : *table.records[0][*timeColumn];
    const TimeUnit unit = timeAxisUnit(chart.times.back());
    for (double& time : chart.times)
        time /= unit.seconds;
    chart.title = "Notebook temperatures and fans, from " + start;
    chart.timeLabel = std::string(unit.name) + " since " + start;
    ChartPanel temperatures = panelOf(table, ReadingKind::Temperature, "Temperatures", "\u00B0C");
    temperatures.limits = {
        {"warn " + std::to_string(options.warnCelsius) + " \u00B0C", double(options.warnCelsius)},
        {"critical " + std::to_string(options.criticalCelsius) + " \u00B0C",
         double(options.criticalCelsius)}};
    ChartPanel fans = panelOf(table, ReadingKind::FanSpeed, "Fan speeds", "rpm");
    fans.fromZero = true;
    if (temperatures.series.empty() && fans.series.empty())
        throw std::runtime_error(options.log + ": no temperature or fan speed columns to draw");
    chart.panels = {std::move(temperatures), std::move(fans)};

    std::ofstream out(options.output, std::ios::binary | std::ios::trunc);
    if (!out)
        throw std::runtime_error("plot: " + options.output + " cannot be written");
    out << renderSvgChart(chart);
    out.close();
    if (!out)
        throw std::runtime_error("plot: writing " + options.output + " failed");
}

} // namespace gaugehost
