// panel.h
//
// gaugehost's live panel: an instance of each of the plug-in's readers with
// its defaults, shown as the host shows them (label and text), redrawn as the
// readers refresh, with the notebook's model name and the count of device
// requests; keys set the fans' states through the driver and switch the
// temperature unit and the degree sign.
#pragma once

#include "tools/gaugehost/plugin_library.h"

#include <functional>
#include <ostream>
#include <string>
#include <utility>
#include <vector>

namespace gaugehost {

struct PanelOptions {
    bool once = false; // one frame and out (also without a terminal)
};

// The texts the keys change: the temperature readers' unit and degree
// parameters (they start as getparam's defaults), and what the last key did.
struct PanelSettings {
    std::string unit = "c";
    std::string degree = "no";
    std::string message;
};

// One frame's content: the model name, each reader's label and text (UTF-8),
// the request line, and whether keys are read (then the help line shows).
struct PanelFrame {
    std::string model;
    std::vector<std::pair<std::string, std::string>> lines;
    std::string requests;
    bool interactive = false;
};

// Sets a fan (0 or 1) to a state (0, 1, 2); false when it was refused.
using FanStateSetter = std::function<bool(unsigned fan, unsigned state)>;

// Carries out a key on the settings; false when the key asks to quit.
bool applyPanelKey(char key, PanelSettings& settings, const FanStateSetter& setFanState);

std::string formatPanelFrame(const PanelFrame& frame, const PanelSettings& settings);

void runPanel(const PluginLibrary& library, const PanelOptions& options, std::ostream& out);

} // namespace gaugehost
