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
};

// Writes the records to out, each flushed when it is whole; Ctrl-C ends the
// log after the record being written. Throws when out cannot be written.
void runLog(const PluginLibrary& library, const LogOptions& options, std::ostream& out);

struct PlotOptions {
    std::string log;    // a file written by gaugehost log (CSV or JSON Lines)
    std::string output; // the SVG file
    int warnCelsius = 0;
    int criticalCelsius = 0;
};

void runPlot(const PlotOptions& options);

} // namespace gaugehost
