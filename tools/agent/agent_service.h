// SPDX-License-Identifier: MIT
// agent_service.h
//
// zephr-agent as a Windows service: install (an own-process service that
// starts with Windows and depends on the zephr driver's service),
// uninstall, start, stop and status through the Service Control Manager,
// and the service's own entry (the service command), which runs the agent
// until the manager asks it to stop or Windows shuts down, then leaves
// every fan High. The host build has no Service Control Manager: the
// commands say so.
#pragma once

#include <functional>
#include <ostream>
#include <string>
#include <vector>

namespace agent {

// The agent's work as a service runs it: the arguments it was installed
// with. run calls running once it serves (the service is then reported
// running; a start that fails before is reported as one), and returns when
// stop() is called.
struct ServiceBody {
    std::function<int(const std::function<void()>& running)> run;
    std::function<void()> stop;
};

// install|uninstall|start|stop|status; the arguments of install are those the
// service will run with. Writes what it did to out and returns the exit
// status; throws std::runtime_error (zephrctl::CommandError on Windows)
// saying what failed.
int runServiceCommand(const std::string& command, const std::vector<std::string>& runArguments,
                      std::ostream& out);

// True when the process was started by the Service Control Manager and ran
// body as the service until it stopped (Windows); false when it was started
// from a console.
bool runAsService(ServiceBody body);

// Where the service writes its log: zephr-agent.log beside the program.
std::string serviceLogPath();

// Calls stop (on a thread of its own) when the user presses Ctrl-C or the
// process is asked to end, for the object's lifetime. Make it before any
// other thread starts.
class StopRequests {
  public:
    explicit StopRequests(std::function<void()> stop);
    ~StopRequests();
    StopRequests(const StopRequests&) = delete;
    StopRequests& operator=(const StopRequests&) = delete;
};

} // namespace agent
