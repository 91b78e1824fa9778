// SPDX-License-Identifier: MIT
// model_profile_view.cpp
//
// The plug-in's profile rules run in a tool: they write the plug-in's
// profile globals, which this library defines for them (a tool does not
// share them with a loaded plug-in, whose own copies stay inside it).
#include "tools/common/model_profile_view.h"

#include "plugin/driver_connection.h"

int GpuSensor = 1;
int DimmSensor = 2;
int DivideFanSpeed = 0;

namespace tools {

ModelProfileView modelProfileFor(const std::string& productName)
{
    GpuSensor = 1;
    DimmSensor = 2;
    DivideFanSpeed = 0;
    ApplyModelProfile(productName.c_str());
    ModelProfileView view;
    view.gpuSensor = GpuSensor;
    view.dimmSensor = DimmSensor;
    view.fanDivisor = DivideFanSpeed == 1 ? 30 : 1;
    return view;
}

} // namespace tools
