// SPDX-License-Identifier: MIT
// program_environment_host.cpp
//
// The host build's surroundings: the plug-in in ../lib from the program;
// standard output already passes bytes unchanged; the Win32 layer's loader
// message; SIGINT, SIGTERM and SIGHUP (the terminal closed) as stop requests.
#include "tools/gaugehost/plugin_host/program_environment.h"

#include "platform/host-win32/win32_host.h"

#include <csignal>
#include <filesystem>

namespace gaugehost {

namespace {

volatile std::sig_atomic_t stopFlag = 0;

void onStopSignal(int)
{
    stopFlag = 1;
}

} // namespace

std::string defaultPluginPath()
{
    std::filesystem::path program = std::filesystem::read_symlink("/proc/self/exe");
    return (program.parent_path().parent_path() / "lib" / "libGaugelet.so").string();
}

void useBinaryOutput() {}

std::string lastLoaderError()
{
    return win32::LastLoaderMessage();
}

void catchStopRequests()
{
    struct sigaction action = {};
    action.sa_handler = onStopSignal;
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);
    sigaction(SIGHUP, &action, nullptr); // the terminal closed
}

bool stopRequested()
{
    return stopFlag != 0;
}

} // namespace gaugehost
