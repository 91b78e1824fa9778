// SPDX-License-Identifier: MIT
// fan_control_lock_host.cpp
//
// The host build's fan-control runs on a simulated notebook of its own
// process: another one cannot reach its fans.
#include "tools/zephrctl/fan_control_lock.h"

namespace zephrctl {

struct FanControlLock::State {};

FanControlLock::FanControlLock() = default;

FanControlLock::~FanControlLock() = default;

} // namespace zephrctl
