// SPDX-License-Identifier: MIT
// poller.h
//
// What zephr-agent knows of the notebook: once per interval it reads the four
// temperatures by the notebook's profile, the two fan speeds and the two fan
// states through the zephr device, and, when fan control is on, runs one step
// of zephrctl's fan controller on the temperature it just read. Everything
// else (the HTTP endpoint) reads the last poll's snapshot and never sends a
// request of its own. It runs on the agent's one thread of work (the
// io_context of main.cpp's run, which times the polls): nothing here is
// shared between threads.
#pragma once

#include "plugin/vocabulary.h"
#include "tools/zephrctl/device_client.h"
#include "tools/zephrctl/fan_control_config.h"
#include "tools/zephrctl/fan_controller.h"

#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>

namespace agent {

// The readings of one poll and the counts since the start.
struct Snapshot {
    bool up = false;     // the last poll reached the device
    double pollTime = 0; // when it ran: seconds since 1970 (0 before the first)
    std::array<std::optional<uint32_t>, GAUGELET_SENSOR_ROLE_COUNT> temperatures; // Celsius
    std::array<std::optional<uint32_t>, 2> fanSpeeds;                             // rpm
    std::array<std::optional<uint32_t>, 2> fanStates;                             // 0, 1, 2
    uint64_t polls = 0;
    uint64_t smmRequests = 0;     // device requests that reach the BIOS's SMM functions
    uint64_t readErrors = 0;      // readings that gave no value
    uint64_t fanStateChanges = 0; // settings the fan controller made
    bool fanControl = false;      // the fan controller runs
    bool failSafe = false;        // it holds the fans High: the temperature was unreadable
    std::string model;            // the product name of the system information report
    std::string profile;          // "default" or "swapped sensors, speeds / 30"
    std::string driverVersion;    // "1.5"
};

struct PollerOptions {
    double interval = 5;                                  // seconds between polls
    std::optional<zephrctl::FanControlConfig> fanControl; // on when given
};

class Poller {
  public:
    using Log = std::function<void(const std::string& line)>;

    Poller(PollerOptions options, Log log);
    ~Poller();
    Poller(const Poller&) = delete;
    Poller& operator=(const Poller&) = delete;

    // One poll now.
    void pollOnce();
    // The end of the run: with fan control on, leaves every fan High and
    // says so.
    void finish();

    const Snapshot& snapshot() const
    {
        return snapshot_;
    }

  private:
    class Hardware;
    bool connect();
    std::optional<uint32_t> read(uint32_t code, uint16_t word, bool smm);
    void identify();

    PollerOptions options_;
    Log log_;
    std::unique_ptr<zephrctl::DeviceClient> device_;
    std::unique_ptr<Hardware> hardware_;
    std::unique_ptr<zephrctl::FanController> controller_;
    GaugeletProfile profile_ = GaugeletDefaultProfile;
    double started_ = 0;

    Snapshot snapshot_;
    Snapshot next_; // the poll in progress
};

} // namespace agent
