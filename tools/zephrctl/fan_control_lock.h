// SPDX-License-Identifier: MIT
// fan_control_lock.h
//
// One fan-control at a time: two loops would set the same fans by turns.
// On Windows a named mutex (Global\zephr-fan-control, across the sessions
// of everyone logged on) is held for the loop's lifetime, and the holder's
// process ID is written to a small named shared memory
// (Global\zephr-fan-control-pid) so a second one can say who runs. In the
// host build each process simulates a notebook of its own: nothing to share.
#pragma once

#include <memory>

namespace zephrctl {

class FanControlLock {
  public:
    // Throws CommandError (exit status 3) naming the process that holds
    // the lock ("another fan-control runs (process 1234)"), or saying
    // "another fan-control" when its process ID cannot be read.
    FanControlLock();
    ~FanControlLock();
    FanControlLock(const FanControlLock&) = delete;
    FanControlLock& operator=(const FanControlLock&) = delete;

  private:
    struct State;
    std::unique_ptr<State> state_;
};

} // namespace zephrctl
