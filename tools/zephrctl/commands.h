// SPDX-License-Identifier: MIT
// commands.h
//
// zephrctl's commands: one per driver request, each printing the decoded
// answer, plus the raw request and the notebook summary.
#pragma once

#include "tools/zephrctl/device_client.h"

#include <ostream>
#include <stdexcept>
#include <string>
#include <vector>

namespace zephrctl {

// Exit statuses.
constexpr int kExitOk = 0;
constexpr int kExitNoValue = 1; // the driver answered that it has no value
constexpr int kExitUsage = 2;   // the command line is wrong
constexpr int kExitRefused = 3; // no device, a refused request, or no notebook

// A failure with the message to print and the exit status to give.
class CommandError : public std::runtime_error {
  public:
    CommandError(const std::string& message, int exitStatus)
        : std::runtime_error(message), exitStatus_(exitStatus)
    {
    }
    int exitStatus() const
    {
        return exitStatus_;
    }

  private:
    int exitStatus_;
};

struct Command {
    const char* name;
    const char* arguments; // for --help
    const char* summary;
    size_t argumentCount; // fixed count (the raw request parses its own options)
    int (*run)(const DeviceClient& device, const std::vector<std::string>& arguments,
               std::ostream& out);
};

const std::vector<Command>& commands();
const Command* findCommand(const std::string& name);

} // namespace zephrctl
