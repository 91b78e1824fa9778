// SPDX-License-Identifier: MIT
// thermal_model.cpp
//
// How the simulated notebook's temperatures and fan speeds move with time.
#include "sim/thermal_model.h"

#include <algorithm>
#include <cmath>

namespace sim {

namespace {

// Degrees the load that comes and goes adds at its height.
constexpr double kWanderingLoadHeat = 14.0;
// Seconds in which a temperature goes most of the way to where it is heading.
constexpr double kThermalLag = 12.0;
constexpr double kFanLag = 2.0;

} // namespace

uint16_t settledFanSpeed(uint16_t state)
{
    switch (state) {
    case 0:
        return 0;
    case 1:
        return 120;
    default:
        return 175;
    }
}

ThermalModel::ThermalModel(Machine& machine) : machine_(machine)
{
    for (const auto& [sensor, degrees] : machine_.smm.temperatures) {
        idle_[sensor] = degrees;
        now_[sensor] = degrees;
    }
}

void ThermalModel::setLoad(std::optional<double> percent)
{
    if (percent)
        percent = std::clamp(*percent, 0.0, 100.0);
    fixedLoad_ = percent;
}

void ThermalModel::advance(double seconds)
{
    if (seconds <= 0)
        return;
    clock_ += seconds;
    // A steady load, or one that comes and goes over about two minutes.
    const double heat =
        fixedLoad_
            ? kFullLoadHeat * *fixedLoad_ / 100.0
            : kWanderingLoadHeat * (0.5 + 0.5 * std::sin(clock_ / 20.0) * std::cos(clock_ / 47.0));
    double cooling = 0;
    for (auto& fan : machine_.smm.fans) {
        cooling += kCoolingPerState * fan.state;
        const double target = settledFanSpeed(fan.state);
        const double step = std::min(1.0, seconds / kFanLag);
        // Whole steps toward the target, so a fan arrives instead of creeping.
        const double next = fan.speed + (target - fan.speed) * step;
        fan.speed = static_cast<uint16_t>(target > fan.speed ? std::ceil(next) : std::floor(next));
    }
    const double step = std::min(1.0, seconds / kThermalLag);
    for (auto& [sensor, degrees] : now_) {
        const double target = std::max(25.0, idle_[sensor] + heat - cooling);
        degrees += (target - degrees) * step;
        auto found = machine_.smm.temperatures.find(sensor);
        if (found != machine_.smm.temperatures.end())
            found->second = static_cast<uint16_t>(std::lround(degrees));
    }
}

} // namespace sim
