// SPDX-License-Identifier: MIT
// plot_command.h
//
// gaugehost plot: a log of gaugehost log drawn as a chart. It needs no
// plug-in and no notebook: a file to a file.
#pragma once

#include <ostream>
#include <string>

namespace gaugehost {

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
