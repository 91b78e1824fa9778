// SPDX-License-Identifier: MIT
// driver_architecture.h
//
// Which driver install may put into the system: the one beside the tool,
// built for the same architecture as the tool. That is right unless a
// 32-bit zephrctl.exe runs on 64-bit Windows (under WOW64): 64-bit Windows
// loads no 32-bit driver, and the file system redirection would put the
// copy into SysWOW64, not into System32\drivers. install then refuses and
// names the tool that installs the right driver.
#pragma once

#include <optional>
#include <string>

namespace zephrctl {

// Empty when install may go on; else why not, naming the 64-bit tool.
std::optional<std::string> installArchitectureRefusal(bool toolIs64Bit, bool windowsIs64Bit);

} // namespace zephrctl
