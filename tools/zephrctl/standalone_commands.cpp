// SPDX-License-Identifier: MIT
// standalone_commands.cpp
//
// The table of zephrctl's commands that run without an opened device.
#include "tools/zephrctl/standalone_commands.h"

namespace zephrctl {

const std::vector<StandaloneCommand>& standaloneCommands()
{
    static const std::vector<StandaloneCommand> kCommands = {
        {"fan-control", "[--config FILE] [--interval S] [--once] [--print-default-config]",
         "set the fans by the CPU temperature", runFanControlCommand},
        {"install", "[--path FILE]", "install zephr.sys as the zephr service (Windows)",
         runInstallCommand},
        {"uninstall", "", "stop and remove the zephr service (Windows)", runUninstallCommand},
        {"start", "", "start the zephr service (Windows)", runStartCommand},
        {"stop", "", "stop the zephr service (Windows)", runStopCommand},
        {"status", "", "whether the zephr service runs (Windows)", runStatusCommand},
    };
    return kCommands;
}

const StandaloneCommand* findStandaloneCommand(const std::string& name)
{
    for (const StandaloneCommand& command : standaloneCommands())
        if (name == command.name)
            return &command;
    return nullptr;
}

} // namespace zephrctl
