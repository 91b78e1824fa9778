// SPDX-License-Identifier: MIT
// fan_control_clock.h
//
// The real clock of the fan-control loop: waits that end early when the
// user presses Ctrl-C or the console closes, so the loop can leave the fans
// High before the process goes.
#pragma once

#include "tools/zephrctl/fan_controller.h"

#include <memory>

namespace zephrctl {

class SystemLoopClock : public LoopClock {
  public:
    // Catches Ctrl-C and the console's closing for the clock's lifetime.
    SystemLoopClock();
    ~SystemLoopClock() override;
    SystemLoopClock(const SystemLoopClock&) = delete;
    SystemLoopClock& operator=(const SystemLoopClock&) = delete;

    double now() override;
    bool waitFor(double seconds) override;
    // The loop has left the fans High: a closing console may go now.
    void finished();
};

// The simulated clock of the host build (the Win32 layer's, which the
// living notebook runs by), started at 2026-01-01 00:00:00 UTC: a wait
// moves it without waiting, and the loop is told to stop when a wait would
// pass stopAfter seconds. The Windows build has none: it throws saying so.
std::unique_ptr<LoopClock> simulatedLoopClock(double stopAfter);

} // namespace zephrctl
