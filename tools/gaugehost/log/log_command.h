// SPDX-License-Identifier: MIT
// log_command.h
//
// gaugehost log: the readers recorded at their period, one record per
// refresh, to a new log or the end of one of the same columns.
#pragma once

#include "tools/gaugehost/log/log_record.h"
#include "tools/gaugehost/plugin_host/plugin_library.h"

#include <optional>
#include <ostream>
#include <string>
#include <vector>

namespace gaugehost {

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

} // namespace gaugehost
