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

namespace sim {

class ThermalModel {
  public:
    // Takes the machine's present temperatures as the idle ones.
    explicit ThermalModel(Machine& machine);
    // Lets the given seconds pass.
    void advance(double seconds);

  private:
    Machine& machine_;
    std::map<uint16_t, double> idle_;
    std::map<uint16_t, double> now_;
    double clock_ = 0;
};

// Raw BIOS fan speed (the driver's answer divided by 30) a fan settles at in a state.
uint16_t settledFanSpeed(uint16_t state);

} // namespace sim
