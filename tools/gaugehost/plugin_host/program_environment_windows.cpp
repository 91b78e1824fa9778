// SPDX-License-Identifier: MIT
// program_environment_windows.cpp
//
// The Windows build's surroundings: Gaugelet.dll beside the program,
// standard output switched to binary mode for --raw, the system's message
// for a loader error, Ctrl-C through the console's control handler.
#include "tools/gaugehost/plugin_host/program_environment.h"

#include <windows.h>

#include <fcntl.h>
#include <io.h>
#include <stdio.h>

namespace gaugehost {

namespace {

volatile LONG stopFlag = 0;

// The time a closing console, a logoff or a shutdown is held up for, so the
// command can end as it ends at Ctrl-C (the panel sets the fans back, the
// log ends its record); the system ends the process when this returns.
constexpr DWORD kClosingGraceMilliseconds = 4500;

BOOL WINAPI onControl(DWORD event)
{
    stopFlag = 1;
    if (event == CTRL_CLOSE_EVENT || event == CTRL_LOGOFF_EVENT || event == CTRL_SHUTDOWN_EVENT)
        Sleep(kClosingGraceMilliseconds);
    return TRUE;
}

} // namespace

std::string defaultPluginPath()
{
    char program[MAX_PATH];
    DWORD length = GetModuleFileNameA(nullptr, program, MAX_PATH);
    if (length == 0 || length >= MAX_PATH)
        return "Gaugelet.dll"; // the loader then searches its usual places
    std::string path(program, length);
    size_t slash = path.find_last_of("\\/");
    std::string folder = slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
    return folder + "Gaugelet.dll";
}

void useBinaryOutput()
{
    fflush(stdout);
    _setmode(_fileno(stdout), _O_BINARY);
}

std::string lastLoaderError()
{
    const DWORD error = GetLastError();
    char text[512] = {};
    DWORD length = FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
                                  nullptr, error, 0, text, sizeof text, nullptr);
    while (length > 0 && (text[length - 1] == '\r' || text[length - 1] == '\n' ||
                          text[length - 1] == ' ' || text[length - 1] == '.'))
        text[--length] = '\0';
    std::string reason = length > 0 ? std::string(text, length) : "no message";
    return reason + " (error " + std::to_string(error) + ")";
}

void catchStopRequests()
{
    SetConsoleCtrlHandler(onControl, TRUE);
}

bool stopRequested()
{
    return stopFlag != 0;
}

} // namespace gaugehost
