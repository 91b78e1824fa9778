// SPDX-License-Identifier: MIT
// fan_control_config.h
//
// What `zephrctl fan-control` controls and by which thresholds: the CPU
// sensor, the fans, and for each fan the temperatures at which it goes up a
// state (above the state's upper bound) and down a state (below the state's
// lower bound). Read from a small JSON file over the notebook's defaults;
// a wrong key or thresholds out of order are refused with the key named.
#pragma once

#include "common/zephr_ioctl.h"

#include <stdexcept>
#include <string>
#include <vector>

namespace zephrctl {

// The fan states as the BIOS numbers them.
constexpr unsigned kFanOff = 0;
constexpr unsigned kFanSlow = 1;
constexpr unsigned kFanHigh = 2;

const char* fanStateWord(unsigned state); // GaugeletFanStateNames, or "unknown"

// The seconds between readings a configuration or --interval may give.
constexpr double kShortestInterval = 0.5;
constexpr double kLongestInterval = 3600;

// One fan's thresholds in degrees Celsius. Hysteresis: a fan that went to
// Slow above offUp comes back to Off only below slowDown (< offUp); one that
// went to High above slowUp comes back to Slow only below highDown (< slowUp).
struct FanThresholds {
    unsigned fan = 0;
    int offUp = 0;    // Off -> Slow above this
    int slowDown = 0; // Slow -> Off below this
    int slowUp = 0;   // Slow -> High above this
    int highDown = 0; // High -> Slow below this
};

struct FanControlConfig {
    unsigned sensor = 0;    // the CPU temperature sensor
    double interval = 5;    // seconds between temperature reads
    double retryAfter = 60; // seconds before a setting the BIOS refused is tried again
    std::vector<FanThresholds> fans;
};

// A configuration that cannot be used; the message names the key.
class ConfigError : public std::runtime_error {
  public:
    using std::runtime_error::runtime_error;
};

// The defaults: every model the plug-in knows reads its CPU at sensor 0
// and has its fans at 0 and 1; the thresholds keep such a CPU below 70 °C
// with both fans at Slow in ordinary use.
FanControlConfig defaultFanControlConfig();

// The JSON text over the defaults: keys it leaves out keep the default.
// `source` names the text in messages (the file's path). Throws ConfigError.
FanControlConfig parseFanControlConfig(const std::string& text, const FanControlConfig& defaults,
                                       const std::string& source);

// Throws ConfigError naming the first threshold out of order.
void checkFanControlConfig(const FanControlConfig& config, const std::string& source);

// The configuration as a JSON text that parseFanControlConfig reads back.
std::string formatFanControlConfig(const FanControlConfig& config);

} // namespace zephrctl
