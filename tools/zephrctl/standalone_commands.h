// SPDX-License-Identifier: MIT
// standalone_commands.h
//
// zephrctl's commands that do not send one request on an opened device:
// the fan-control loop, which brings up its own session and reopens the
// device when it goes, and the service commands, which talk to the
// Service Control Manager and need no device at all.
#pragma once

#include "tools/common/session.h"

#include <ostream>
#include <string>
#include <vector>

namespace zephrctl {

struct StandaloneCommand {
    const char* name;
    const char* arguments; // for --help
    const char* summary;
    int (*run)(const tools::SessionOptions& options, const std::vector<std::string>& arguments,
               std::ostream& out);
};

const std::vector<StandaloneCommand>& standaloneCommands();
const StandaloneCommand* findStandaloneCommand(const std::string& name);

// The commands (fan_control_command.cpp, service_commands_*.cpp).
int runFanControlCommand(const tools::SessionOptions& options,
                         const std::vector<std::string>& arguments, std::ostream& out);
int runInstallCommand(const tools::SessionOptions& options,
                      const std::vector<std::string>& arguments, std::ostream& out);
int runUninstallCommand(const tools::SessionOptions& options,
                        const std::vector<std::string>& arguments, std::ostream& out);
int runStartCommand(const tools::SessionOptions& options, const std::vector<std::string>& arguments,
                    std::ostream& out);
int runStopCommand(const tools::SessionOptions& options, const std::vector<std::string>& arguments,
                   std::ostream& out);
int runStatusCommand(const tools::SessionOptions& options,
                     const std::vector<std::string>& arguments, std::ostream& out);

} // namespace zephrctl
