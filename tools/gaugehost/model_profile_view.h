// SPDX-License-Identifier: MIT
// model_profile_view.h
//
// The model profile the plug-in chooses for a product name (sensor numbers
// and the fan-speed divisor), for the panel's header. The host cannot look
// into the plug-in, so gaugehost runs the plug-in's own rules
// (plugin/model_profile.cpp, compiled in) on the name it reads itself.
#pragma once

#include <string>

namespace gaugehost {

struct ModelProfileView {
    int cpuSensor = 0;
    int gpuSensor = 1;
    int dimmSensor = 2;
    int otherSensor = 3;
    unsigned fanDivisor = 1; // 30 when the readers show speeds divided by 30
};

ModelProfileView modelProfileFor(const std::string& productName);

} // namespace gaugehost
