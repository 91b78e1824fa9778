// SPDX-License-Identifier: MIT
// metrics_text.h
//
// A snapshot as Prometheus reads it (the text exposition format 0.0.4:
// HELP and TYPE lines, base units, label values escaped) and as /data.json.
#pragma once

#include "tools/agent/poller.h"

#include <string>

namespace agent {

// The sensor label of each temperature role: "cpu", "gpu", "memory", "other".
const char* sensorLabel(int role);

std::string prometheusText(const Snapshot& snapshot);
std::string dataJson(const Snapshot& snapshot);

} // namespace agent
