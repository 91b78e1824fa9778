// SPDX-License-Identifier: MIT
// temperature_limits.h
//
// The temperature limits the tools show: where a CPU temperature is worth a
// look, and where it is too hot. Notebook processors of these models
// throttle themselves near 100 °C.
#pragma once

namespace tools {

constexpr int kDefaultWarnCelsius = 80;
constexpr int kDefaultCriticalCelsius = 95;

} // namespace tools
