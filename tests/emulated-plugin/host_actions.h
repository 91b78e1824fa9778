// SPDX-License-Identifier: MIT
// host_actions.h
//
// What the comparison cases do to a plug-in, as the host application does
// it, each action written to a log with what the plug-in answered: the host
// functions, instances made and freed, reader calls with their parameter
// texts verbatim, and (around them) the simulated clock and notebook moved.
// The device control requests the plug-in sends go into the same log as
// they happen, so two logs agree only when the same requests came between
// the same actions.
#pragma once

#include "platform/host-nt/nt_host.h"
#include "tools/gaugehost/plugin_host/plugin_library.h"

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace plugin_comparison {

// A request as one log line: "request 9c40a440 in 00000000 out 4 -> ok: 34000000".
std::string describeRequest(const nt::DeviceControlRecord& record);

class HostActions {
  public:
    HostActions(const gaugehost::PluginLibrary& library, std::vector<std::string>& log);
    ~HostActions(); // frees the instances still alive, in the order they were made
    HostActions(const HostActions&) = delete;
    HostActions& operator=(const HostActions&) = delete;

    void init();
    void getparam(const std::string& reader);
    void dlltype();
    void getinfo(uint32_t index);
    // A new instance; gives its number in this case.
    size_t start();
    void read(size_t instance, const std::string& reader, const std::vector<std::string>& texts);
    // dllshutdown of the instance.
    void stop(size_t instance);
    // dllshutdown of a null instance.
    void stopNull();
    // The simulated clock moved by a signed number of milliseconds.
    void advance(int64_t milliseconds);
    // The simulated notebook's temperature of a sensor.
    void setTemperature(uint16_t sensor, uint16_t degrees);
    // The simulated notebook's fan: its state and raw speed.
    void setFan(size_t fan, uint16_t state, uint16_t speed);

  private:
    const gaugehost::PluginLibrary& library_;
    std::vector<std::string>& log_;
    std::vector<std::unique_ptr<gaugehost::PluginInstance>> instances_;
};

} // namespace plugin_comparison
