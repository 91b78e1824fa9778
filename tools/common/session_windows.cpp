// SPDX-License-Identifier: MIT
// session_windows.cpp
//
// The Windows build's Session: the real notebook and the installed driver
// serve, so there is nothing to bring up, nothing to trace, and a machine
// file cannot be used.
#include "tools/common/session.h"

#include <stdexcept>

namespace tools {

Session::Session(const SessionOptions& options)
{
    if (options.machineFile)
        throw InputFileError("--machine " + options.machineFile->string() +
                             ": a simulated notebook exists only in the host build");
    if (options.driverImage)
        throw std::runtime_error("--driver-image " + options.driverImage->string() +
                                 ": the emulated driver image runs only in the host build");
}

Session::~Session() = default;

void Session::setTrace(std::ostream*) {}

bool Session::simulated()
{
    return false;
}

} // namespace tools
