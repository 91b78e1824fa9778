// SPDX-License-Identifier: MIT
// model_profile_view.cpp
//
// The plug-in's profile rules run in gaugehost: they write the plug-in's
// profile globals, which this program defines for them (gaugehost does not
// share them with the loaded plug-in, whose own copies stay inside it).
#include "tools/gaugehost/model_profile_view.h"

#include "plugin/driver_connection.h"

int GpuSensor = 1;
int DimmSensor = 2;
int DivideFanSpeed = 0;

namespace gaugehost {

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

} // namespace gaugehost
