// SPDX-License-Identifier: MIT
// fan_controller.h
//
// The fan-control loop of `zephrctl fan-control`: once per interval it reads
// the CPU temperature and moves each fan a state up or down by its
// thresholds. It sends nothing else: one temperature read per interval and
// the settings it changes. When the temperature cannot be read it sets every
// fan to High (fail-safe) and keeps reading; when it stops it leaves the
// fans High. The hardware and the clock are given to it, so it runs as well
// on a simulated clock as on the real one.
#pragma once

#include "tools/zephrctl/fan_control_config.h"

#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace zephrctl {

// The notebook as the loop sees it.
class FanHardware {
  public:
    virtual ~FanHardware() = default;
    // The sensor's temperature in degrees Celsius, or nothing when it could
    // not be read; problem() then says why.
    virtual std::optional<unsigned> temperature(unsigned sensor) = 0;
    // False when the setting was not made; problem() says why.
    virtual bool setFanState(unsigned fan, unsigned state) = 0;
    virtual std::string problem() const = 0;
};

// Time as the loop sees it.
class LoopClock {
  public:
    virtual ~LoopClock() = default;
    // Seconds since some start.
    virtual double now() = 0;
    // Lets the seconds pass; false when the loop is to stop.
    virtual bool waitFor(double seconds) = 0;
};

class FanController {
  public:
    using Log = std::function<void(const std::string& line)>;

    FanController(const FanControlConfig& config, FanHardware& hardware, Log log);

    // One interval's work at the given time (seconds): read the temperature,
    // change the states that need it. With logReading the reading itself is
    // logged too.
    void step(double now, bool logReading = false);
    // Leaves every fan High, as the loop does when it ends.
    void leaveFansHigh(double now);

    bool failSafe() const
    {
        return failSafe_;
    }
    unsigned changes() const
    {
        return changes_;
    }
    unsigned settingsSent() const
    {
        return settingsSent_;
    }

  private:
    struct FanRecord {
        FanThresholds thresholds;
        std::optional<unsigned> state;   // as last set
        std::optional<unsigned> refused; // the state the BIOS last refused
        double refusedAt = 0;
    };

    void setFan(FanRecord& fan, unsigned state, double now, const std::string& reason, bool force);

    FanControlConfig config_;
    FanHardware& hardware_;
    Log log_;
    std::vector<FanRecord> fans_;
    bool failSafe_ = false;
    unsigned changes_ = 0;
    unsigned settingsSent_ = 0;
};

// Where a fan's state goes at a temperature: up while the temperature is
// above the state's upper bound, down while it is below the state's lower
// bound. With no state yet, the lowest state whose upper bound the
// temperature does not pass.
unsigned nextFanState(const FanThresholds& fan, std::optional<unsigned> state, int temperature);

// The loop: a step now, then one per interval until the clock says stop,
// then every fan High. With once: one step and nothing more (the fans stay
// as set). With logReadings every reading is logged, not only the first of
// once. Returns 0, or 1 when the last step found the temperature
// unreadable.
int runFanControl(const FanControlConfig& config, FanHardware& hardware, LoopClock& clock,
                  FanController::Log log, bool once, bool logReadings = false);

} // namespace zephrctl
