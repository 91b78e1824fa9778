// SPDX-License-Identifier: MIT
// commands.h
//
// gaugehost's commands on a loaded plug-in besides the panel and scripts:
// info lists what the host learns from init, getparam, dlltype and getinfo;
// call makes one instance, calls a reader once and frees the instance; log
// records the readers at their period. plot needs no plug-in: it draws a
// log as a chart.
#pragma once

#include "tools/gaugehost/log_record.h"
#include "tools/gaugehost/plugin_library.h"

#include <optional>
#include <ostream>
#include <string>
#include <vector>

namespace gaugehost {

void runInfo(const PluginLibrary& library, std::ostream& out);

// Prints the reader's text in UTF-8 (control bytes escaped) and a newline,
// or with raw the bytes exactly as returned and nothing else. False when the
// text is one of the plug-in's error texts ("ERROR: ...").
bool runCall(const PluginLibrary& library, const std::string& reader,
             const std::vector<std::string>& parameters, bool raw, std::ostream& out);

struct LogOptions {
    int interval = 0; // the readers' period in seconds; 0: getparam's default
    long count = 0;   // records to write; 0: until Ctrl-C
    LogFormat format = LogFormat::Csv;
    // On the simulated clock (host build): time moves by the period between
    // records without waiting, so a minute of the notebook takes no time.
    bool simulatedTime = false;
    // The simulated notebook's steady load in percent (--load); nothing: a
    // load that comes and goes.
    std::optional<int> load;
    // --append to a log that holds records already: its columns and format,
    // which this log's must match (no second header is written).
    struct Existing {
        std::string file;
        LogFormat format = LogFormat::Csv;
        std::vector<std::string> columns;
        bool cut = false; // its last line has no line break: it is ended first
    };
    std::optional<Existing> appendTo;
};

// What --append finds in FILE: nothing when it does not exist or is empty.
// Throws when it cannot be read or is not a log.
std::optional<LogOptions::Existing> existingLog(const std::string& file);

// Writes the records to out, each flushed when it is whole, each due one
// period after the one before on the clock (records missed while the
// computer slept are reported on warnings); Ctrl-C ends the log after the
// record being written. Throws when out cannot be written or the log to
// append to has other columns.
void runLog(const PluginLibrary& library, const LogOptions& options, std::ostream& out,
            std::ostream& warnings);

struct PlotOptions {
    std::string log;    // a file written by gaugehost log (CSV or JSON Lines)
    std::string output; // the SVG file
    int warnCelsius = 0;
    int criticalCelsius = 0;
};

// Draws the chart; warnings (lines of the log that were skipped) go to
// warnings. Throws when the log has no records or cannot be drawn.
void runPlot(const PlotOptions& options, std::ostream& warnings);

} // namespace gaugehost
