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

#include "plugin/vocabulary.h"
#include "tools/common/temperature_limits.h"
#include "tools/gaugehost/plugin_host/plugin_library.h"

#include <functional>
#include <optional>
#include <ostream>
#include <string>
#include <utility>
#include <vector>

namespace gaugehost {

struct PanelOptions {
    bool once = false; // one frame and out (also without a terminal)
    int interval = 0;  // the readers' period in seconds; 0: getparam's default
    int warnCelsius = tools::kDefaultWarnCelsius;
    int criticalCelsius = tools::kDefaultCriticalCelsius;
    bool color = true; // false with --no-color or NO_COLOR in the environment
    // The simulated notebook's steady load in percent (--load); nothing: a
    // load that comes and goes.
    std::optional<int> load;
};

// The texts the keys change: the temperature readers' unit and degree
// parameters (they start as getparam's defaults), and what the last key did.
struct PanelSettings {
    std::string unit = "c";
    std::string degree = "no";
    std::string message;
    // The living notebook's load, which l steps through when it can be
    // changed (host build): varying, 0, 25, 50, 75, 100 %.
    std::optional<int> load;
    bool loadAdjustable = false;
};

// Sets a fan (0 or 1) to a state (0, 1, 2); false when it was refused.
using FanStateSetter = std::function<bool(unsigned fan, unsigned state)>;

// Reads a fan's state (0, 1, 2); nothing when it cannot be read.
using FanStateReader = std::function<std::optional<unsigned>(unsigned fan)>;

// The fans the panel changed, and the state each had before its first
// change, so the panel gives them back as it found them when it ends.
class FanKeeper {
  public:
    FanKeeper(FanStateReader read, FanStateSetter set)
        : read_(std::move(read)), set_(std::move(set))
    {
    }
    // Sets the fan; before the panel's first change of it, reads the state
    // it has. False when the setting was refused.
    bool set(unsigned fan, unsigned state);
    // Sets every changed fan back to the state it had before. The line that
    // says so ("fans restored: fan 0 Slow, fan 1 Slow"; "" when no fan was
    // changed); complete is false when a fan is left as the panel set it,
    // and the line then names each such fan and its state.
    struct Restored {
        std::string line;
        bool complete = true;
    };
    Restored restore();

  private:
    struct Changed {
        unsigned fan;
        std::optional<unsigned> before; // nothing when it could not be read
        std::optional<unsigned> now;    // the last state set, nothing when unknown
        bool set = false;               // a setting of the panel's was made
    };
    FanStateReader read_;
    FanStateSetter set_;
    std::vector<Changed> changed_;
};

// Carries out a key on the settings; false when the key asks to quit.
bool applyPanelKey(char key, PanelSettings& settings, const FanStateSetter& setFanState);

// Runs the panel; when it ends, the fans a key changed are set back (a
// line on out says so). Throws when a fan could not be set back, naming it
// and the state it is left in, and after the one frame of --once (or
// without a terminal) when the driver is not loaded.
void runPanel(const PluginLibrary& library, const PanelOptions& options, std::ostream& out);

} // namespace gaugehost
