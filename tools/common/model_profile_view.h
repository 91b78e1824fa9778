// SPDX-License-Identifier: MIT
// model_profile_view.h
//
// The model profile the plug-in chooses for a product name (sensor numbers
// and the fan-speed divisor), for the panel's header and zephrctl's summary.
// A tool cannot look into the plug-in, so it runs the plug-in's own rules
// (plugin/model_profile.cpp, compiled in) on the name it reads itself. And
// the temperature limits the tools show.
#pragma once

#include <string>

namespace tools {

// Where a CPU temperature is worth a look, and where it is too hot: notebook
// processors of these models throttle themselves near 100 °C.
constexpr int kDefaultWarnCelsius = 80;
constexpr int kDefaultCriticalCelsius = 95;

struct ModelProfileView {
    int cpuSensor = 0;
    int gpuSensor = 1;
    int dimmSensor = 2;
    int otherSensor = 3;
    unsigned fanDivisor = 1; // 30 when the readers show speeds divided by 30
};

ModelProfileView modelProfileFor(const std::string& productName);

} // namespace tools
