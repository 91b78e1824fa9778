// SPDX-License-Identifier: MIT
// notebook_controls_windows.cpp
//
// The Windows build's script controls: the clock is the real one, so time
// can only be waited for, and the notebook is real, so it cannot be changed.
#include "tools/gaugehost/plugin_host/notebook_controls.h"

#include <windows.h>

#include <stdexcept>

namespace gaugehost {

namespace {

[[noreturn]] void hostBuildOnly(const char* what)
{
    throw std::runtime_error(std::string(what) + " needs the simulated notebook of the host build");
}

} // namespace

void startScriptClock() {}

void moveClock(int64_t ticks)
{
    if (ticks < 0)
        hostBuildOnly("setting the clock back");
    Sleep(static_cast<DWORD>(ticks / 10000)); // 100 ns ticks to milliseconds
}

void setTemperature(unsigned, unsigned)
{
    hostBuildOnly("set temperature");
}

void setFanState(unsigned, unsigned)
{
    hostBuildOnly("set fan");
}

void setFanSpeed(unsigned, unsigned)
{
    hostBuildOnly("set fan");
}

void setBehaviour(const std::string&)
{
    hostBuildOnly("set behaviour");
}

uint64_t deviceRequestCount()
{
    hostBuildOnly("requests");
}

} // namespace gaugehost
