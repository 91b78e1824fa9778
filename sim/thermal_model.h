// SPDX-License-Identifier: MIT
// thermal_model.h
//
// The simulated notebook at work: as time passes, the temperatures drift
// with a slowly changing load and fall when the fans run faster, and each
// fan's speed follows its state (off, slow, high). The panel lets it run so
// that a person sees the readers' throttle and the fans at work.
#pragma once

#include "sim/machine.h"

#include <map>
#include <optional>

namespace sim {

class ThermalModel {
  public:
    // Takes the machine's present temperatures as the idle ones.
    explicit ThermalModel(Machine& machine);
    // Lets the given seconds pass.
    void advance(double seconds);
    // A steady load, 0 to 100 percent of what the processor can do, in
    // place of the load that comes and goes by itself (nothing: that one
    // again). Full load heats the notebook by kFullLoadHeat degrees with
    // the fans Off; the load that comes and goes reaches about half of it.
    void setLoad(std::optional<double> percent);
    std::optional<double> load() const
    {
        return fixedLoad_;
    }

  private:
    Machine& machine_;
    std::map<uint16_t, double> idle_;
    std::map<uint16_t, double> now_;
    double clock_ = 0;
    std::optional<double> fixedLoad_;
};

// Degrees a full load adds to every sensor's idle temperature with the
// fans Off; each step of fan state takes kCoolingPerState away.
constexpr double kFullLoadHeat = 30.0;
constexpr double kCoolingPerState = 4.0;

// Raw BIOS fan speed (the driver's answer divided by 30) a fan settles at in a state.
uint16_t settledFanSpeed(uint16_t state);

} // namespace sim
