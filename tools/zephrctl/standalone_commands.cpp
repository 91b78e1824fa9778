// standalone_commands.cpp
//
// The table of zephrctl's commands that run without an opened device.
#include "tools/zephrctl/standalone_commands.h"

namespace zephrctl {

const std::vector<StandaloneCommand>& standaloneCommands()
{
    static const std::vector<StandaloneCommand> kCommands = {
        {"fan-control", "[--config FILE] [--interval S] [--once] [--print-default-config]",
         "set the fans by the CPU temperature (thresholds with hysteresis)", runFanControlCommand},
        {"install", "[--path FILE]",
         "copy zephr.sys to the system's drivers and register the service (Windows)",
         runInstallCommand},
        {"uninstall", "", "stop and remove the zephr service and its file (Windows)",
         runUninstallCommand},
        {"start", "", "start the zephr service (Windows)", runStartCommand},
        {"stop", "", "stop the zephr service (Windows)", runStopCommand},
        {"status", "", "whether the zephr service is installed and running (Windows)",
         runStatusCommand},
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
