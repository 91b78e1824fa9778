// SPDX-License-Identifier: MIT
// plugin_image_windows.cpp
//
// The Windows build loads Gaugelet.dll itself (--plugin); the CPU emulator
// is the host build's.
#include "tools/gaugehost/plugin_host/plugin_image.h"

#include <stdexcept>

namespace gaugehost {

std::unique_ptr<PluginModule> loadPluginImage(const std::string& path, std::optional<uint32_t>)
{
    throw std::runtime_error("--plugin-image " + path +
                             ": the CPU emulator is the host build's; on Windows use --plugin");
}

} // namespace gaugehost
