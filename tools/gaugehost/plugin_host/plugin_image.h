// SPDX-License-Identifier: MIT
// plugin_image.h
//
// The Windows build's plug-in (build-windows/bin/Gaugelet.dll) as a
// PluginModule of the host build: the DLL under the CPU emulator, its
// exports called with the C calling convention, its parameter texts copied
// into emulated memory and its returned texts read out of it. After a fault
// of the plug-in (reported on standard error and in the trace) every text
// function answers "ERROR: " and the fault, every number function 0.
#pragma once

#include "tools/gaugehost/plugin_host/plugin_library.h"

#include <cstdint>
#include <memory>
#include <optional>
#include <string>

namespace gaugehost {

// Loads the DLL at its own image base, or moved to base. Throws
// std::runtime_error (the Windows build: always, it loads its DLL natively)
// naming the file and why it cannot be loaded.
std::unique_ptr<PluginModule> loadPluginImage(const std::string& path,
                                              std::optional<uint32_t> base = std::nullopt);

} // namespace gaugehost
