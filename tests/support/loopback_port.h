// SPDX-License-Identifier: MIT
// loopback_port.h
//
// A loopback TCP port for a server a test starts (the agent, Prometheus).
#pragma once

namespace tool_test {

// A port on 127.0.0.1 that nothing listens on now.
int freeLoopbackPort();

} // namespace tool_test
