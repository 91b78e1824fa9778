// SPDX-License-Identifier: MIT
// monitor_text_test.cpp
//
// The monitor's texts: plug-in texts escaped for the terminal, the values
// the readers' texts stand for, the trend line, the log's fields and times.
#include "tools/gaugehost/chart/chart_buckets.h"
#include "tools/gaugehost/plugin_host/cp1252.h"
#include "tools/gaugehost/log/log_record.h"
#include "tools/gaugehost/plugin_host/sensor_reading.h"
#include "tools/gaugehost/panel/value_history.h"
#include "tools/gaugehost/chart/svg_chart.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <optional>

namespace {

using namespace gaugehost;

TEST(Cp1252ToDisplay, HostileTextsAreShownNotObeyed)
{
    const std::pair<std::string, std::string> cases[] = {
        {"52\xB0", "52\xC2\xB0"},                              // the degree sign stays a sign
        {"\x80 \x9f", "\xE2\x82\xAC \xC5\xB8"},                // defined 0x80-0x9F are letters
        {"\x1b]2;title\x07", "\\x1B]2;title\\x07"},            // ESC and BEL
        {"\x81\x8d\x8f\x90\x9d", "\\x81\\x8D\\x8F\\x90\\x9D"}, // would be C1 controls
        {"back\\slash\x7f", "back\\\\slash\\x7F"},
    };
    for (const auto& [text, shown] : cases)
        EXPECT_EQ(cp1252ToDisplay(text), shown) << text;
}

struct ReadingCase {
    ReadingKind kind;
    std::string text;
    unsigned divisor;
    std::optional<long> value;
};

TEST(InterpretReading, TheNumberEachKindOfTextStandsFor)
{
    const ReadingCase cases[] = {
        {ReadingKind::Temperature, "52", 1, 52},
        {ReadingKind::Temperature, "125\xB0", 1, 125},
        {ReadingKind::Temperature, "-3", 1, -3},
        {ReadingKind::Temperature, "ERROR: No value was present.", 1, std::nullopt},
        {ReadingKind::Temperature, "52x", 1, std::nullopt},
        {ReadingKind::Temperature, "", 1, std::nullopt},
        {ReadingKind::FanSpeed, "175", 30, 5250}, // the real speed, not the divided text
        {ReadingKind::FanSpeed, "4800", 1, 4800},
        {ReadingKind::FanSpeed, "175\xB0", 30, std::nullopt},
        {ReadingKind::FanState, "Off", 30, 0},
        {ReadingKind::FanState, "High", 1, 2},
        {ReadingKind::FanState, "high", 1, std::nullopt},
    };
    for (const ReadingCase& c : cases)
        EXPECT_EQ(interpretReading(c.kind, c.text, c.divisor), c.value) << c.text;
}

TEST(ValueHistoryAndSparkline, MinimumMaximumAndTheLastValuesScaled)
{
    ValueHistory history(4);
    for (double value : {50.0, 40.0, 60.0, 50.0, 55.0})
        history.add(value);
    EXPECT_EQ(history.minimum(), 40);
    EXPECT_EQ(history.maximum(), 60);
    ASSERT_EQ(history.recent().size(), 4u) << "only the last four are kept";
    // 40 .. 60 over the shown four: lowest block, highest block, between.
    EXPECT_EQ(sparkline(history.recent(), 8), "\u2581\u2588\u2585\u2586");
    EXPECT_EQ(sparkline(history.recent(), 2), "\u2581\u2588");
    EXPECT_EQ(sparkline({7, 7, 7}, 8), "\u2584\u2584\u2584") << "a flat line sits in the middle";
}

TEST(LogRecord, TimesAndFieldsOfBothFormats)
{
    EXPECT_EQ(isoTime(134116992000000000ull), "2026-01-01T00:00:00Z");
    EXPECT_EQ(isoTime(134116992000000000ull + 86399ull * 10000000), "2026-01-01T23:59:59Z");
    EXPECT_EQ(isoTime(125911584000000000ull), "2000-01-01T00:00:00Z");
    EXPECT_EQ(isoTime(125963424000000000ull), "2000-03-01T00:00:00Z") << "after a leap day";
    EXPECT_EQ(isoTimeSeconds("2026-01-01T00:00:05Z"), 13411699205.0);
    EXPECT_EQ(isoTimeSeconds("2026-01-01 00:00:05"), std::nullopt);

    const std::vector<LogField> fields = {{"time", "2026-01-01T00:00:00Z", std::nullopt},
                                          {"GetCPUTemp", "a,\"b\"", std::nullopt},
                                          {"cpu_temp_c", std::nullopt, 52},
                                          {"fan1_rpm", std::nullopt, std::nullopt}};
    EXPECT_EQ(csvHeader(fields), "time,GetCPUTemp,cpu_temp_c,fan1_rpm\n");
    EXPECT_EQ(csvRecord(fields), "2026-01-01T00:00:00Z,\"a,\"\"b\"\"\",52,\n");
    EXPECT_EQ(jsonRecord(fields), "{\"time\": \"2026-01-01T00:00:00Z\", \"GetCPUTemp\": "
                                  "\"a,\\\"b\\\"\", \"cpu_temp_c\": 52, \"fan1_rpm\": null}\n");
}

TEST(AxisTicks, RoundValuesWithinTheRange)
{
    EXPECT_EQ(axisTicks(0, 60, 6), (std::vector<double>{0, 10, 20, 30, 40, 50, 60}));
    EXPECT_EQ(axisTicks(37.5, 96.5, 5), (std::vector<double>{40, 60, 80}));
    EXPECT_EQ(axisTicks(3440, 3610, 5), (std::vector<double>{3450, 3500, 3550, 3600}));
    EXPECT_TRUE(axisTicks(5, 5, 5).empty());
}

// Texts in the chart: the markup characters as references, bytes XML 1.0
// does not allow (controls, invalid UTF-8, a surrogate) as U+FFFD.
TEST(SvgChart, TextsEscapedForXml)
{
    struct Row {
        std::string text, written;
    };
    const Row rows[] = {{"a<b&c>\"'", "a&lt;b&amp;c&gt;&quot;&apos;"},
                        {"x\x01\x1b[31m\tz", "x\uFFFD\uFFFD[31m\tz"},
                        {"\xC2\xB0 \xFF\xC3", "\u00B0 \uFFFD\uFFFD"},
                        {"\xED\xA0\x80!", "\uFFFD\uFFFD\uFFFD!"},
                        {"\xEF\xBF\xBE\xF0\x9F\x8C\xA1", "\uFFFD\uFFFD\uFFFD\U0001F321"}};
    for (const Row& row : rows) {
        Chart chart;
        chart.title = row.text;
        EXPECT_NE(renderSvgChart(chart).find(">" + row.written + "</text>"), std::string::npos)
            << row.written;
    }
}

// A long run of records becomes at most two points a bucket (three with a
// gap); a spike of one record and a missing value survive; a run no longer
// than the buckets is drawn point by point.
TEST(ChartBuckets, BoundedPointsKeepSpikesAndGaps)
{
    struct Row {
        size_t records, maxBuckets;
        size_t spikeAt, gapAt; // records past the end: none
        size_t points;         // the chart's times
    };
    const Row rows[] = {
        {10, 16, 3, 100, 10},      {16, 16, 100, 5, 16},   {17, 16, 100, 100, 17},
        {1000, 16, 999, 5000, 32}, {1000, 16, 0, 500, 33}, {1000000, 2000, 777777, 5000000, 3908},
    };
    for (const Row& row : rows) {
        ChartBuckets buckets(2, row.maxBuckets);
        for (size_t i = 0; i < row.records; ++i)
            buckets.add(double(i), {i == row.spikeAt ? 99.0 : 50.0 + double(i % 3),
                                    i == row.gapAt ? std::nullopt : std::optional<double>(7)});
        const ChartBuckets::Points points = buckets.points();
        EXPECT_EQ(points.times.size(), row.points) << row.records;
        EXPECT_TRUE(std::is_sorted(points.times.begin(), points.times.end())) << row.records;
        const auto& first = points.values[0];
        EXPECT_EQ(std::count(first.begin(), first.end(), std::optional<double>(99.0)) > 0,
                  row.spikeAt < row.records)
            << row.records;
        const auto& second = points.values[1];
        EXPECT_EQ(std::count(second.begin(), second.end(), std::nullopt) > 0,
                  row.gapAt < row.records)
            << row.records;
    }
}

} // namespace

TEST(RecordSchedule, RecordsStayOnTheGridOfTheFirst)
{
    // Seconds since the first record: when the loop asks (after its reads
    // and writing), when the next record is due, and how many were missed.
    struct Step {
        double now;
        double due;
        uint64_t missed;
    };
    const Step steps[] = {
        {0.06, 1, 0},              // the reads took 60 ms: the wait is shorter, not longer
        {1.06, 2, 0}, {2.3, 3, 0}, // early: wait until 3
        {4.5, 4, 0},               // late by half a period: written at once
        {4.56, 5, 0},              // and the next is on the grid again
        {8.7, 8, 2},               // asleep from 5 to 8.7: 6 and 7 are missed, 8 written late
        {8.76, 9, 0},
    };
    constexpr uint64_t kSecond = 10000000;
    const uint64_t first = 134116992000000000ull;
    RecordSchedule schedule(first, kSecond);
    for (const Step& step : steps) {
        const auto next = schedule.next(first + uint64_t(step.now * kSecond));
        EXPECT_EQ(next.due, first + uint64_t(step.due * kSecond)) << step.now;
        EXPECT_EQ(next.missed, step.missed) << step.now;
    }
    // Thirty records a second apart span 29 s whatever the reads take.
    RecordSchedule thirty(first, kSecond);
    uint64_t due = first;
    for (int record = 2; record <= 30; ++record)
        due = thirty.next(due + kSecond / 20).due;
    EXPECT_EQ(due - first, 29 * kSecond);
}

// A long log's axis counts minutes or hours, not hundreds of seconds.
TEST(TimeAxis, TheUnitFitsTheSpan)
{
    struct Row {
        double span;
        std::string unit;
    };
    const Row rows[] = {{60, "seconds"},   {180, "seconds"},   {600, "minutes"},
                        {3600, "minutes"}, {10800, "minutes"}, {36000, "hours"}};
    for (const Row& row : rows)
        EXPECT_EQ(timeAxisUnit(row.span).name, row.unit) << row.span;
}

// Two equal series stay apart by their strokes, a series without a value is
// neither drawn nor listed, and the limits' labels come after every line
// (drawn over them).
TEST(SvgChart, EqualLinesStayVisibleEmptySeriesAreLeftOutLimitLabelsOnTop)
{
    Chart chart;
    chart.times = {0, 1, 2};
    ChartPanel panel{"Temperatures", "\u00B0C", {}, {{"warn 80 \u00B0C", 80}}};
    panel.series = {{"cpu_temp_c", "CPU temperature", {81, 82, 83}},
                    {"gpu_temp_c", "GPU temperature", {81, 82, 83}},
                    {"memory_temp_c", "Memory temperature", {std::nullopt, std::nullopt}}};
    chart.panels = {panel};
    const std::string svg = renderSvgChart(chart);
    struct Row {
        std::string key, label;
        bool drawn;
        std::string dashes; // "" for a solid line
    };
    const Row rows[] = {{"cpu_temp_c", "CPU temperature", true, ""},
                        {"gpu_temp_c", "GPU temperature", true, "9 5"},
                        {"memory_temp_c", "Memory temperature", false, ""}};
    size_t lastPath = 0;
    for (const Row& row : rows) {
        const size_t at = svg.find("<path id=\"series-" + row.key + "\"");
        EXPECT_EQ(at != std::string::npos, row.drawn) << row.key;
        EXPECT_EQ(svg.find(">" + row.label + "</text>") != std::string::npos, row.drawn)
            << row.key << ": its legend entry";
        if (!row.drawn)
            continue;
        lastPath = std::max(lastPath, at);
        const std::string path = svg.substr(at, svg.find("</path>", at) - at);
        EXPECT_EQ(path.find("stroke-dasharray=\"" + row.dashes + "\"") != std::string::npos,
                  !row.dashes.empty())
            << path;
    }
    EXPECT_GT(svg.find(">warn 80 \xC2\xB0"
                       "C</text>"),
              lastPath);
}
