// SPDX-License-Identifier: MIT
// wine_session.h
//
// One Wine session of the suite: the steps it runs in one `cmd /c` (so the
// driver service started by the first step is still there for the next), the
// batch file that runs them, and what the session showed: each step's exit
// code and output, the driver's debug messages and the device requests in
// the order the driver saw them, and Wine's own messages (crashes).
#pragma once

#include <map>
#include <string>
#include <vector>

namespace wine_test {

// A command line run by cmd; name is lower case letters, digits and '-' and
// names the step's output files.
struct SessionStep {
    std::string name;
    std::string commandLine;
};

struct StepResult {
    int exitCode = -1;  // cmd's ERRORLEVEL after the step
    std::string output; // standard output and error, CR LF turned into LF
};

struct SessionResult {
    bool timedOut = false;
    int exitStatus = -1; // of `wine cmd`
    std::map<std::string, StepResult> steps;
    // "Zephr: DriverEntry successful", ..., and for every request to the
    // zephr device "ioctl 9c40a440 in 4 out 4", in order.
    std::vector<std::string> driverEvents;
    // Lines Wine wrote that are no debug channel output, such as
    // "wine: Unhandled privileged instruction ...".
    std::string wineMessages;

    // The step's result; throws std::out_of_range naming a step that never ran.
    const StepResult& step(const std::string& name) const;
};

// The batch file (CR LF lines) that runs the steps in order from folder (a
// Windows path such as C:\zephr-test), each step's output into
// <folder>\out\<name>.txt and its ERRORLEVEL into <folder>\out\<name>.rc.
std::string sessionBatch(const std::vector<SessionStep>& steps, const std::string& folder);

// The driver events in Wine's debug output (channels warn+debugstr and
// trace+ntoskrnl), in order. Requests to other device types are left out.
std::vector<std::string> driverEvents(const std::string& wineDebugOutput);

// The lines of Wine's standard error that are no debug channel output.
std::string wineMessages(const std::string& wineDebugOutput);

// A program's Windows text output with CR LF line ends turned into LF.
std::string unixLines(const std::string& windowsText);

} // namespace wine_test
