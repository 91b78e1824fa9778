// SPDX-License-Identifier: MIT
// notebook_controls_host.cpp
//
// The host build's script controls: the Win32 layer's simulated clock, the
// installed simulated notebook, and the NT layer's request count.
#include "tools/gaugehost/plugin_host/notebook_controls.h"

#include "platform/host-nt/nt_host.h"
#include "platform/host-win32/win32_host.h"
#include "sim/machine.h"

#include <limits>
#include <stdexcept>

namespace gaugehost {

namespace {

uint16_t word(unsigned value, const char* what)
{
    if (value > std::numeric_limits<uint16_t>::max())
        throw std::runtime_error(std::string(what) + " " + std::to_string(value) +
                                 " does not fit the BIOS's 16-bit word");
    return static_cast<uint16_t>(value);
}

sim::Fan& fanOf(unsigned fan)
{
    auto& fans = sim::currentMachine().smm.fans;
    if (fan >= fans.size())
        throw std::runtime_error("the simulated notebook has no fan " + std::to_string(fan) +
                                 " (it has " + std::to_string(fans.size()) + ")");
    return fans[fan];
}

} // namespace

void startScriptClock()
{
    win32::Clock::useSimulated(kScriptStartTime);
}

void moveClock(int64_t ticks)
{
    win32::Clock::advance(ticks);
}

void setTemperature(unsigned sensor, unsigned degrees)
{
    sim::currentMachine().smm.temperatures[word(sensor, "sensor")] = word(degrees, "temperature");
}

void setFanState(unsigned fan, unsigned state)
{
    fanOf(fan).state = word(state, "fan state");
}

void setFanSpeed(unsigned fan, unsigned speed)
{
    fanOf(fan).speed = word(speed, "fan speed");
}

void setBehaviour(const std::string& behaviour)
{
    auto& smm = sim::currentMachine().smm;
    if (behaviour == "normal")
        smm.behaviour = sim::SmmBehaviour::Normal;
    else if (behaviour == "ignore")
        smm.behaviour = sim::SmmBehaviour::Ignore;
    else if (behaviour == "echo-ax")
        smm.behaviour = sim::SmmBehaviour::EchoAx;
    else
        throw std::runtime_error("unknown behaviour '" + behaviour +
                                 "' (normal, ignore or echo-ax)");
}

uint64_t deviceRequestCount()
{
    return nt::IoManager::instance().deviceControlCount();
}

} // namespace gaugehost
