// SPDX-License-Identifier: MIT
// host_commands.h
//
// The host's own commands on a loaded plug-in: info lists what the host
// learns from init, getparam, dlltype and getinfo; call makes one instance,
// calls a reader once and frees the instance.
#pragma once

#include "tools/gaugehost/plugin_host/plugin_library.h"

#include <ostream>
#include <string>
#include <vector>

namespace gaugehost {

void runInfo(const PluginLibrary& library, std::ostream& out);

// Prints the reader's text in UTF-8 (control bytes escaped) and a newline,
// or with raw the bytes exactly as returned and nothing else. False when the
// text is one of the plug-in's error texts ("ERROR: ...").
bool runCall(const PluginLibrary& library, const std::string& reader,
             const std::vector<std::string>& parameters, bool raw, std::ostream& out);

} // namespace gaugehost
