// SPDX-License-Identifier: MIT
// driver_architecture.cpp
//
// The refusal of a 32-bit install on 64-bit Windows.
#include "tools/zephrctl/driver_architecture.h"

namespace zephrctl {

std::optional<std::string> installArchitectureRefusal(bool toolIs64Bit, bool windowsIs64Bit)
{
    if (toolIs64Bit || !windowsIs64Bit)
        return std::nullopt;
    return "install: this is the 32-bit zephrctl.exe and Windows is 64-bit, which loads no 32-bit "
           "driver; run x64\\zephrctl.exe install from the package's x64 folder instead";
}

} // namespace zephrctl
