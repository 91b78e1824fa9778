// SPDX-License-Identifier: MIT
// fan_control_clock_host.cpp
//
// The loop's clock on Linux: Ctrl-C (SIGINT), SIGTERM and a closing
// terminal (SIGHUP) end the current wait.
#include "tools/zephrctl/fan_control_clock.h"

#include <chrono>
#include <csignal>
#include <ctime>

namespace zephrctl {

namespace {

volatile std::sig_atomic_t stopRequested = 0;

extern "C" void requestStop(int)
{
    stopRequested = 1;
}

const int kStopSignals[] = {SIGINT, SIGTERM, SIGHUP};

} // namespace

SystemLoopClock::SystemLoopClock()
{
    stopRequested = 0;
    for (int signal : kStopSignals)
        std::signal(signal, requestStop);
}

SystemLoopClock::~SystemLoopClock()
{
    for (int signal : kStopSignals)
        std::signal(signal, SIG_DFL);
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
    while (!stopRequested && now() < end) {
        // A tenth of a second at a time, so a stop is seen at once.
        timespec slice = {0, 100'000'000};
        nanosleep(&slice, nullptr);
    }
    return !stopRequested;
}

void SystemLoopClock::finished() {}

} // namespace zephrctl
