// SPDX-License-Identifier: MIT
// service_commands_host.cpp
//
// The service commands in the host build: the Service Control Manager is
// Windows's, so each says where it works and ends with the usage status.
#include "tools/zephrctl/commands.h"
#include "tools/zephrctl/standalone_commands.h"

namespace zephrctl {

namespace {

[[noreturn]] void windowsOnly(const char* command)
{
    throw CommandError(std::string(command) +
                           ": exists on Windows only (the Service Control Manager installs and "
                           "starts the driver there; the host build loads it by itself)",
                       kExitUsage);
}

} // namespace

int runInstallCommand(const tools::SessionOptions&, const std::vector<std::string>&, std::ostream&)
{
    windowsOnly("install");
}

int runUninstallCommand(const tools::SessionOptions&, const std::vector<std::string>&,
                        std::ostream&)
{
    windowsOnly("uninstall");
}

int runStartCommand(const tools::SessionOptions&, const std::vector<std::string>&, std::ostream&)
{
    windowsOnly("start");
}

int runStopCommand(const tools::SessionOptions&, const std::vector<std::string>&, std::ostream&)
{
    windowsOnly("stop");
}

int runStatusCommand(const tools::SessionOptions&, const std::vector<std::string>&, std::ostream&)
{
    windowsOnly("status");
}

} // namespace zephrctl
