// SPDX-License-Identifier: MIT
// notebook_controls.h
//
// What a gaugehost script may change around the plug-in: the system clock
// the readers read, the values of the simulated notebook, and the count of
// device requests sent. The host build does all of it on its simulated
// clock and notebook; the Windows build can only let real time pass.
#pragma once

#include <cstdint>
#include <string>

namespace gaugehost {

// 2026-01-01 00:00:00 UTC as a FILETIME: where a script's clock starts.
constexpr uint64_t kScriptStartTime = 134116992000000000ull;

// Starts the simulated clock at kScriptStartTime (host build).
void startScriptClock();
// Moves the clock by a signed number of 100 ns ticks. On Windows time can
// only be waited for: a forward move sleeps, a backward one throws.
void moveClock(int64_t ticks);

// Changes of the simulated notebook; std::runtime_error with the reason
// when the notebook has no such sensor or fan, or in the Windows build.
void setTemperature(unsigned sensor, unsigned degrees);
void setFanState(unsigned fan, unsigned state);
void setFanSpeed(unsigned fan, unsigned speed);
// "normal", "ignore" or "echo-ax".
void setBehaviour(const std::string& behaviour);

// Device control requests sent since the process began (host build).
uint64_t deviceRequestCount();

} // namespace gaugehost
