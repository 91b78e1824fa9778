// SPDX-License-Identifier: MIT
// panel.h
//
// gaugehost's live panel, a monitor of the notebook as the plug-in sees it:
// an instance of each of the plug-in's readers, called at the readers'
// period; each row the reader's label, its text as the host shows it, the
// value with its unit, its minimum and maximum since the start and a trend;
// a header with the model, the profile the plug-in chose, the driver's
// version and a status naming what is wrong. Keys set the fans' states
// through the driver and switch the temperature unit and the degree sign,
// which every temperature shows at once.
#pragma once

#include "tools/gaugehost/plugin_library.h"

#include <functional>
#include <ostream>
#include <string>

namespace gaugehost {

// Where a CPU temperature is worth a look, and where it is too hot: notebook
// processors of these models throttle themselves near 100 °C.
constexpr int kDefaultWarnCelsius = 80;
constexpr int kDefaultCriticalCelsius = 95;

struct PanelOptions {
    bool once = false; // one frame and out (also without a terminal)
    int interval = 0;  // the readers' period in seconds; 0: getparam's default
    int warnCelsius = kDefaultWarnCelsius;
    int criticalCelsius = kDefaultCriticalCelsius;
    bool color = true; // false with --no-color or NO_COLOR in the environment
};

// The texts the keys change: the temperature readers' unit and degree
// parameters (they start as getparam's defaults), and what the last key did.
struct PanelSettings {
    std::string unit = "c";
    std::string degree = "no";
    std::string message;
};

// Sets a fan (0 or 1) to a state (0, 1, 2); false when it was refused.
using FanStateSetter = std::function<bool(unsigned fan, unsigned state)>;

// Carries out a key on the settings; false when the key asks to quit.
bool applyPanelKey(char key, PanelSettings& settings, const FanStateSetter& setFanState);

void runPanel(const PluginLibrary& library, const PanelOptions& options, std::ostream& out);

} // namespace gaugehost
