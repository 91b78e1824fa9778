// SPDX-License-Identifier: MIT
// log_plot_test.cpp
//
// gaugehost log on the simulated clock (records, both formats, a file) and
// gaugehost plot (a well-formed SVG with a line per series and the limits),
// and the exit statuses of the commands of the monitor.
#include "gaugehost_paths.h"

#include <expat.h>
#include <gtest/gtest.h>

#include <memory>

#include <fstream>
#include <sstream>
#include <vector>

namespace {

using tool_test::kGaugehost;
using tool_test::runGaugehost;
using tool_test::temporaryFile;

std::string contentOf(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

size_t countOf(const std::string& text, const std::string& part)
{
    size_t count = 0;
    for (size_t at = 0; (at = text.find(part, at)) != std::string::npos; at += part.size())
        ++count;
    return count;
}

// The text parses as an XML document (expat): well-formed, characters XML
// allows, valid UTF-8.
bool wellFormedXml(const std::string& text, std::string& why)
{
    const std::unique_ptr<XML_ParserStruct, void (*)(XML_Parser)> parser(XML_ParserCreate("UTF-8"),
                                                                         XML_ParserFree);
    if (XML_Parse(parser.get(), text.data(), int(text.size()), 1) == XML_STATUS_OK)
        return true;
    why = std::string(XML_ErrorString(XML_GetErrorCode(parser.get()))) + " at line " +
          std::to_string(XML_GetCurrentLineNumber(parser.get()));
    return false;
}

const char* const kCsvHeader =
    "time,GetCPUTemp,cpu_temp_c,GetGPUTemp,gpu_temp_c,GetDIMMTemp,memory_temp_c,GetOTHERTemp,"
    "other_temp_c,GetFAN1RPM,fan1_rpm,GetFAN2RPM,fan2_rpm,GetFAN1Speed,fan1_state,"
    "GetFAN2Speed,fan2_state\n";

TEST(GaugehostLog, RecordsOnTheSimulatedClock)
{
    // The built-in notebook's thermal model runs with the clock: fan 2
    // speeds up towards its Slow speed, the load warms the sensors.
    auto result = runGaugehost({"log", "--simulated-time", "--count", "3", "--format", "csv"});
    EXPECT_EQ(result.exitStatus, 0) << result.err;
    EXPECT_EQ(result.out, std::string(kCsvHeader) +
                              "2026-01-01T00:00:00Z,52,52,48,48,45,45,40,40,120,3600,115,3450,"
                              "Slow,1,Slow,1\n"
                              "2026-01-01T00:00:05Z,52,52,48,48,45,45,40,40,120,3600,120,3600,"
                              "Slow,1,Slow,1\n"
                              "2026-01-01T00:00:10Z,53,53,49,49,46,46,41,41,120,3600,120,3600,"
                              "Slow,1,Slow,1\n");
}

TEST(GaugehostLog, JsonLinesToAFileAndErrorsAsNull)
{
    const std::string file = temporaryFile("log.jsonl", "");
    auto result = runGaugehost({"--no-driver", "log", "--simulated-time", "--count", "2",
                                "--interval", "60", "--format", "jsonl", "--output", file});
    EXPECT_EQ(result.exitStatus, 0) << result.err;
    EXPECT_EQ(result.out, "");
    const std::string log = contentOf(file);
    EXPECT_EQ(countOf(log, "\n"), 2u) << log;
    EXPECT_EQ(log.rfind("{\"time\": \"2026-01-01T00:00:00Z\", \"GetCPUTemp\": \"ERROR: Could not "
                        "load zephr driver.\", \"cpu_temp_c\": null, ",
                        0),
              0u)
        << log;
    EXPECT_NE(log.find("\n{\"time\": \"2026-01-01T00:01:00Z\""), std::string::npos) << log;
    EXPECT_EQ(countOf(log, "null"), 16u) << log;
}

TEST(GaugehostPlot, AChartOfTheLogWithALinePerSeriesAndTheLimits)
{
    const std::string log = temporaryFile("minute.csv", "");
    const std::string chart = temporaryFile("minute.svg", "");
    auto result = runGaugehost(
        {"log", "--simulated-time", "--interval", "1", "--count", "61", "--output", log});
    ASSERT_EQ(result.exitStatus, 0) << result.err;
    result = runGaugehost({"plot", log, "--output", chart, "--warn", "70", "--crit", "90"});
    ASSERT_EQ(result.exitStatus, 0) << result.err;
    const std::string svg = contentOf(chart);
    std::string why;
    EXPECT_TRUE(wellFormedXml(svg, why)) << why;
    EXPECT_NE(svg.find("<svg xmlns=\"http://www.w3.org/2000/svg\""), std::string::npos);
    for (const char* series :
         {"cpu_temp_c", "gpu_temp_c", "memory_temp_c", "other_temp_c", "fan1_rpm", "fan2_rpm"}) {
        const size_t at = svg.find(std::string("<path id=\"series-") + series + "\" d=\"M");
        ASSERT_NE(at, std::string::npos) << series;
        const std::string path = svg.substr(at, svg.find('"', svg.find(" d=\"", at) + 4) - at);
        EXPECT_EQ(countOf(path, " L"), 60u) << series << ": a point per record";
    }
    EXPECT_EQ(countOf(svg, "<path id=\"series-"), 6u) << "states are not drawn";
    EXPECT_EQ(countOf(svg, "class=\"limit\""), 2u);
    EXPECT_NE(svg.find(">warn 70 \xC2\xB0"
                       "C<"),
              std::string::npos);
    EXPECT_NE(svg.find(">seconds since 2026-01-01T00:00:00Z<"), std::string::npos);
    EXPECT_NE(svg.find(">Fan speeds (rpm)<"), std::string::npos);
}

TEST(GaugehostLog, AppendsToALogOfTheSameColumns)
{
    // Each row: what FILE holds before, the options of the second log, the
    // exit status, a text of standard error, then the records FILE holds.
    const std::string twoRecords = [] {
        const std::string file = temporaryFile("two.csv", "");
        runGaugehost({"log", "--simulated-time", "--count", "2", "--output", file});
        return contentOf(file);
    }();
    struct Case {
        std::string before;
        std::vector<std::string> options;
        int status;
        const char* message;
        size_t headers;
        size_t records;
    };
    const Case cases[] = {
        {twoRecords, {}, 0, "", 1, 4},
        {"", {}, 0, "", 1, 2}, // an empty file takes the header
        {twoRecords.substr(0, twoRecords.size() - 20), {}, 0, "", 1, 4}, // a cut last line
        {"time,GetCPUTemp\n", {}, 1, "column 3 is 'nothing' there and 'cpu_temp_c' here", 0, 0},
        {twoRecords, {"--format", "jsonl"}, 1, "holds CSV, not JSON Lines (--format)", 1, 2},
        {"time\x1b[31m,x\n", {}, 1, "column 1 is 'time\\x1B[31m' there", 0, 0}, // shown, not obeyed
    };
    int run = 0;
    for (const Case& c : cases) {
        const std::string file = temporaryFile("append" + std::to_string(++run) + ".csv", c.before);
        std::vector<std::string> arguments = {"log", "--simulated-time", "--count", "2", "--output",
                                              file,  "--append"};
        arguments.insert(arguments.end(), c.options.begin(), c.options.end());
        auto result = runGaugehost(arguments);
        EXPECT_EQ(result.exitStatus, c.status) << run << ": " << result.err;
        EXPECT_NE(result.err.find(c.message), std::string::npos) << run << ": " << result.err;
        const std::string log = contentOf(file);
        EXPECT_EQ(countOf(log, kCsvHeader), c.headers) << run << ": " << log;
        EXPECT_EQ(countOf(log, "Z,"), c.records) << run << ": " << log;
        if (c.status == 0) {
            EXPECT_EQ(runGaugehost({"plot", file, "--output", file + ".svg"}).exitStatus, 0) << run;
        }
    }
}

TEST(GaugehostPlot, ReadsLogsThatWereAppendedCutOrLeftEmpty)
{
    const std::string file = temporaryFile("for-plot.csv", "");
    runGaugehost({"log", "--simulated-time", "--count", "2", "--output", file});
    const std::string csv = contentOf(file);
    const std::string records = csv.substr(csv.find('\n') + 1);
    runGaugehost(
        {"log", "--simulated-time", "--count", "2", "--format", "jsonl", "--output", file});
    const std::string jsonl = contentOf(file);
    const std::string record = records.substr(0, records.find('\n') + 1);
    const std::string fields = record.substr(record.find(','));
    auto cpu = [&](const std::string& time, const std::string& value) {
        return time + ",52," + value + fields.substr(fields.find(',', 4));
    };
    const std::string jsonTime = "{\"time\": \"2026-01-01T00:00:10Z\", ";
    // Each row: the log, the exit status, a text of standard error, the
    // points of the CPU line; each chart drawn parses as XML.
    struct Case {
        std::string log;
        int status;
        const char* message;
        size_t points;
    };
    const Case cases[] = {
        {csv + csv, 0, "", 4}, // two logs joined with >>: the second header is passed over
        {csv + "2026-01-01T00:00:10Z,52,52,48\n", 0,
         "log.csv:4: a record cut short (4 fields where the header has 17), left out", 2},
        {csv + "2026-01-01T00:00:10Z,\"5", 0, "log.csv:4: a record cut short in a quoted field", 2},
        {csv + "2026-01-01T00:00:10Z,52,52\n" + records, 0, "log.csv:4: a record cut short", 4},
        {jsonl + "{\"time\": \"2026-01-01T00:00:10Z\", \"GetCPU", 0,
         "log.csv:3: a record cut short (no closing brace), left out", 2},
        {jsonl + " \t\r\n" + jsonl, 0, "", 4}, // a line of blanks is passed over
        {kCsvHeader, 2, "holds no records: nothing to draw", 0},
        {csv + "2026-01-01T00:00:10Z" + std::string(20, ',') + "\n", 0,
         "log.csv:4: a record of 21 fields where the header has 17, left out", 2},
        // Hostile logs: a malformed record is left out with a warning, the
        // chart drawn of the rest; a log that is no log ends with exit 2.
        {csv + cpu("2026-01-01T00:00:10Z\x01", "53"), 0,
         "log.csv:4: a time that is not of the form 2026-01-01T00:00:00Z, left out", 2},
        {csv + cpu("2026-01-01T00:00:10", "53") + cpu("2026-02-30T00:00:10Z", "53"), 0,
         "log.csv:5: a time that is not of the form", 2},
        {csv + cpu("2026-01-01T00:00:10Z", "nan") + cpu("2026-01-01T00:00:15Z", "inf") +
             cpu("2026-01-01T00:00:20Z", "1e999") + cpu("2026-01-01T00:00:25Z", "53"),
         0, "", 3}, // not finite: a gap
        {jsonl + jsonTime + "\"GetCPUTemp\": \"x\\u0001\\u00e9\", \"cpu_temp_c\": 53}\n", 0, "", 3},
        {jsonl + jsonTime + "\"GetCPUTemp\": \"x\\u00G1\", \"cpu_temp_c\": 53}\n", 0,
         "log.csv:3: a Unicode escape without four hex digits at column 54, left out", 2},
        {csv + std::string(70000, '5') + "\n", 2,
         "log.csv:4: a line longer than 64 KiB (not a log of gaugehost log?)", 0},
    };
    int run = 0;
    for (const Case& c : cases) {
        ++run;
        const std::string log = temporaryFile("log.csv", c.log);
        const std::string chart = temporaryFile("log.svg", "");
        auto result = runGaugehost({"plot", log, "--output", chart});
        EXPECT_EQ(result.exitStatus, c.status) << run << ": " << result.err;
        EXPECT_NE(result.err.find(c.message), std::string::npos) << run << ": " << result.err;
        if (c.status != 0)
            continue;
        const std::string svg = contentOf(chart);
        std::string why;
        EXPECT_TRUE(wellFormedXml(svg, why)) << run << ": " << why;
        const size_t at = svg.find("<path id=\"series-cpu_temp_c\" d=\"M");
        ASSERT_NE(at, std::string::npos) << run;
        const std::string path = svg.substr(at, svg.find('"', svg.find(" d=\"", at) + 4) - at);
        EXPECT_EQ(countOf(path, " L") + countOf(path, " M") + 1, c.points) << run;
    }
}

TEST(GaugehostCommandLine, EveryCommandHasItsHelp)
{
    // The commands as gaugehost --help lists them: two blanks, then the name.
    const std::string list = runGaugehost({"--help"}).out;
    std::vector<std::string> names;
    const size_t start = list.find("commands:\n");
    const size_t end = list.find("\ncommand options:");
    ASSERT_NE(start, std::string::npos);
    for (size_t at = list.find("\n  ", start); at < end; at = list.find("\n  ", at + 1))
        if (list[at + 3] != ' ')
            names.push_back(list.substr(at + 3, list.find_first_of(" \n", at + 3) - at - 3));
    EXPECT_EQ(names.size(), 6u) << list;
    for (const std::string& name : names)
        for (const char* help : {"--help", "-h"}) {
            auto result = runGaugehost({name, help});
            EXPECT_EQ(result.exitStatus, 0) << name << " " << help << ": " << result.err;
            EXPECT_NE(result.out.find("usage: gaugehost "), std::string::npos) << result.out;
            EXPECT_NE(result.out.find(" " + name), std::string::npos) << result.out;
            EXPECT_EQ(result.out.find("commands:"), std::string::npos) << "the command's own";
        }
    EXPECT_EQ(runGaugehost({"-h"}).out, list);
}

struct ExitCase {
    std::vector<std::string> arguments;
    int status;
    const char* message; // on standard error
};

TEST(GaugehostExitStatus, OfTheMonitorsCommands)
{
    const std::string notALog = temporaryFile("not-a-log.csv", "time,x\n1,2\n");
    const std::string fifo = temporaryFile("log.fifo", "");
    std::remove(fifo.c_str());
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    const std::string svg = temporaryFile("x.svg", "");
    const ExitCase cases[] = {
        {{"call", "GetCPUTemp"}, 0, ""},
        {{"--no-driver", "call", "GetCPUTemp"}, 1, ""}, // "ERROR: Could not load zephr driver."
        {{"--machine", tool_test::machineFile(R"({"name": "d", "smm": {"behaviour": "ignore"}})"),
          "call", "GetFAN1Speed"},
         1,
         ""},
        {{"log", "--format", "xml"}, 2, "log --format is csv or jsonl, not 'xml'"},
        {{"log", "--count", "0"}, 2, "--count needs a whole number from 1"},
        {{"log", "--interval", "1.5"}, 2, "--interval needs a whole number"},
        {{"log", "--count", "1", "--output", "/nonexistent/folder/log.csv"},
         1,
         "log --output /nonexistent/folder/log.csv: cannot be written"},
        {{"plot", "/nonexistent/log.csv", "--output", "x.svg"},
         2,
         "plot: log /nonexistent/log.csv: no such file"},
        {{"plot", notALog, "--output", svg}, 2, "no temperature or fan speed columns to draw"},
        {{"plot", "/dev/zero", "--output", svg}, 2, "log /dev/zero: not a regular file"},
        {{"plot", fifo, "--output", svg}, 2, "log.fifo: not a regular file"}, // not waited on
        {{"plot", "/", "--output", svg}, 2, "log /: is a folder, not a file"},
        {{"plot", temporaryFile("empty.csv", ""), "--output", svg}, 2, "holds no records"},
        {{"plot", "/nonexistent/a\\b\x1b.csv", "--output", svg}, // escaped once
         2,
         "log /nonexistent/a\\\\b\\x1B.csv: no such file"},
        {{"log", "--count", "1", "--output", fifo, "--append"}, 2, "log.fifo: not a regular file"},
        {{"plot", notALog}, 2, "plot needs a LOG and --output FILE"},
        {{"panel", "--warn", "90", "--crit", "80"}, 2, "--warn must be below --crit"},
        {{"--plugin", kGaugehost, "info"}, 1, "does not load: "}, // a program is no library
        {{"--machine", "/nonexistent/notebook.json", "info"}, 2, "no such file"}, // as zephrctl
        {{"fly", "--help"}, 2, "unknown command fly"},
        {{"log", "--append"}, 2, "log --append needs --output FILE"},
    };
    for (const ExitCase& c : cases) {
        auto result = runGaugehost(c.arguments);
        EXPECT_EQ(result.exitStatus, c.status) << c.arguments[0] << " " << c.arguments[1] << "\n"
                                               << result.err;
        EXPECT_NE(result.err.find(c.message), std::string::npos) << result.err;
    }
}

} // namespace
