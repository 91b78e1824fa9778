// SPDX-License-Identifier: MIT
// fan_control_clock_windows.cpp
//
// The loop's clock on Windows: a console control handler ends the current
// wait on Ctrl-C, Ctrl-Break, the console's closing, log-off and shutdown.
// For the last three Windows ends the process when the handler returns, so
// the handler waits (up to 4.5 s of the 5 s Windows grants) until the loop
// has left the fans High.
#include "tools/zephrctl/fan_control_clock.h"

#include <windows.h>

#include <chrono>
#include <stdexcept>

namespace zephrctl {

namespace {

volatile LONG stopRequested = 0;
HANDLE loopFinished = nullptr;

BOOL WINAPI consoleControl(DWORD event)
{
    InterlockedExchange(&stopRequested, 1);
    if (event == CTRL_CLOSE_EVENT || event == CTRL_LOGOFF_EVENT || event == CTRL_SHUTDOWN_EVENT) {
        if (loopFinished != nullptr)
            WaitForSingleObject(loopFinished, 4500);
    }
    return TRUE;
}

} // namespace

SystemLoopClock::SystemLoopClock()
{
    stopRequested = 0;
    loopFinished = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    SetConsoleCtrlHandler(consoleControl, TRUE);
}

SystemLoopClock::~SystemLoopClock()
{
    finished();
    SetConsoleCtrlHandler(consoleControl, FALSE);
}

double SystemLoopClock::now()
{
    using Seconds = std::chrono::duration<double>;
    return std::chrono::duration_cast<Seconds>(std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

bool SystemLoopClock::waitFor(double seconds)
{
    const double end = now() + seconds;
    while (!stopRequested && now() < end)
        Sleep(100); // a tenth of a second at a time, so a stop is seen at once
    return !stopRequested;
}

void SystemLoopClock::finished()
{
    if (loopFinished != nullptr)
        SetEvent(loopFinished);
}

std::unique_ptr<LoopClock> simulatedLoopClock(double)
{
    throw std::runtime_error("the simulated clock runs only in the host build");
}

} // namespace zephrctl
